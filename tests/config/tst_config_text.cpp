#include "config/config.h"
#include "support/parser_texts.h"

#include <QtTest>
#include <cstring>

// Reading and writing the configuration text: accepted forms, every refusal at its position,
// duplicates, limits, escaping and round trips.
class tst_Config_text : public QObject {
    Q_OBJECT
private slots:
    void init();
    void accepted_text_is_written_canonically_data();
    void accepted_text_is_written_canonically();
    void refused_text_reports_position_data();
    void refused_text_reports_position();
    void failed_text_keeps_servers_devices_and_devfname();
    void devfname_survives_a_text_without_it();
    void text_given_as_qstring_reads_into_the_configuration();
    void cleared_configuration_writes_no_option();
    void escapes_data();
    void escapes();
    void notes_round_trip_data();
    void notes_round_trip();
    void whole_configuration_round_trips();
    void writer_follows_given_device_order();
    void thousandth_server_is_refused();
    void millionth_device_is_refused();
};

// The text the writer produces for the current configuration, without its preamble.
static QString written_body(bool only_used_servers = false) {
    QString text;
    write_cfg_text(text, configuration, nullptr, 0, only_used_servers);
    const QString preamble = QStringLiteral("# Содержимое этого файла сформировано программой "
                                            "zelmo_upload 1.9.0.\n\n");
    if (!text.startsWith(preamble))
        return QStringLiteral("<no preamble>") + text;
    return text.mid(preamble.size());
}

// Parses bytes into the configuration; returns the error message, or an empty text.
static QString parse_bytes(const QByteArray& text) {
    try {
        Utf8_text_parser parser;
        parser.init(text);
        parse_cfg(parser, configuration);
    } catch (const Err& e) {
        return e.message.isEmpty() ? QStringLiteral("<empty message>") : e.message;
    }
    return QString();
}

void tst_Config_text::init() {
    clear_cfg();
}

