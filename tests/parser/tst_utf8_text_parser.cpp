#include "parser/utf8_text_parser.h"
#include "support/parser_texts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

static const QString not_utf8 =
    QStringLiteral("разбираемый текст не является текстом в кодировке UTF-8. ");
static const QString ws_or_token =
    QStringLiteral(" (ожидаются пробельные символы или первый символ лексемы).");
static const QString unclosed_at_end = QStringLiteral(
    "ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен конец разбираемого "
    "текста.");
static const QString control = QStringLiteral(
    "в строке обнаружен недопустимый символ с кодом 0x%1 (эта строка не должна содержать "
    "управляющие символы).");

class tst_Utf8_text_parser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void blanks_data();
    void blanks();
    void literal_value_data();
    void literal_value();
    void literal_error_data();
    void literal_error();
    void failed_literal_leaves_output_unchanged();
    void missing_literal_consumes_nothing();
    void result_overflow_is_caught();
    void custom_destination_sees_each_code_point_twice();
    void file_parser_names_the_file();
    void file_parser_loads_the_file();

private:
    QTemporaryDir dir;
    QByteArray log_name;
};

void tst_Utf8_text_parser::initTestCase() {
    QVERIFY(dir.isValid());
    log_name = dir.filePath(QStringLiteral("test.log")).toUtf8();
    log_file_name = log_name.constData();
}

// Outcome of init + skip_blank: where the next token starts, or the message.
static QString skip_outcome(const QByteArray& text, bool sized) {
    Utf8_text_parser p;
    try {
        if (sized)
            p.init(text);
        else
            p.init(text.constData());
        p.skip_blank();
        return pos(int(p.column()), p.line);
    } catch (const Err& e) {
        return e.message;
    }
}

