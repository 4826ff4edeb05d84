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
