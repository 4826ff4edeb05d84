// The cost of guarding one frame with a time-out when many protocol clients share a thread:
// a client restarts its one timer for every frame it sends. Compared, in the same run, with
// what a QObject timer per client costs (killTimer + startTimer on plain objects).
//
// Usage: bench_client_timer [clients ...]   (default 100 1000 65535)

#include "protocol/client_timer.h"
#include "protocol/zelmo_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

class Idle_client : public Zelmo_client {
public:
    Idle_client() { init(buffer, 1); }
    void on_rupture(const QString&) override {}
    void on_crash(const QString&) override {}
    unsigned char buffer[8];
};

struct Plain : QObject {
    int id = 0;
};

constexpr int restarts = 20000;

// Restarts spread over the clients the way frames of a run are: each one a different client.
double client_us(int n) {
    std::vector<std::unique_ptr<Idle_client>> c;
    c.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        c.emplace_back(new Idle_client);
        c.back()->timer = c.back()->timers->start(c.back().get(), 50000 + i % 7);
    }
    QElapsedTimer t;
    t.start();
    for (int k = 0; k < restarts; ++k) {
        Idle_client* x = c[size_t((k * 7919) % n)].get();
        x->timer = x->timers->start(x, 100000);
    }
    return double(t.nsecsElapsed()) / 1000.0 / restarts;
}

double qobject_us(int n) {
    std::vector<std::unique_ptr<Plain>> o;
    o.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        o.emplace_back(new Plain);
        o.back()->id = o.back()->startTimer(50000 + i % 7);
    }
    QElapsedTimer t;
    t.start();
    for (int k = 0; k < restarts; ++k) {
        Plain* x = o[size_t((k * 7919) % n)].get();
        x->killTimer(x->id);
        x->id = x->startTimer(100000);
    }
    return double(t.nsecsElapsed()) / 1000.0 / restarts;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {100, 1000, 65535};
    std::printf("%8s %14s %14s %8s\n", "clients", "qobject us", "client us", "ratio");
    for (int n : sizes) {
        if (n < 1)
            continue;
        const double base = qobject_us(n);
        const double ours = client_us(n);
        std::printf("%8d %14.3f %14.3f %8.1f\n", n, base, ours, base / ours);
    }
    return 0;
}
