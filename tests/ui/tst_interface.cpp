#include "ui/interface.h"

#include <QApplication>
#include <QFontInfo>
#include <QSet>
#include <QWidget>
#include <QtTest>

class tst_Interface : public QObject {
    Q_OBJECT
private slots:
    void monospace_choice_data();
    void monospace_choice();
    void regular_style_data();
    void regular_style();
    void scales_data();
    void scales();
    void fonts_are_chosen_once();
};

void tst_Interface::monospace_choice_data() {
    QTest::addColumn<QStringList>("families");
    QTest::addColumn<QStringList>("unusable");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("nothing listed gives no choice")
        << QStringList{"Arial", "Times", "Zapf"} << QStringList() << QString();
    QTest::newRow("the lowest rank wins whatever the order")
        << QStringList{"Proggy", "Courier New", "DejaVu Sans Mono", "Inconsolata"} << QStringList()
        << "DejaVu Sans Mono";
    QTest::newRow("the listed name matches with or without its space")
        << QStringList{"Deja Vu Sans Mono"} << QStringList() << "Deja Vu Sans Mono";
    QTest::newRow("case does not matter")
        << QStringList{"ProFont", "Monaco"} << QStringList() << "ProFont";
    QTest::newRow("a longer family name matches its listed start")
        << QStringList{"Proggy Clean TT", "Monaco"} << QStringList() << "Proggy Clean TT";
    QTest::newRow("among equal ranks the first in sorted order stays")
        << QStringList{"Courier New", "Courier 10 Pitch"} << QStringList() << "Courier 10 Pitch";
    QTest::newRow("an unusable family is never chosen, whatever its rank")
        << QStringList{"DejaVu Sans Mono", "Inconsolata"} << QStringList{"DejaVu Sans Mono"}
        << "Inconsolata";
    QTest::newRow("an unusable match lets another family of the same entry in")
        << QStringList{"Courier", "Courier New"} << QStringList{"Courier"} << "Courier New";
    QTest::newRow("only unusable matches give no choice")
        << QStringList{"Consolas", "Monaco"} << QStringList{"Consolas", "Monaco"} << QString();
    QTest::newRow("a family shorter than the listed name does not match")
        << QStringList{"Cour", "Mon"} << QStringList() << QString();
}

void tst_Interface::monospace_choice() {
    QFETCH(QStringList, families);
    QFETCH(QStringList, unusable);
    QFETCH(QString, chosen);
    const QSet<QString> bad(unusable.begin(), unusable.end());
    QCOMPARE(
        choose_monospace_family(families, [&bad](const QString& f) { return !bad.contains(f); }),
        chosen);
}

void tst_Interface::regular_style_data() {
    QTest::addColumn<QStringList>("styles");
    QTest::addColumn<bool>("regular");
    QTest::newRow("Normal") << QStringList{"Bold", "Normal"} << true;
    QTest::newRow("Regular") << QStringList{"Regular", "Italic"} << true;
    QTest::newRow("Book, as fontconfig names it") << QStringList{"Oblique", "Book"} << true;
    QTest::newRow("only bold and oblique styles") << QStringList{"Bold", "Oblique"} << false;
    QTest::newRow("a style that merely contains the word")
        << QStringList{"Normal Italic", "SemiRegular"} << false;
    QTest::newRow("no styles") << QStringList() << false;
}

void tst_Interface::regular_style() {
    QFETCH(QStringList, styles);
    QFETCH(bool, regular);
    QCOMPARE(has_regular_style(styles), regular);
}

void tst_Interface::scales_data() {
    QTest::addColumn<int>("ws");
    QTest::addColumn<int>("hs");
    QTest::addColumn<int>("w0");
    QTest::addColumn<int>("h0");
    QTest::addColumn<qint64>("big");
    QTest::addColumn<qint64>("small");
    QTest::newRow("a small screen never shrinks the fonts")
        << 800 << 600 << 7 << 16 << qint64(1000000) << qint64(1000000);
    QTest::newRow("a full HD screen grows them by the width")
        << 1920 << 1080 << 7 << 16 << qint64(1599908) << qint64(1200000);
    QTest::newRow("a wide but low screen is limited by its height")
        << 3840 << 1080 << 7 << 16 << qint64(1687500) << qint64(1265625);
    QTest::newRow("a huge screen stops at 1.8 and 1.6")
        << 7680 << 4320 << 7 << 16 << qint64(1800000) << qint64(1600000);
    QTest::newRow("no overflow with the largest metrics and screens")
        << 2000000000 << 2000000000 << 1 << 1 << qint64(1800000) << qint64(1600000);
}

void tst_Interface::scales() {
    QFETCH(int, ws);
    QFETCH(int, hs);
    QFETCH(int, w0);
    QFETCH(int, h0);
    QFETCH(qint64, big);
    QFETCH(qint64, small);
    QCOMPARE(font_scale_big(ws, hs, w0, h0), big);
    QCOMPARE(font_scale_small(ws, hs, w0, h0), small);
}

void tst_Interface::fonts_are_chosen_once() {
    QVERIFY(!fonts_initialized);
    const QFont base = QApplication::font();
    QWidget first;
    init_fonts(first);
    QVERIFY(fonts_initialized);
    // The offscreen screen is small: the sizes stay those of the system.
    QCOMPARE(font_name_big.pointSize(), base.pointSize());
    QCOMPARE(font_name_big.family(), base.family());
    QCOMPARE(QApplication::font(), font_name_big);
    QVERIFY(QFontInfo(font_value_big).fixedPitch());
    QVERIFY(QFontInfo(font_value_small).fixedPitch());
    QVERIFY(module_w > 0 && module_h > module_w);
    QVERIFY(w_dec_big > 0 && w_dec_small > 0);

    const QFont value_big = font_value_big;
    const int w = module_w, h = module_h, dec = w_dec_big;
    QApplication::setFont(QFont(base.family(), base.pointSize() * 3));
    QWidget second;
    init_fonts(second);
    QCOMPARE(font_value_big, value_big);
    QCOMPARE(module_w, w);
    QCOMPARE(module_h, h);
    QCOMPARE(w_dec_big, dec);
}

QTEST_MAIN(tst_Interface)
#include "tst_interface.moc"