void tst_Config_text::accepted_text_is_written_canonically_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("written");

    QTest::newRow("empty text") << QByteArray() << QString();
    QTest::newRow("only comments and blanks") << QByteArray("# one\n// two\r\n\t \n") << QString();
    QTest::newRow("option without blanks")
        << QByteArray("simultaneously=5") << QStringLiteral("simultaneously = 5\n");
    QTest::newRow("options come out in key order")
        << QByteArray("reconnect_delay=7 simultaneously=3\nupfile_timeout = 86400000")
        << QStringLiteral("simultaneously = 3\nupfile_timeout = 86400000\nreconnect_delay = 7\n");
    QTest::newRow("comment between key and equals sign")
        << QByteArray("connect_timeout # why\n = 0012") << QStringLiteral("connect_timeout = 12\n");
    QTest::newRow("unicode blanks separate tokens")
        << QByteArray("\xE3\x80\x80simultaneously\xC2\xA0=\xE2\x80\x89"
                      "9\xE2\x80\xA8")
        << QStringLiteral("simultaneously = 9\n");
    QTest::newRow("byte-order mark is skipped") << QByteArray("\xEF\xBB\xBF"
                                                              "cmd_timeout=4")
                                                << QStringLiteral("cmd_timeout = 4\n");
    QTest::newRow("devfname other than the default is written")
        << QByteArray("devfname = \"a\\\"b\" \"\\\\c\"")
        << QStringLiteral("devfname = \"a\\\"b\\\\c\"\n");
    QTest::newRow("attributes in any order")
        << QByteArray("server(notes \"n\", port 7, address \"h\"){device(pin \"p\",imei 5)}")
        << QStringLiteral("server(address \"h\", port 7, notes \"n\")\n{\n"
                          " device(imei 000000000000005, pin \"p\")\n}\n");
    QTest::newRow("empty server keeps an empty block")
        << QByteArray("server(address \"h\", port 1){}")
        << QStringLiteral("server(address \"h\", port 1)\n{\n}\n");
    QTest::newRow("servers sorted by address then port, case-sensitively")
        << QByteArray("server(address \"b\", port 1){}\nserver(address \"a\", port 9){}\n"
                      "server(address \"a\", port 2){}\nserver(address \"A\", port 2){}")
        << QStringLiteral("server(address \"A\", port 2)\n{\n}\n\n"
                          "server(address \"a\", port 2)\n{\n}\n\n"
                          "server(address \"a\", port 9)\n{\n}\n\n"
                          "server(address \"b\", port 1)\n{\n}\n");
    QTest::newRow("devices sorted by IMEI and the same IMEI under two servers")
        << QByteArray("server(address \"z\", port 1){ device(imei 3, pin \"\") }\n"
                      "server(address \"y\", port 1){ device(imei 9, pin \"\")\n"
                      "  device(imei 3, pin \"\") device(imei 1, pin \"\") }")
        << QStringLiteral("server(address \"y\", port 1)\n{\n"
                          " device(imei 000000000000001, pin \"\")\n"
                          " device(imei 000000000000003, pin \"\")\n"
                          " device(imei 000000000000009, pin \"\")\n}\n\n"
                          "server(address \"z\", port 1)\n{\n"
                          " device(imei 000000000000003, pin \"\")\n}\n");
    QTest::newRow("largest port, IMEI and a 16-character PIN")
        << QByteArray("server(address \"h\", port 65535)"
                      "{device(imei 999999999999999, pin \"0123456789\\\"\\\\abcd\")}")
        << QStringLiteral("server(address \"h\", port 65535)\n{\n"
                          " device(imei 999999999999999, pin \"0123456789\\\"\\\\abcd\")\n}\n");
    // Devices in the written shape are read by a shortcut; these sit just outside it.
    QTest::newRow("written shape: IMEI with zeros beyond fifteen digits, PIN in two pieces")
        << QByteArray("server(address \"h\", port 1){device(imei 0000000000000000012, pin \"12\" "
                      "\"34\")\ndevice(imei 7, pin \"0123456789abcdef\")}")
        << QStringLiteral("server(address \"h\", port 1)\n{\n"
                          " device(imei 000000000000007, pin \"0123456789abcdef\")\n"
                          " device(imei 000000000000012, pin \"1234\")\n}\n");
    QTest::newRow("notes joined across a comment line")
        << QByteArray("server(address \"h\", port 1, notes \"ab\"\n# between\n  \"cd\"){}")
        << QStringLiteral("server(address \"h\", port 1, notes \"abcd\")\n{\n}\n");
    QTest::newRow("empty notes are left out")
        << QByteArray("server(address \"h\", port 1, notes \"\"){device(imei 1,pin \"\",notes "
                      "\"\")}")
        << QStringLiteral("server(address \"h\", port 1)\n{\n"
                          " device(imei 000000000000001, pin \"\")\n}\n");
    // The rollout options come after the eleven exchange options, each only when defined; a
    // text with none of them is written as it always was.
    QTest::newRow("rollout options follow the exchange options in key order")
        << QByteArray("retry_delay=86400000 canary = 999999\nstop_at_failure_rate=100\n"
                      "reconnect_delay=7 retry_passes=10 max_per_server=65535 "
                      "stop_after_failures=1")
        << QStringLiteral("reconnect_delay = 7\nmax_per_server = 65535\ncanary = 999999\n"
                          "stop_after_failures = 1\nstop_at_failure_rate = 100\n"
                          "retry_passes = 10\nretry_delay = 86400000\n");
    QTest::newRow("the version check delay follows the retry delay")
        << QByteArray("verify_delay=1 retry_delay=2")
        << QStringLiteral("retry_delay = 2\nverify_delay = 1\n");
    QTest::newRow("a rollout option at its default is still written")
        << QByteArray("retry_delay = 5000") << QStringLiteral("retry_delay = 5000\n");
    QTest::newRow("everything together keeps the layout")
        << QByteArray("server(address \"h\", port 1){}\nsimultaneously=5\ndevfname=\"X\"")
        << QStringLiteral("simultaneously = 5\ndevfname = \"X\"\n\n"
                          "server(address \"h\", port 1)\n{\n}\n");
}

