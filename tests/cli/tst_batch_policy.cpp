// zelmo_batch takes its rollout policy from the configuration: the shared rollout scenarios run
// through the executable with no rollout flag, and a flag overrides the option it names.
#include "support/batch_process.h"
#include "support/rollout_scenarios.h"
#include "support/sim_process.h"

#include <QTemporaryDir>
#include <QtTest>

#ifndef ZELMO_BATCH_PATH
#error "the tests need the zelmo_batch executable"
#endif

class tst_Batch_policy : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void scenarios_data();
    void scenarios();

private:
    QTemporaryDir dir;
};

void tst_Batch_policy::initTestCase() {
    QVERIFY(dir.isValid());
}

void tst_Batch_policy::scenarios_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<int>("linked");    // -1: the scenario's own
    QTest::addColumn<QString>("names"); // in standard error when the run stops

    const QVector<Rollout_scenario> all = rollout_scenarios();
    const QStringList expected_names = {"", "(--canary 3)", "(порог --stop-after-failures 2)", ""};
    for (int i = 0; i < all.size(); ++i)
        QTest::newRow(all[i].name) << i << QStringList{} << -1 << expected_names.value(i);
    // Devices 2, 5 and 8 refuse the PIN: the third failure is the ninth device.
    QTest::newRow("a flag overrides the option")
        << 2 << QStringList{"--stop-after-failures", "3"} << 9 << "(порог --stop-after-failures 3)";
}

void tst_Batch_policy::scenarios() {
    QFETCH(int, index);
    QFETCH(QStringList, flags);
    QFETCH(int, linked);
    QFETCH(QString, names);
    Rollout_scenario s = rollout_scenarios()[index];
    if (linked >= 0) {
        s.linked = linked;
        s.ok = linked - 3;
    }
    Sim_process sim;
    QVERIFY2(sim.start(s.fleet), qPrintable(sim.error()));
    const QString cfg = dir.filePath(QStringLiteral("policy%1.zelmo_upload").arg(index));
    write_file(cfg, rollout_scenario_config(s, sim.ports()).toUtf8());
    const Batch_outcome o = run_batch(QStringLiteral(ZELMO_BATCH_PATH), dir.path(),
                                      QStringList{"command", cfg, "restart"} + flags);
    QVERIFY(sim.stop());
    int succeeded = 0;
    for (const QString& line : o.lines())
        succeeded += line.endsWith(QLatin1String("\tok"));
    QCOMPARE(check_rollout_scenario(s, sim, succeeded), QString());
    if (s.stop.isEmpty()) {
        QCOMPARE(o.code, s.ok == s.counts.value(0) + s.counts.value(1) ? 0 : 1);
    } else {
        QCOMPARE(o.code, 4);
        QVERIFY2(o.err.contains(names), qPrintable(o.err));
    }
}

QTEST_GUILESS_MAIN(tst_Batch_policy)
#include "tst_batch_policy.moc"
