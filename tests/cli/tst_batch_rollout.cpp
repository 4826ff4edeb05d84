// zelmo_batch's rollout controls end to end: the real executable against a real
// zelmo_server_sim, checked at the simulator (its record and counters) and through the
// report and the journal read back.
#include "support/batch_process.h"
#include "support/rollout_scenarios.h"
#include "support/sim_process.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#ifndef ZELMO_BATCH_PATH
#error "the tests need the zelmo_batch executable"
#endif

namespace {

using Outcome = Batch_outcome;

constexpr quint64 first_imei = 350000000000001ULL;

QString imei(int i) {
    return QString::number(first_imei + quint64(i));
}

// A configuration of counts[i] devices (IMEIs from first_imei on, PIN 1234) on ports[i].
QByteArray config(const QVector<quint16>& ports, const QVector<int>& counts,
                  const QString& head = QString()) {
    QString t = head + QLatin1Char('\n');
    int n = 0;
    for (int p = 0; p < ports.size(); ++p) {
        t += QStringLiteral("server(address \"127.0.0.1\", port %1) {\n").arg(ports[p]);
        for (int i = 0; i < counts.value(p); ++i)
            t += QStringLiteral(" device(imei %1, pin \"1234\")\n").arg(imei(n++));
        t += QStringLiteral("}\n");
    }
    return t.toUtf8();
}

QByteArray config(const QVector<quint16>& ports, int count, const QString& head = QString()) {
    return config(ports, QVector<int>(ports.size(), count), head);
}

// Fleet lines for devices first_imei + from .. + to - 1, each with `keys`.
QString fleet_range(int from, int to, const QString& keys = QString()) {
    return QStringLiteral("range %1 %2 %3\n").arg(imei(from)).arg(to - from).arg(keys);
}

// The IMEIs of the record lines of one event with the given result ("" for any).
QStringList imeis_of(const Sim_process& sim, const QString& event, const QString& result = {}) {
    QStringList out;
    static const QRegularExpression re(QStringLiteral("imei=(\\d{15})"));
    for (const QString& line : sim.record_of(event)) {
        if (!result.isEmpty() && !line.contains(QStringLiteral(" result=") + result))
            continue;
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch())
            out << m.captured(1);
    }
    return out;
}

QVector<QJsonObject> read_jsonl(const QString& path, QString* problem = nullptr) {
    QVector<QJsonObject> rows;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = QStringLiteral("cannot open ") + path;
        return rows;
    }
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty() && i == lines.size() - 1)
            break;
        QJsonParseError e;
        const QJsonDocument d = QJsonDocument::fromJson(lines[i], &e);
        if (e.error != QJsonParseError::NoError || !d.isObject()) {
            if (problem)
                *problem = QStringLiteral("line %1 is not a JSON object: %2")
                               .arg(i + 1)
                               .arg(QString::fromUtf8(lines[i]));
            return {};
        }
        rows << d.object();
    }
    return rows;
}

// A strict RFC 4180 reader: CR LF after every record, quoted fields with doubled quotes,
// no quote inside an unquoted field, the same number of fields in every record.
bool read_csv(const QByteArray& bytes, QVector<QStringList>& records, QString& problem) {
    int i = 0;
    const int n = bytes.size();
    while (i < n) {
        QStringList rec;
        for (;;) {
            QByteArray field;
            if (i < n && bytes[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= n) {
                        problem = QStringLiteral("unterminated quoted field");
                        return false;
                    }
                    if (bytes[i] == '"') {
                        if (i + 1 < n && bytes[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field += bytes[i++];
                }
            } else {
                while (i < n && bytes[i] != ',' && bytes[i] != '\r' && bytes[i] != '\n') {
                    if (bytes[i] == '"') {
                        problem = QStringLiteral("a quote inside an unquoted field");
                        return false;
                    }
                    field += bytes[i++];
                }
            }
            rec << QString::fromUtf8(field);
            if (i < n && bytes[i] == ',') {
                ++i;
                continue;
            }
            if (i + 1 < n && bytes[i] == '\r' && bytes[i + 1] == '\n') {
                i += 2;
                break;
            }
            problem = QStringLiteral("a record not ended by CR LF at byte %1").arg(i);
            return false;
        }
        if (!records.isEmpty() && rec.size() != records[0].size()) {
            problem = QStringLiteral("record %1 has %2 fields").arg(records.size()).arg(rec.size());
            return false;
        }
        records << rec;
    }
    return true;
}

const QStringList report_keys = {
    "imei",  "address", "port",        "action",  "result",  "class",          "text",
    "start", "end",     "duration_ms", "attempt", "skipped", "version_before", "version_after"};

} // namespace

class tst_Batch_rollout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void plain_runs_unchanged_data();
    void plain_runs_unchanged();
    void failure_classes_data();
    void failure_classes();
    void report_fields_data();
    void report_fields();
    void max_per_server_data();
    void max_per_server();
    void canary_data();
    void canary();
    void thresholds_data();
    void thresholds();
    void retries_data();
    void retries();
    void journal_after_kill();
    void resume_refuses_other_work();
    void verified_upload_data();
    void verified_upload();
    void resume_after_verified_upload();

private:
    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const;
    Outcome batch(const QStringList& args) const;
    // The lines per device on standard output: IMEI -> the rest of the line.
    static QMap<QString, QString> results(const Outcome& o);

    QTemporaryDir dir;
};

void tst_Batch_rollout::initTestCase() {
    QVERIFY(dir.isValid());
    write(QStringLiteral("fw.bin"), QByteArray(3000, 'f'));
}

void tst_Batch_rollout::write(const QString& name, const QByteArray& bytes) const {
    write_file(path(name), bytes);
}

Outcome tst_Batch_rollout::batch(const QStringList& args) const {
    return run_batch(QStringLiteral(ZELMO_BATCH_PATH), dir.path(), args);
}

