// The field checks: every message a user can get from an input field, and what reaches the
// value when the text is good.
#include "config/validators.h"
#include "foundation/err.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <functional>

namespace {

const QString empty_msg = QStringLiteral("Не указано значение параметра «Порт».");
QString not_a_number(const char* max) {
    return QStringLiteral("Значение параметра «Порт» должно быть целым десятичным числом, не "
                          "превышающим %1.")
        .arg(QLatin1String(max));
}
QString above(const char* max) {
    return QStringLiteral("Значение параметра «Порт» не должно превышать %1.")
        .arg(QLatin1String(max));
}
QString below(const char* min) {
    return QStringLiteral("Значение параметра «Порт» не должно быть меньше %1.")
        .arg(QLatin1String(min));
}

// Runs a check; "" when it passed, else the message it threw.
QString message_of(const std::function<void()>& check) {
    try {
        check();
        return QString();
    } catch (const Err& e) {
        return e.message;
    }
}

const QString port = QStringLiteral("Порт");

} // namespace

class tst_Validators : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void numbers_data();
    void numbers();
    void printable_ascii_data();
    void printable_ascii();
    void printable_ascii_failure_leaves_buffer();
    void required_text();
    void server_choice();

private:
    QTemporaryDir dir;
    QByteArray log_path;
};

void tst_Validators::initTestCase() {
    QVERIFY(dir.isValid());
    log_path = QFile::encodeName(dir.filePath("validators.log"));
    log_file_name = log_path.constData();
}

// Each function under its bounds; `value` is what lands in the result when the text passes.
void tst_Validators::numbers_data() {
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<qulonglong>("value");

    QTest::newRow("port 0 accepted") << "req_uint"
                                     << "0"
                                     << "" << 0ull;
    QTest::newRow("port leading zeros") << "req_uint"
                                        << "00080"
                                        << "" << 80ull;
    QTest::newRow("port 65536 above maximum") << "req_uint"
                                              << "65536" << above("65535") << 0ull;
    QTest::newRow("port letters") << "req_uint"
                                  << "80a" << not_a_number("65535") << 0ull;
    QTest::newRow("port with a sign") << "req_uint"
                                      << "+80" << not_a_number("65535") << 0ull;
    QTest::newRow("port with a blank") << "req_uint"
                                       << " 80" << not_a_number("65535") << 0ull;
    QTest::newRow("port empty") << "req_uint"
                                << "" << empty_msg << 0ull;
    QTest::newRow("beyond 64 bits is no number")
        << "req_uint"
        << "99999999999999999999999" << not_a_number("65535") << 0ull;
    QTest::newRow("beyond 32 bits is no number") << "req_uint"
                                                 << "4294967296" << not_a_number("65535") << 0ull;
    QTest::newRow("32-bit maximum is above maximum") << "req_uint"
                                                     << "4294967295" << above("65535") << 0ull;
    QTest::newRow("ranged below minimum") << "req_uint_range"
                                          << "0" << below("1") << 0ull;
    QTest::newRow("ranged maximum") << "req_uint_range"
                                    << "86400000"
                                    << "" << 86400000ull;
    QTest::newRow("ranged above maximum") << "req_uint_range"
                                          << "86400001" << above("86400000") << 0ull;
    QTest::newRow("get empty leaves result") << "get_uint"
                                             << ""
                                             << "" << 77ull;
    QTest::newRow("get above maximum") << "get_uint"
                                       << "101" << above("100") << 77ull;
    QTest::newRow("get ranged empty leaves result") << "get_uint_range"
                                                    << ""
                                                    << "" << 77ull;
    QTest::newRow("get ranged below") << "get_uint_range"
                                      << "4" << below("5") << 77ull;
    QTest::newRow("IMEI of 15 nines") << "req_uint64"
                                      << "999999999999999"
                                      << "" << 999999999999999ull;
    QTest::newRow("IMEI zero") << "req_uint64"
                               << "000000000000000"
                               << "" << 0ull;
    QTest::newRow("IMEI above maximum") << "req_uint64"
                                        << "1000000000000000" << above("999999999999999") << 0ull;
    QTest::newRow("IMEI with a letter")
        << "req_uint64"
        << "35000000000000O" << not_a_number("999999999999999") << 0ull;
    QTest::newRow("64-bit maximum itself") << "get_uint64_max"
                                           << "18446744073709551615"
                                           << "" << 18446744073709551615ull;
    QTest::newRow("64-bit one past is no number")
        << "get_uint64_max"
        << "18446744073709551616" << not_a_number("18446744073709551615") << 77ull;
}

