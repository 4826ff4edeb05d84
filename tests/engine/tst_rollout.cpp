// The rollout driver over the engine against a real zelmo_server_sim: one run per control, with
// the phases it reports, the stop it names and what the simulator saw; the passes run while
// the calling thread's event loop does.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/engine.h"
#include "engine/params.h"
#include "engine/rollout.h"
#include "protocol/frame.h"
#include "support/engine_cfg.h"
#include "support/rollout_scenarios.h"
#include "support/sim_process.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const char* phase_word(Rollout_phase p) {
    switch (p) {
    case Rollout_phase::idle:
        return "idle";
    case Rollout_phase::canary:
        return "canary";
    case Rollout_phase::main:
        return "main";
    case Rollout_phase::waiting:
        return "waiting";
    case Rollout_phase::retry:
        return "retry";
    case Rollout_phase::verify:
        return "verify";
    case Rollout_phase::finished:
        return "finished";
    }
    return "?";
}

const char* stop_word(Stop_cause c) {
    switch (c) {
    case Stop_cause::canary:
        return "canary";
    case Stop_cause::failures:
        return "failures";
    case Stop_cause::rate:
        return "rate";
    case Stop_cause::none:
        break;
    }
    return "";
}

} // namespace

class tst_Rollout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void controls_data();
    void controls();
    void cancel_while_waiting();
    void version_check_data();
    void version_check();

private:
    QTemporaryDir dir;
};

void tst_Rollout::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
}

void tst_Rollout::controls_data() {
    QTest::addColumn<int>("index");
    const QVector<Rollout_scenario> all = rollout_scenarios();
    for (int i = 0; i < all.size(); ++i)
        QTest::newRow(all[i].name) << i;
}

void tst_Rollout::controls() {
    QFETCH(int, index);
    const Rollout_scenario s = rollout_scenarios()[index];
    Sim_process sim;
    QVERIFY2(sim.start(s.fleet), qPrintable(sim.error()));
    QString error;
    QVERIFY2(load_cfg(rollout_scenario_config(s, sim.ports()), &error), qPrintable(error));

    Action_cmd action(1, QStringLiteral("restart"));
    Rollout_setup setup;
    setup.action = &action;
    setup.work = Journal_work{QStringLiteral("command restart"), {}, {}};
    setup.policy = rollout_policy_from_options();
    setup.report = dir.filePath(QStringLiteral("report%1.jsonl").arg(index));
    Rollout rollout(setup);
    QStringList phases;
    QString stopped;
    connect(&rollout, &Rollout::phase_changed, this, [&](Rollout_phase p) {
        if (p != Rollout_phase::finished)
            phases << phase_word(p);
    });
    connect(&rollout, &Rollout::stopped, this, [&](const QString& m) { stopped = m; });
    // The open connections per server, as the exchange window reads them on its ticks.
    QVector<unsigned> most_open(int(configuration.servers.count));
    connect(&rollout, &Rollout::tick, this, [&] {
        for (unsigned r = 0; r < configuration.servers.count; ++r)
            most_open[int(r)] = std::max(
                most_open[int(r)], configuration.servers.rows[r].server->open_connections.load(
                                       std::memory_order_relaxed));
    });
    // As a window runs it: start() returns at once and the caller's event loop drives the
    // passes.
    QSignalSpy done(&rollout, &Rollout::finished);
    rollout.start();
    QVERIFY(!rollout.is_finished());
    QVERIFY(rollout.engine() != nullptr);
    QVERIFY(done.wait(60000));
    const Rollout_outcome out = rollout.outcome();
    QVERIFY(rollout.is_finished());
    QVERIFY(out.engine_error.isEmpty());
    QVERIFY2(out.file_error.isEmpty(), qPrintable(out.file_error));
    QCOMPARE(phases.join(' '), s.phases);
    QCOMPARE(QString::fromLatin1(stop_word(out.stop.cause)), s.stop);
    QCOMPARE(out.stopped, !s.stop.isEmpty());
    QCOMPARE(stopped, out.stop_message);
    if (out.stopped) {
        QVERIFY2(out.stop_message.startsWith(QStringLiteral("Работа остановлена, так как ")),
                 qPrintable(out.stop_message));
        // Every device the stop left alone says so and counts as not served.
        unsigned unserved = 0;
        for (unsigned i = 0; i < configuration.devices.count; ++i) {
            const Device* d = configuration.devices.rows[i].device;
            if (d->error_text.startsWith(QStringLiteral("Устройство не обслужено: работа "
                                                        "остановлена, так как ")))
                ++unserved;
        }
        QCOMPARE(int(unserved), int(configuration.devices.count) - s.linked);
        QCOMPARE(int(rollout.failures_of(fail_cancelled)), int(unserved));
    }
    unsigned finished = 0, failed = 0;
    for (unsigned r = 0; r < configuration.servers.count; ++r) {
        finished += rollout.server_finished(r);
        failed += rollout.server_failed(r);
    }
    QCOMPARE(int(finished), int(configuration.devices.count));
    QCOMPARE(int(failed), int(configuration.devices.count) - s.ok);
    // Every connection left its server's count; none was ever counted over the cap.
    for (unsigned r = 0; r < configuration.servers.count; ++r) {
        QCOMPARE(configuration.servers.rows[r].server->open_connections.load(), 0u);
        QVERIFY(s.cap == 0 || most_open[int(r)] <= unsigned(s.cap));
    }
    QVERIFY(sim.stop());
    int succeeded = 0;
    for (unsigned i = 0; i < configuration.devices.count; ++i)
        succeeded += (configuration.devices.rows[i].device->run_flags & Device::succeeded) != 0;
    QCOMPARE(check_rollout_scenario(s, sim, succeeded), QString());
}