QMap<QString, QString> tst_Batch_rollout::results(const Outcome& o) {
    QMap<QString, QString> m;
    for (const QString& line :
         QString::fromUtf8(o.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        m.insert(line.section(QLatin1Char('\t'), 0, 0), line.section(QLatin1Char('\t'), 2));
    return m;
}

#define START(sim, fleet) QVERIFY2((sim).start(QStringLiteral(fleet)), qPrintable((sim).error()))

void tst_Batch_rollout::plain_runs_unchanged_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QByteArray>("failed");    // the --failed-out file, empty: none written
    QTest::addColumn<QByteArray>("succeeded"); // the --succeeded-out file

    // What the runner printed and wrote before it had any rollout control, byte for byte.
    QTest::newRow("upload with both lists")
        << QStringList{"upload",       "g.zelmo_upload", "fw.bin",          "--as",  "firmware",
                       "--failed-out", "f.cfg",          "--succeeded-out", "s.cfg", "--log=x.log"}
        << 1
        << QByteArray(
               "350000000000001\t127.0.0.1:@PORT@\tok\n"
               "350000000000002\t127.0.0.1:@PORT@\tfailed\tНет связи между устройством и "
               "сервером.\n"
               "350000000000003\t127.0.0.1:@PORT@\tfailed\tУстройство отвергло указанный PIN-код.\n"
               "350000000000004\t127.0.0.1:@PORT@\tfailed\tНа закачку файла устройство ответило: "
               "«ошибка контрольной суммы».\n"
               "350000000000005\t127.0.0.1:@PORT@\tok\n"
               "350000000000006\t127.0.0.2:@PORT@\tfailed\tНе удалось установить TCP-соединение с "
               "сервером. Код ошибки = 0 («"
               "в соединении отказано: по этому адресу и порту никто не принимает соединений»).\n")
        << QByteArray("Всего устройств: 6, успешно: 2, неудачно: 4.\n")
        << QByteArray(
               "\xEF\xBB\xBF# Содержимое этого файла сформировано программой zelmo_upload 1.9.0.\n"
               "\n"
               "reconnect_delay = 1\n"
               "\n"
               "server(address \"127.0.0.1\", port @PORT@)\n"
               "{\n"
               " device(imei 350000000000002, pin \"1234\", notes \"n2\")\n"
               " device(imei 350000000000003, pin \"1234\", notes \"n3\")\n"
               " device(imei 350000000000004, pin \"1234\", notes \"n4\")\n"
               "}\n"
               "\n"
               "server(address \"127.0.0.2\", port @PORT@)\n"
               "{\n"
               " device(imei 350000000000006, pin \"1234\")\n"
               "}\n")
        << QByteArray(
               "\xEF\xBB\xBF# Содержимое этого файла сформировано программой zelmo_upload 1.9.0.\n"
               "\n"
               "reconnect_delay = 1\n"
               "\n"
               "server(address \"127.0.0.1\", port @PORT@)\n"
               "{\n"
               " device(imei 350000000000001, pin \"1234\", notes \"n1\")\n"
               " device(imei 350000000000005, pin \"1234\", notes \"n5\")\n"
               "}\n");
    QTest::newRow("gather with the failed list")
        << QStringList{"gather", "g.zelmo_upload", "--failed-out", "f.cfg", "--log=x.log"} << 1
        << QByteArray(
               "350000000000001\t127.0.0.1:@PORT@\tok\tFW 1.0.0\tMODEM 1.0\tGNSS 1.0\n"
               "350000000000002\t127.0.0.1:@PORT@\tfailed\tНет связи между устройством и "
               "сервером.\n"
               "350000000000003\t127.0.0.1:@PORT@\tfailed\tУстройство отвергло указанный PIN-код.\n"
               "350000000000004\t127.0.0.1:@PORT@\tfailed\tНа запрос параметра №2 устройство "
               "ответило: «ошибка выполнения».\n"
               "350000000000005\t127.0.0.1:@PORT@\tok\tFW\\t2\tM,\"1\"\tGNSS 1.0\n"
               "350000000000006\t127.0.0.2:@PORT@\tfailed\tНе удалось установить TCP-соединение с "
               "сервером. Код ошибки = 0 («"
               "в соединении отказано: по этому адресу и порту никто не принимает соединений»).\n")
        << QByteArray("Всего устройств: 6, успешно: 2, неудачно: 4.\n")
        << QByteArray(
               "\xEF\xBB\xBF# Содержимое этого файла сформировано программой zelmo_upload 1.9.0.\n"
               "\n"
               "reconnect_delay = 1\n"
               "\n"
               "server(address \"127.0.0.1\", port @PORT@)\n"
               "{\n"
               " device(imei 350000000000002, pin \"1234\", notes \"n2\")\n"
               " device(imei 350000000000003, pin \"1234\", notes \"n3\")\n"
               " device(imei 350000000000004, pin \"1234\", notes \"n4\")\n"
               "}\n"
               "\n"
               "server(address \"127.0.0.2\", port @PORT@)\n"
               "{\n"
               " device(imei 350000000000006, pin \"1234\")\n"
               "}\n")
        << QByteArray();
    QTest::newRow("command with the succeeded list")
        << QStringList{"command",         "g.zelmo_upload", "restart",
                       "--succeeded-out", "s.cfg",          "--log=x.log"}
        << 1
        << QByteArray(
               "350000000000001\t127.0.0.1:@PORT@\tok\n"
               "350000000000002\t127.0.0.1:@PORT@\tfailed\tНет связи между устройством и "
               "сервером.\n"
               "350000000000003\t127.0.0.1:@PORT@\tfailed\tУстройство отвергло указанный PIN-код.\n"
               "350000000000004\t127.0.0.1:@PORT@\tfailed\tНа команду с «кодом команды» 1 "
               "устройство ответило «ошибка выполнения».\n"
               "350000000000005\t127.0.0.1:@PORT@\tok\n"
               "350000000000006\t127.0.0.2:@PORT@\tfailed\tНе удалось установить TCP-соединение с "
               "сервером. Код ошибки = 0 («"
               "в соединении отказано: по этому адресу и порту никто не принимает соединений»).\n")
        << QByteArray("Всего устройств: 6, успешно: 2, неудачно: 4.\n") << QByteArray()
        << QByteArray(
               "\xEF\xBB\xBF# Содержимое этого файла сформировано программой zelmo_upload 1.9.0.\n"
               "\n"
               "reconnect_delay = 1\n"
               "\n"
               "server(address \"127.0.0.1\", port @PORT@)\n"
               "{\n"
               " device(imei 350000000000001, pin \"1234\", notes \"n1\")\n"
               " device(imei 350000000000005, pin \"1234\", notes \"n5\")\n"
               "}\n");
    QTest::newRow("a command refused without --yes")
        << QStringList{"command", "g.zelmo_upload", "factory", "--log=x.log"} << 2 << QByteArray()
        << QByteArray("Команда «сброс к заводским настройкам» необратима, поэтому она выполняется "
                      "только с опцией --yes.\n")
        << QByteArray() << QByteArray();
    QTest::newRow("upload, quiet")
        << QStringList{"upload", "g.zelmo_upload", "fw.bin", "--quiet", "--log=x.log"} << 1
        << QByteArray(
               "350000000000001\t127.0.0.1:@PORT@\tok\n"
               "350000000000002\t127.0.0.1:@PORT@\tfailed\tНет связи между устройством и "
               "сервером.\n"
               "350000000000003\t127.0.0.1:@PORT@\tfailed\tУстройство отвергло указанный PIN-код.\n"
               "350000000000004\t127.0.0.1:@PORT@\tfailed\tНа закачку файла устройство ответило: "
               "«ошибка контрольной суммы».\n"
               "350000000000005\t127.0.0.1:@PORT@\tok\n"
               "350000000000006\t127.0.0.2:@PORT@\tfailed\tНе удалось установить TCP-соединение с "
               "сервером. Код ошибки = 0 («"
               "в соединении отказано: по этому адресу и порту никто не принимает соединений»).\n")
        << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("check")
        << QStringList{"check", "g.zelmo_upload"} << 0
        << QByteArray("# Содержимое этого файла сформировано программой zelmo_upload 1.9.0.\n"
                      "\n"
                      "reconnect_delay = 1\n"
                      "\n"
                      "server(address \"127.0.0.1\", port @PORT@)\n"
                      "{\n"
                      " device(imei 350000000000001, pin \"1234\", notes \"n1\")\n"
                      " device(imei 350000000000002, pin \"1234\", notes \"n2\")\n"
                      " device(imei 350000000000003, pin \"1234\", notes \"n3\")\n"
                      " device(imei 350000000000004, pin \"1234\", notes \"n4\")\n"
                      " device(imei 350000000000005, pin \"1234\", notes \"n5\")\n"
                      "}\n"
                      "\n"
                      "server(address \"127.0.0.2\", port @PORT@)\n"
                      "{\n"
                      " device(imei 350000000000006, pin \"1234\")\n"
                      "}\n")
        << QByteArray() << QByteArray() << QByteArray();
}

// Without a rollout option every command prints, writes and exits exactly as it always did.
void tst_Batch_rollout::plain_runs_unchanged() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, failed);
    QFETCH(QByteArray, succeeded);
    Sim_process sim;
    START(sim, "port 0\n"
               "default pin=1234\n"
               "device 350000000000001\n"
               "device 350000000000002 link=2\n"
               "device 350000000000003 pin=9999\n"
               "device 350000000000004 upload=4 cmd=4 getparam=4\n"
               "device 350000000000005 p2=\"FW\\t2\" p3=\"M,\\\"1\\\"\"\n");
    const QByteArray port = QByteArray::number(sim.port());
    // Nothing listens on 127.0.0.2: its connections are refused.
    QByteArray cfg =
        "\xEF\xBB\xBFreconnect_delay = 1\n\nserver(address \"127.0.0.1\", port @PORT@) {\n";
    for (int i = 1; i <= 5; ++i)
        cfg += QStringLiteral(" device(imei 35000000000000%1, pin \"1234\", notes \"n%1\")\n")
                   .arg(i)
                   .toUtf8();
    cfg += "}\nserver(address \"127.0.0.2\", port @PORT@) {\n device(imei 350000000000006, pin "
           "\"1234\")\n}\n";
    write(QStringLiteral("g.zelmo_upload"), cfg.replace("@PORT@", port));
    QFile::remove(path("f.cfg"));
    QFile::remove(path("s.cfg"));
    const Outcome o = batch(args);
    QCOMPARE(o.code, code);
    QCOMPARE(o.out, out.replace("@PORT@", port));
    QCOMPARE(o.err.toUtf8(), err);
    const struct {
        const char* name;
        QByteArray expected;
    } files[] = {{"f.cfg", failed.replace("@PORT@", port)},
                 {"s.cfg", succeeded.replace("@PORT@", port)}};
    for (const auto& f : files) {
        QFile file(path(QLatin1String(f.name)));
        QCOMPARE(file.exists(), !f.expected.isEmpty());
        if (file.exists()) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), f.expected);
        }
    }
}

