#include "foundation/err.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <stdexcept>
#include <thread>
#include <unistd.h>

// Counts lookups, so a test can tell a cached text from a fresh translation.
class Counting_translator : public QTranslator {
public:
    QString translate(const char*, const char* source, const char*, int) const override {
        ++calls;
        return QString::fromUtf8(source);
    }
    mutable int calls = 0;
};

class tst_Err : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void tr_translates_once_until_cleared();
    void tr_with_hint_translates_each_text_on_demand();
    void err_is_logged_when_made();
    void debug_text_data();
    void debug_text();
    void is_err_goes_by_type();
    void entry_has_stamp_text_and_blank_line();
    void dump_data();
    void dump();
    void null_prefix_logs_debug_code_data();
    void null_prefix_logs_debug_code();
    void log_exception_forms_data();
    void log_exception_forms();
    void entries_from_two_threads_do_not_interleave();
    void unwritable_log_is_reported_on_stdout();

private:
    QStringList entries() const;
    QByteArray raw_log() const;
    QTemporaryDir dir;
    QByteArray log_name;
};

static const QRegularExpression stamp_re(QStringLiteral(
    "\\[(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4}) (\\d{1,2}):(\\d\\d):(\\d\\d)\\.(\\d{3})\\] "));

// Anchored at pos: copying the rest of a large log for every entry would be quadratic.
static QRegularExpressionMatch stamp_at(const QString& text, int pos = 0) {
    return stamp_re.match(text, pos, QRegularExpression::NormalMatch,
                          QRegularExpression::AnchoredMatchOption);
}

void tst_Err::initTestCase() {
    QVERIFY(dir.isValid());
    log_name = dir.filePath(QStringLiteral("t.log")).toUtf8();
    log_file_name = log_name.constData();
}

void tst_Err::init() {
    QFile::remove(QString::fromUtf8(log_name));
}

QByteArray tst_Err::raw_log() const {
    QFile f(QString::fromUtf8(log_name));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// The texts of the entries, stamps checked and removed.
QStringList tst_Err::entries() const {
    QStringList out;
    const QString all = QString::fromUtf8(raw_log());
    int pos = 0;
    while (pos < all.size()) {
        const QRegularExpressionMatch m = stamp_at(all, pos);
        if (!m.hasMatch())
            return out << QStringLiteral("<no stamp at %1>").arg(pos);
        const int start = pos + m.capturedLength();
        const int end = all.indexOf(QLatin1String("\n\n"), start);
        if (end < 0)
            return out << QStringLiteral("<no blank line after %1>").arg(start);
        out << all.mid(start, end - start);
        pos = end + 2;
    }
    return out;
}

void tst_Err::tr_translates_once_until_cleared() {
    Counting_translator counter;
    QCoreApplication::installTranslator(&counter);
    static Tr text("err", "Текст");
    const QString& first = text.tr();
    const int after_first = counter.calls;
    QCOMPARE(after_first, 1);
    const QString& second = text.tr();
    QCOMPARE(counter.calls, 1);
    QCOMPARE(&first, &second);
    QCOMPARE(second, QString::fromUtf8("Текст"));
    text.clear();
    QCOMPARE(text.tr(), QString::fromUtf8("Текст"));
    QCOMPARE(counter.calls, 2);

    // The file's clear function resets its texts: the debug format is translated again.
    debug_errtext(1);
    const int before = counter.calls;
    debug_errtext(2);
    QCOMPARE(counter.calls, before);
    err_clear_translation();
    debug_errtext(3);
    QCOMPARE(counter.calls, before + 1);
    QCoreApplication::removeTranslator(&counter);
}

void tst_Err::tr_with_hint_translates_each_text_on_demand() {
    Counting_translator counter;
    QCoreApplication::installTranslator(&counter);
    static Tr_with_hint text("err", "Кнопка", "Подсказка");
    QCOMPARE(text.caption(), QString::fromUtf8("Кнопка"));
    QCOMPARE(text.caption(), QString::fromUtf8("Кнопка"));
    QCOMPARE(counter.calls, 1);
    QVERIFY(text.hint_translated.isEmpty());
    QCOMPARE(text.hint(), QString::fromUtf8("Подсказка"));
    QCOMPARE(counter.calls, 2);
    QCoreApplication::removeTranslator(&counter);
}

void tst_Err::err_is_logged_when_made() {
    { Err e(QString::fromUtf8("Файл «x» не найден.")); }
    QCOMPARE(entries(), QStringList{QString::fromUtf8("Файл «x» не найден.")});
    Debug d(0x1A05);
    QCOMPARE(d.message, QString::fromUtf8("Неожиданная ошибка №26.5."));
    QCOMPARE(entries().size(), 2);
    QCOMPARE(entries().at(1), d.message);
    QCOMPARE(d.what(), "Error (class Err).");
}

void tst_Err::debug_text_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("source and place are decimal bytes") << 0x1A05 << "Неожиданная ошибка №26.5.";
    QTest::newRow("source 0") << 0x0005 << "Неожиданная ошибка №0.5.";
    QTest::newRow("largest code") << 0xFFFF << "Неожиданная ошибка №255.255.";
    QTest::newRow("place 0") << 0x0B00 << "Неожиданная ошибка №11.0.";
}