void tst_Validators::numbers() {
    QFETCH(QString, function);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(qulonglong, value);

    qulonglong got = 77;
    const QString thrown = message_of([&] {
        if (function == "req_uint") {
            got = req_uint(text, port, 65535);
        } else if (function == "req_uint_range") {
            got = req_uint(text, port, 1, 86400000);
        } else if (function == "get_uint") {
            unsigned r = 77;
            QVERIFY(get_uint(text, port, r, 100) == !text.isEmpty());
            got = r;
        } else if (function == "get_uint_range") {
            unsigned r = 77;
            get_uint(text, port, r, 5, 100);
            got = r;
        } else if (function == "req_uint64") {
            got = req_uint64(text, port, 999999999999999ull);
        } else {
            uint64_t r = 77;
            QVERIFY(get_uint64(text, port, r, UINT64_MAX) == !text.isEmpty());
            got = r;
        }
    });
    QCOMPARE(thrown, message);
    if (message.isEmpty() || function.startsWith("get"))
        QCOMPARE(got, value);
}

void tst_Validators::printable_ascii_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("buffer"); // the whole buffer after success
    QTest::addColumn<QString>("message");

    const QString bad = QStringLiteral(
        "неправильное значение параметра «PIN-код». Этот параметр должен состоять только из "
        "символов printable ASCII (латинские буквы, цифры, пробелы, а также следующие символы: "
        "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~).");
    const QString long16 = QStringLiteral(
        "значение параметра «PIN-код» слишком длинное - должно быть не длиннее 16 символов.");

    QTest::newRow("short PIN is NUL-padded")
        << "1234" << 16 << QByteArray("1234", 4) + QByteArray(12, '\0') << "";
    QTest::newRow("16 characters fill it without a terminator")
        << "abcdefghijklmnop" << 16 << QByteArray("abcdefghijklmnop") << "";
    QTest::newRow("empty is all NUL") << "" << 16 << QByteArray(16, '\0') << "";
    QTest::newRow("space and tilde are printable") << " ~" << 4 << QByteArray(" ~\0\0", 4) << "";
    QTest::newRow("17 characters too long") << "abcdefghijklmnopq" << 16 << QByteArray() << long16;
    QTest::newRow("Cyrillic letter") << QStringLiteral("12ж4") << 16 << QByteArray() << bad;
    QTest::newRow("tab") << "12\t4" << 16 << QByteArray() << bad;
    QTest::newRow("DEL") << QString("12") + QChar(0x7f) << 16 << QByteArray() << bad;
    QTest::newRow("length is checked before the characters")
        << QStringLiteral("жжжжжжжжжжжжжжжжж") << 16 << QByteArray() << long16;
}

void tst_Validators::printable_ascii() {
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(QByteArray, buffer);
    QFETCH(QString, message);

    QByteArray out(length + 1, 'X'); // one guard byte past the length
    QCOMPARE(message_of(
                 [&] { get_printable_ascii(text, out.data(), length, QStringLiteral("PIN-код")); }),
             message);
    QCOMPARE(out.at(length), 'X');
    if (message.isEmpty())
        QCOMPARE(out.left(length), buffer);
}

void tst_Validators::printable_ascii_failure_leaves_buffer() {
    char pin[16];
    std::memcpy(pin, "keep-this-pin-16", 16);
    QVERIFY(
        !message_of([&] { get_printable_ascii(QStringLiteral("ок"), pin, 16, port); }).isEmpty());
    QCOMPARE(QByteArray(pin, 16), QByteArray("keep-this-pin-16"));
    QCOMPARE(message_of([&] {
                 get_printable_ascii(QStringLiteral("FIRMWARE.X1"), pin, 10,
                                     QStringLiteral("Имя файла на устройстве"));
             }),
             QStringLiteral("значение параметра «Имя файла на устройстве» слишком длинное - "
                            "должно быть не длиннее 10 символов."));
}

void tst_Validators::required_text() {
    QCOMPARE(message_of([] { req_str(QString(), QStringLiteral("Адрес")); }),
             QStringLiteral("Не указано значение параметра «Адрес»."));
    // Blanks are a value: the address is kept as typed.
    QCOMPARE(req_str(QStringLiteral(" host "), QStringLiteral("Адрес")), QStringLiteral(" host "));
}

void tst_Validators::server_choice() {
    QCOMPARE(message_of([] { req_server(-1, 3); }),
             QStringLiteral("Не определено значение параметра «Сервер»."));
    QCOMPARE(req_server(2, 3), (unsigned short)2);
    try {
        req_server(3, 3);
        QFAIL("no exception for an index beyond the servers");
    } catch (const Err& e) {
        QCOMPARE(e.message, debug_errtext(1284));
    }
    QCOMPARE(errtext_not_edited(),
             QStringLiteral("Ничего не изменилось.\nЕсли вы не хотите ничего менять, закройте "
                            "диалог кнопкой «Отмена»."));
}

QTEST_GUILESS_MAIN(tst_Validators)
#include "tst_validators.moc"