void tst_Batch_rollout::failure_classes_data() {
    QTest::addColumn<QString>("server_keys");
    QTest::addColumn<QString>("device_keys");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("expected");

    QTest::newRow("device offline") << ""
                                    << "link=2"
                                    << ""
                                    << "not_linked";
    QTest::newRow("device busy elsewhere") << ""
                                           << "link=3"
                                           << ""
                                           << "not_linked";
    QTest::newRow("unknown to the server") << "unknown_link=2"
                                           << "SKIP"
                                           << ""
                                           << "not_linked";
    QTest::newRow("lost during authorisation") << ""
                                               << "auth_unlink=instead"
                                               << ""
                                               << "not_linked";
    QTest::newRow("lost during the upload") << ""
                                            << "upload_unlink=instead"
                                            << ""
                                            << "not_linked";
    QTest::newRow("PIN refused") << ""
                                 << "pin=9999"
                                 << ""
                                 << "auth";
    QTest::newRow("checksum refused by the device") << ""
                                                    << "upload=4"
                                                    << ""
                                                    << "device";
    QTest::newRow("answer of the wrong length") << ""
                                                << "upload_payload=00"
                                                << ""
                                                << "device";
    QTest::newRow("server answers the wrong frame") << ""
                                                    << "link_type=0x55"
                                                    << ""
                                                    << "rupture";
    QTest::newRow("broken checksum from the server") << ""
                                                     << "link_badcrc=1"
                                                     << ""
                                                     << "rupture";
    QTest::newRow("server closes mid-upload") << "close_after=200"
                                              << ""
                                              << ""
                                              << "rupture";
    QTest::newRow("answer too late") << ""
                                     << "upload_delay=2000"
                                     << "upfile_timeout = 200"
                                     << "timeout";
    QTest::newRow("server refuses connections") << "refuse=all"
                                                << ""
                                                << "reconnect_delay = 1"
                                                << "connect";
    QTest::newRow("silent server") << "stall=0"
                                   << ""
                                   << "link_timeout = 200"
                                   << "timeout";
}

