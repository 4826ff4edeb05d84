#pragma once
// The main thread's longest delay in serving a timer while a run goes on: a precise timer of
// a few milliseconds, and how much later than due each of its turns came.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>

class Stall_meter : public QObject {
public:
    explicit Stall_meter(int interval_ms) : interval(interval_ms) {
        connect(&timer, &QTimer::timeout, this, [this] {
            // What the window does once the run has ended (the result box) is not part of it.
            if (ended && ended->load(std::memory_order_acquire)) {
                timer.stop();
                return;
            }
            const qint64 now = clock.nsecsElapsed();
            const qint64 late = now - last - qint64(interval) * 1000000;
            if (late > worst) {
                worst = late;
                worst_at = now;
            }
            last = now;
        });
        timer.setTimerType(Qt::PreciseTimer);
    }
    void start() {
        worst = 0;
        clock.start();
        last = clock.nsecsElapsed();
        timer.start(interval);
    }
    void stop() { timer.stop(); }
    double worst_ms() const { return double(worst) / 1e6; }
    std::atomic<bool>* ended = nullptr;
    qint64 worst_at = 0;

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    int interval;
};
