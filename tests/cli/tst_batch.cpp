// zelmo_batch end to end: the real executable against a real zelmo_server_sim.
#include "config/config.h"
#include "config/container.h"
#include "foundation/err.h"
#include "parser/utf8_text_parser.h"
#include "protocol/frame.h"
#include "support/batch_process.h"
#include "support/sim_process.h"
#include "support/sim_session.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#ifndef ZELMO_BATCH_PATH
#error "the tests need the zelmo_batch executable"
#endif

namespace {

using Outcome = Batch_outcome;

const QString usage_hint = QStringLiteral("Для получения справки запустите «zelmo_batch --help».");

} // namespace

class tst_Batch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void help();
    void check_prints_the_written_form();
    void upload_mixed();
    void upload_names_data();
    void upload_names();
    void large_file_reaches_a_slow_reader_whole();
    void gather();
    void command_data();
    void command();
    void enumerate_data();
    void enumerate();
    void encrypted();
    void encrypted_forms_data();
    void encrypted_forms();
    void interrupt();
    void unwritable_list();
    void trace_data();
    void trace();
    void errors_data();
    void errors();

private:
    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const;
    Outcome batch(const QStringList& args, QProcess* started = nullptr) const;
    // What the program's own loader says about a configuration file (empty when it loads).
    QString load_error(const QString& file) const;
    // Loads a written list into `cfg`.
    void load(const QString& file, Configuration& cfg) const;

    QTemporaryDir dir;
    QByteArray log_name;
};

void tst_Batch::initTestCase() {
    QVERIFY(dir.isValid());
    // The checks below make Err objects too, which go to a log.
    log_name = QFile::encodeName(path(QStringLiteral("test.log")));
    log_file_name = log_name.constData();
}

void tst_Batch::write(const QString& name, const QByteArray& bytes) const {
    write_file(path(name), bytes);
}

// The default log then lands in the temporary directory.
Outcome tst_Batch::batch(const QStringList& args, QProcess* started) const {
    return run_batch(QStringLiteral(ZELMO_BATCH_PATH), dir.path(), args, started);
}

QString tst_Batch::load_error(const QString& file) const {
    try {
        QByteArray text;
        read_config_file_if(file, QString(), text);
        Utf8_file_parser parser(file, text);
        Configuration cfg;
        parse_cfg(parser, cfg);
    } catch (const Err& e) {
        return e.message;
    }
    return QString();
}

void tst_Batch::load(const QString& file, Configuration& cfg) const {
    QByteArray text;
    QVERIFY(read_config_file_if(file, QString(), text));
    Utf8_file_parser parser(file, text);
    parse_cfg(parser, cfg);
}

// `count` devices from IMEI 350000000000001 on, with empty PINs, behind one simulator port.
static QByteArray sim_config(quint16 port, int count, const QString& head = QString()) {
    QString t = head + QStringLiteral("server(address \"127.0.0.1\", port %1) {\n").arg(port);
    for (int i = 1; i <= count; ++i)
        t += QStringLiteral(" device(imei %1, pin \"\")\n").arg(350000000000000ULL + i);
    return (t + QStringLiteral("}\n")).toUtf8();
}

static QSet<quint64> imeis(const Configuration& cfg) {
    QSet<quint64> s;
    for (unsigned i = 0; i < cfg.devices.count; ++i)
        s.insert(cfg.devices.rows[i].device->imei);
    return s;
}

void tst_Batch::help() {
    const Outcome o = batch({QStringLiteral("--help")});
    QCOMPARE(o.code, 0);
    const QString text = QString::fromUtf8(o.out);
    for (const char* c : {"check", "convert", "upload", "gather", "command", "enumerate"})
        QVERIFY2(text.contains(QStringLiteral("Пример: zelmo_batch %1 ").arg(QLatin1String(c))), c);
    QVERIFY(o.err.isEmpty());
}