void tst_Utf8_text_parser::blanks_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("sized");
    QTest::addColumn<QString>("expected");

    auto row = [](const char* name, const QByteArray& text, const QString& expected,
                  bool sized = true) { QTest::newRow(name) << text << sized << expected; };

    row("empty text ends at once", "", pos(1, 1));
    row("spaces and tabs are skipped", " \t x", pos(4, 1));
    row("LF VT FF each break a line", "\n\v\fx", pos(1, 4));
    row("CR LF is one break", "\r\n\r\nx", pos(1, 3));
    row("LF CR is two breaks", "\n\rx", pos(1, 3));
    row("lone CR breaks a line", " \r  x", pos(3, 2));
    row("hash comment runs to the line end", "# note = 1\n  x", pos(3, 2));
    row("double slash comment runs to the line end", "// note\r\nx", pos(1, 2));
    row("single slash starts a token", "  /x", pos(3, 1));
    row("comment content is not validated", "# \xff\xfe\x01\x80\xc0\nx", pos(1, 2));
    row("comment ends at U+2028", "#a\xe2\x80\xa8x", pos(1, 2));
    row("comment ends at U+0085", "#a\xc2\x85x", pos(1, 2));
    row("comment at the end without a break", "  # last", pos(9, 1));
    row("consecutive comments", "#a\n//b\n#c\n x", pos(2, 4));
    row("no-break space counts its two bytes", "\xc2\xa0x", pos(3, 1));
    row("U+2000 to U+200A are blanks", "\xe2\x80\x80\xe2\x80\x8ax", pos(7, 1));
    row("U+202F U+205F U+2060 are blanks", "\xe2\x80\xaf\xe2\x81\x9f\xe2\x81\xa0x", pos(10, 1));
    row("ideographic space is a blank", "\xe3\x80\x80x", pos(4, 1));
    row("U+FEFF inside the text is a blank", "  \xef\xbb\xbfx", pos(6, 1));
    row("U+0085 breaks a line", "\xc2\x85x", pos(1, 2));
    row("U+2028 and U+2029 break lines", "\xe2\x80\xa8\xe2\x80\xa9 x", pos(2, 3));
    row("leading byte-order mark is not a column", "\xef\xbb\xbfx", pos(1, 1));
    row("byte-order mark then a break", "\xef\xbb\xbf\nx", pos(1, 2));

    const QString utf16 =
        QStringLiteral("неправильная кодировка. Текст должен быть в кодировке UTF-8 (или ASCII).");
    row("UTF-16 little endian is refused", QByteArray("\xff\xfex\0", 4), at(1, 1, utf16));
    row("UTF-16 big endian is refused", QByteArray("\xfe\xff\0x", 4), at(1, 1, utf16), false);

    auto unexpected = [](const char* hex) {
        return QStringLiteral("неожиданный байт 0x%1").arg(QLatin1String(hex)) + ws_or_token;
    };
    row("control byte between tokens", "  \x01", at(3, 1, unexpected("01")));
    row("escape byte between tokens", "\n\x1b", at(1, 2, unexpected("1b")));
    row("DEL between tokens", "\x7f", at(1, 1, unexpected("7f")));
    row("stray continuation byte", " \x80", at(2, 1, unexpected("80")));
    row("lead byte of a letter", "\xd0\x9f", at(1, 1, unexpected("d0")));
    row("0xff after the start", " \xff", at(2, 1, unexpected("ff")));
    row("column counts bytes of a blank before", "\xe3\x80\x80\x01", at(4, 1, unexpected("01")));
    row("zero byte inside a sized text", QByteArray("  \0x", 4), at(3, 1, unexpected("00")));
    row("zero byte ends an unsized text", QByteArray("  \0\x01", 4), pos(3, 1), false);
    row("zero byte after a comment in a sized text", QByteArray("#c\0\nx", 5),
        at(3, 1, unexpected("00")));

    row("C2 at the end", " \xc2",
        at(2, 1,
           QStringLiteral(
               "нарушение формата UTF-8: байт 0xc2, и за ним сразу конец разбираемого текста.")));
    row("C2 not followed by A0 or 85", "\xc2\x41",
        at(1, 1, QStringLiteral("неожиданный символ UTF-8: 0xc2 0x41") + ws_or_token));
    row("E2 80 at the end", "\xe2\x80",
        at(1, 1,
           QStringLiteral("нарушение формата UTF-8: последовательность байтов 0xe2 0x80, и за "
                          "ней сразу конец разбираемого текста.")));
    row("E2 80 with a wrong third byte", "\xe2\x80\x8b",
        at(1, 1, QStringLiteral("неожиданный символ UTF-8: 0xe2 0x80 0x8b") + ws_or_token));
    row("E2 81 with a wrong third byte", "\xe2\x81\x9e",
        at(1, 1, QStringLiteral("неожиданный символ UTF-8: 0xe2 0x81 0x9e") + ws_or_token));
    row("euro sign is two bytes into no prefix", "\xe2\x82\xac",
        at(1, 1, QStringLiteral("неожиданный символ UTF-8: 0xe2 0x82") + ws_or_token));
    row("E3 80 81 is not a blank", "\xe3\x80\x81",
        at(1, 1, QStringLiteral("неожиданный символ UTF-8: 0xe3 0x80 0x81") + ws_or_token));
    row("EF BB at the end", "\xef\xbb",
        at(1, 1,
           QStringLiteral("нарушение формата UTF-8: последовательность байтов 0xef 0xbb, и за "
                          "ней сразу конец разбираемого текста.")));
    row("EF BF is not a byte-order mark", "\xef\xbf\xbe",
        at(1, 1, QStringLiteral("неожиданный символ UTF-8: 0xef 0xbf") + ws_or_token));
}

void tst_Utf8_text_parser::blanks() {
    QFETCH(QByteArray, text);
    QFETCH(bool, sized);
    QFETCH(QString, expected);
    QCOMPARE(skip_outcome(text, sized), expected);
}