// Each failure is reported with the class set where its text is chosen.
void tst_Batch_rollout::failure_classes() {
    QFETCH(QString, server_keys);
    QFETCH(QString, device_keys);
    QFETCH(QString, options);
    QFETCH(QString, expected);
    Sim_process sim;
    QString fleet = QStringLiteral("port 0 %1\ndefault pin=1234\n").arg(server_keys);
    if (device_keys != QLatin1String("SKIP"))
        fleet += QStringLiteral("device %1 %2\n").arg(imei(0), device_keys);
    QVERIFY2(sim.start(fleet), qPrintable(sim.error()));
    write(QStringLiteral("class.zelmo_upload"), config(sim.ports(), 1, options));
    const Outcome o = batch(
        {"upload", path("class.zelmo_upload"), path("fw.bin"), "--report", path("class.jsonl")});
    QCOMPARE(o.code, 1);
    QString problem;
    const QVector<QJsonObject> rows = read_jsonl(path("class.jsonl"), &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].value("result").toString(), QStringLiteral("failed"));
    QCOMPARE(rows[0].value("class").toString(), expected);
    QCOMPARE(rows[0].value("text").toString(), results(o).value(imei(0)).section('\t', 1));
    QCOMPARE(
        rows[1].value("summary").toObject().value("classes").toObject().value(expected).toInt(), 1);
}

void tst_Batch_rollout::report_fields_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("JSON Lines") << "report.jsonl";
    QTest::newRow("CSV") << "report.csv";
}

// Every field of every row, read back with a strict reader, against what the run did.
void tst_Batch_rollout::report_fields() {
    QFETCH(QString, name);
    Sim_process sim;
    START(sim, "port 0\n"
               "default pin=1234 delay=30\n"
               "device 350000000000001\n"
               "device 350000000000002 upload=4\n"
               "device 350000000000003 pin=1\n"
               "device 350000000000004 link=2\n");
    // A note with a comma and a quote travels nowhere, but the texts have commas and quotes.
    write(QStringLiteral("rep.zelmo_upload"), config(sim.ports(), 4));
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const Outcome o = batch({"upload", path("rep.zelmo_upload"), path("fw.bin"), "--report",
                             path(name), "--retry", "1", "--retry-delay", "0"});
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(o.code, 1);
    const QMap<QString, QString> lines = results(o);

    QVector<QStringList> rows;
    QJsonObject summary;
    if (name.endsWith(QLatin1String(".csv"))) {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QString problem;
        QVERIFY2(read_csv(f.readAll(), rows, problem), qPrintable(problem));
        QVERIFY(!rows.isEmpty());
        QCOMPARE(rows.takeFirst(), report_keys);
    } else {
        QString problem;
        const QVector<QJsonObject> objects = read_jsonl(path(name), &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(!objects.isEmpty());
        summary = objects.last().value("summary").toObject();
        for (int i = 0; i + 1 < objects.size(); ++i) {
            const QJsonObject& o = objects[i];
            QCOMPARE(o.keys().size(), report_keys.size());
            QStringList r;
            for (const QString& k : report_keys) {
                QVERIFY2(o.contains(k), qPrintable(k));
                const QJsonValue v = o.value(k);
                const bool number = k == "port" || k == "duration_ms" || k == "attempt";
                QCOMPARE(v.isDouble(), number);
                r << (number       ? QString::number(v.toInt())
                      : v.isBool() ? QLatin1String(v.toBool() ? "true" : "false")
                                   : v.toString());
            }
            rows << r;
        }
    }
    // The offline device is retried (not_linked), the PIN and the checksum are not.
    QCOMPARE(rows.size(), 5);
    QMap<QString, int> attempts;
    for (const QStringList& r : rows) {
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{15}$")).match(r[0]).hasMatch(),
                 qPrintable(r[0]));
        QCOMPARE(r[1], QStringLiteral("127.0.0.1"));
        QCOMPARE(r[2].toInt(), int(sim.port()));
        QCOMPARE(r[3], QStringLiteral("upload"));
        const QString line = lines.value(r[0]);
        const int attempt = ++attempts[r[0]];
        QCOMPARE(r[10].toInt(), attempt);
        if (r[0] == imei(0)) {
            QCOMPARE(r[4], QStringLiteral("ok"));
            QCOMPARE(r[5], QString());
            QCOMPARE(r[6], QString());
        } else {
            QCOMPARE(r[4], QStringLiteral("failed"));
            QCOMPARE(r[5], r[0] == imei(1)   ? QStringLiteral("device")
                           : r[0] == imei(2) ? QStringLiteral("auth")
                                             : QStringLiteral("not_linked"));
            QCOMPARE(line.section('\t', 0, 0), QStringLiteral("failed"));
            QCOMPARE(r[6], line.section('\t', 1));
        }
        static const QRegularExpression iso(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"));
        QVERIFY2(iso.match(r[7]).hasMatch() && iso.match(r[8]).hasMatch(), qPrintable(r[7]));
        const QDateTime start = QDateTime::fromString(r[7], Qt::ISODateWithMs);
        const QDateTime end = QDateTime::fromString(r[8], Qt::ISODateWithMs);
        QVERIFY(start.isValid() && end.isValid());
        QCOMPARE(start.timeSpec(), Qt::UTC);
        QVERIFY(start.toMSecsSinceEpoch() >= before - 1);
        QVERIFY(end.toMSecsSinceEpoch() <= after + 1);
        QCOMPARE(r[9].toLongLong(), start.msecsTo(end));
        // Every attempt waits at least for the delayed link answer.
        QVERIFY2(r[9].toLongLong() >= 25, qPrintable(r.join(' ')));
    }
    QCOMPARE(attempts.value(imei(3)), 2);
    // Without a version check the version fields are there, false and empty.
    for (const QStringList& r : rows)
        QCOMPARE(r.mid(11), (QStringList{"false", "", ""}));
    if (!summary.isEmpty()) {
        QCOMPARE(summary.value("devices").toInt(), 4);
        QCOMPARE(summary.value("attempts").toInt(), 5);
        QCOMPARE(summary.value("results").toObject().value("ok").toInt(), 1);
        QCOMPARE(summary.value("results").toObject().value("failed").toInt(), 3);
        const QJsonObject classes = summary.value("classes").toObject();
        QCOMPARE(classes.size(), 8);
        QCOMPARE(classes.value("device").toInt(), 1);
        QCOMPARE(classes.value("auth").toInt(), 1);
        QCOMPARE(classes.value("not_linked").toInt(), 1);
        QCOMPARE(classes.value("connect").toInt(), 0);
        QVERIFY(summary.value("wall_ms").toInt() >= 0);
        QVERIFY(summary.value("wall_ms").toInt() <= after - before);
        QVERIFY(summary.value("devices_per_second").toDouble() > 0);
    }
}

void tst_Batch_rollout::max_per_server_data() {
    QTest::addColumn<QString>("cap");
    QTest::addColumn<int>("most");
    QTest::newRow("one connection per server") << "1" << 1;
    QTest::newRow("three connections per server") << "3" << 3;
    // Without a cap the same run opens more: the check above can fail.
    QTest::newRow("no cap") << "" << 12;
}

// The small server is done early; its connections must not then crowd the big one.
void tst_Batch_rollout::max_per_server() {
    QFETCH(QString, cap);
    QFETCH(int, most);
    Sim_process sim;
    const QString fleet = QStringLiteral("port 0\ndefault pin=1234 delay=40\n") +
                          fleet_range(0, 12) + QStringLiteral("port 0\ndefault pin=1234\n") +
                          fleet_range(12, 14);
    QVERIFY2(sim.start(fleet), qPrintable(sim.error()));
    write(QStringLiteral("cap.zelmo_upload"),
          config(sim.ports(), {12, 2}, QStringLiteral("simultaneously = 30")));
    QStringList args{"command", path("cap.zelmo_upload"), "restart"};
    if (!cap.isEmpty())
        args << "--max-per-server" << cap;
    const Outcome o = batch(args);
    QCOMPARE(o.code, 0);
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("cmds"), 14);
    if (cap.isEmpty())
        QCOMPARE(sim.counter("peak_per_port"), most);
    else
        QVERIFY2(sim.counter("peak_per_port") <= most && sim.counter("peak_per_port") >= 1,
                 qPrintable(QString::number(sim.counter("peak_per_port"))));
}