void tst_Batch::check_prints_the_written_form() {
    // Entries out of order, spacing and comments of a hand-made file: the output is the
    // program's own layout with the servers and devices sorted.
    write(QStringLiteral("check.zelmo_upload"),
          "\xEF\xBB\xBF# by hand\n"
          "connect_timeout=20000 simultaneously = 5\n"
          "devfname = \"CAN_FW\"\n"
          "server(port 4001, address \"b.example\") { device(pin \"1\", imei 2) }\n"
          "server(address \"a.example\", port 4000, notes \"tab\\there\")\n"
          "{ device(imei 350000000000002, pin \"p\\\\q\") device(imei 1, pin \"\", notes "
          "\"x\") }\n");
    const Outcome o = batch({QStringLiteral("check"), path(QStringLiteral("check.zelmo_upload"))});
    QCOMPARE(o.code, 0);
    QCOMPARE(QString::fromUtf8(o.out),
             QStringLiteral("# Содержимое этого файла сформировано программой zelmo_upload 1.9.0.\n"
                            "\n"
                            "simultaneously = 5\n"
                            "connect_timeout = 20000\n"
                            "devfname = \"CAN_FW\"\n"
                            "\n"
                            "server(address \"a.example\", port 4000, notes \"tab\\there\")\n"
                            "{\n"
                            " device(imei 000000000000001, pin \"\", notes \"x\")\n"
                            " device(imei 350000000000002, pin \"p\\\\q\")\n"
                            "}\n"
                            "\n"
                            "server(address \"b.example\", port 4001)\n"
                            "{\n"
                            " device(imei 000000000000002, pin \"1\")\n"
                            "}\n"));
    QVERIFY(o.err.isEmpty());
}