void tst_Utf8_text_parser::literal_value_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("printable");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("after");

    auto row = [](const char* name, const QByteArray& text, const QString& expected,
                  const QString& after, bool printable = false) {
        QTest::newRow(name) << text << printable << expected << after;
    };

    row("plain ascii", "\"abc\"", "abc", pos(6, 1));
    row("empty literal", "\"\" x", "", pos(3, 1));
    row("position stays right after the closing quote", "\"a\"   x", "a", pos(4, 1));
    row("two adjacent literals join", "\"ab\"\"cd\"", "abcd", pos(9, 1));
    row("literals join across blanks", "\"ab\" \t \"cd\"", "abcd", pos(12, 1));
    row("literals join across a comment line", "\"ab\" # note\n \"cd\";", "abcd", pos(6, 2));
    row("literals join across a slash comment and CR LF", "\"ab\"// x\r\n\r\n\"cd\"", "abcd",
        pos(5, 3));
    row("literals join across Unicode breaks", "\"a\"\xe2\x80\xa8\"b\"", "ab", pos(4, 2));
    row("simple escapes", "\"\\\"\\'\\/\\?\\\\\"", "\"'/?\\", pos(13, 1));
    row("control letter escapes", "\"\\a\\b\\e\\f\\n\\r\\t\\v\"",
        QString::fromLatin1("\a\b\x1b\f\n\r\t\v"), pos(19, 1));
    row("hex octal and both unicode escapes", "\"\\x41\\102\\u0043\\U00000044\"", "ABCD",
        pos(27, 1));
    row("hex escape takes every hex digit", "\"\\x0000041g\"", "Ag", pos(13, 1));
    row("hex escape up to 32 bits then refused only as code point", "\"\\x0010FFFF\"",
        QString::fromUcs4(U"\U0010FFFF"), pos(13, 1));
    row("octal stops after three digits", "\"\\1234\"", "S4", pos(8, 1));
    row("octal maximum is 511", "\"\\777\"", QString(QChar(0x1FF)), pos(7, 1));
    row("octal zero then a digit 8", "\"\\08\"", QString(QChar(0)) + "8", pos(6, 1));
    row("upper and lower hex digits", "\"\\u00e9\\u00C9\"", QStringLiteral("éÉ"), pos(15, 1));
    row("four-byte character is a surrogate pair", "\"\xf0\x9f\x98\x80\"",
        QString::fromUcs4(U"\U0001F600"), pos(4, 1));
    row("highest code point by escape", "\"\\U0010FFFF\"", QString::fromUcs4(U"\U0010FFFF"),
        pos(13, 1));
    row("Cyrillic letters count one column each", "\"Привет\"x", QStringLiteral("Привет"),
        pos(9, 1));
    row("column after Cyrillic joined over a line", "\"Пр\"\n  \"ив\"x", QStringLiteral("Прив"),
        pos(7, 2));
    row("tab accepted in a plain literal", "\"a\tb\"", "a\tb", pos(6, 1));
    row("DEL accepted in a plain literal", "\"\x7f\"", "\x7f", pos(4, 1));
    row("escaped line separator accepted in a plain literal", "\"\\u2028\"", QString(QChar(0x2028)),
        pos(9, 1));
    row("escaped next line accepted in a plain literal", "\"\\u0085\"", QString(QChar(0x85)),
        pos(9, 1));
    row("no-break space and FEFF are content", "\"\xc2\xa0\xef\xbb\xbf\"",
        QString(QChar(0xA0)) + QChar(0xFEFF), pos(5, 1));
    // Found by fuzzing: a general-purpose UTF-8 decoder drops this mark at the start.
    row("byte-order mark opening a literal is content", "\"\xef\xbb\xbf\x61\"",
        QString(QChar(0xFEFF)) + "a", pos(5, 1));
    row("last BMP character before surrogates", "\"\xed\x9f\xbf\"", QString(QChar(0xD7FF)),
        pos(4, 1));
    row("first character after surrogates", "\"\xee\x80\x80\"", QString(QChar(0xE000)), pos(4, 1));
    row("printable literal keeps space and symbols", "\" ~!\\\"\"", " ~!\"", pos(8, 1), true);
    row("printable literal allows no-break space", "\"\xc2\xa0\"", QString(QChar(0xA0)), pos(4, 1),
        true);
    row("printable literal allows U+00A0 by escape", "\"\\xa0\"", QString(QChar(0xA0)), pos(7, 1),
        true);
}

void tst_Utf8_text_parser::literal_value() {
    QFETCH(QByteArray, text);
    QFETCH(bool, printable);
    QFETCH(QString, expected);
    QFETCH(QString, after);

    Utf8_text_parser p;
    p.init(text);
    const QString value = printable ? p.req_printable_utf8_string() : p.req_utf8_string();
    QCOMPARE(value, expected);
    QCOMPARE(pos(int(p.column()), p.line), after);
}

