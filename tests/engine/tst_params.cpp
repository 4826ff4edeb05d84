#include "engine/params.h"

#include <QTextCodec>
#include <QtTest>
#include <cstring>
#include <limits>

namespace {

// A fixed-size binary parameter with a chosen alignment, to exercise the layout.
class Param_raw : public Param {
public:
    Param_raw(uint64_t size, uint64_t align)
        : Param(QStringLiteral("raw"), 9, size), align(align) {}
    uint64_t alignment() const override { return align; }
    void append_shown(QString&, const unsigned char*) const override {}
    unsigned measure() const override { return 1; }
    uint64_t align;
};

QByteArray stored(const QByteArray& text) {
    QByteArray slot(256, '\0');
    slot[0] = char(text.size());
    std::memcpy(slot.data() + 1, text.constData(), size_t(text.size()));
    return slot;
}

} // namespace

class tst_Params : public QObject {
    Q_OBJECT
private slots:
    void cp1251_take_data();
    void cp1251_take();
    void cp1251_show_data();
    void cp1251_show();
    void cp1251_table_agrees_with_qt_codec();
    void default_take_requires_exact_size();
    void lay_out_data();
    void lay_out();
    void version_params_are_laid_out_one_after_another();
};

void tst_Params::cp1251_take_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");

    QTest::newRow("five characters, a zero and six more bytes keep the five")
        << QByteArray("abcde\0uvwxyz", 12) << true << QByteArray("abcde") << QString();
    QTest::newRow("an empty value stores length zero")
        << QByteArray() << true << QByteArray() << QString();
    QTest::newRow("a leading zero stores length zero")
        << QByteArray("\0abc", 4) << true << QByteArray() << QString();
    QTest::newRow("254 bytes without a zero fit the slot")
        << QByteArray(254, 'x') << true << QByteArray(254, 'x') << QString();
    QTest::newRow("255 bytes without a zero are refused naming 255 twice")
        << QByteArray(255, 'x') << false << QByteArray()
        << QStringLiteral("Значение параметра №3 слишком длинное: 255 байтов (должно быть не "
                          "более 255 байтов).");
    QTest::newRow("255 bytes with a zero at the end are accepted")
        << (QByteArray(254, 'y') + QByteArray(1, '\0')) << true << QByteArray(254, 'y')
        << QString();
}

void tst_Params::cp1251_take() {
    QFETCH(QByteArray, value);
    QFETCH(bool, ok);
    QFETCH(QByteArray, text);
    QFETCH(QString, error);

    Param_cp1251 p(QStringLiteral("p"), 3, 256, 36);
    QByteArray slot(256, char(0xAA));
    QString err;
    const bool result = p.take(reinterpret_cast<unsigned char*>(slot.data()),
                               reinterpret_cast<const unsigned char*>(value.constData()),
                               static_cast<unsigned char>(value.size()), err);
    QCOMPARE(result, ok);
    QCOMPARE(err, error);
    if (ok) {
        QCOMPARE(int(static_cast<unsigned char>(slot[0])), text.size());
        QCOMPARE(slot.mid(1, text.size()), text);
        // Bytes behind the stored text are not touched.
        QCOMPARE(static_cast<unsigned char>(slot[1 + text.size()]), 0xAA);
    } else {
        QCOMPARE(slot, QByteArray(256, char(0xAA)));
    }
}

void tst_Params::cp1251_show_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("backslash, newline, 0x01 and 0xC0")
        << QByteArray("\x5C\x0A\x01\xC0", 4) << QStringLiteral("\\\\\\n\\x01А");
    QTest::newRow("every control letter")
        << QByteArray("\a\b\t\n\v\f\r") << QStringLiteral("\\a\\b\\t\\n\\v\\f\\r");
    QTest::newRow("other control bytes in upper-case hex")
        << QByteArray("\x00\x06\x0E\x1F", 4) << QStringLiteral("\\x00\\x06\\x0E\\x1F");
    QTest::newRow("delete is escaped") << QByteArray("\x7F") << QStringLiteral("\\x7F");
    QTest::newRow("undefined 0x98 shows a box") << QByteArray("\x98") << QString(QChar(0x25AF));
    QTest::newRow("Cyrillic text")
        << QByteArray("\xC2\xE5\xF0\xF1\xE8\xFF 1.0") << QStringLiteral("Версия 1.0");
    QTest::newRow("yo and the numero sign") << QByteArray("\xA8\xB8\xB9") << QStringLiteral("Ёё№");
    QTest::newRow("nothing stored shows nothing") << QByteArray() << QString();
}