void tst_Batch::upload_mixed() {
    Sim_process sim;
    START(sim, "port 0\n"
               "default pin=1234\n"
               "device 350000000000001\n"
               "device 350000000000002 pin=9999\n"
               "device 350000000000003 upload=4\n"
               "device 350000000000004 link=1\n"
               "device 350000000000006\n"
               "port 0 refuse=all\n");
    const quint16 live = sim.port(0), dead = sim.port(1);
    write(QStringLiteral("mixed.zelmo_upload"),
          QStringLiteral("reconnect_delay = 5\n"
                         "server(address \"127.0.0.1\", port %1) {\n"
                         " device(imei 350000000000001, pin \"1234\", notes \"first\")\n"
                         " device(imei 350000000000002, pin \"1234\")\n"
                         " device(imei 350000000000003, pin \"1234\")\n"
                         " device(imei 350000000000004, pin \"1234\")\n"
                         " device(imei 350000000000005, pin \"1234\")\n"
                         " device(imei 350000000000006, pin \"1234\")\n"
                         "}\n"
                         "server(address \"127.0.0.1\", port %2) { device(imei 7, pin \"\") }\n")
              .arg(live)
              .arg(dead)
              .toUtf8());
    QByteArray file(3000, '\0');
    for (int i = 0; i < file.size(); ++i)
        file[i] = char(i * 7 + i / 256);
    write(QStringLiteral("fw.bin"), file);

    const QString failed = path(QStringLiteral("failed.zelmo_upload"));
    const QString succeeded = path(QStringLiteral("succeeded.zelmo_upload"));
    const Outcome o = batch({QStringLiteral("upload"), path(QStringLiteral("mixed.zelmo_upload")),
                             path(QStringLiteral("fw.bin")), QStringLiteral("--failed-out"), failed,
                             QStringLiteral("--succeeded-out"), succeeded});
    QCOMPARE(o.code, 1);

    const QString at_live = QStringLiteral("\t127.0.0.1:%1\t").arg(live);
    QStringList live_lines{
        QStringLiteral("350000000000001") + at_live + QStringLiteral("ok"),
        QStringLiteral("350000000000002") + at_live +
            QStringLiteral("failed\tУстройство отвергло указанный PIN-код."),
        QStringLiteral("350000000000003") + at_live +
            QStringLiteral(
                "failed\tНа закачку файла устройство ответило: «ошибка контрольной суммы»."),
        QStringLiteral("350000000000004") + at_live +
            QStringLiteral("failed\tНа «запрос подключения к устройству» сервер ответил "
                           "«соединение не произошло»."),
        QStringLiteral("350000000000005") + at_live +
            QStringLiteral("failed\tНет связи между устройством и сервером."),
        QStringLiteral("350000000000006") + at_live + QStringLiteral("ok"),
    };
    const QStringList lines = o.lines();
    QCOMPARE(lines.size(), 7);
    // Configuration order: the servers sort by port.
    const int first_live = live < dead ? 0 : 1;
    QCOMPARE(lines.mid(first_live, 6), live_lines);
    const QString dead_line = lines[live < dead ? 6 : 0];
    QVERIFY2(dead_line.startsWith(QStringLiteral("000000000000007\t127.0.0.1:%1\tfailed\tНе "
                                                 "удалось установить TCP-соединение")
                                      .arg(dead)),
             qPrintable(dead_line));
    // Standard error is no terminal here: no progress line, only the summary.
    QCOMPARE(o.err, QStringLiteral("Всего устройств: 7, успешно: 2, неудачно: 5.\n"));

    // The device received the whole file with its checksum.
    const QString crc = QStringLiteral("%1").arg(
        calculate_crc32(file.constData(), size_t(file.size())), 8, 16, QLatin1Char('0'));
    const QStringList uploads = sim.record_of(QStringLiteral("UPFILE"));
    QVERIFY2(uploads.filter(QStringLiteral("imei=350000000000001 name=FIRMWARE size=3000 crc=%1 "
                                           "got=%1 result=0")
                                .arg(crc))
                     .size() == 1,
             qPrintable(uploads.join(QLatin1Char('\n'))));

    // The lists are plain configurations of their devices, their servers and the options,
    // without error texts.
    QFile raw(failed);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray failed_bytes = raw.readAll();
    QVERIFY(failed_bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(!failed_bytes.contains("PIN-"));
    {
        Configuration cfg;
        load(failed, cfg);
        QCOMPARE(imeis(cfg), (QSet<quint64>{350000000000002, 350000000000003, 350000000000004,
                                            350000000000005, 7}));
        QCOMPARE(cfg.servers.count, (unsigned short)2);
        QVERIFY(reconnect_delay_defined);
        QCOMPARE(reconnect_delay, 5);
    }
    {
        Configuration cfg;
        load(succeeded, cfg);
        QCOMPARE(imeis(cfg), (QSet<quint64>{350000000000001, 350000000000006}));
        QCOMPARE(cfg.servers.count, (unsigned short)1);
        QCOMPARE(cfg.servers.rows[0].server->port, live);
        QCOMPARE(cfg.devices.rows[0].device->notes, QStringLiteral("first"));
    }

    // Running the failed list again serves exactly the failed devices.
    const int links_before = sim.record_of(QStringLiteral("LINK")).size();
    const Outcome again = batch({QStringLiteral("upload"), failed, path(QStringLiteral("fw.bin")),
                                 QStringLiteral("--quiet")});
    QCOMPARE(again.code, 1);
    QCOMPARE(again.lines().size(), 5);
    QVERIFY(again.err.isEmpty());
    QSet<QString> linked;
    for (const QString& l : sim.record_of(QStringLiteral("LINK")).mid(links_before))
        linked.insert(l.section(QLatin1Char(' '), 3, 3));
    QCOMPARE(linked, (QSet<QString>{"imei=350000000000002", "imei=350000000000003",
                                    "imei=350000000000004", "imei=350000000000005"}));
    QVERIFY(sim.stop());
}

void tst_Batch::upload_names_data() {
    QTest::addColumn<QString>("cfg_name");
    QTest::addColumn<QStringList>("as");
    QTest::addColumn<QString>("device_name");

    QTest::newRow("a FIRMWARE configuration uploads firmware")
        << QString() << QStringList() << QStringLiteral("FIRMWARE");
    QTest::newRow("without --as the configuration's own name decides")
        << QStringLiteral("CANFW") << QStringList() << QStringLiteral("CANFW");
    QTest::newRow("--as settings overrides the configuration's name")
        << QStringLiteral("CANFW") << QStringList{"--as", "settings"} << QStringLiteral("SETTINGS");
    QTest::newRow("--as firmware overrides the configuration's name")
        << QStringLiteral("CANFW") << QStringList{"--as", "firmware"} << QStringLiteral("FIRMWARE");
    QTest::newRow("--as with any other name uploads under it")
        << QString() << QStringList{"--as=MODEM_1"} << QStringLiteral("MODEM_1");
}

void tst_Batch::upload_names() {
    QFETCH(QString, cfg_name);
    QFETCH(QStringList, as);
    QFETCH(QString, device_name);

    Sim_process sim;
    START(sim, "port 0\ndevice 350000000000001\n");
    write(QStringLiteral("names.zelmo_upload"),
          sim_config(sim.port(), 1,
                     cfg_name.isEmpty() ? QString()
                                        : QStringLiteral("devfname = \"%1\"\n").arg(cfg_name)));
    write(QStringLiteral("names.bin"), "payload");
    const QString list = path(QStringLiteral("names_ok.zelmo_upload"));
    const Outcome o =
        batch(QStringList{QStringLiteral("upload"), path(QStringLiteral("names.zelmo_upload")),
                          path(QStringLiteral("names.bin")), QStringLiteral("--succeeded-out"),
                          list, "--quiet"} +
              as);
    QCOMPARE(o.code, 0);
    QCOMPARE(o.lines(),
             QStringList{QStringLiteral("350000000000001\t127.0.0.1:%1\tok").arg(sim.port())});
    QVERIFY(sim.stop());
    QCOMPARE(sim.record_of(QStringLiteral("UPFILE")).value(0).section(QLatin1Char(' '), 4, 4),
             QStringLiteral("name=") + device_name);

    // The written list keeps the name that was used, so that it repeats the same upload.
    clear_cfg(); // reading a text without the name keeps the one there was
    Configuration cfg;
    load(list, cfg);
    QCOMPARE(QString::fromLatin1(devfname), device_name);
}

// A file larger than the socket's largest buffer goes out in many pieces as the reader drains it;
// each device's checksum of what arrived must match the file's.
void tst_Batch::large_file_reaches_a_slow_reader_whole() {
    Sim_process sim;
    START(sim, "port 0 rate=32000000\nrange 350000000000001 2\n");
    write(QStringLiteral("large.zelmo_upload"),
          sim_config(sim.port(), 2, QStringLiteral("simultaneously = 2\n")));
    QByteArray file(9 * 1024 * 1024 + 7, '\0');
    for (int i = 0; i < file.size(); ++i)
        file[i] = char((i * 131) >> 3);
    write(QStringLiteral("large.bin"), file);
    const Outcome o = batch({QStringLiteral("upload"), path(QStringLiteral("large.zelmo_upload")),
                             path(QStringLiteral("large.bin")), QStringLiteral("--quiet")});
    QCOMPARE(o.code, 0);
    QCOMPARE(o.lines().size(), 2);
    QVERIFY(sim.stop());
    const QStringList uploads = sim.record_of(QStringLiteral("UPFILE"));
    QCOMPARE(uploads.size(), 2);
    const QString crc = QStringLiteral("%1").arg(
        calculate_crc32(file.constData(), size_t(file.size())), 8, 16, QLatin1Char('0'));
    for (const QString& line : uploads)
        QVERIFY2(line.contains(
                     QStringLiteral("size=%1 crc=%2 got=%2 result=0").arg(file.size()).arg(crc)),
                 qPrintable(line));
}

void tst_Batch::gather() {
    Sim_process sim;
    START(sim, "port 0\n"
               "device 350000000000001\n"
               "device 350000000000002 p3=\"MODEM\\t2\" p4=\"x\"\n"
               "device 350000000000003 params=none\n");
    write(QStringLiteral("gather.zelmo_upload"), sim_config(sim.port(), 3));
    const Outcome o =
        batch({QStringLiteral("gather"), path(QStringLiteral("gather.zelmo_upload"))});
    QCOMPARE(o.code, 1);
    const QString at = QStringLiteral("\t127.0.0.1:%1\t").arg(sim.port());
    const QStringList lines = o.lines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("350000000000001") + at +
                           QStringLiteral("ok\tFW 1.0.0\tMODEM 1.0\tGNSS 1.0"));
    // A tab inside a value is shown escaped, once, and does not make a field of its own.
    QCOMPARE(lines[1],
             QStringLiteral("350000000000002") + at + QStringLiteral("ok\tFW 1.0.0\tMODEM\\t2\tx"));
    QVERIFY2(lines[2].startsWith(QStringLiteral("350000000000003") + at +
                                 QStringLiteral("failed\tНа запрос параметра №2 ")),
             qPrintable(lines[2]));
    QCOMPARE(lines[2].count(QLatin1Char('\t')), 3);
    QVERIFY(sim.stop());
}