void tst_Config_text::accepted_text_is_written_canonically() {
    QFETCH(QByteArray, text);
    QFETCH(QString, written);
    QCOMPARE(parse_bytes(text), QString());
    QCOMPARE(written_body(), written);
    // The written form reads back to the same written form.
    const QString again = written_body();
    QCOMPARE(parse_bytes(again.toUtf8()), QString());
    QCOMPARE(written_body(), written);
}

void tst_Config_text::refused_text_reports_position_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("message");

    const QString too_small = QStringLiteral("число слишком маленькое (должно быть не менее 1).");
    const QString expected_paren = QStringLiteral("ожидается символ «(».");
    const QString need_blank = QStringLiteral(
        "ожидается хотя-бы один пробельный символ (т.е. пробел, табуляция или перевод строки).");
    const QString no_address = QStringLiteral(
        "в списке атрибутов элемента «server» отсутствует обязательный атрибут «address».");
    const QString no_port = QStringLiteral(
        "в списке атрибутов элемента «server» отсутствует обязательный атрибут «port».");
    const QString no_imei = QStringLiteral(
        "в списке атрибутов элемента «device» отсутствует обязательный атрибут «imei».");
    const QString no_pin = QStringLiteral(
        "в списке атрибутов элемента «device» отсутствует обязательный атрибут «pin».");
    const QString unknown_object =
        QStringLiteral("неизвестный объект в списке вложенных объектов объекта «server». Здесь "
                       "могут быть только объекты «device».");
    const QString comma_or_paren = QStringLiteral(
        "ожидается запятая, разделяющая атрибуты, или круглая скобка, завершающая список "
        "атрибутов.");
    const QByteArray srv = "server(address \"h\", port 1) {\n";

    QTest::newRow("UTF-16 text is refused at its first byte")
        << QByteArray("\xFF\xFEs\0i\0", 6) << 1 << 1
        << QStringLiteral("неправильная кодировка. Текст должен быть в кодировке UTF-8 (или "
                          "ASCII).");
    QTest::newRow("option value zero points at the zero")
        << QByteArray("simultaneously=0") << 1 << 16 << too_small;
    QTest::newRow("option value above maximum")
        << QByteArray("simultaneously = 65536") << 1 << 22
        << QStringLiteral("число слишком большое (должно быть не более 65535)");
    QTest::newRow("time-out above one day")
        << QByteArray("link_timeout=86400001") << 1 << 21
        << QStringLiteral("число слишком большое (должно быть не более 86400000)");
    QTest::newRow("failure rate above 100 per cent")
        << QByteArray("stop_at_failure_rate = 101") << 1 << 26
        << QStringLiteral("число слишком большое (должно быть не более 100)");
    QTest::newRow("more than ten retry passes")
        << QByteArray("retry_passes=11") << 1 << 15
        << QStringLiteral("число слишком большое (должно быть не более 10)");
    QTest::newRow("a canary of no device") << QByteArray("canary=0") << 1 << 8 << too_small;
    QTest::newRow("a version check delay above one day")
        << QByteArray("verify_delay=86400001") << 1 << 21
        << QStringLiteral("число слишком большое (должно быть не более 86400000)");
    QTest::newRow("a cap above the port range")
        << QByteArray("max_per_server=65536") << 1 << 20
        << QStringLiteral("число слишком большое (должно быть не более 65535)");
    QTest::newRow("rollout option given twice")
        << QByteArray("canary=1 canary=2") << 1 << 16
        << QStringLiteral("параметр «canary» уже определён выше по тексту.");
    QTest::newRow("option given twice")
        << QByteArray("cmd_timeout=1\ncmd_timeout=2") << 2 << 12
        << QStringLiteral("параметр «cmd_timeout» уже определён выше по тексту.");
    QTest::newRow("devfname given twice")
        << QByteArray("devfname=\"A\" devfname") << 1 << 22
        << QStringLiteral("параметр «devfname» уже определён выше по тексту.");
    QTest::newRow("option without equals sign")
        << QByteArray("link_timeout 5") << 1 << 14 << QStringLiteral("ожидается символ «=».");
    QTest::newRow("option without a number") << QByteArray("auth_timeout = x") << 1 << 16
                                             << QStringLiteral("ожидается десятичное число.");
    QTest::newRow("devfname longer than ten characters")
        << QByteArray("devfname = \"ABCDEFGHIJK\"") << 1 << 23
        << QStringLiteral("слишком длинная строка - должна быть не длиннее 10 символов.");
    QTest::newRow("unknown element")
        << QByteArray("\n  bogus = 1") << 2 << 3
        << QStringLiteral(
               "неизвестный элемент файла конфигурации. Знаю только элементы «server», "
               "«simultaneously», «connect_timeout», «disconnect_timeout», «link_timeout», "
               "«auth_timeout», «upfile_timeout», «getparam_timeout», «cmd_timeout», "
               "«enumerate_timeout», «ping_answer_timeout» и «reconnect_delay».");
    QTest::newRow("server without parenthesis")
        << QByteArray("server {") << 1 << 8 << expected_paren;
    QTest::newRow("server without brace") << QByteArray("server(address \"h\", port 1)\n  device")
                                          << 2 << 3 << QStringLiteral("ожидается символ «{».");
    QTest::newRow("address written against its name")
        << QByteArray("server(address\"h\", port 1){}") << 1 << 15 << need_blank;
    QTest::newRow("attribute name at the end of the text")
        << QByteArray("server(port") << 1 << 12 << need_blank;
    QTest::newRow("attribute repeated")
        << QByteArray("server(port 1, port 2)") << 1 << 20
        << QStringLiteral("атрибут «port» в текущем списке атрибутов уже есть.");
    QTest::newRow("unknown server attribute")
        << QByteArray("server( host \"x\")") << 1 << 9
        << QStringLiteral("неизвестный атрибут объекта «server». Знаю только атрибуты "
                          "«address», «port» и «notes».");
    QTest::newRow("attribute missing after a comma")
        << QByteArray("server(port 1, )") << 1 << 16
        << QStringLiteral("неизвестный атрибут объекта «server». Знаю только атрибуты "
                          "«address», «port» и «notes».");
    QTest::newRow("attributes without a comma")
        << QByteArray("server(port 1 address \"h\")") << 1 << 15 << comma_or_paren;
    QTest::newRow("control character in an address")
        << QByteArray("server(address \"a\\tb\", port 1){}") << 1 << 18
        << QStringLiteral("в строке обнаружен недопустимый символ с кодом 0x09 (эта строка не "
                          "должна содержать управляющие символы).");
    QTest::newRow("port without digits")
        << QByteArray("server(port x)") << 1 << 13 << QStringLiteral("ожидается десятичное число");
    QTest::newRow("port above 65535")
        << QByteArray("server(port 65536)") << 1 << 17
        << QStringLiteral("число слишком большое (должно быть не более 65535)");
    QTest::newRow("empty server attribute list misses the address")
        << QByteArray("server( )") << 1 << 9 << no_address;
    QTest::newRow("server without address")
        << QByteArray("server(port 1)") << 1 << 14 << no_address;
    QTest::newRow("server without port")
        << QByteArray("server(address \"h\"\n)") << 2 << 1 << no_port;
    QTest::newRow("IMEI of sixteen digits")
        << srv + " device(imei 1000000000000000, pin \"\")" << 2 << 29
        << QStringLiteral("число слишком большое (должно быть не более 999999999999999)");
    QTest::newRow("unknown device attribute")
        << srv + " device(imei 1, pim \"\")" << 2 << 17
        << QStringLiteral("неизвестный атрибут объекта «device». Знаю только атрибуты «imei», "
                          "«pin» и «notes».");
    QTest::newRow("PIN of seventeen characters points at the value")
        << srv + " device(imei 1, pin \"0123456789abcdefg\")" << 2 << 21
        << QStringLiteral(
               "значение атрибута «pin» слишком длинное - должно быть не длиннее 16 символов.");
    QTest::newRow("PIN beyond ASCII")
        << srv + " device(imei 1, pin \"\xC3\xA4\")" << 2 << 21
        << QStringLiteral("неправильное значение атрибута «pin». Этот атрибут должен состоять "
                          "только из символов ASCII (цифры, латинские буквы и т.п.).");
    QTest::newRow("tab inside the PIN of the written shape")
        << srv + " device(imei 1, pin \"a\tb\")" << 2 << 23
        << QStringLiteral("в строке обнаружен недопустимый символ с кодом 0x09 (эта строка не "
                          "должна содержать управляющие символы).");
    QTest::newRow("empty device attribute list misses the IMEI")
        << srv + " device()" << 2 << 9 << no_imei;
    QTest::newRow("device without PIN")
        << srv + " device(notes \"x\", imei 1)" << 2 << 26 << no_pin;
    QTest::newRow("something other than a device inside the braces")
        << srv + " devise(imei 1)" << 2 << 2 << unknown_object;
    QTest::newRow("text ends inside the braces") << srv + " device(imei 1, pin \"\")\n"
                                                 << 3 << 1 << unknown_object;
    QTest::newRow("two servers with one key: the second is named with the first's place")
        << QByteArray("server(address \"h\", port 1){}\n  server(port 1, address \"h\"){}") << 2
        << 3
        << QStringLiteral(
               "сервер с адресом «h» и номером порта 1 уже определён выше по тексту (см. 1-й "
               "символ 1-й строки).");
    QTest::newRow("three servers with one key: the second is reported")
        << QByteArray("server(address \"h\", port 1){}\nserver(address \"h\", port 1){}\n"
                      "server(address \"h\", port 1){}")
        << 2 << 1
        << QStringLiteral(
               "сервер с адресом «h» и номером порта 1 уже определён выше по тексту (см. 1-й "
               "символ 1-й строки).");
    QTest::newRow("of two duplicate pairs the one completed first in the text is reported")
        << QByteArray("server(address \"b\", port 1){}\nserver(address \"a\", port 1){}\n"
                      " server(address \"b\", port 1){}\nserver(address \"a\", port 1){}")
        << 3 << 2
        << QStringLiteral(
               "сервер с адресом «b» и номером порта 1 уже определён выше по тексту (см. 1-й "
               "символ 1-й строки).");
    QTest::newRow("same IMEI twice under one server")
        << QByteArray("server(address \"h\", port 4000) {\n device(imei 77, pin \"\")\n"
                      " device(imei 5, pin \"\") device(imei 077, pin \"x\")\n}")
        << 3 << 25
        << QStringLiteral("устройство с IMEI 77, подключенное через сервер с адресом «h» и "
                          "номером порта 4000 уже определено выше по тексту (см. 2-й символ "
                          "2-й строки).");
    QTest::newRow("duplicate column counts a multi-byte character in a literal as one")
        << QByteArray("server(address \"\xD0\xB6\", port 1){}server(address \"\xD0\xB6\", port "
                      "1){}")
        << 1 << 30
        << QStringLiteral("сервер с адресом «ж» и номером порта 1 уже определён выше по тексту "
                          "(см. 1-й символ 1-й строки).");
}

