// The README's tour and its pictures: every picture the README shows is there and is a
// window-sized PNG, every picture the screenshot driver takes is shown, and the script that
// takes them parses. Taking the pictures needs Xvfb and a run of the demo: too slow here.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

class tst_Tour : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pictures_shown_exist_data();
    void pictures_shown_exist();
    void every_picture_taken_is_shown();
    void script_parses();

private:
    QString root;
    QSet<QString> shown; // docs/... paths the README shows
};

static QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void tst_Tour::initTestCase() {
    root = QDir::cleanPath(QStringLiteral(ZELMO_TEST_DATA "/../.."));
    const QString readme = QString::fromUtf8(read_all(root + QStringLiteral("/README.md")));
    QVERIFY(!readme.isEmpty());
    const QRegularExpression picture(QStringLiteral(R"(!\[[^\]]+\]\((docs/[^)\s]+\.png)\))"));
    for (auto it = picture.globalMatch(readme); it.hasNext();)
        shown << it.next().captured(1);
}

void tst_Tour::pictures_shown_exist_data() {
    QTest::addColumn<QString>("path");
    QVERIFY2(shown.size() >= 5, "the tour shows the start page, the configuration, the exchange, "
                                "the mixed result and the failure list");
    QStringList sorted = shown.values();
    sorted.sort();
    for (const QString& p : sorted)
        QTest::newRow(qPrintable(p)) << p;
}

void tst_Tour::pictures_shown_exist() {
    QFETCH(QString, path);
    const QImage image(root + '/' + path, "PNG");
    QVERIFY2(!image.isNull(), qPrintable(path + " is missing or not a PNG"));
    // A window, not the whole virtual screen it was drawn on.
    QVERIFY2(image.width() < 1280 || image.height() < 1024, qPrintable(path));
    QVERIFY(QFileInfo(root + '/' + path).size() < 300 * 1024);
}

void tst_Tour::every_picture_taken_is_shown() {
    const QString driver =
        QString::fromUtf8(read_all(root + QStringLiteral("/scripts/screenshots/shoot.cpp")));
    QVERIFY(!driver.isEmpty());
    QStringList taken;
    const QRegularExpression name(QStringLiteral(R"re("(tour-[a-z0-9-]+\.png)")re"));
    for (auto it = name.globalMatch(driver); it.hasNext();)
        taken << QStringLiteral("docs/") + it.next().captured(1);
    QVERIFY(!taken.isEmpty());
    for (const QString& t : taken)
        QVERIFY2(shown.contains(t), qPrintable(t + " is taken but the README does not show it"));
    // And no picture left over from an older tour.
    const QStringList in_docs =
        QDir(root + QStringLiteral("/docs")).entryList({QStringLiteral("tour-*.png")}, QDir::Files);
    for (const QString& f : in_docs)
        QVERIFY2(taken.contains(QStringLiteral("docs/") + f),
                 qPrintable(f + " is in docs/ but the driver no longer takes it"));
}

void tst_Tour::script_parses() {
    QProcess bash;
    bash.start(QStringLiteral("bash"),
               {QStringLiteral("-n"), root + QStringLiteral("/scripts/screenshots.sh")});
    QVERIFY(bash.waitForFinished(10000));
    QVERIFY2(bash.exitStatus() == QProcess::NormalExit && bash.exitCode() == 0,
             bash.readAllStandardError().constData());
}

QTEST_GUILESS_MAIN(tst_Tour)
#include "tst_tour.moc"