void tst_Utf8_text_parser::literal_error_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("printable");
    QTest::addColumn<QString>("expected");

    auto row = [](const char* name, const QByteArray& text, const QString& expected,
                  bool printable = false) { QTest::newRow(name) << text << printable << expected; };

    row("no literal at the position", "abc",
        at(1, 1, QStringLiteral("здесь должна быть строка в двойных кавычках (\").")));
    row("literal open at the end", "\"abc", at(5, 1, unclosed_at_end));
    row("second piece open at the end", "\"ab\" \"c", at(8, 1, unclosed_at_end));

    const QString line_break = QStringLiteral(
        "ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен перевод строки "
        "(0x%1).");
    row("LF inside a literal", "\"ab\ncd\"", at(4, 1, line_break.arg("0a")));
    row("VT inside a literal", "\"\v\"", at(2, 1, line_break.arg("0b")));
    row("CR inside a literal", "\"ab\r\"", at(4, 1, line_break.arg("0d")));
    row("U+0085 inside a literal", "\"a\xc2\x85\"",
        at(3, 1,
           QStringLiteral("ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен "
                          "перевод строки (U+85).")));
    const QString separator = QStringLiteral(
        "ожидается двойная кавычка, закрывающая строку, обнаружен перевод строки (U+%1).");
    row("U+2028 inside a literal", "\"a\xe2\x80\xa8\"", at(3, 1, separator.arg("2028")));
    row("U+2029 inside a literal", "\"\xe2\x80\xa9\"", at(2, 1, separator.arg("2029")));

    row("backslash at the end", "\"\\",
        at(3, 1,
           QStringLiteral("в строке обнаружена неправильная escape-последовательность: сразу "
                          "после escape-символа «\\» обнаружен конец разбираемого текста.")));
    const QString unknown = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность: после escape-символа «\\» "
        "идёт байт с кодом %1.");
    row("digit 8 is no escape", "\"\\8\"", at(3, 1, unknown.arg(56)));
    row("unknown letter escape", "\"ab\\q\"", at(5, 1, unknown.arg(113)));
    row("backslash before a non-ASCII byte", "\"\\\xd0\x96\"", at(3, 1, unknown.arg(208)));

    const QString x_byte = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность \\xHH...H: вместо первой "
        "шестнадцатиричной цифры кода символа обнаружен байт 0x%1.");
    row("hex escape directly before the closing quote", "\"\\x\"", at(4, 1, x_byte.arg("22")));
    row("hex escape before a non-hex letter", "\"\\xg\"", at(4, 1, x_byte.arg("67")));
    row("hex escape at the end", "\"\\x",
        at(4, 1,
           QStringLiteral("в строке обнаружена неправильная escape-последовательность \\xHH...H: "
                          "вместо первой шестнадцатиричной цифры кода символа обнаружен конец "
                          "разбираемого текста.")));
    row("hex escape beyond 32 bits", "\"\\x100000000\"",
        at(12, 1,
           QStringLiteral("в строке обнаружена неправильная escape-последовательность \\xHH...H: "
                          "код символа слишком большой (не влезает в 32 бита).")));

    const QString u4_byte = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность \\uHHHH: вместо %1-й "
        "шестнадцатиричной цифры кода символа обнаружен байт 0x%2.");
    const QString u4_end = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность \\uHHHH: вместо %1-й "
        "шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.");
    row("short u escape before the quote", "\"\\u12\"", at(6, 1, u4_byte.arg(3).arg("22")));
    row("u escape with no digit", "\"\\uz\"", at(4, 1, u4_byte.arg(1).arg("7a")));
    row("u escape cut by the end", "\"\\u1", at(5, 1, u4_end.arg(2)));
    const QString u8_byte = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность \\UHHHHHHHH: вместо %1-й "
        "шестнадцатиричной цифры кода символа обнаружен байт 0x%2.");
    const QString u8_end = QStringLiteral(
        "в строке обнаружена неправильная escape-последовательность \\UHHHHHHHH: вместо %1-й "
        "шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.");
    row("U escape with seven digits", "\"\\U0000004\"", at(11, 1, u8_byte.arg(8).arg("22")));
    row("U escape cut by the end", "\"\\U0000", at(8, 1, u8_end.arg(5)));

    const QString surrogate = QStringLiteral(
        "внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ невозможно "
        "перевести в кодировку UTF-16 - в ней он используется для кодирования суррогатных пар).");
    const QString beyond = QStringLiteral(
        "внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ невозможно "
        "перевести в кодировку UTF-16 - его код слишком большой).");
    row("surrogate by u escape", "\"ab\\uD800\"", at(4, 1, surrogate.arg("D800")));
    row("escaped surrogate pair is refused", "\"\\uD83D\\uDE00\"", at(2, 1, surrogate.arg("D83D")));
    row("low surrogate by octal-free hex escape", "\"\\xdfff\"", at(2, 1, surrogate.arg("DFFF")));
    row("encoded surrogate passes UTF-8 and is refused", "\"a\xed\xa0\x80\"",
        at(3, 1, surrogate.arg("D800")));
    row("code point above U+10FFFF by U escape", "\"\\U00110000\"", at(2, 1, beyond.arg("110000")));
    row("largest hex escape", "\"\\xFFFFFFFF\"", at(2, 1, beyond.arg("FFFFFFFF")));
    row("four-byte form above U+10FFFF", "\"\xf4\x90\x80\x80\"", at(2, 1, beyond.arg("110000")));
    row("F7 lead gives the largest four-byte value", "\"\xf7\xbf\xbf\xbf\"",
        at(2, 1, beyond.arg("1FFFFF")));

    row("continuation byte without a lead", "\"a\x80\"",
        at(3, 1,
           not_utf8 + QStringLiteral("Внутри строкового литерала обнаружен байт 0x80 (который, "
                                     "согласно UTF-8, должен быть последующим байтом "
                                     "многобайтного символа), хотя перед ним не было первого "
                                     "байта многобайтного символа.")));
    const QString forbidden =
        not_utf8 + QStringLiteral("Внутри строкового литерала обнаружен байт 0x%1 "
                                  "(запрещённый текущей версией формата UTF-8).");
    row("byte F8 inside a literal", "\"\xf8\"", at(2, 1, forbidden.arg("f8")));
    row("byte FF inside a literal", "\"\xff\"", at(2, 1, forbidden.arg("ff")));
    row("two-byte form cut by the end", "\"\xc3",
        at(3, 1,
           not_utf8 + QStringLiteral("Внутри строкового литерала, после байта 0xc3 (первый байт "
                                     "многобайтного символа, согласно UTF-8) обнаружен конец "
                                     "разбираемого текста (вместо второго байта многобайтного "
                                     "символа).")));
    row("two-byte form with an ASCII second byte", "\"\xc3\x41\"",
        at(3, 1,
           not_utf8 + QStringLiteral("Внутри строкового литерала, после байта 0xc3 (первый байт "
                                     "многобайтного символа, согласно UTF-8) обнаружен байт 0x41 "
                                     "(не являющийся вторым байтом многобайтного символа).")));
    row("closing quote as a second byte", "\"\xd0\"",
        at(3, 1,
           not_utf8 + QStringLiteral("Внутри строкового литерала, после байта 0xd0 (первый байт "
                                     "многобайтного символа, согласно UTF-8) обнаружен байт 0x22 "
                                     "(не являющийся вторым байтом многобайтного символа).")));
    row("three-byte form cut by the end", "\"\xe2\x82",
        at(4, 1,
           not_utf8 +
               QStringLiteral("Внутри строкового литерала, после байтов 0xe2 и 0x82 (первый и "
                              "второй байты не менее чем трёхбайтного символа, согласно UTF-8) "
                              "обнаружен конец разбираемого текста (вместо третьего байта "
                              "символа).")));
    row("three-byte form with a wrong third byte", "\"\xe2\x82\xc0\"",
        at(4, 1,
           not_utf8 +
               QStringLiteral("Внутри строкового литерала, после байтов 0xe2 и 0x82 (первый и "
                              "второй байты не менее чем трёхбайтного символа, согласно UTF-8) "
                              "обнаружен байт 0xc0 (не являющийся третьим байтом символа).")));
    row("four-byte form cut by the end", "\"\xf0\x9f\x98",
        at(5, 1,
           not_utf8 +
               QStringLiteral("Внутри строкового литерала, после байтов 0xf0, 0x9f и 0x98 (первый, "
                              "второй и третий байты четырёхбайтного символа, согласно UTF-8) "
                              "обнаружен конец разбираемого текста (вместо четвёртого байта "
                              "символа).")));
    row("four-byte form with a wrong fourth byte", "\"\xf0\x9f\x98\x41\"",
        at(5, 1,
           not_utf8 +
               QStringLiteral("Внутри строкового литерала, после байтов 0xf0, 0x9f и 0x98 (первый, "
                              "второй и третий байты четырёхбайтного символа, согласно UTF-8) "
                              "обнаружен байт 0x41 (не являющийся четвёртым байтом символа).")));
    const QString overlong =
        not_utf8 + QStringLiteral("Внутри строкового литерала обнаружена недопустимая "
                                  "последовательность байтов: %1 (стандарт UTF-8 не допускает "
                                  "кодирование символа избыточным количеством байтов).");
    row("overlong two-byte zero", "\"\xc0\x80\"", at(2, 1, overlong.arg("0xc0 0x80")));
    row("overlong two-byte DEL", "\"\xc1\xbf\"", at(2, 1, overlong.arg("0xc1 0xbf")));
    row("overlong three-byte form", "\"\xe0\x9f\xbf\"", at(2, 1, overlong.arg("0xe0 0x9f 0xbf")));
    row("overlong four-byte form", "\"\xf0\x8f\xbf\xbf\"",
        at(2, 1, overlong.arg("0xf0 0x8f 0xbf 0xbf")));

    row("bad escape in the second piece names its line", "\"ab\"\n# note\n  \"c\\q\"",
        at(6, 3, unknown.arg(113)));
    row("columns after Cyrillic count characters", "\"Привет\\q\"", at(9, 1, unknown.arg(113)));
    row("columns after a four-byte character", "\"\xf0\x9f\x98\x80\\q\"",
        at(4, 1, unknown.arg(113)));
    row("bad byte after the literal", "\"a\" \x01",
        at(5, 1, QStringLiteral("неожиданный байт 0x01") + ws_or_token));

    row("printable refuses a tab", "\"a\tb\"", at(3, 1, control.arg("09")), true);
    row("printable refuses an escaped line feed", "\"\\n\"", at(2, 1, control.arg("0a")), true);
    row("printable refuses an escaped zero", "\"\\0\"", at(2, 1, control.arg("00")), true);
    row("printable refuses DEL", "\"\x7f\"", at(2, 1, control.arg("7f")), true);
    row("printable refuses a C1 control", "\"x\xc2\x9f\"", at(3, 1, control.arg("9f")), true);
    row("printable refuses an escaped next line", "\"\\u0085\"", at(2, 1, control.arg("85")), true);
    row("printable refuses an escaped line separator", "\"\\u2029\"", at(2, 1, control.arg("2029")),
        true);
    row("printable still refuses surrogates", "\"\\uDC00\"", at(2, 1, surrogate.arg("DC00")), true);
}