void tst_Config_text::refused_text_reports_position() {
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, message);
    QCOMPARE(parse_bytes(text), at(column, line, message));
}

void tst_Config_text::failed_text_keeps_servers_devices_and_devfname() {
    QCOMPARE(parse_bytes("server(address \"old\", port 1){device(imei 1, pin \"p\")}\n"
                         "simultaneously = 7\ndevfname=\"KEEP\""),
             QString());
    const QString before = written_body();
    QVERIFY(before.contains(QLatin1String("old")));

    // Options assigned before the error stay assigned; the rest return to their defaults.
    QVERIFY(!parse_bytes("cmd_timeout = 9\ndevfname = \"NEWNAME\\q\"\n"
                         "server(address \"new\", port 2){device(imei 2, pin \"\")}")
                 .isEmpty());
    QCOMPARE(qstrcmp(devfname, "KEEP"), 0);
    QCOMPARE(cmd_timeout, 9);
    QVERIFY(cmd_timeout_defined);
    QCOMPARE(simultaneously, 100ULL);
    QVERIFY(!simultaneously_defined);
    QCOMPARE(int(configuration.servers.count), 1);
    QCOMPARE(configuration.servers.rows[0].server->address, QStringLiteral("old"));
    QCOMPARE(configuration.devices.count, 1u);

    // A duplicate found only after the whole text was read changes nothing either.
    QVERIFY(!parse_bytes("server(address \"x\", port 2){device(imei 2, pin \"\")}"
                         "server(address \"x\", port 2){}")
                 .isEmpty());
    QCOMPARE(configuration.servers.rows[0].server->address, QStringLiteral("old"));
    QCOMPARE(configuration.devices.rows[0].device->imei, 1ULL);
}