void tst_Batch::command_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sent"); // the command code the device got; -1 none
    QTest::addColumn<QString>("error");

    const QString refused =
        QStringLiteral("Команда «%1» необратима, поэтому она выполняется только с опцией --yes.\n");
    QTest::newRow("restart goes out at once") << "restart" << false << 0 << 1 << QString();
    QTest::newRow("a factory reset without --yes sends nothing")
        << "factory" << false << 2 << -1 << refused.arg("сброс к заводским настройкам");
    QTest::newRow("a factory reset with --yes") << "factory" << true << 0 << 5 << QString();
    QTest::newRow("clearing the black box with --yes") << "dropbbox" << true << 0 << 6 << QString();
}

void tst_Batch::command() {
    QFETCH(QString, word);
    QFETCH(bool, yes);
    QFETCH(int, code);
    QFETCH(int, sent);
    QFETCH(QString, error);

    Sim_process sim;
    START(sim, "port 0\nrange 350000000000001 3\n");
    write(QStringLiteral("cmd.zelmo_upload"), sim_config(sim.port(), 3));
    QStringList args{QStringLiteral("command"), path(QStringLiteral("cmd.zelmo_upload")), word,
                     QStringLiteral("--quiet")};
    if (yes)
        args << QStringLiteral("--yes");
    const Outcome o = batch(args);
    QCOMPARE(o.code, code);
    QVERIFY(sim.stop());
    const QStringList cmds = sim.record_of(QStringLiteral("CMD"));
    if (sent < 0) {
        QCOMPARE(o.err, error);
        QVERIFY(o.out.isEmpty());
        QCOMPARE(sim.counter(QStringLiteral("connections")), 0);
        return;
    }
    QVERIFY(o.err.isEmpty());
    QCOMPARE(o.lines().size(), 3);
    QCOMPARE(cmds.size(), 3);
    for (const QString& c : cmds)
        QVERIFY2(c.contains(QStringLiteral(" code=%1 ").arg(sent)), qPrintable(c));
}

