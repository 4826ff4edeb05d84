#pragma once
// One run through the exchange window as a user meets it: the window opens, the run goes, and
// the result box that ends it is closed at once. Header only: the benchmarks without windows
// share bench/support's sources and must not need the widgets.

#include "support/stall_meter.h"
#include "ui/dialog_exchange.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>

struct Window_run {
    double seconds = 0;  // until the result box shows
    double stall_ms = 0; // the main thread's longest lateness of a 5 ms timer during the run
    double main_cpu = 0; // CPU seconds of the main thread during the run
};

inline double main_thread_cpu() {
    rusage u;
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// With `setup` the window runs that rollout, without it the window's own.
inline Window_run run_exchange_window(const Action& action, const Rollout_setup* setup) {
    Window_run f;
    QElapsedTimer t;
    Stall_meter stalls(5);
    QTimer closer;
    closer.setInterval(1);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (f.seconds == 0) {
            f.seconds = double(t.nsecsElapsed()) / 1e9;
            stalls.stop();
        }
        box->buttons().value(0)->click();
    });
    closer.start();
    std::atomic<bool> ended{false};
    stalls.ended = &ended;
    const double cpu0 = main_thread_cpu();
    t.start();
    {
        std::unique_ptr<Dialog_exchange> dialog =
            setup ? std::make_unique<Dialog_exchange>(nullptr, action, *setup)
                  : std::make_unique<Dialog_exchange>(nullptr, action);
        QObject::connect(&dialog->rollout, &Rollout::finished, dialog.get(),
                         [&ended] { ended.store(true, std::memory_order_release); });
        // Measured from the first turn of the window's own event loop.
        QTimer::singleShot(0, [&] { stalls.start(); });
        dialog->exec();
    }
    closer.stop();
    f.main_cpu = main_thread_cpu() - cpu0;
    f.stall_ms = stalls.worst_ms();
    if (getenv("STALL_AT"))
        std::fprintf(stderr, "worst stall %.1f ms ending at %.3f s of %.3f s\n", f.stall_ms,
                     stalls.worst_at / 1e9, f.seconds);
    return f;
}