// A cancel in the pause before a retry pass ends the rollout at once, without the pass.
void tst_Rollout::cancel_while_waiting() {
    Sim_process sim;
    QVERIFY2(sim.start(QStringLiteral("port 0\ndefault pin=1234\ndevice %1 offline_links=5\n")
                           .arg(rollout_scenario_imei(0))),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(QStringLiteral("retry_passes = 3\nretry_delay = 86400000\n") +
                     cfg_server(QStringLiteral("127.0.0.1"), sim.port(),
                                cfg_devices(rollout_scenario_imei(0).toULongLong(), 1))));
    Action_cmd action(1, QStringLiteral("restart"));
    Rollout_setup setup;
    setup.action = &action;
    setup.policy = rollout_policy_from_options();
    Rollout rollout(setup);
    connect(&rollout, &Rollout::phase_changed, this, [&](Rollout_phase p) {
        if (p == Rollout_phase::waiting) {
            QVERIFY(rollout.next_pass_ms() > QDateTime::currentMSecsSinceEpoch() + 3600000);
            QTimer::singleShot(0, &rollout, &Rollout::cancel);
        }
    });
    const Rollout_outcome out = rollout.run();
    QVERIFY(out.interrupted);
    QCOMPARE(rollout.retry_pass(), 1u);
    QVERIFY(sim.stop());
    QCOMPARE(sim.record_of(QStringLiteral("LINK")).size(), 1);
    QCOMPARE(int(configuration.devices.rows[0].device->fail_class), int(fail_not_linked));
}

void tst_Rollout::version_check_data() {
    QTest::addColumn<bool>("skip");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<QString>("phases");
    QTest::addColumn<int>("skipped");  // skipped_current()
    QTest::addColumn<int>("verified"); // verified()
    QTest::addColumn<int>("ok");
    QTest::newRow("skip and verify") << true << true << "main waiting verify" << 3 << 3 << 6;
    QTest::newRow("verify only") << false << true << "main waiting verify" << 0 << 6 << 6;
    QTest::newRow("skip only") << true << false << "main" << 3 << 0 << 10;
}

// The driver's side of a version check, as a window sees it: the phases with the wait before
// the verification, the tallies, and the devices' flags and values.
void tst_Rollout::version_check() {
    QFETCH(bool, skip);
    QFETCH(bool, verify);
    QFETCH(QString, phases);
    QFETCH(int, skipped);
    QFETCH(int, verified);
    QFETCH(int, ok);
    const Verify_scenario s = verify_scenario();
    Sim_process sim;
    QVERIFY2(sim.start(s.fleet), qPrintable(sim.error()));
    QString error;
    QVERIFY2(load_cfg(verify_scenario_config(s, sim.port()), &error), qPrintable(error));
    firmware = QByteArray(2000, 'v');
    firmware_sum = calculate_crc32(firmware.constData(), size_t(firmware.size()));
    Action_upload_firmware action;
    Rollout_setup setup;
    setup.action = &action;
    setup.version.expected = s.expected;
    setup.version.skip_current = skip;
    setup.version.verify = verify;
    setup.version.verify_delay_ms = unsigned(s.restart_ms) * 3;
    Rollout rollout(setup);
    QStringList seen;
    bool counted_down = false;
    connect(&rollout, &Rollout::phase_changed, this, [&](Rollout_phase p) {
        if (p != Rollout_phase::finished)
            seen << phase_word(p);
        if (p == Rollout_phase::waiting)
            counted_down = rollout.waiting_for_verify() &&
                           rollout.next_pass_ms() > QDateTime::currentMSecsSinceEpoch();
    });
    const Rollout_outcome out = rollout.run();
    QVERIFY(sim.stop());
    QVERIFY(out.engine_error.isEmpty());
    QCOMPARE(seen.join(' '), phases);
    QCOMPARE(counted_down, verify);
    QCOMPARE(int(rollout.skipped_current()), skipped);
    QCOMPARE(int(rollout.verified()), verified);
    QCOMPARE(int(rollout.failures_of(fail_verify)), verify ? s.refusing.size() : 0);
    const std::unique_ptr<Params> params = make_version_params();
    int succeeded = 0;
    for (unsigned i = 0; i < configuration.devices.count; ++i) {
        const Device& d = *configuration.devices.rows[i].device;
        succeeded += (d.run_flags & Device::succeeded) != 0;
        const bool current = skip && s.current.contains(int(i));
        QCOMPARE(bool(d.run_flags & Device::skipped_current), current);
        QCOMPARE(bool(d.run_flags & Device::verified),
                 verify && !current && (s.applying.contains(int(i)) || s.current.contains(int(i))));
        // The version read last is in the values, where a window shows it from.
        if (d.run_flags & (Device::skipped_current | Device::verified))
            QCOMPARE(params->items[0]->show(
                         reinterpret_cast<const unsigned char*>(d.values.constData()) +
                         params->items[0]->offset),
                     s.expected);
    }
    QCOMPARE(succeeded, ok);
}

QTEST_GUILESS_MAIN(tst_Rollout)
#include "tst_rollout.moc"