void tst_Batch_rollout::canary_data() {
    QTest::addColumn<QString>("bad_keys"); // the second device's behaviour
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("stops");

    QTest::newRow("a sound canary lets the rest go") << "" << QStringList{} << 0 << false;
    QTest::newRow("a device error stops") << "upload=4" << QStringList{} << 4 << true;
    QTest::newRow("a refused PIN stops") << "pin=77" << QStringList{} << 4 << true;
    QTest::newRow("an offline device is ignored") << "link=2" << QStringList{} << 1 << false;
    QTest::newRow("the ignore list replaces the default")
        << "link=2" << QStringList{"--canary-ignore", "device"} << 4 << true;
    QTest::newRow("an ignored device error goes on")
        << "upload=4" << QStringList{"--canary-ignore", "device,auth"} << 1 << false;
}

void tst_Batch_rollout::canary() {
    QFETCH(QString, bad_keys);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(bool, stops);
    Sim_process sim;
    const QString fleet = QStringLiteral("port 0\ndefault pin=1234\n") + fleet_range(0, 1) +
                          QStringLiteral("device %1 %2\n").arg(imei(1), bad_keys) +
                          fleet_range(2, 20);
    QVERIFY2(sim.start(fleet), qPrintable(sim.error()));
    write(QStringLiteral("can.zelmo_upload"), config(sim.ports(), 20));
    const Outcome o = batch(QStringList{"upload", path("can.zelmo_upload"), path("fw.bin"),
                                        "--canary", "3", "--report", path("can.jsonl")} +
                            options);
    QCOMPARE(o.code, code);
    QVERIFY(sim.stop());
    const QStringList uploaded = imeis_of(sim, "UPFILE");
    const QStringList linked = imeis_of(sim, "LINK");
    const QMap<QString, QString> lines = results(o);
    QCOMPARE(lines.size(), 20);
    if (stops) {
        // Nothing reached any device after the canary.
        QVERIFY2(linked.size() == 3, qPrintable(linked.join(' ')));
        for (const QString& i : linked)
            QVERIFY(i == imei(0) || i == imei(1) || i == imei(2));
        QVERIFY(o.err.contains(QStringLiteral("Работа остановлена, так как устройство %1 из "
                                              "пробной группы (--canary 3)")
                                   .arg(imei(1))));
        const QVector<QJsonObject> rows = read_jsonl(path("can.jsonl"));
        QCOMPARE(rows.size(), 21);
        for (int i = 3; i < 20; ++i) {
            QVERIFY2(
                lines.value(imei(i)).startsWith(
                    QStringLiteral("failed\tУстройство не обслужено: работа остановлена, так как "
                                   "устройство %1 из пробной группы (--canary 3)")
                        .arg(imei(1))),
                qPrintable(lines.value(imei(i))));
            QCOMPARE(rows[i].value("class").toString(), QStringLiteral("cancelled"));
        }
    } else {
        QCOMPARE(linked.size(), 20);
        QCOMPARE(uploaded.size(), bad_keys.startsWith("link") ? 19 : 20);
        // The canary went first: its three links precede every other.
        QSet<QString> first3(linked.begin(), linked.begin() + 3);
        QCOMPARE(first3, (QSet<QString>{imei(0), imei(1), imei(2)}));
    }
}