void tst_Batch::enumerate_data() {
    QTest::addColumn<QString>("fleet");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("expected"); // all lines, or first and last with count
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("error_start");

    QTest::newRow("IMEIs come as 15 digits in the server's order")
        << "port 0\ndevice 350000000000003\ndevice 1\ndevice 350000000000002\n"
        << 0 << QStringList{"350000000000003", "000000000000001", "350000000000002"} << 3
        << QString();
    QTest::newRow("a server without devices gives an empty list")
        << "port 0\n"
        << 0 << QStringList() << 0 << QString();
    QTest::newRow("exactly one full answer frame")
        << "port 0\nrange 100000000000000 1000\n"
        << 0 << QStringList{"100000000000000", "100000000000999"} << 1000 << QString();
    QTest::newRow("a list over two answer frames")
        << "port 0\nrange 100000000000000 1001\n"
        << 0 << QStringList{"100000000000000", "100000000001000"} << 1001 << QString();
    QTest::newRow("a refused connection fails with its message")
        << "port 0 refuse=all\n"
        << 1 << QStringList() << 0
        << QStringLiteral("Не удалось установить TCP-соединение с сервером.");
    QTest::newRow("a broken list fails with the server's fault")
        << "port 0 enum_fault=bad_digit\ndevice 350000000000001\n"
        << 1 << QStringList() << 0 << QStringLiteral("Нарушение протокола сервером");
}

void tst_Batch::enumerate() {
    QFETCH(QString, fleet);
    QFETCH(int, code);
    QFETCH(QStringList, expected);
    QFETCH(int, count);
    QFETCH(QString, error_start);

    Sim_process sim;
    START(sim, fleet);
    const Outcome o = batch(
        {QStringLiteral("enumerate"), QStringLiteral("127.0.0.1"), QString::number(sim.port())});
    QCOMPARE(o.code, code);
    const QStringList lines = o.lines();
    QCOMPARE(lines.size(), count);
    if (count == expected.size()) {
        QCOMPARE(lines, expected);
    } else {
        QCOMPARE(lines.first(), expected.first());
        QCOMPARE(lines.last(), expected.last());
    }
    if (error_start.isEmpty())
        QVERIFY(o.err.isEmpty());
    else
        QVERIFY2(o.err.startsWith(error_start), qPrintable(o.err));
    QVERIFY(sim.stop());
}