void tst_Utf8_text_parser::literal_error() {
    QFETCH(QByteArray, text);
    QFETCH(bool, printable);
    QFETCH(QString, expected);

    Utf8_text_parser p;
    p.init(text);
    try {
        const QString value = printable ? p.req_printable_utf8_string() : p.req_utf8_string();
        QFAIL(qPrintable(QStringLiteral("accepted as «%1»").arg(value)));
    } catch (const Err& e) {
        QCOMPARE(e.message, expected);
    }
}

void tst_Utf8_text_parser::failed_literal_leaves_output_unchanged() {
    Utf8_text_parser p;
    p.init("\"good\" \"bad\\q\"");
    QString out = QStringLiteral("before");
    QVERIFY_EXCEPTION_THROWN(p.get_utf8_string(out), Err);
    QCOMPARE(out, QStringLiteral("before"));
}

void tst_Utf8_text_parser::missing_literal_consumes_nothing() {
    Utf8_text_parser p;
    p.init("  x\"a\"");
    p.skip_blank();
    QString out = QStringLiteral("before");
    QVERIFY(!p.get_utf8_string(out));
    QVERIFY(!p.get_printable_utf8_string(out));
    QCOMPARE(out, QStringLiteral("before"));
    QCOMPARE(p.column(), qint64(3));
    QCOMPARE(*p.s, 'x');
}

