// Reading a journal back for --resume: which devices count as done, what is refused, and
// how a journal continues after a torn last line.
#include "engine/journal.h"
#include "foundation/err.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_Batch_journal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void load_data();
    void load();
    void load_verified_data();
    void load_verified();
    void append_after_torn_line();

private:
    QString write(const QByteArray& bytes);
    QTemporaryDir dir;
    QByteArray log_name;
};

namespace {

const Journal_work upload{QStringLiteral("upload"), QStringLiteral("FIRMWARE"),
                          QStringLiteral("0badcafe")};

const QByteArray head = "{\"journal\":1,\"action\":\"upload\",\"devfname\":\"FIRMWARE\","
                        "\"crc32\":\"0badcafe\",\"started\":\"2026-12-09T06:00:00.000Z\"}\n";
const QByteArray other_head = "{\"journal\":1,\"action\":\"upload\",\"devfname\":\"FIRMWARE\","
                              "\"crc32\":\"12345678\",\"started\":\"2026-12-09T05:00:00.000Z\"}\n";

QByteArray row(int imei, const char* result, int port = 4000) {
    return QStringLiteral("{\"imei\":\"%1\",\"address\":\"a\",\"port\":%2,\"action\":\"upload\","
                          "\"result\":\"%3\",\"class\":\"\",\"text\":\"\",\"start\":\"\","
                          "\"end\":\"\",\"duration_ms\":0,\"attempt\":1}\n")
        .arg(350000000000000ULL + unsigned(imei))
        .arg(port)
        .arg(QLatin1String(result))
        .toUtf8();
}

// An upload with a version check: its head names the expected version; a row says whether
// the device was skipped as current and which version was read after the upload.
Journal_work verified_upload(const char* version) {
    Journal_work w = upload;
    w.version = QLatin1String(version);
    return w;
}

QByteArray verified_head(const char* version) {
    return head.left(head.indexOf(",\"started\"")) + ",\"version\":\"" + version +
           "\",\"started\":\"2026-12-09T06:00:00.000Z\"}\n";
}

QByteArray vrow(int imei, const char* result, bool skipped, const char* after) {
    QByteArray r = row(imei, result);
    r.chop(2); // "}\n"
    return r + ",\"skipped\":" + (skipped ? "true" : "false") +
           ",\"version_before\":\"\",\"version_after\":\"" + after + "\"}\n";
}

QString key(int imei, int port = 4000) {
    return journal_device_key(350000000000000ULL + unsigned(imei), QStringLiteral("a"),
                              unsigned(port));
}

} // namespace

void tst_Batch_journal::initTestCase() {
    QVERIFY(dir.isValid());
    log_name = QFile::encodeName(dir.filePath(QStringLiteral("test.log")));
    log_file_name = log_name.constData();
}