void tst_Batch_rollout::thresholds_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("served"); // devices linked before the stop
    QTest::addColumn<QString>("names");

    // Every fifth device fails (1, 6, 11, ...); one connection keeps the order.
    QTest::newRow("after 3 failures")
        << QStringList{"--stop-after-failures", "3"} << 12 << "(порог --stop-after-failures 3)";
    QTest::newRow("after 1 failure")
        << QStringList{"--stop-after-failures", "1"} << 2 << "(порог --stop-after-failures 1)";
    // 20% is reached at the 50th device at the earliest, where 10 of 50 have failed.
    QTest::newRow("at 20 percent") << QStringList{"--stop-at-failure-rate", "20"} << 50
                                   << "неудачей завершились 10 из 50 устройств (порог "
                                      "--stop-at-failure-rate 20%)";
    QTest::newRow("a rate never reached")
        << QStringList{"--stop-at-failure-rate", "25"} << 80 << "";
}

void tst_Batch_rollout::thresholds() {
    QFETCH(QStringList, options);
    QFETCH(int, served);
    QFETCH(QString, names);
    Sim_process sim;
    QString fleet = QStringLiteral("port 0\ndefault pin=1234\n");
    for (int i = 0; i < 80; ++i)
        fleet += QStringLiteral("device %1%2\n").arg(imei(i), i % 5 == 1 ? " upload=1" : "");
    QVERIFY2(sim.start(fleet), qPrintable(sim.error()));
    write(QStringLiteral("thr.zelmo_upload"),
          config(sim.ports(), 80, QStringLiteral("simultaneously = 1")));
    const Outcome o = batch(QStringList{"upload", path("thr.zelmo_upload"), path("fw.bin"),
                                        "--report", path("thr.jsonl")} +
                            options);
    QVERIFY(sim.stop());
    QCOMPARE(imeis_of(sim, "LINK").size(), served);
    const QMap<QString, QString> lines = results(o);
    if (names.isEmpty()) {
        QCOMPARE(o.code, 1);
        return;
    }
    QCOMPARE(o.code, 4);
    QVERIFY2(o.err.contains(names), qPrintable(o.err));
    for (int i = served; i < 80; ++i)
        QVERIFY2(lines.value(imei(i)).startsWith(
                     QStringLiteral("failed\tУстройство не обслужено: работа остановлена")) &&
                     lines.value(imei(i)).contains(names),
                 qPrintable(lines.value(imei(i))));
    // A stop is no reason to retry, and the summary says why the run ended.
    const QVector<QJsonObject> rows = read_jsonl(path("thr.jsonl"));
    QCOMPARE(rows.size(), 81);
    QVERIFY(rows.last().value("summary").toObject().value("stopped").toString().contains(names));
}

void tst_Batch_rollout::retries_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("online_after"); // link attempts before the late devices come online
    QTest::addColumn<int>("late_ok");      // late devices that end as succeeded
    QTest::addColumn<int>("auth_tries");   // AUTHs for the device with the wrong PIN

    QTest::newRow("one retry brings the late devices")
        << QStringList{"--retry", "1", "--retry-delay", "0"} << 1 << 5 << 1;
    QTest::newRow("one retry is not enough for two offline passes")
        << QStringList{"--retry", "1", "--retry-delay", "0"} << 2 << 0 << 1;
    QTest::newRow("two retries are")
        << QStringList{"--retry", "2", "--retry-delay", "0"} << 2 << 5 << 1;
    QTest::newRow("auth may be named retryable")
        << QStringList{"--retry", "2", "--retry-delay", "0", "--retry-classes", "auth"} << 1 << 0
        << 3;
    QTest::newRow("no retry without the option") << QStringList{} << 1 << 0 << 1;
}

void tst_Batch_rollout::retries() {
    QFETCH(QStringList, options);
    QFETCH(int, online_after);
    QFETCH(int, late_ok);
    QFETCH(int, auth_tries);
    Sim_process sim;
    const QString fleet = QStringLiteral("port 0\ndefault pin=1234\n") + fleet_range(0, 5) +
                          fleet_range(5, 10, QStringLiteral("offline_links=%1").arg(online_after)) +
                          QStringLiteral("device %1 pin=4321\n").arg(imei(10));
    QVERIFY2(sim.start(fleet), qPrintable(sim.error()));
    write(QStringLiteral("retry.zelmo_upload"), config(sim.ports(), 11));
    const Outcome o = batch(QStringList{"upload", path("retry.zelmo_upload"), path("fw.bin"),
                                        "--report", path("retry.jsonl")} +
                            options);
    QCOMPARE(o.code, 1);
    QVERIFY(sim.stop());
    const QMap<QString, QString> lines = results(o);
    int ok = 0;
    for (int i = 5; i < 10; ++i)
        ok += lines.value(imei(i)) == QLatin1String("ok");
    QCOMPARE(ok, late_ok);
    QCOMPARE(imeis_of(sim, "AUTH").count(imei(10)), auth_tries);
    QCOMPARE(imeis_of(sim, "UPFILE", "0").size(), 5 + late_ok);
    // Every attempt is in the report, numbered; the final line is the last attempt.
    const QVector<QJsonObject> rows = read_jsonl(path("retry.jsonl"));
    QMap<QString, int> last;
    for (int i = 0; i + 1 < rows.size(); ++i) {
        const QString id = rows[i].value("imei").toString();
        QCOMPARE(rows[i].value("attempt").toInt(), last.value(id) + 1);
        last[id] = rows[i].value("attempt").toInt();
    }
    for (int i = 0; i < 5; ++i)
        QCOMPARE(last.value(imei(i)), 1);
    QCOMPARE(last.value(imei(10)), auth_tries);
}

