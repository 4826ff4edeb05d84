#include "parser/utf8_text_parser.h"
#include "support/parser_texts.h"

#include <QTemporaryDir>
#include <QtTest>

#include <limits>

static QString here(const Utf8_text_parser& p) {
    return pos(int(p.column()), p.line);
}

static const QString too_big = QStringLiteral("число слишком большое (должно быть не более %1)");
static const QString too_small =
    QStringLiteral("число слишком маленькое (должно быть не менее %1).");
static const QString no_number = QStringLiteral("ожидается десятичное число.");

class tst_Parser_primitives : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void assignment_data();
    void assignment();
    void decimal_data();
    void decimal();
    void printable_ascii_data();
    void printable_ascii();
    void digits_reader_reports_each_outcome();

private:
    QTemporaryDir dir;
    QByteArray log_name;
};

void tst_Parser_primitives::initTestCase() {
    QVERIFY(dir.isValid());
    log_name = dir.filePath(QStringLiteral("test.log")).toUtf8();
    log_file_name = log_name.constData();
}

void tst_Parser_primitives::assignment_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("seen");
    // "no", "yes at <position>" or the error message.
    QTest::addColumn<QString>("expected");

    const QString expected_eq = QStringLiteral("ожидается символ «=».");
    const QString defined = QStringLiteral("параметр «port» уже определён выше по тексту.");

    QTest::newRow("keyword with blanks around the sign")
        << QByteArray("port = 7") << false << "yes at " + pos(8, 1);
    QTest::newRow("keyword with no blanks")
        << QByteArray("port=7") << false << "yes at " + pos(6, 1);
    QTest::newRow("comment line between keyword and sign")
        << QByteArray("port # what\n// more\n  = \n 7") << false << "yes at " + pos(2, 4);
    QTest::newRow("sign at the end of the text")
        << QByteArray("port =") << false << "yes at " + pos(7, 1);
    QTest::newRow("shorter word does not match") << QByteArray("por = 7") << false << "no";
    QTest::newRow("other word does not match") << QByteArray("server(") << false << "no";
    QTest::newRow("empty text does not match") << QByteArray("") << false << "no";
    QTest::newRow("keyword matched as a prefix")
        << QByteArray("portx = 7") << false << at(5, 1, expected_eq);
    QTest::newRow("keyword without a sign")
        << QByteArray("port 7") << false << at(6, 1, expected_eq);
    QTest::newRow("keyword at the end of the text")
        << QByteArray("port") << false << at(5, 1, expected_eq);
    QTest::newRow("second occurrence") << QByteArray("port = 7") << true << at(5, 1, defined);
    QTest::newRow("second occurrence without a sign")
        << QByteArray("port 7") << true << at(5, 1, defined);
    QTest::newRow("second occurrence of a prefix")
        << QByteArray("portal") << true << at(5, 1, defined);
    QTest::newRow("no match leaves a seen keyword alone") << QByteArray("pot") << true << "no";
}

void tst_Parser_primitives::assignment() {
    QFETCH(QByteArray, text);
    QFETCH(bool, seen);
    QFETCH(QString, expected);

    Utf8_text_parser p;
    p.init(text);
    const bool seen_before = seen;
    QString outcome;
    try {
        outcome = p.is_assignment("port", seen) ? "yes at " + here(p) : QStringLiteral("no");
    } catch (const Err& e) {
        outcome = e.message;
        QCOMPARE(seen, seen_before);
    }
    QCOMPARE(outcome, expected);
    if (outcome == QLatin1String("no"))
        QCOMPARE(p.s, text.constData());
    if (outcome.startsWith(QLatin1String("yes")))
        QVERIFY(seen);
}