void tst_Params::cp1251_show() {
    QFETCH(QByteArray, text);
    QFETCH(QString, shown);
    Param_cp1251 p(QStringLiteral("p"), 2, 256, 50);
    const QByteArray slot = stored(text);
    const auto* value = reinterpret_cast<const unsigned char*>(slot.constData());
    QCOMPARE(p.show(value), shown);
    // The comparison of a version check sees the same text, and nothing near it.
    QVERIFY(cp1251_shows(value, shown));
    QVERIFY(!cp1251_shows(value, shown + QLatin1Char('x')));
    QVERIFY(!cp1251_shows(value, QStringLiteral("x") + shown));
    if (!shown.isEmpty()) {
        QVERIFY(!cp1251_shows(value, shown.left(shown.size() - 1)));
        QString other = shown;
        other[other.size() - 1] = QChar(other[other.size() - 1].unicode() ^ 1);
        QVERIFY(!cp1251_shows(value, other));
    }
}

void tst_Params::cp1251_table_agrees_with_qt_codec() {
    QTextCodec* codec = QTextCodec::codecForName("windows-1251");
    if (!codec)
        QSKIP("Qt has no Windows-1251 codec here");
    for (int b = 0x80; b <= 0xFF; ++b) {
        if (b == 0x98)
            continue;
        const char c = char(b);
        const QString expected = codec->toUnicode(&c, 1);
        QCOMPARE(QString(QChar(cp1251_char(static_cast<unsigned char>(b)))), expected);
    }
}

void tst_Params::default_take_requires_exact_size() {
    Param_raw p(4, 1);
    unsigned char slot[4] = {0, 0, 0, 0};
    const unsigned char value[5] = {1, 2, 3, 4, 5};
    QString err;
    QVERIFY(!p.take(slot, value, 5, err));
    QCOMPARE(err, QStringLiteral("Значение параметра №9 имеет неправильный размер: 5 байтов "
                                 "(должно быть 4 байтов)."));
    err.clear();
    QVERIFY(p.take(slot, value, 4, err));
    QVERIFY(err.isEmpty());
    QCOMPARE(slot[3], 4);
}

using Layout = QVector<quint64>; // pairs of size and alignment

void tst_Params::lay_out_data() {
    QTest::addColumn<Layout>("params");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<Layout>("offsets");
    QTest::addColumn<quint64>("total");

    const quint64 max = std::numeric_limits<quint64>::max();
    QTest::newRow("an empty list has total size zero") << Layout{} << true << Layout{} << 0ull;
    QTest::newRow("an aligned value is moved to the next multiple")
        << Layout{3, 1, 8, 4, 1, 1} << true << Layout{0, 4, 12} << 13ull;
    QTest::newRow("a value already aligned stays")
        << Layout{8, 8, 8, 8} << true << Layout{0, 8} << 16ull;
    QTest::newRow("a size that reaches the end of the range exactly fits")
        << Layout{1, 1, max - 1, 1} << true << Layout{0, 1} << max;
    QTest::newRow("a size that overflows is refused")
        << Layout{2, 1, max - 1, 1} << false << Layout{} << 0ull;
    QTest::newRow("alignment padding that overflows is refused")
        << Layout{max - 2, 1, 1, 16} << false << Layout{} << 0ull;
}

void tst_Params::lay_out() {
    QFETCH(Layout, params);
    QFETCH(bool, ok);
    QFETCH(Layout, offsets);
    QFETCH(quint64, total);

    Params list(uint64_t(params.size() / 2));
    for (int i = 0; i < params.size(); i += 2)
        list.items[i / 2] = new Param_raw(params[i], params[i + 1]);
    QCOMPARE(list.lay_out(), ok);
    if (!ok)
        return;
    QCOMPARE(quint64(list.total_size), total);
    for (int i = 0; i < offsets.size(); ++i)
        QCOMPARE(quint64(list.items[i]->offset), offsets[i]);
}

void tst_Params::version_params_are_laid_out_one_after_another() {
    const auto params = make_version_params();
    QCOMPARE(quint64(params->count), 3ull);
    QCOMPARE(quint64(params->total_size), 768ull);
    const quint64 ids[3] = {2, 3, 4};
    const unsigned widths[3] = {50, 36, 50};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(quint64(params->items[i]->id), ids[i]);
        QCOMPARE(quint64(params->items[i]->offset), quint64(256 * i));
        QCOMPARE(params->items[i]->measure(), widths[i]);
    }
    QCOMPARE(params->items[1]->name, QStringLiteral("Версия прошивки модема"));
}

QTEST_GUILESS_MAIN(tst_Params)
#include "tst_params.moc"