void tst_Config_text::devfname_survives_a_text_without_it() {
    QCOMPARE(parse_bytes("devfname = \"SETTINGS\""), QString());
    QCOMPARE(qstrcmp(devfname, "SETTINGS"), 0);
    QCOMPARE(parse_bytes("simultaneously = 1"), QString());
    QCOMPARE(qstrcmp(devfname, "SETTINGS"), 0);
    QCOMPARE(written_body(), QStringLiteral("simultaneously = 1\ndevfname = \"SETTINGS\"\n"));
    clear_cfg();
    QCOMPARE(qstrcmp(devfname, "FIRMWARE"), 0);
}

void tst_Config_text::text_given_as_qstring_reads_into_the_configuration() {
    parse_cfg(QStringLiteral("server(address \"хост\", port 5, notes \"заметка\"){}"));
    QCOMPARE(int(configuration.servers.count), 1);
    QCOMPARE(configuration.servers.rows[0].server->address, QStringLiteral("хост"));
    QCOMPARE(configuration.servers.rows[0].server->notes, QStringLiteral("заметка"));
    // A zero character inside the text must not end it early and hide what follows.
    QString with_zero = QStringLiteral("simultaneously = 3 ");
    with_zero += QChar(0);
    with_zero += QStringLiteral(" bogus");
    bool refused = false;
    try {
        parse_cfg(with_zero);
    } catch (const Err&) {
        refused = true;
    }
    QVERIFY(refused);
}