void tst_Parser_primitives::decimal_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("start"); // offset of the number in the text
    QTest::addColumn<int>("bits");
    QTest::addColumn<quint64>("min");
    QTest::addColumn<quint64>("max");
    // "<value> at <position>" or the error message.
    QTest::addColumn<QString>("expected");

    const quint64 u32 = std::numeric_limits<quint32>::max();
    const quint64 u64 = std::numeric_limits<quint64>::max();

    QTest::newRow("maximum port") << QByteArray("65535") << 0 << 32 << quint64(1) << quint64(65535)
                                  << "65535 at " + pos(6, 1);
    QTest::newRow("one above the maximum port") << QByteArray("65536") << 0 << 32 << quint64(1)
                                                << quint64(65535) << at(5, 1, too_big.arg(65535));
    QTest::newRow("long number stops at the first digit too many")
        << QByteArray("1234567890123") << 0 << 32 << quint64(1) << quint64(65535)
        << at(6, 1, too_big.arg(65535));
    QTest::newRow("zero below the minimum points at the number")
        << QByteArray("  0;") << 2 << 32 << quint64(1) << quint64(65535)
        << at(3, 1, too_small.arg(1));
    QTest::newRow("below minimum with several digits points at the first")
        << QByteArray("x=0099") << 2 << 32 << quint64(100) << quint64(200)
        << at(3, 1, too_small.arg(100));
    QTest::newRow("leading zeros")
        << QByteArray("007 ") << 0 << 32 << quint64(1) << quint64(65535) << "7 at " + pos(4, 1);
    QTest::newRow("minus sign") << QByteArray("-1") << 0 << 32 << quint64(0) << quint64(65535)
                                << at(1, 1, no_number);
    QTest::newRow("plus sign") << QByteArray("+1") << 0 << 32 << quint64(0) << quint64(65535)
                               << at(1, 1, no_number);
    QTest::newRow("letter") << QByteArray("a1") << 0 << 32 << quint64(0) << quint64(65535)
                            << at(1, 1, no_number);
    QTest::newRow("blank before the number is not skipped")
        << QByteArray(" 1") << 0 << 32 << quint64(0) << quint64(65535) << at(1, 1, no_number);
    QTest::newRow("end of text") << QByteArray("") << 0 << 32 << quint64(0) << quint64(65535)
                                 << at(1, 1, no_number);
    QTest::newRow("number stops at a letter")
        << QByteArray("12x") << 0 << 32 << quint64(0) << quint64(65535) << "12 at " + pos(3, 1);
    QTest::newRow("largest 32-bit value") << QByteArray("4294967295") << 0 << 32 << quint64(0)
                                          << u32 << "4294967295 at " + pos(11, 1);
    QTest::newRow("32-bit value does not wrap")
        << QByteArray("4294967296") << 0 << 32 << quint64(0) << u32 << at(10, 1, too_big.arg(u32));
    QTest::newRow("32-bit value far beyond does not wrap")
        << QByteArray("42949672950") << 0 << 32 << quint64(0) << u32 << at(11, 1, too_big.arg(u32));
    QTest::newRow("largest IMEI") << QByteArray("999999999999999") << 0 << 64 << quint64(0)
                                  << quint64(999999999999999) << "999999999999999 at " + pos(16, 1);
    QTest::newRow("IMEI of sixteen digits")
        << QByteArray("1000000000000000") << 0 << 64 << quint64(0) << quint64(999999999999999)
        << at(16, 1, too_big.arg(999999999999999));
    QTest::newRow("largest 64-bit value")
        << QByteArray("18446744073709551615") << 0 << 64 << quint64(0) << u64
        << "18446744073709551615 at " + pos(21, 1);
    QTest::newRow("64-bit value does not wrap") << QByteArray("18446744073709551616") << 0 << 64
                                                << quint64(0) << u64 << at(20, 1, too_big.arg(u64));
    QTest::newRow("minimum equal to maximum")
        << QByteArray("5") << 0 << 32 << quint64(5) << quint64(5) << "5 at " + pos(2, 1);
}

void tst_Parser_primitives::decimal() {
    QFETCH(QByteArray, text);
    QFETCH(int, start);
    QFETCH(int, bits);
    QFETCH(quint64, min);
    QFETCH(quint64, max);
    QFETCH(QString, expected);

    Utf8_text_parser p;
    p.init(text);
    p.s += start;
    QString outcome;
    try {
        const quint64 value = bits == 32 ? quint64(p.req_dec<32>(quint32(min), quint32(max)))
                                         : p.req_dec<64>(min, max);
        outcome = QString::number(value) + " at " + here(p);
    } catch (const Err& e) {
        outcome = e.message;
    }
    QCOMPARE(outcome, expected);
}

