// The exchange window running a rollout, against the same window running a plain run: a device
// command to 100 000 devices on 10 servers with 1000 connections against the simulator, once
// with a canary, both thresholds and the journal, once with none of them (and no journal).
// Reports devices per second of both, their ratio, and the main thread's longest stall while
// each run goes on (the lateness of a 5 ms timer).
//
// Usage: bench_gui_rollout [devices-per-server] [rounds]   (defaults 10000 and 3)
#include "config/config.h"
#include "engine/actions.h"
#include "foundation/err.h"
#include "protocol/frame.h"
#include "support/engine_sim.h"
#include "support/window_run.h"
#include "ui/desktop_rollout.h"
#include "ui/dialog_exchange.h"
#include "ui/interface.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

struct Run_figures {
    double seconds = 0;
    unsigned ok = 0;
    double stall_ms = 0;
};

// The rollout options on or off, as the configuration carries them.
void set_rollout(bool on) {
    canary = on ? 100 : 0;
    stop_after_failures = on ? 1000 : 0;
    stop_at_failure_rate = on ? 20 : 0;
    canary_defined = stop_after_failures_defined = stop_at_failure_rate_defined = on;
}

// The run ends when its result box shows up; the box is closed at once.
Run_figures window_run(const Action& action, bool rollout) {
    set_rollout(rollout);
    Rollout_setup setup = desktop_rollout_setup(action);
    if (!rollout)
        setup.journal.clear();
    const Window_run w = run_exchange_window(action, &setup);
    Run_figures f;
    f.seconds = w.seconds;
    f.stall_ms = w.stall_ms;
    f.ok = succeeded_devices();
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const unsigned per_server = argc > 1 ? unsigned(atoi(argv[1])) : 10000;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    // The journals land beside the log, in a folder of the benchmark's own.
    QTemporaryDir logs;
    const QByteArray log_name = QFile::encodeName(logs.filePath(QStringLiteral("bench.log")));
    log_file_name = log_name.constData();
    QWidget probe;
    init_fonts(probe);

    const int servers = 10;
    Bench_sim sim;
    if (!start_fleet(sim, servers, per_server))
        return 1;
    simultaneously = 1000;
    const unsigned devices = configuration.devices.count;
    Action_cmd action(1, name_RESTART.tr());
    std::printf("command to %u devices on %d servers, 1000 connections, best of %d\n", devices,
                servers, rounds);
    // Interleaved, so that neither side gets the warmer machine.
    double best[2] = {0, 0}, worst_stall[2] = {0, 0};
    for (int round = 0; round < rounds; ++round) {
        for (int on = 0; on < 2; ++on) {
            const Run_figures f = window_run(action, on != 0);
            if (f.ok != devices)
                std::fprintf(stderr, "not every device succeeded: %u of %u\n", f.ok, devices);
            best[on] = std::max(best[on], devices / f.seconds);
            worst_stall[on] = std::max(worst_stall[on], f.stall_ms);
            std::printf("  round %d, %-8s %8.0f d/s, longest stall %5.1f ms\n", round + 1,
                        on ? "rollout" : "plain", devices / f.seconds, f.stall_ms);
            std::fflush(stdout);
        }
    }
    const QStringList journals =
        QDir(logs.path()).entryList({QStringLiteral("*.journal")}, QDir::Files);
    std::printf("%-28s %12s %18s\n", "", "best d/s", "longest stall ms");
    std::printf("%-28s %12.0f %18.1f\n", "plain run, no journal", best[0], worst_stall[0]);
    std::printf("%-28s %12.0f %18.1f\n", "canary, thresholds, journal", best[1], worst_stall[1]);
    std::printf("ratio %.3fx (journals written: %lld)\n", best[1] / best[0],
                qint64(journals.size()));
    sim.stop();
    return 0;
}
