// The written forms of a report row: times, JSON strings and CSV fields, checked against
// Qt's own readers.
#include "engine/report.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class tst_Batch_record : public QObject {
    Q_OBJECT

private slots:
    void iso_time_data();
    void iso_time();
    void json_text_data();
    void json_text();
    void csv_text_data();
    void csv_text();
};

void tst_Batch_record::iso_time_data() {
    QTest::addColumn<qint64>("ms");
    QTest::newRow("the epoch") << qint64(0);
    QTest::newRow("the last millisecond of a day") << qint64(86400000 - 1);
    QTest::newRow("29 February of a leap year") << qint64(951782400123);  // 2000-02-29
    QTest::newRow("1 March after it") << qint64(951868800999);            // 2000-03-01
    QTest::newRow("31 December of a leap year") << qint64(1483142400000); // 2016-12-31
    QTest::newRow("the end of a century year") << qint64(4102444799999);  // 2099-12-31
    QTest::newRow("today") << QDateTime::currentMSecsSinceEpoch();
}

void tst_Batch_record::iso_time() {
    QFETCH(qint64, ms);
    QByteArray out;
    append_iso_time(out, ms);
    QCOMPARE(QString::fromLatin1(out),
             QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs));
}

void tst_Batch_record::json_text_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("quotes and backslashes") << QStringLiteral("a \"b\" \\ c");
    QTest::newRow("line breaks and tabs") << QStringLiteral("1\n2\r3\t4");
    QTest::newRow("other control characters") << QString::fromUtf16(u"\u0001\u001f\u007f");
    QTest::newRow("Cyrillic and quotation marks") << QStringLiteral("Нет связи «сервер»");
    QTest::newRow("empty") << QString();
}

// Whatever the text, the row stays one line and reads back as it was.
void tst_Batch_record::json_text() {
    QFETCH(QString, text);
    Attempt a;
    a.imei = 42;
    a.address = text;
    a.text = text;
    a.action = QStringLiteral("upload");
    QByteArray out;
    append_attempt_json(out, a);
    QCOMPARE(out.count('\n'), 1);
    QVERIFY(out.endsWith('\n'));
    QJsonParseError e;
    const QJsonObject o = QJsonDocument::fromJson(out, &e).object();
    QCOMPARE(e.error, QJsonParseError::NoError);
    QCOMPARE(o.value("text").toString(), text);
    QCOMPARE(o.value("address").toString(), text);
    QCOMPARE(o.value("imei").toString(), QStringLiteral("000000000000042"));
    QCOMPARE(o.value("class").toString(), QString());
}

void tst_Batch_record::csv_text_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("plain stays bare") << QStringLiteral("ok text") << QByteArray("ok text");
    QTest::newRow("a comma is quoted") << QStringLiteral("a,b") << QByteArray("\"a,b\"");
    QTest::newRow("a quote is doubled")
        << QStringLiteral("say \"x\"") << QByteArray("\"say \"\"x\"\"\"");
    QTest::newRow("a line break is quoted") << QStringLiteral("1\r\n2") << QByteArray("\"1\r\n2\"");
    // What a spreadsheet would take for a formula is shown as text.
    QTest::newRow("= gets an apostrophe") << QStringLiteral("=1+2") << QByteArray("'=1+2");
    QTest::newRow("+ gets an apostrophe") << QStringLiteral("+1") << QByteArray("'+1");
    QTest::newRow("- gets an apostrophe") << QStringLiteral("-1") << QByteArray("'-1");
    QTest::newRow("@ gets an apostrophe") << QStringLiteral("@SUM(A1)") << QByteArray("'@SUM(A1)");
    QTest::newRow("a leading tab gets an apostrophe")
        << QStringLiteral("\tx") << QByteArray("'\tx");
    QTest::newRow("a leading CR gets an apostrophe and quotes")
        << QStringLiteral("\rx") << QByteArray("\"'\rx\"");
    QTest::newRow("a sign inside stays") << QStringLiteral("a=b") << QByteArray("a=b");
}

void tst_Batch_record::csv_text() {
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    Attempt a;
    a.imei = 350000000000001;
    a.address = QStringLiteral("h");
    a.port = 7;
    a.action = QStringLiteral("gather");
    a.fail_class = 6;
    a.text = text;
    a.start_ms = 1000;
    a.end_ms = 1250;
    a.attempt = 2;
    QByteArray out;
    append_attempt_csv(out, a);
    QCOMPARE(out, "350000000000001,h,7,gather,failed,device," + field +
                      ",1970-01-01T00:00:01.000Z,1970-01-01T00:00:01.250Z,250,2,false,,\r\n");
}

QTEST_GUILESS_MAIN(tst_Batch_record)
#include "tst_batch_record.moc"