void tst_Config_text::cleared_configuration_writes_no_option() {
    QString all;
    for (int i = 0; i < option_count; ++i)
        all += QStringLiteral("%1 = %2\n")
                   .arg(QLatin1String(option_info[i].key))
                   .arg(qMin(unsigned(i + 1), option_info[i].maximum));
    QCOMPARE(parse_bytes(all.toUtf8()), QString());
    QCOMPARE(written_body(), all);
    clear_cfg();
    QCOMPARE(written_body(), QString());
    for (int i = 0; i < option_count; ++i) {
        QCOMPARE(get_option(i), option_info[i].default_value);
        QVERIFY(!*option_info[i].defined);
    }
}

void tst_Config_text::escapes_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("escaped");

    QTest::newRow("plain text is copied") << QStringLiteral("abc жж") << QStringLiteral("abc жж");
    QTest::newRow("quote, backslash and tab")
        << QStringLiteral("a\"b\\c\td") << QStringLiteral("a\\\"b\\\\c\\td");
    QTest::newRow("named control escapes")
        << QStringLiteral("\a\b\x1b\f\n\r\t\v") << QStringLiteral("\\a\\b\\e\\f\\n\\r\\t\\v");
    QTest::newRow("other controls as upper-case four-digit escapes")
        << QStringLiteral("\x01\x0e\x1a\x1f") << QStringLiteral("\\u0001\\u000E\\u001A\\u001F");
    QTest::newRow("zero at the end") << QString(QChar(0)) << QStringLiteral("\\0");
    QTest::newRow("zero before a letter")
        << QString(QChar(0)) + QLatin1Char('x') << QStringLiteral("\\0x");
    QTest::newRow("zero before an octal digit cannot be short")
        << QString(QChar(0)) + QLatin1Char('7') << QStringLiteral("\\u00007");
    QTest::newRow("zero before an eight stays short")
        << QString(QChar(0)) + QLatin1Char('8') << QStringLiteral("\\08");
    QTest::newRow("DEL alone") << QStringLiteral("\x7f") << QStringLiteral("\\x7f");
    QTest::newRow("DEL before a non-hex letter")
        << QStringLiteral("\x7fg") << QStringLiteral("\\x7fg");
    QTest::newRow("DEL before a hex digit cannot be short") << QStringLiteral("\x7f"
                                                                              "F")
                                                            << QStringLiteral("\\u007FF");
    QTest::newRow("line breaks the reader refuses raw")
        << QString(QChar(0x85)) + QChar(0x2028) + QChar(0x2029)
        << QStringLiteral("\\u0085\\u2028\\u2029");
    QTest::newRow("other C1 controls stay raw")
        << QString(QChar(0x84)) + QChar(0x9F) << QString(QChar(0x84)) + QChar(0x9F);
}