void tst_Parser_primitives::printable_ascii_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("size");
    // The whole field (with its padding) and the position after, or the error message.
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("expected");

    const QString too_long =
        QStringLiteral("слишком длинная строка - должна быть не длиннее %1 символов.");
    const QString bad_char = QStringLiteral(
        "в строке обнаружен недопустимый символ с кодом %1. Эта строка может содержать только "
        "символы printable ASCII (латинские буквы, цифры, пробелы, а также следующие символы: "
        "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~).");
    const QString unknown = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность: после escape-символа «\\» "
        "идёт байт с кодом %1.");
    const QByteArray none;

    QTest::newRow("short value is zero padded")
        << QByteArray("\"ab\"") << 4 << QByteArray("ab\0\0", 4) << pos(5, 1);
    QTest::newRow("empty value is all zeros")
        << QByteArray("\"\"") << 3 << QByteArray(3, '\0') << pos(3, 1);
    QTest::newRow("full field has no terminating zero")
        << QByteArray("\"abcd\"") << 4 << QByteArray("abcd") << pos(7, 1);
    QTest::newRow("two literals fill the field together")
        << QByteArray("\"ab\" \"cd\"") << 4 << QByteArray("abcd") << pos(10, 1);
    QTest::newRow("literals join across a comment")
        << QByteArray("\"ab\" # x\n\"c\" ") << 4 << QByteArray("abc\0", 4) << pos(4, 2);
    QTest::newRow("escaped quote counts as one character")
        << QByteArray("\"a\\\"b\\\\\"") << 4 << QByteArray("a\"b\\") << pos(9, 1);
    QTest::newRow("every allowed escape")
        << QByteArray("\"\\'\\/\\?\"") << 3 << QByteArray("'/?") << pos(9, 1);
    QTest::newRow("space and tilde are printable")
        << QByteArray("\" ~\"") << 2 << QByteArray(" ~") << pos(5, 1);
    QTest::newRow("zero-size field takes an empty value")
        << QByteArray("\"\"") << 0 << QByteArray() << pos(3, 1);

    QTest::newRow("fifth character in a field of four")
        << QByteArray("\"abcde\"") << 4 << none << at(6, 1, too_long.arg(4));
    QTest::newRow("too long in the second piece")
        << QByteArray("\"ab\"\n\"cde\"") << 4 << none << at(4, 2, too_long.arg(4));
    QTest::newRow("escape beyond the field points at the backslash")
        << QByteArray("\"ab\\\"\"") << 2 << none << at(4, 1, too_long.arg(2));
    QTest::newRow("zero-size field refuses a character")
        << QByteArray("\"a\"") << 0 << none << at(2, 1, too_long.arg(0));
    QTest::newRow("no quote") << QByteArray("abc") << 4 << none
                              << at(1, 1,
                                    QStringLiteral("здесь должна быть строка в двойных "
                                                   "кавычках (\")."));
    QTest::newRow("open at the end")
        << QByteArray("\"ab") << 4 << none
        << at(4, 1,
              QStringLiteral("ожидается двойная кавычка, закрывающая строку, вместо неё "
                             "обнаружен конец разбираемого текста."));
    QTest::newRow("tab") << QByteArray("\"a\tb\"") << 4 << none << at(3, 1, bad_char.arg(9));
    QTest::newRow("line feed") << QByteArray("\"a\n\"") << 4 << none << at(3, 1, bad_char.arg(10));
    QTest::newRow("DEL") << QByteArray("\"\x7f\"") << 4 << none << at(2, 1, bad_char.arg(127));
    QTest::newRow("first byte of a Cyrillic letter")
        << QByteArray("\"\xd0\x96\"") << 4 << none << at(2, 1, bad_char.arg(208));
    QTest::newRow("letter escape is not allowed")
        << QByteArray("\"\\n\"") << 4 << none << at(3, 1, unknown.arg(110));
    QTest::newRow("hex escape is not allowed")
        << QByteArray("\"\\x41\"") << 4 << none << at(3, 1, unknown.arg(120));
    QTest::newRow("backslash at the end")
        << QByteArray("\"a\\") << 4 << none
        << at(4, 1,
              QStringLiteral("в строке обнаружена неправильная escape-последовательность: сразу "
                             "после escape-символа «\\» обнаружен конец разбираемого текста."));
}

void tst_Parser_primitives::printable_ascii() {
    QFETCH(QByteArray, text);
    QFETCH(int, size);
    QFETCH(QByteArray, field);
    QFETCH(QString, expected);

    Utf8_text_parser p;
    p.init(text);
    // Canary bytes around the field catch writes outside it.
    QByteArray buffer(size + 2, '\x5a');
    try {
        p.req_printable_ascii_string(buffer.data() + 1, size_t(size));
        QCOMPARE(here(p), expected);
        QCOMPARE(buffer.mid(1, size), field);
    } catch (const Err& e) {
        QCOMPARE(e.message, expected);
    }
    QCOMPARE(buffer.at(0), '\x5a');
    QCOMPARE(buffer.at(size + 1), '\x5a');
}

void tst_Parser_primitives::digits_reader_reports_each_outcome() {
    const char* text = "x";
    const char* s = text;
    unsigned value = 77;
    QCOMPARE(dec_from_str(s, 100u, value), Dec_result::no_digit);
    QCOMPARE(s, text);
    QCOMPARE(value, 77u);

    text = "100,";
    s = text;
    QCOMPARE(dec_from_str(s, 100u, value), Dec_result::ok);
    QCOMPARE(value, 100u);
    QCOMPARE(s, text + 3);

    text = "101";
    s = text;
    value = 77;
    QCOMPARE(dec_from_str(s, 100u, value), Dec_result::too_big);
    QCOMPARE(s, text + 2);
    QCOMPARE(value, 77u);
}

QTEST_GUILESS_MAIN(tst_Parser_primitives)
#include "tst_parser_primitives.moc"