// A destination given more than it counted must stop, not write past its end.
void tst_Utf8_text_parser::result_overflow_is_caught() {
    Utf8_text_parser p;
    p.init("abc");
    Utf8_text_parser::Dst_utf16 single(&p);
    single.consider('A');
    single.allocate();
    single.put('A');
    try {
        single.put('B');
        QFAIL("second unit written");
    } catch (const Err& e) {
        QCOMPARE(e.message, at(1, 1,
                               QStringLiteral("переполнение строки-результата при добавлении "
                                              "символа U+0042. Под строку было зарезервировано 1 "
                                              "16-битных ячеек.")));
    }
    QCOMPARE(single.result, QStringLiteral("A"));

    Utf8_text_parser::Dst_utf16 pair(&p);
    pair.consider('A');
    pair.allocate();
    try {
        pair.put(0x1F600);
        QFAIL("pair written into one unit");
    } catch (const Err& e) {
        QCOMPARE(e.message, at(1, 1,
                               QStringLiteral("переполнение строки-результата при добавлении "
                                              "символа U+1F600 (в виде суррогатной пары). Под "
                                              "строку было зарезервировано 1 16-битных ячеек. Не "
                                              "хватает 1 ячеек.")));
    }
}

// Records what the reader hands over; consider and put must see the same code points, with
// one allocate between the passes.
class Recording_dst : public Utf8_text_parser::Dst {
public:
    void consider(unsigned long c) override { events.append(QStringLiteral("c%1").arg(c, 0, 16)); }
    void allocate() override { events.append(QStringLiteral("allocate")); }
    void put(unsigned long c) override { events.append(QStringLiteral("p%1").arg(c, 0, 16)); }
    QStringList events;
};