void tst_Config_text::escapes() {
    QFETCH(QString, value);
    QFETCH(QString, escaped);
    QString out = QStringLiteral(">");
    append_c_escaped(out, value);
    QCOMPARE(out, QStringLiteral(">") + escaped);
}

void tst_Config_text::notes_round_trip_data() {
    QTest::addColumn<QString>("notes");

    QString controls;
    for (ushort u = 0; u < 0x20; ++u)
        controls += QChar(u);
    QTest::newRow("every C0 control") << controls;
    QTest::newRow("zero followed by each octal digit")
        << QString::fromUtf16(u"\0000\0001\0002\0003\0004\0005\0006\0007", 16);
    QTest::newRow("DEL followed by hex digits") << QStringLiteral("\x7f"
                                                                  "0\x7f"
                                                                  "a\x7f"
                                                                  "F\x7f");
    QTest::newRow("next line and Unicode line breaks")
        << QString::fromUtf16(u"a\u0085b\u2028c\u2029d");
    QTest::newRow("C1 controls") << QString::fromUtf16(u"\u0080\u0084\u009f");
    QTest::newRow("quote, backslash, tab and Cyrillic") << QStringLiteral("«x» \"q\" \\ \t Привет");
    QTest::newRow("character beyond the basic plane") << QString::fromUtf16(u"\U0001F600!");
}

void tst_Config_text::notes_round_trip() {
    QFETCH(QString, notes);
    const unsigned short s = configuration.add_server({QStringLiteral("h"), 1}, notes);
    char pin[pin_size] = {'1', '2'};
    configuration.add_device({5, s}, pin, notes);
    const QString text = written_body();
    QCOMPARE(parse_bytes(text.toUtf8()), QString());
    QCOMPARE(int(configuration.servers.count), 1);
    QCOMPARE(configuration.servers.rows[0].server->notes, notes);
    QCOMPARE(configuration.devices.count, 1u);
    QCOMPARE(configuration.devices.rows[0].device->notes, notes);
}