void tst_Err::debug_text() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(debug_errtext(ushort(code)), text);
    log_debug(ushort(code));
    QCOMPARE(entries(), QStringList{text});
}

void tst_Err::is_err_goes_by_type() {
    struct Impostor : std::exception {
        const char* what() const noexcept override { return "Error (class Err)."; }
    };
    QVERIFY(is_err(Err(QStringLiteral("x"))));
    QVERIFY(is_err(Debug(1)));
    QVERIFY(!is_err(std::runtime_error("x")));
    QVERIFY(!is_err(Impostor()));
}

void tst_Err::entry_has_stamp_text_and_blank_line() {
    const QDateTime before = QDateTime::currentDateTime();
    log("первая");
    log(QStringLiteral("second\nline"));
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(entries(), (QStringList{QString::fromUtf8("первая"), "second\nline"}));
    const QRegularExpressionMatch m = stamp_at(QString::fromUtf8(raw_log()));
    QVERIFY(m.hasMatch());
    const QDateTime t(QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt()),
                      QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                            m.captured(7).toInt()));
    QVERIFY(t >= before.addMSecs(-1) && t <= after);
    // Day, month and hour carry no leading zero.
    QVERIFY(!m.captured(1).startsWith('0') && !m.captured(2).startsWith('0'));
    QVERIFY(m.captured(4) == QLatin1String("0") || !m.captured(4).startsWith('0'));
}

static QByteArray hex_of(const QByteArray& b, int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        if (i)
            out += ' ';
        out += QByteArray::number(uchar(b[i]), 16).rightJustified(2, '0').toUpper();
    }
    return out;
}

void tst_Err::dump_data() {
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("null");
    QTest::addColumn<QByteArray>("text");

    const QByteArray k100(100000, '\x5a');
    const QByteArray k100_1(100001, '\xa5');
    QTest::newRow("data: empty is braces") << false << QByteArray() << false << QByteArray("P {}");
    QTest::newRow("data: empty wins over null")
        << false << QByteArray() << true << QByteArray("P {}");
    QTest::newRow("data: null pointer")
        << false << QByteArray("abc") << true << QByteArray("P NULL");
    QTest::newRow("data: two bytes in upper-case hex")
        << false << QByteArray("\x01\xab", 2) << false << QByteArray("P 0x{01 AB}");
    QTest::newRow("data: 100 000 bytes are all shown")
        << false << k100 << false << "P 0x{" + hex_of(k100, 100000) + "}";
    QTest::newRow("data: 100 001 bytes show 99 999 and an ellipsis")
        << false << k100_1 << false << "P 0x{" + hex_of(k100_1, 99999) + "...}";

    const QByteArray t300(300000, 'a');
    const QByteArray t300_1(300001, 'a');
    QTest::newRow("utf8: empty is quotes") << true << QByteArray() << false << QByteArray("P «»");
    QTest::newRow("utf8: null pointer")
        << true << QByteArray("abc") << true << QByteArray("P NULL");
    QTest::newRow("utf8: printable text is quoted")
        << true << QByteArray("Привет, x") << false << QByteArray("P «Привет, x»");
    QTest::newRow("utf8: a tab turns it into hex")
        << true << QByteArray("a\tb") << false << QByteArray("P 0x{61 09 62}");
    QTest::newRow("utf8: a quote mark turns it into hex")
        << true << QByteArray("«") << false << QByteArray("P 0x{C2 AB}");
    QTest::newRow("utf8: broken UTF-8 turns it into hex")
        << true << QByteArray("\xd0") << false << QByteArray("P 0x{D0}");
    QTest::newRow("utf8: bytes that pass the test are written unchanged")
        << true << QByteArray("\xc1\x81") << false << QByteArray("P «\xc1\x81»");
    QTest::newRow("utf8: 300 000 bytes are shown as text")
        << true << t300 << false << "P «" + t300 + "»";
    QTest::newRow("utf8: 300 001 bytes are shown as hex")
        << true << t300_1 << false << "P 0x{" + hex_of(t300_1, 99999) + "...}";
}

