// The pace the exchange window shows: a wrong rate or time left misleads the user about a
// run of hours, so the window of samples and the edges are checked.
#include "engine/run_rate.h"

#include <QTest>

class tst_Run_rate : public QObject {
    Q_OBJECT
private slots:
    void rate_over_samples_data();
    void rate_over_samples();
    void time_left_data();
    void time_left();
    void formats_data();
    void formats();
};

using Samples = QVector<QPair<qint64, quint64>>;
Q_DECLARE_METATYPE(Samples)

void tst_Run_rate::rate_over_samples_data() {
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<double>("rate");
    QTest::newRow("one sample is no rate") << Samples{{0, 0}} << 0.0;
    QTest::newRow("samples too close together") << Samples{{0, 0}, {50, 10}} << 0.0;
    QTest::newRow("steady 100 a second") << Samples{{0, 0}, {1000, 100}, {2000, 200}} << 100.0;
    // The first second (fast start) falls out of the 5 s window; the rate follows the
    // recent pace, measured from the last sample at or behind the window's edge.
    QTest::newRow("old samples forgotten")
        << Samples{{0, 0}, {1000, 1000}, {2000, 1010}, {6000, 1050}, {7000, 1060}} << 10.0;
    QTest::newRow("stalled run") << Samples{{0, 0}, {1000, 10}, {7000, 10}, {12000, 10}} << 0.0;
    QTest::newRow("counter went back (not possible, but no nonsense)")
        << Samples{{0, 10}, {1000, 5}} << 0.0;
}

void tst_Run_rate::rate_over_samples() {
    QFETCH(Samples, samples);
    QFETCH(double, rate);
    Run_rate r;
    for (const auto& s : samples)
        r.add(s.first, s.second);
    QCOMPARE(r.rate(), rate);
}

void tst_Run_rate::time_left_data() {
    QTest::addColumn<int>("per_second");
    QTest::addColumn<quint64>("remaining");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("nothing left") << 0 << quint64(0) << qint64(0);
    QTest::newRow("no pace yet") << 0 << quint64(5) << qint64(-1);
    QTest::newRow("rounded up") << 3 << quint64(10) << qint64(4);
    QTest::newRow("hours") << 1 << quint64(7322) << qint64(7322);
    QTest::newRow("beyond 99 hours is unknown") << 1 << quint64(400000) << qint64(-1);
}

void tst_Run_rate::time_left() {
    QFETCH(int, per_second);
    QFETCH(quint64, remaining);
    QFETCH(qint64, seconds);
    Run_rate r;
    r.add(0, 0);
    r.add(2000, quint64(2 * per_second));
    QCOMPARE(r.seconds_left(remaining), seconds);
}

void tst_Run_rate::formats_data() {
    QTest::addColumn<double>("rate");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("rate_text");
    QTest::addColumn<QString>("time_text");
    QTest::newRow("slow, minutes") << 2.24 << qint64(125) << "2.2"
                                   << "2:05";
    QTest::newRow("fast, hours") << 1234.6 << qint64(3723) << "1235"
                                 << "1:02:03";
    QTest::newRow("unknown") << 0.0 << qint64(-1) << "0.0" << QStringLiteral("—");
}

void tst_Run_rate::formats() {
    QFETCH(double, rate);
    QFETCH(qint64, seconds);
    QFETCH(QString, rate_text);
    QFETCH(QString, time_text);
    QCOMPARE(format_rate(rate), rate_text);
    QCOMPARE(format_time_left(seconds), time_text);
}

QTEST_GUILESS_MAIN(tst_Run_rate)
#include "tst_run_rate.moc"