void tst_Config_text::whole_configuration_round_trips() {
    simultaneously = 17;
    simultaneously_defined = true;
    enumerate_timeout_defined = true; // defined with its default value: still written
    std::strcpy(devfname, "a\"\\z");
    configuration.add_server({QStringLiteral("srv\"1\\"), 65535}, {});
    configuration.add_server({QStringLiteral("::1"), 0}, QStringLiteral("n\n"));
    bool found = false;
    const unsigned short a = configuration.servers.find(QStringLiteral("srv\"1\\"), 65535, found);
    QVERIFY(found);
    const unsigned short b = configuration.servers.find(QStringLiteral("::1"), 0, found);
    QVERIFY(found);
    char full_pin[pin_size];
    std::memcpy(full_pin, "0123456789abc\"\\ ", pin_size);
    char short_pin[pin_size] = {'7'};
    char empty_pin[pin_size] = {};
    configuration.add_device({max_imei, a}, full_pin, QStringLiteral("x"));
    configuration.add_device({0, a}, short_pin, {});
    configuration.add_device({123, b}, empty_pin, QStringLiteral("\t"));
    QCOMPARE(configuration.devices.count, 3u);

    struct Snapshot {
        QStringList servers;
        QList<QByteArray> devices;
    };
    auto snapshot = [] {
        Snapshot s;
        for (unsigned i = 0; i < configuration.servers.count; ++i) {
            const Server& v = *configuration.servers.rows[i].server;
            s.servers << v.address + QLatin1Char('|') + QString::number(v.port) + QLatin1Char('|') +
                             v.notes;
        }
        for (unsigned i = 0; i < configuration.devices.count; ++i) {
            const Device_row& r = configuration.devices.rows[i];
            QByteArray d = QByteArray::number(r.server) + '|' +
                           QByteArray::number(qulonglong(r.device->imei)) + '|' +
                           QByteArray(r.device->pin, pin_size) + '|' + r.device->notes.toUtf8();
            s.devices << d;
        }
        return s;
    };
    const Snapshot before = snapshot();
    const QString text = written_body();

    clear_cfg();
    QCOMPARE(parse_bytes(text.toUtf8()), QString());
    const Snapshot after = snapshot();
    QCOMPARE(after.servers, before.servers);
    QCOMPARE(after.devices, before.devices);
    QCOMPARE(simultaneously, 17ULL);
    QVERIFY(simultaneously_defined);
    QVERIFY(enumerate_timeout_defined);
    QVERIFY(!connect_timeout_defined);
    QCOMPARE(qstrcmp(devfname, "a\"\\z"), 0);
    QCOMPARE(written_body(), text);
}

void tst_Config_text::writer_follows_given_device_order() {
    QCOMPARE(parse_bytes("server(address \"a\", port 1){device(imei 1, pin \"\") device(imei 2, "
                         "pin \"\")}\nserver(address \"b\", port 1){device(imei 3, pin \"\")}"),
             QString());
    // Rows 1 and 0 of server "a" only, in reverse order, and row 1 a second time.
    const unsigned order[] = {1, 0, 1, 9};
    QString text;
    QCOMPARE(write_cfg_text(text, configuration, order, 4, true), 2u);
    QVERIFY(text.endsWith(QStringLiteral("server(address \"a\", port 1)\n{\n"
                                         " device(imei 000000000000002, pin \"\")\n"
                                         " device(imei 000000000000001, pin \"\")\n}\n")));
    QVERIFY(!text.contains(QLatin1String("\"b\"")));
    // The whole form keeps the server without written devices, with an empty block.
    QCOMPARE(write_cfg_text(text, configuration, order, 1, false), 0u);
    QVERIFY(text.endsWith(QStringLiteral("\n\nserver(address \"b\", port 1)\n{\n}\n")));
}

void tst_Config_text::thousandth_server_is_refused() {
    QByteArray text;
    for (unsigned i = 0; i < max_servers; ++i)
        text += "server(address \"h\", port " + QByteArray::number(i) + "){}\n";
    QCOMPARE(parse_bytes(text), QString());
    QCOMPARE(unsigned(configuration.servers.count), max_servers);
    text += "  server(address \"h\", port 65000){}\n";
    QCOMPARE(parse_bytes(text), at(3, max_servers + 1,
                                   QStringLiteral("Слишком много серверов в конфигурации. "
                                                  "Должно быть не более 999.")));
}

void tst_Config_text::millionth_device_is_refused() {
    QByteArray text = "server(address \"h\", port 1){\n";
    text.reserve(int(max_devices) * 24 + 100);
    for (unsigned i = 0; i < max_devices; ++i)
        text += "device(imei " + QByteArray::number(i) + ",pin \"\")\n";
    text += "}";
    QCOMPARE(parse_bytes(text), QString());
    QCOMPARE(configuration.devices.count, max_devices);
    text.chop(1);
    text += "device(imei 1000000,pin \"\")}";
    QCOMPARE(parse_bytes(text),
             at(1, max_devices + 2,
                QStringLiteral(
                    "слишком много устройств в конфигурации - должно быть не более 999999.")));
    QCOMPARE(configuration.devices.count, max_devices);
}

QTEST_GUILESS_MAIN(tst_Config_text)
#include "tst_config_text.moc"