// A run killed with SIGKILL halfway, then resumed from its journal: no device recorded as
// succeeded is served again, and every other one is.
void tst_Batch_rollout::journal_after_kill() {
    Sim_process sim;
    QString fleet = QStringLiteral("port 0\ndefault pin=1234 upload_delay=60\n");
    for (int i = 0; i < 60; ++i)
        fleet += QStringLiteral("device %1%2\n").arg(imei(i), i % 7 == 3 ? " upload=1" : "");
    QVERIFY2(sim.start(fleet), qPrintable(sim.error()));
    write(QStringLiteral("kill.zelmo_upload"),
          config(sim.ports(), 60, QStringLiteral("simultaneously = 2")));
    const QString journal = path("kill.journal");
    QFile::remove(journal);

    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(ZELMO_BATCH_PATH),
            {"upload", path("kill.zelmo_upload"), path("fw.bin"), "--journal", journal});
    QVERIFY(p.waitForStarted());
    // Kill once the journal holds some results and the run is far from done.
    QElapsedTimer t;
    t.start();
    int journaled = 0;
    while (t.elapsed() < 20000) {
        QFile f(journal);
        journaled = f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') - 1 : 0;
        if (journaled >= 12)
            break;
        QTest::qWait(20);
    }
    QVERIFY2(journaled >= 12 && journaled < 50, qPrintable(QString::number(journaled)));
    p.kill();
    QVERIFY(p.waitForFinished());
    QTest::qWait(200); // the simulator finishes what was in flight
    const int uploads_before = sim.record_of("UPFILE").size();

    QSet<QString> journal_ok, journal_failed;
    {
        QFile f(journal);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QVERIFY(lines.first().startsWith("{\"journal\":1,\"action\":\"upload\""));
        for (int i = 1; i < lines.size(); ++i) {
            const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
            if (o.isEmpty())
                continue; // a torn last line
            (o.value("result").toString() == "ok" ? journal_ok : journal_failed)
                << o.value("imei").toString();
        }
    }
    QVERIFY(!journal_ok.isEmpty());

    const Outcome o = batch({"upload", path("kill.zelmo_upload"), path("fw.bin"), "--resume",
                             journal, "--report", path("kill.jsonl")});
    QCOMPARE(o.code, 1);
    QVERIFY(sim.stop());
    const QStringList all = sim.record_of("UPFILE");
    QSet<QString> second;
    static const QRegularExpression re(QStringLiteral("imei=(\\d{15})"));
    for (int i = uploads_before; i < all.size(); ++i)
        second << re.match(all[i]).captured(1);
    QCOMPARE(second & journal_ok, QSet<QString>());
    for (int i = 0; i < 60; ++i)
        if (!journal_ok.contains(imei(i)))
            QVERIFY2(second.contains(imei(i)), qPrintable(imei(i)));
    QVERIFY(!journal_failed.isEmpty());
    // The skipped devices count as succeeded; the journal now holds a second head.
    const QMap<QString, QString> lines = results(o);
    for (const QString& i : journal_ok)
        QCOMPARE(lines.value(i), QStringLiteral("ok"));
    QFile f(journal);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().count("{\"journal\":1"), 2);
    const QVector<QJsonObject> report = read_jsonl(path("kill.jsonl"));
    QCOMPARE(report.last().value("summary").toObject().value("skipped").toInt(), journal_ok.size());
}

void tst_Batch_rollout::resume_refuses_other_work() {
    Sim_process sim;
    START(sim, "port 0\ndefault pin=1234\nrange 350000000000001 3\n");
    write(QStringLiteral("other.zelmo_upload"), config(sim.ports(), 3));
    const QString journal = path("other.journal");
    QCOMPARE(batch({"command", path("other.zelmo_upload"), "restart", "--journal", journal}).code,
             0);
    // Another file for the same devices: nothing of the journal applies.
    const Outcome o =
        batch({"upload", path("other.zelmo_upload"), path("fw.bin"), "--resume", journal});
    QCOMPARE(o.code, 2);
    QVERIFY2(o.err.contains(QStringLiteral("записан для другой работы (command restart)")),
             qPrintable(o.err));
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("uploads"), 0);
    // The same work resumes and skips everything: the stopped simulator is not needed.
    const Outcome r =
        batch({"command", path("other.zelmo_upload"), "restart", "--resume", journal});
    QCOMPARE(r.code, 0);
    QCOMPARE(QString::fromUtf8(r.out).count(QStringLiteral("\tok\n")), 3);
}

// The texts of a version check's outcomes, by the scenario's group of devices.
static QStringList verify_lines(const Verify_scenario& s, bool skip, bool verify) {
    const QString skipped =
        QStringLiteral("ok\tВерсия «%1» уже установлена, закачка не нужна.").arg(s.expected);
    const QString verified =
        QStringLiteral("ok\tПосле закачки устройство сообщает ожидаемую версию «%1».")
            .arg(s.expected);
    const QString plain = QStringLiteral("ok");
    if (!verify)
        return {skip ? skipped : plain, plain, plain, plain, plain};
    return {skip ? skipped : verified, verified,
            QStringLiteral("failed\tПосле закачки устройство сообщает версию «%1» вместо "
                           "ожидаемой «%2».")
                .arg(s.old_version, s.expected),
            QStringLiteral("failed\tФайл закачан, но версию прочитать не удалось: На запрос "
                           "параметра №2 устройство ответило: «ошибка выполнения»."),
            QStringLiteral("failed\tФайл закачан, но версию прочитать не удалось: Нет связи "
                           "между устройством и сервером.")};
}