void tst_Batch::encrypted() {
    const QByteArray plain_text =
        "simultaneously = 3\n"
        "server(address \"host\", port 1) { device(imei 5, pin \"p1\") }\n";
    write(QStringLiteral("plain.zelmo_upload"), plain_text);
    write(QStringLiteral("pw_crlf"), "Пароль 1\r\nignored\r\n");
    write(QStringLiteral("pw_lf"), "Пароль 1\n");
    write(QStringLiteral("pw_wrong"), "Пароль 2\n");
    write(QStringLiteral("pw_empty"), "\nПароль 1\n");
    const QString plain = path(QStringLiteral("plain.zelmo_upload"));
    const QString secret = path(QStringLiteral("secret.zelmo_upload"));

    const Outcome reference = batch({QStringLiteral("check"), plain});
    QCOMPARE(reference.code, 0);

    Outcome o = batch({QStringLiteral("convert"), plain, secret,
                       QStringLiteral("--encrypt-password-file"), path(QStringLiteral("pw_crlf"))});
    QCOMPARE(o.code, 0);
    QFile f(secret);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().startsWith("\x97\xA2"));
    f.close();

    // The same password from a file with another line end opens it.
    o = batch({QStringLiteral("check"), secret, QStringLiteral("--password-file"),
               path(QStringLiteral("pw_lf"))});
    QCOMPARE(o.code, 0);
    QCOMPARE(o.out, reference.out);

    o = batch({QStringLiteral("check"), secret, QStringLiteral("--password-file"),
               path(QStringLiteral("pw_wrong"))});
    QCOMPARE(o.code, 2);
    QCOMPARE(o.err,
             QStringLiteral("Пароль из файла «%1» не подходит к зашифрованному файлу «%2», или "
                            "этот файл повреждён.\n")
                 .arg(path(QStringLiteral("pw_wrong")), secret));
    QVERIFY(o.out.isEmpty());

    // Standard input is not a terminal here, so there is nobody to ask.
    o = batch({QStringLiteral("gather"), secret});
    QCOMPARE(o.code, 2);
    QCOMPARE(o.err, QStringLiteral("Файл «%1» зашифрован. Укажите файл с паролем опцией "
                                   "--password-file.\n")
                        .arg(secret));

    // Back to plain text.
    const QString again = path(QStringLiteral("again.zelmo_upload"));
    o = batch({QStringLiteral("convert"), secret, again, QStringLiteral("--password-file"),
               path(QStringLiteral("pw_crlf"))});
    QCOMPARE(o.code, 0);
    QFile g(again);
    QVERIFY(g.open(QIODevice::ReadOnly));
    QCOMPARE(g.readAll(), "\xEF\xBB\xBF" + reference.out);
    g.close();

    // An empty password would write the file unencrypted: refused, and OUT stays as it was.
    o = batch({QStringLiteral("convert"), plain, again, QStringLiteral("--encrypt-password-file"),
               path(QStringLiteral("pw_empty"))});
    QCOMPARE(o.code, 2);
    QVERIFY(o.err.contains(QStringLiteral("пустой пароль")));
    QVERIFY(g.open(QIODevice::ReadOnly));
    QCOMPARE(g.readAll(), "\xEF\xBB\xBF" + reference.out);
    g.close();

    // A configuration that does not parse leaves OUT alone too.
    write(QStringLiteral("broken.zelmo_upload"), "server(");
    o = batch({QStringLiteral("convert"), path(QStringLiteral("broken.zelmo_upload")), again});
    QCOMPARE(o.code, 2);
    QVERIFY(g.open(QIODevice::ReadOnly));
    QCOMPARE(g.readAll(), "\xEF\xBB\xBF" + reference.out);
}

void tst_Batch::encrypted_forms_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("magic");
    QTest::newRow("modern") << QStringLiteral("modern") << QByteArray("\x97\xA2");
    QTest::newRow("legacy, for older versions")
        << QStringLiteral("legacy") << QByteArray("\x97\xA1");
}