void tst_Utf8_text_parser::custom_destination_sees_each_code_point_twice() {
    Utf8_text_parser p;
    p.init("\"a\xd0\x96\" # c\n \"\\U0001F600\\t\"\n,");
    Recording_dst dst;
    p.read_string(dst);
    const QStringList codes = {"61", "416", "1f600", "9"};
    QStringList expected;
    for (const QString& c : codes)
        expected.append("c" + c);
    expected.append(QStringLiteral("allocate"));
    for (const QString& c : codes)
        expected.append("p" + c);
    QCOMPARE(dst.events, expected);
    QCOMPARE(pos(int(p.column()), p.line), pos(16, 2));
}

void tst_Utf8_text_parser::file_parser_names_the_file() {
    // A percent sign and digit in the name must not be taken for a placeholder.
    const QString name = dir.filePath(QStringLiteral("cfg %4 %1.txt"));
    try {
        Utf8_file_parser p(name, QByteArray("\n  \"a\\q\""));
        p.skip_blank();
        p.req_utf8_string();
        QFAIL("accepted");
    } catch (const Err& e) {
        QCOMPARE(e.message,
                 QStringLiteral("Ошибка в 6-м символе 2-й строки файла «%1»: в строке обнаружена "
                                "неправильная escape-последовательность: после escape-символа "
                                "«\\» идёт байт с кодом 113.")
                     .arg(name));
    }
    try {
        Utf8_file_parser p(name, QByteArray("\xff\xfe"));
        QFAIL("UTF-16 accepted");
    } catch (const Err& e) {
        QCOMPARE(e.message, QStringLiteral("Ошибка в 1-м символе 1-й строки файла «%1»: "
                                           "неправильная кодировка. Текст должен быть в кодировке "
                                           "UTF-8 (или ASCII).")
                                .arg(name));
    }
}

void tst_Utf8_text_parser::file_parser_loads_the_file() {
    const QString name = dir.filePath(QStringLiteral("bom.txt"));
    {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xef\xbb\xbf# head\n\"v\xc3\xa9\"");
    }
    Utf8_file_parser p(name);
    p.skip_blank();
    QCOMPARE(p.req_utf8_string(), QStringLiteral("vé"));
    QCOMPARE(p.line, 2);
    QCOMPARE(p.column(), qint64(5));
    p.skip_blank();
    QCOMPARE(*p.s, '\0');

    const QString missing = dir.filePath(QStringLiteral("absent.txt"));
    try {
        Utf8_file_parser q(missing);
        QFAIL("missing file accepted");
    } catch (const Err& e) {
        QCOMPARE(e.message, QStringLiteral("Не найден файл «%1».").arg(missing));
    }
}

QTEST_GUILESS_MAIN(tst_Utf8_text_parser)
#include "tst_utf8_text_parser.moc"