void tst_Batch_rollout::verified_upload_data() {
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<bool>("verify");
    // Per group (current, applying, refusing, mute, gone), the last report row:
    // "attempt|skipped|version_before|version_after|class".
    QTest::addColumn<QStringList>("last_rows");

    const Verify_scenario s = verify_scenario();
    const QStringList expect{"--expect-version", s.expected};
    const QString old = s.old_version, now = s.expected;
    QTest::newRow("skip the current, verify the rest")
        << expect + QStringList{"--skip-current", "--verify", "--verify-delay", "1"} << true << true
        << QStringList{"1|true|" + now + "|" + now + "|", "2|false||" + now + "|",
                       "2|false||" + old + "|verify", "2|false|||device", "2|false|||not_linked"};
    QTest::newRow("verify only: the current take the file as well")
        << expect + QStringList{"--verify", "--verify-delay", "1"} << false << true
        << QStringList{"2|false||" + now + "|", "2|false||" + now + "|",
                       "2|false||" + old + "|verify", "2|false|||device", "2|false|||not_linked"};
    QTest::newRow("skip only: no second pass")
        << expect + QStringList{"--skip-current"} << true << false
        << QStringList{"1|true|" + now + "|" + now + "|", "1|false|" + old + "||",
                       "1|false|" + old + "||", "1|false|||", "1|false|" + old + "||"};
    QTest::newRow("no check: the upload as always")
        << QStringList() << false << false
        << QStringList{"1|false|||", "1|false|||", "1|false|||", "1|false|||", "1|false|||"};
}

// The fleet in thirds: what the simulator was sent, each device's line, and its report rows.
void tst_Batch_rollout::verified_upload() {
    QFETCH(QStringList, flags);
    QFETCH(bool, skip);
    QFETCH(bool, verify);
    QFETCH(QStringList, last_rows);
    const Verify_scenario s = verify_scenario();
    Sim_process sim;
    QVERIFY2(sim.start(s.fleet), qPrintable(sim.error()));
    write(QStringLiteral("v.zelmo_upload"), verify_scenario_config(s, sim.port()).toUtf8());
    const Outcome o = batch(QStringList{"upload", path("v.zelmo_upload"), path("fw.bin"),
                                        "--report", path("v.jsonl"), "--log=x.log", "--quiet"} +
                            flags);
    QVERIFY(sim.stop());
    QCOMPARE(o.code, verify ? 1 : 0);

    QVector<int> sent;
    for (int i = 0; i < s.count; ++i)
        if (!skip || !s.current.contains(i))
            sent << i;
    QCOMPARE(upfile_offsets(sim), sent);

    const QStringList lines = verify_lines(s, skip, verify);
    const QVector<int>* groups[] = {&s.current, &s.applying, &s.refusing, &s.mute, &s.gone};
    const QMap<QString, QString> got = results(o);
    QString problem;
    const QVector<QJsonObject> rows = read_jsonl(path("v.jsonl"), &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QMap<QString, QJsonObject> last;
    for (const QJsonObject& r : rows)
        if (r.contains("imei"))
            last[r.value("imei").toString()] = r;
    for (int g = 0; g < 5; ++g)
        for (int offset : *groups[g]) {
            const QString id = rollout_scenario_imei(offset);
            QCOMPARE(got.value(id), lines[g]);
            const QJsonObject& r = last[id];
            const QString row =
                QStringList{QString::number(r.value("attempt").toInt()),
                            r.value("skipped").toBool() ? "true" : "false",
                            r.value("version_before").toString(),
                            r.value("version_after").toString(), r.value("class").toString()}
                    .join('|');
            QCOMPARE(row, last_rows[g]);
            QCOMPARE(r.value("text").toString(), lines[g].section('\t', 1));
        }
    const QJsonObject summary = rows.last().value("summary").toObject();
    QCOMPARE(summary.value("classes").toObject().contains("verify"), skip || verify);
    QCOMPARE(summary.contains("verified"), skip || verify);
    if (verify)
        QCOMPARE(summary.value("verified").toInt(), skip ? 3 : 6);
}

// A resumed verified run serves only the devices whose check failed or never came; another
// expected version is other work.
void tst_Batch_rollout::resume_after_verified_upload() {
    const Verify_scenario s = verify_scenario();
    Sim_process sim;
    QVERIFY2(sim.start(s.fleet), qPrintable(sim.error()));
    write(QStringLiteral("r.zelmo_upload"), verify_scenario_config(s, sim.port()).toUtf8());
    const QString journal = path("verified.journal");
    const QStringList run{"upload",  path("r.zelmo_upload"), path("fw.bin"), "--log=x.log",
                          "--quiet", "--skip-current",       "--verify",     "--verify-delay",
                          "1"};
    QCOMPARE(batch(run + QStringList{"--expect-version", s.expected, "--journal", journal}).code,
             1);
    const int links_before = sim.record_of("LINK").size();
    const Outcome again =
        batch(run + QStringList{"--expect-version", s.expected, "--resume", journal});
    QCOMPARE(again.code, 1);
    const Outcome other =
        batch(run + QStringList{"--expect-version", "FW 3.0", "--resume", journal});
    QVERIFY(sim.stop());
    QCOMPARE(other.code, 2);
    QVERIFY2(other.err.contains(QStringLiteral("ожидаемая версия main FW 3.0")),
             qPrintable(other.err));

    QSet<QString> linked_again;
    const QStringList links = sim.record_of("LINK");
    static const QRegularExpression re(QStringLiteral("imei=(\\d{15})"));
    for (int i = links_before; i < links.size(); ++i)
        linked_again << re.match(links[i]).captured(1);
    QSet<QString> expected;
    for (int offset : s.refusing + s.mute + s.gone)
        expected << rollout_scenario_imei(offset);
    QCOMPARE(linked_again, expected);
    // Every device has its line; the current and the verified ones as succeeded before.
    const QMap<QString, QString> got = results(again);
    QCOMPARE(got.size(), s.count);
    for (int offset : s.current + s.applying)
        QCOMPARE(got.value(rollout_scenario_imei(offset)), QStringLiteral("ok"));
}

QTEST_GUILESS_MAIN(tst_Batch_rollout)
#include "tst_batch_rollout.moc"