// Either form opens with its password in every command that reads a configuration; another
// password is refused in the same words, as a damaged file would be.
void tst_Batch::encrypted_forms() {
    QFETCH(QString, format);
    QFETCH(QByteArray, magic);
    write(QStringLiteral("forms.zelmo_upload"),
          "server(address \"host\", port 1) { device(imei 7, pin \"0007\") }\n");
    write(QStringLiteral("forms_pw"), "тайна\n");
    write(QStringLiteral("forms_wrong"), "тайна 2\n");
    const QString plain = path(QStringLiteral("forms.zelmo_upload"));
    const QString secret = path(QStringLiteral("forms_%1.zelmo_upload").arg(format));
    const Outcome reference = batch({QStringLiteral("check"), plain});
    QCOMPARE(reference.code, 0);

    Outcome o =
        batch({QStringLiteral("convert"), plain, secret, QStringLiteral("--format"), format,
               QStringLiteral("--encrypt-password-file"), path(QStringLiteral("forms_pw"))});
    QCOMPARE(o.code, 0);
    QFile f(secret);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().left(2), magic);

    o = batch({QStringLiteral("check"), secret, QStringLiteral("--password-file"),
               path(QStringLiteral("forms_pw"))});
    QCOMPARE(o.code, 0);
    QCOMPARE(o.out, reference.out);
    for (const char* cmd : {"check", "gather"}) {
        o = batch({QLatin1String(cmd), secret, QStringLiteral("--password-file"),
                   path(QStringLiteral("forms_wrong"))});
        QCOMPARE(o.code, 2);
        QCOMPARE(o.err, QStringLiteral("Пароль из файла «%1» не подходит к зашифрованному файлу "
                                       "«%2», или этот файл повреждён.\n")
                            .arg(path(QStringLiteral("forms_wrong")), secret));
    }
}

void tst_Batch::interrupt() {
    Sim_process sim;
    START(sim, "port 0\nrange 350000000000001 20 cmd_delay=150\n");
    write(QStringLiteral("slow.zelmo_upload"),
          sim_config(sim.port(), 20, QStringLiteral("simultaneously = 1\n")));

    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(ZELMO_BATCH_PATH),
            {QStringLiteral("command"), path(QStringLiteral("slow.zelmo_upload")),
             QStringLiteral("restart"), QStringLiteral("--failed-out"),
             path(QStringLiteral("rest.zelmo_upload"))});
    QVERIFY(p.waitForStarted());
    QVERIFY(sim.wait_record(QStringLiteral("CMD"), 3, 10000));
    QCOMPARE(::kill(pid_t(p.processId()), SIGINT), 0);
    const Outcome o = batch({}, &p);
    QCOMPARE(o.code, 1);

    // Every device has its line; the run stopped long before the last one.
    const QStringList lines = o.lines();
    QCOMPARE(lines.size(), 20);
    const int ok = lines.filter(QStringLiteral("\tok")).size();
    QVERIFY2(ok >= 2 && ok < 15, qPrintable(QString::number(ok)));
    const QStringList cancelled =
        lines.filter(QStringLiteral("\tfailed\tРабота с устройством отменена пользователем."));
    QVERIFY(cancelled.size() >= 20 - ok - 1);
    QVERIFY(o.err.contains(QStringLiteral("Работа прервана (Ctrl-C).")));
    QVERIFY(o.err.contains(QStringLiteral("Всего устройств: 20, успешно: %1").arg(ok)));
    QVERIFY(sim.stop());
    QVERIFY(sim.record_of(QStringLiteral("CMD")).size() < 20);

    // The failed list holds the rest, ready for another run.
    Configuration cfg;
    load(path(QStringLiteral("rest.zelmo_upload")), cfg);
    QCOMPARE(cfg.devices.count, unsigned(20 - ok));
}

void tst_Batch::unwritable_list() {
    Sim_process sim;
    START(sim, "port 0\ndevice 350000000000001\n");
    write(QStringLiteral("one.zelmo_upload"), sim_config(sim.port(), 1));
    const QString list = path(QStringLiteral("no/such/dir/failed.zelmo_upload"));
    const Outcome o = batch({QStringLiteral("command"), path(QStringLiteral("one.zelmo_upload")),
                             QStringLiteral("cleargnss"), QStringLiteral("--failed-out"), list});
    // The list could never be written: refused before any device is served.
    QCOMPARE(o.code, 2);
    QVERIFY(o.out.isEmpty());
    QCOMPARE(o.err, QStringLiteral("Файл «%1», указанный в опции «--failed-out», не может быть "
                                   "создан: нет папки «%2».\n")
                        .arg(list, path(QStringLiteral("no/such/dir"))));
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter(QStringLiteral("connections")), 0);
}

