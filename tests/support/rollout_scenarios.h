#pragma once
// One run per rollout control against zelmo_server_sim, shared by the tests of the core driver
// and of the front ends that run it (the exchange window, zelmo_batch): the same fleet, the
// same configuration with its rollout options, the same expectations at the simulator.
//
//     for (const Rollout_scenario& s : rollout_scenarios()) {
//         Sim_process sim;
//         QVERIFY(sim.start(s.fleet));
//         load_cfg(rollout_scenario_config(s, sim.ports()));
//         ... run a restart command over every device through the front end ...
//         QVERIFY(sim.stop());
//         QCOMPARE(check_rollout_scenario(s, sim, succeeded), QString());
//     }

#include <QString>
#include <QStringList>
#include <QVector>

class Sim_process;

struct Rollout_scenario {
    const char* name;
    QString fleet;       // for Sim_process::start
    QVector<int> counts; // devices per port of the fleet, IMEIs numbered across them
    QString options;     // the configuration's option lines
    // Expectations.
    QString phases;      // phases in order: "canary main waiting retry"
    QString stop;        // "", "canary", "failures" or "rate"
    int linked = -1;     // LINK records at the simulator; -1: not checked
    int ok = 0;          // devices that end as succeeded
    int cap = 0;         // the most connections at once to one port; 0: not checked
    QStringList reached; // IMEIs (offsets from the first) that must have been linked
};

// The cap, the canary stop, the threshold stop and the retry pass.
QVector<Rollout_scenario> rollout_scenarios();

// The configuration text: the options, then counts[i] devices with PIN 1234 on ports[i].
QString rollout_scenario_config(const Rollout_scenario& s, const QVector<quint16>& ports);
// The IMEI of the device at an offset.
QString rollout_scenario_imei(int offset);

// Compares what the simulator recorded (after stop()) and the number of devices that the front
// end reports as succeeded with the scenario's expectations; an empty text when they match.
QString check_rollout_scenario(const Rollout_scenario& s, const Sim_process& sim, int succeeded);

// An upload with a version check, in thirds on one port: devices 0 to 2 show the expected main
// version already, 3 to 5 apply the file (offline for restart_ms meanwhile, as when
// restarting), 6 to 8 keep their old version, 8 of them answering the version request with
// an error; and 9 takes the file and never comes back. The verification must wait longer than
// restart_ms.
struct Verify_scenario {
    QString fleet;
    int count = 10;
    int restart_ms = 300;
    QString expected = QStringLiteral("FW 2.0");
    QString old_version = QStringLiteral("FW 1.0.0"); // the simulator's built-in main version
    QVector<int> current{0, 1, 2}, applying{3, 4, 5}, refusing{6, 7}, mute{8}, gone{9};
};
Verify_scenario verify_scenario();
// The configuration text: every device of the scenario with PIN 1234 on `port`.
QString verify_scenario_config(const Verify_scenario& s, quint16 port);
// The devices (offsets) that the simulator's record shows were sent a file, in order, once each.
QVector<int> upfile_offsets(const Sim_process& sim);