void tst_Err::dump() {
    QFETCH(bool, utf8);
    QFETCH(QByteArray, data);
    QFETCH(bool, null);
    QFETCH(QByteArray, text);
    const void* p = null ? nullptr : data.constData();
    if (utf8)
        log_utf8("P ", p, size_t(data.size()));
    else
        log_data("P ", p, size_t(data.size()));
    const QByteArray raw = raw_log();
    const QRegularExpressionMatch m = stamp_at(QString::fromLatin1(raw.left(40)));
    QVERIFY(m.hasMatch());
    QCOMPARE(raw.mid(m.capturedLength()), text + "\n\n");
}

void tst_Err::null_prefix_logs_debug_code_data() {
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("text");
    QTest::newRow("log_data") << false << "Неожиданная ошибка №0.1.";
    QTest::newRow("log_utf8") << true << "Неожиданная ошибка №0.3.";
}

void tst_Err::null_prefix_logs_debug_code() {
    QFETCH(bool, utf8);
    QFETCH(QString, text);
    if (utf8)
        log_utf8(nullptr, "secret", 6);
    else
        log_data(nullptr, "secret", 6);
    QCOMPARE(entries(), QStringList{text});
}

void tst_Err::log_exception_forms_data() {
    QTest::addColumn<bool>("is_err");
    QTest::addColumn<int>("form"); // 0 no place, 1 char place, 2 null place, 3 QString place
    QTest::addColumn<QStringList>("logged");
    const QString err = QStringLiteral("msg");
    QTest::newRow("Err without a place adds nothing") << true << 0 << QStringList{err};
    QTest::newRow("Err with a place logs the place alone")
        << true << 1 << QStringList{err, "Здесь:"};
    QTest::newRow("Err with a null place")
        << true << 2 << QStringList{err, "Exception handler (NULL)."};
    QTest::newRow("Err with a QString place") << true << 3 << QStringList{err, "Здесь:"};
    QTest::newRow("other exception without a place")
        << false << 0 << QStringList{"Ошибка (std::exception): «boom»."};
    QTest::newRow("other exception with a place")
        << false << 1 << QStringList{"Здесь: Ошибка (std::exception): «boom»."};
    QTest::newRow("other exception with a null place")
        << false << 2 << QStringList{"Exception handler (NULL). Ошибка (std::exception): «boom»."};
    QTest::newRow("other exception with a QString place")
        << false << 3 << QStringList{"Здесь: Ошибка (std::exception): «boom»."};
}

void tst_Err::log_exception_forms() {
    QFETCH(bool, is_err);
    QFETCH(int, form);
    QFETCH(QStringList, logged);
    const std::runtime_error other("boom");
    const Err* made = is_err ? new Err(QStringLiteral("msg")) : nullptr;
    const std::exception& e = made ? static_cast<const std::exception&>(*made) : other;
    switch (form) {
    case 0:
        log_exception(e);
        break;
    case 1:
        log_exception(e, "Здесь:");
        break;
    case 2:
        log_exception(e, static_cast<const char*>(nullptr));
        break;
    default:
        log_exception(e, QString::fromUtf8("Здесь:"));
    }
    delete made;
    QCOMPARE(entries(), logged);
}

void tst_Err::entries_from_two_threads_do_not_interleave() {
    const int per_thread = 150;
    const QString a(3000, QLatin1Char('A'));
    const QString b(3000, QLatin1Char('B'));
    std::thread ta([&] {
        for (int i = 0; i < per_thread; ++i)
            log(a);
    });
    std::thread tb([&] {
        for (int i = 0; i < per_thread; ++i)
            log(b);
    });
    ta.join();
    tb.join();
    const QStringList all = entries();
    QCOMPARE(all.size(), 2 * per_thread);
    QCOMPARE(all.count(a), per_thread);
    QCOMPARE(all.count(b), per_thread);
}

void tst_Err::unwritable_log_is_reported_on_stdout() {
    const QString out_name = dir.filePath(QStringLiteral("stdout.txt"));
    const QByteArray bad_log = dir.filePath(QStringLiteral("no/such/dir.log")).toUtf8();
    std::fflush(stdout);
    const int saved = dup(1);
    QVERIFY(saved >= 0);
    FILE* capture = std::fopen(QFile::encodeName(out_name).constData(), "w");
    QVERIFY(capture);
    dup2(fileno(capture), 1);
    log_file_name = bad_log.constData();
    log("lost");
    log_data("lost ", "ab", 2);
    log_file_name = log_name.constData();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::fclose(capture);
    QFile f(out_name);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("Error in logging.\nError in logging.\n"));
}

QTEST_GUILESS_MAIN(tst_Err)
#include "tst_err.moc"