void tst_Batch::trace_data() {
    QTest::addColumn<bool>("on");
    QTest::newRow("--trace writes the frames to the named log") << true;
    QTest::newRow("without --trace no frame is logged") << false;
}

void tst_Batch::trace() {
    QFETCH(bool, on);
    Sim_process sim;
    START(sim, "port 0\ndevice 350000000000001\n");
    write(QStringLiteral("trace.zelmo_upload"), sim_config(sim.port(), 1));
    const QString log = path(on ? QStringLiteral("on.log") : QStringLiteral("off.log"));
    QFile::remove(log);
    QStringList args{QStringLiteral("command"), path(QStringLiteral("trace.zelmo_upload")),
                     QStringLiteral("restart"), QStringLiteral("--log=") + log};
    if (on)
        args << QStringLiteral("--trace");
    QCOMPARE(batch(args).code, 0);
    QVERIFY(sim.stop());
    QFile f(log);
    const bool exists = f.open(QIODevice::ReadOnly);
    const QString text = exists ? QString::fromUtf8(f.readAll()) : QString();
    QCOMPARE(text.contains(QRegularExpression(QStringLiteral("\\] #\\d+ "))), on);
    QVERIFY(!on || exists);
}

void tst_Batch::errors_data() {
    QTest::addColumn<QStringList>("args"); // {D} stands for the temporary directory
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("error"); // empty: what the program's loader says about cfg

    const QByteArray one_device = "server(address \"127.0.0.1\", port 9) { device(imei 1, pin "
                                  "\"\") }\n";
    const QByteArray no_device = "simultaneously = 2\nserver(address \"h\", port 1) {}\n";
    QTest::newRow("no command is a usage error")
        << QStringList() << QByteArray()
        << QStringLiteral("Не указана команда.\n") + usage_hint + QLatin1Char('\n');
    QTest::newRow("a missing configuration file")
        << QStringList{"check", "{D}/none.zelmo_upload"} << QByteArray()
        << QStringLiteral("Не найден файл «{D}/none.zelmo_upload».\n");
    QTest::newRow("a syntax error names the file, line and column")
        << QStringList{"check", "{D}/cfg"}
        << QByteArray("simultaneously = 5\nserver(address \"h\", port 70000) {}\n") << QString();
    QTest::newRow("a file that is not UTF-8")
        << QStringList{"upload", "{D}/cfg", "{D}/cfg"} << QByteArray("\xC3\x28") << QString();
    QTest::newRow("an upload to a configuration without devices")
        << QStringList{"upload", "{D}/cfg", "{D}/cfg"} << no_device
        << QStringLiteral("Некуда закачивать: в текущей конфигурации нет ни одного устройства.\n");
    QTest::newRow("a device file name that is too long")
        << QStringList{"upload", "{D}/cfg", "{D}/cfg", "--as", "ABCDEFGHIJK"} << one_device
        << QStringLiteral("значение параметра «Имя файла на устройстве» слишком длинное - должно "
                          "быть не длиннее 10 символов.\n");
    QTest::newRow("a device file name that is not ASCII")
        << QStringList{"upload", "{D}/cfg", "{D}/cfg", "--as", "ПРОШИВКА"} << one_device
        << QStringLiteral("неправильное значение параметра «Имя файла на устройстве». Этот "
                          "параметр должен состоять только из символов printable ASCII (латинские "
                          "буквы, цифры, пробелы, а также следующие символы: "
                          "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~).\n");
    QTest::newRow("a missing file to upload")
        << QStringList{"upload", "{D}/cfg", "{D}/none.bin"} << one_device
        << QStringLiteral("Не найден файл «{D}/none.bin».\n");
}

void tst_Batch::errors() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, config);
    QFETCH(QString, error);

    for (QString& a : args)
        a.replace(QLatin1String("{D}"), dir.path());
    if (!config.isEmpty())
        write(QStringLiteral("cfg"), config);
    if (error.isEmpty()) {
        error = load_error(path(QStringLiteral("cfg"))) + QLatin1Char('\n');
        QVERIFY(error.size() > 1);
    }
    error.replace(QLatin1String("{D}"), dir.path());

    const Outcome o = batch(args);
    QCOMPARE(o.code, 2);
    QCOMPARE(o.err, error);
    QVERIFY(o.out.isEmpty());
}

QTEST_GUILESS_MAIN(tst_Batch)
#include "tst_batch.moc"
