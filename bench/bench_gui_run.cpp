// A run through the exchange window against the same run without any window, in the same
// process and against the same simulator: a device command to 100 000 devices on 10 servers
// with 100 and with 1000 connections. Reports devices per second of both, the window's ratio
// to the headless run, and the main thread's longest stall while the window's run goes on
// (the lateness of a 5 ms timer). Then the failure list of 100 000 failed devices: how long it
// takes to open against opening the configuration page over the same devices, and the slowest of
// several keystrokes typed into its filter.
//
// Usage: bench_gui_run [devices-per-server] (default 10000)
#include "config/config.h"
#include "engine/actions.h"
#include "engine/engine.h"
#include "foundation/err.h"
#include "protocol/frame.h"
#include "support/engine_sim.h"
#include "support/stall_meter.h"
#include "support/window_run.h"
#include "ui/dialog_exchange.h"
#include "ui/dialog_failure.h"
#include "ui/interface.h"
#include "ui/page_cfg.h"
#include "ui/table_devices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <sys/resource.h>

namespace {

struct Run_figures {
    double seconds = 0;
    unsigned ok = 0;
    double stall_ms = 0;
    double main_cpu = 0; // CPU seconds of the main thread during the run
};

Run_figures headless_run(const Action& action) {
    Run_figures f;
    QElapsedTimer t;
    t.start();
    const QString error = run_engine(action, {}, 20);
    f.seconds = double(t.nsecsElapsed()) / 1e9;
    if (!error.isEmpty())
        std::fprintf(stderr, "engine: %s\n", qPrintable(error));
    f.ok = succeeded_devices();
    return f;
}

// The same run with the main thread doing nothing but the stall meter: how late a timer
// comes on this machine anyway, without any window.
double idle_stall(const Action& action) {
    Stall_meter stalls(5);
    std::atomic<bool> ended{false};
    stalls.ended = &ended;
    Engine engine(action);
    QEventLoop loop;
    QObject::connect(&engine, &QThread::finished, &loop, &QEventLoop::quit);
    QObject::connect(
        &engine, &QThread::finished, &engine,
        [&ended] { ended.store(true, std::memory_order_release); }, Qt::DirectConnection);
    QTimer::singleShot(0, [&] { stalls.start(); });
    engine.start();
    loop.exec();
    engine.wait();
    return stalls.worst_ms();
}

// The run ends when its result box shows up; the box is closed at once.
Run_figures window_run(const Action& action) {
    const Window_run w = run_exchange_window(action, nullptr);
    Run_figures f;
    f.seconds = w.seconds;
    f.stall_ms = w.stall_ms;
    f.main_cpu = w.main_cpu;
    f.ok = succeeded_devices();
    return f;
}

void run_rows(unsigned per_server) {
    const int servers = 10;
    Bench_sim sim;
    if (!start_fleet(sim, servers, per_server))
        return;
    const unsigned devices = configuration.devices.count;
    std::printf("command to %u devices on %d servers\n", devices, servers);
    std::printf("%-12s %14s %14s %8s %16s %14s %18s\n", "connections", "headless d/s", "window d/s",
                "ratio", "longest stall ms", "main CPU s", "stall, no window");
    Action_cmd action(1, name_RESTART.tr());
    for (unsigned long long connections : {100ull, 1000ull}) {
        simultaneously = connections;
        // Best of two of each, interleaved, so that neither side gets the warmer machine.
        double best_headless = 0, best_window = 0, worst_stall = 0, main_cpu = 0;
        for (int round = 0; round < 2; ++round) {
            const Run_figures h = headless_run(action);
            const Run_figures w = window_run(action);
            if (h.ok != devices || w.ok != devices)
                std::fprintf(stderr, "not every device succeeded: %u, %u of %u\n", h.ok, w.ok,
                             devices);
            best_headless = std::max(best_headless, devices / h.seconds);
            best_window = std::max(best_window, devices / w.seconds);
            worst_stall = std::max(worst_stall, w.stall_ms);
            main_cpu = std::max(main_cpu, w.main_cpu);
        }
        const double idle = idle_stall(action);
        std::printf("%-12llu %14.0f %14.0f %7.3fx %16.1f %14.2f %18.1f\n", connections,
                    best_headless, best_window, best_window / best_headless, worst_stall, main_cpu,
                    idle);
        std::fflush(stdout);
    }
    sim.stop();
}

double settle_ms(QElapsedTimer& t) {
    QCoreApplication::processEvents();
    return double(t.nsecsElapsed()) / 1e6;
}

void failure_list_rows(unsigned per_server) {
    const int servers = 10;
    QString cfg;
    for (int i = 0; i < servers; ++i) {
        cfg += QStringLiteral("server(address \"10.0.0.%1\", port 7000)\n{\n").arg(i + 1);
        for (unsigned d = 0; d < per_server; ++d)
            cfg += QStringLiteral(" device(imei %1, pin \"1234\", notes \"машина %2\")\n")
                       .arg(350000000000000ull + quint64(i) * 1000000 + d)
                       .arg(d);
        cfg += QStringLiteral("}\n");
    }
    clear_cfg();
    parse_cfg(cfg);
    const unsigned devices = configuration.devices.count;
    const QString reasons[3] = {QStringLiteral("Устройство отвергло указанный PIN-код."),
                                QStringLiteral("Нет связи между устройством и сервером."),
                                QStringLiteral("Работа с устройством отменена пользователем.")};
    for (unsigned i = 0; i < devices; ++i) {
        Device* d = configuration.devices.rows[i].device;
        d->run_flags = 0;
        d->error_text = reasons[i % 3];
    }

    // The baseline: the configuration page opened over the same devices.
    double page_ms;
    {
        QElapsedTimer t;
        t.start();
        Page_cfg page(nullptr);
        page.create_contents(false);
        page.resize(1200, 800);
        page.show();
        page_ms = settle_ms(t);
    }

    QElapsedTimer t;
    t.start();
    Collection failed;
    select_failure_with_errors(failed);
    const double select_ms = double(t.nsecsElapsed()) / 1e6;
    Dialog_failure dialog(failed, nullptr);
    const double build_ms = double(t.nsecsElapsed()) / 1e6;
    dialog.resize(1200, 800);
    dialog.show();
    const double open_ms = settle_ms(t);

    const QString typed = QStringLiteral("0000123");
    double worst_key = 0, total_key = 0;
    for (QChar c : typed) {
        QElapsedTimer k;
        k.start();
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(dialog.filter_text, &press);
        QCoreApplication::sendEvent(dialog.filter_text, &release);
        const double ms = settle_ms(k);
        worst_key = std::max(worst_key, ms);
        total_key += ms;
    }
    std::printf("\nfailure list of %u devices\n", devices);
    std::printf("open: %.0f ms (list %.0f, window %.0f, shown %.0f), the configuration "
                "page: %.0f ms, ratio %.2fx\n",
                open_ms, select_ms, build_ms - select_ms, open_ms - build_ms, page_ms,
                open_ms / page_ms);
    std::printf("filter typed «%s»: slowest keystroke %.1f ms, mean %.1f ms, %d rows left\n",
                qPrintable(typed), worst_key, total_key / typed.size(),
                dialog.table_devices->model()->rowCount());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const unsigned per_server = argc > 1 ? unsigned(atoi(argv[1])) : 10000;
    log_file_name = "bench_gui_run.log";
    QWidget probe;
    init_fonts(probe);
    run_rows(per_server);
    failure_list_rows(per_server);
    return 0;
}