QString tst_Batch_journal::write(const QByteArray& bytes) {
    const QString path = dir.filePath(QStringLiteral("j.jsonl"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

void tst_Batch_journal::load_data() {
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QStringList>("done"); // or one "error: part of the message"

    QTest::newRow("succeeded devices only")
        << head + row(1, "ok") + row(2, "failed") + row(3, "ok") << QStringList{key(1), key(3)};
    QTest::newRow("a failure after a success does not undo it")
        << head + row(1, "ok") + row(1, "failed") << QStringList{key(1)};
    QTest::newRow("the same IMEI behind another server is another device")
        << head + row(1, "ok", 4001) << QStringList{key(1, 4001)};
    QTest::newRow("a torn last line is lost, the rest kept")
        << head + row(1, "ok") + row(2, "ok").left(40) << QStringList{key(1)};
    QTest::newRow("only sections of the same work count")
        << other_head + row(1, "ok") + head + row(2, "ok") + other_head + row(3, "ok")
        << QStringList{key(2)};
    QTest::newRow("a torn line inside is refused")
        << head + row(1, "ok").left(30) + "\n" + row(2, "ok")
        << QStringList{"error: строка 2 не является записью журнала"};
    QTest::newRow("rows before any head are refused")
        << row(1, "ok") + head << QStringList{"error: строка 1 не является записью журнала"};
    QTest::newRow("an empty file is refused")
        << QByteArray() << QStringList{"error: строка 1 не является записью журнала"};
    QTest::newRow("another file's journal is refused")
        << other_head + row(1, "ok")
        << QStringList{"error: записан для другой работы (upload FIRMWARE, CRC-32 12345678), чем "
                       "запускаемая (upload FIRMWARE, CRC-32 0badcafe)"};
}

void tst_Batch_journal::load() {
    QFETCH(QByteArray, journal);
    QFETCH(QStringList, done);
    const QString path = write(journal);
    QVERIFY(!path.isEmpty());
    try {
        const QSet<QString> got = load_journal(path, upload);
        QVERIFY2(!done.value(0).startsWith(QLatin1String("error: ")), "accepted");
        QCOMPARE(got, QSet<QString>(done.begin(), done.end()));
    } catch (const Err& e) {
        QVERIFY2(done.value(0).startsWith(QLatin1String("error: ")), qPrintable(e.message));
        QVERIFY2(e.message.contains(done[0].mid(7)), qPrintable(e.message));
        QVERIFY(e.message.contains(path));
    }
}

void tst_Batch_journal::load_verified_data() {
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QStringList>("done"); // or one "error: part of the message"

    const QByteArray h = verified_head("main FW 2");
    QTest::newRow("skipped as current and verified devices are done")
        << h + vrow(1, "ok", true, "FW 2") + vrow(2, "ok", false, "") + vrow(2, "ok", false, "FW 2")
        << QStringList{key(1), key(2)};
    QTest::newRow("a failed check brings the device back")
        << h + vrow(1, "ok", false, "") + vrow(1, "failed", false, "FW 1") << QStringList();
    QTest::newRow("an upload that the check never reached is served again")
        << h + vrow(1, "ok", false, "") << QStringList();
    QTest::newRow("a success after a failed check counts")
        << h + vrow(1, "failed", false, "FW 1") + vrow(1, "ok", true, "FW 2")
        << QStringList{key(1)};
    QTest::newRow("a plain upload's journal is other work")
        << head + row(1, "ok")
        << QStringList{"error: (upload FIRMWARE, CRC-32 0badcafe, ожидаемая версия main FW 2)"};
    QTest::newRow("another expected version is other work")
        << verified_head("main FW 3") + vrow(1, "ok", true, "FW 3")
        << QStringList{"error: записан для другой работы (upload FIRMWARE, CRC-32 0badcafe, "
                       "ожидаемая версия main FW 3)"};
}

void tst_Batch_journal::load_verified() {
    QFETCH(QByteArray, journal);
    QFETCH(QStringList, done);
    const QString path = write(journal);
    QVERIFY(!path.isEmpty());
    try {
        const QSet<QString> got = load_journal(path, verified_upload("main FW 2"), true);
        QVERIFY2(!done.value(0).startsWith(QLatin1String("error: ")), "accepted");
        QCOMPARE(got, QSet<QString>(done.begin(), done.end()));
    } catch (const Err& e) {
        QVERIFY2(done.value(0).startsWith(QLatin1String("error: ")), qPrintable(e.message));
        QVERIFY2(e.message.contains(done[0].mid(7)), qPrintable(e.message));
    }
}

// A resumed run starts its head on a fresh line, and both runs' results read back.
void tst_Batch_journal::append_after_torn_line() {
    const QString path = write(head + row(1, "ok") + row(2, "ok").left(25));
    QVERIFY(!path.isEmpty());
    try {
        Journal_writer w;
        w.open(path, true, upload, 0);
        w.add(row(3, "ok"));
        QString error;
        QVERIFY2(w.close(error), qPrintable(error));
        QCOMPARE(load_journal(path, upload), (QSet<QString>{key(1), key(3)}));
    } catch (const Err& e) {
        QFAIL(qPrintable(e.message));
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 6); // head, row, torn row, head, row, and the end
    QVERIFY(lines[3].startsWith("{\"journal\":1,"));
}

QTEST_GUILESS_MAIN(tst_Batch_journal)
#include "tst_batch_journal.moc"
