#pragma once
// Event dispatcher for the exchange engine's worker thread. Thousands of sockets live in that
// thread; epoll reports only the ready ones, where poll() would scan all of them on every turn
// of the loop. The thread has few Qt timers, so they sit in a short vector. Links of the
// thread watch their sockets through it directly (Fd_poller), without socket notifiers.

#include "protocol/fd_poller.h"

#include <QAbstractEventDispatcher>
#include <atomic>
#include <cstdint>
#include <vector>

class Epoll_dispatcher : public QAbstractEventDispatcher, public Fd_poller {
    Q_OBJECT

public:
    explicit Epoll_dispatcher(QObject* parent = nullptr);
    ~Epoll_dispatcher() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    bool hasPendingEvents() override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    void registerTimer(int timer_id, int interval, Qt::TimerType timer_type,
                       QObject* object) override;
    bool unregisterTimer(int timer_id) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timer_id) override;

    void watch(int fd, bool read, bool write, Fd_handler* handler) override;
    void closing(int fd) override;

    void wakeUp() override;
    void interrupt() override;
    void flush() override;

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
        QSocketNotifier* exception = nullptr;
        Fd_handler* direct = nullptr; // in place of the notifiers
        uint32_t direct_events = 0;
        uint32_t in_kernel = 0;  // interest last given to epoll; 0 when the fd is not there
        uint32_t generation = 0; // changes when the fd leaves epoll, so late events are dropped
    };
    struct Timer {
        int id;
        int interval;
        Qt::TimerType type;
        QObject* object;
        int64_t deadline_ns;
        uint64_t round; // last round of activation that saw it, so it fires once per round
        bool active;    // its event is being delivered (a nested loop must not fire it again)
    };

    static uint32_t wanted(const Watch& w);
    void update_interest(int fd, Watch& w);
    Watch& watch_of(int fd);
    int dispatch_sockets(const void* events, int count);
    int fire_timers();
    int wait_timeout_ms() const;
    void drain_wakeups();
    Timer* find_timer(int timer_id);

    int epoll_fd = -1;
    int wake_fd = -1;
    std::vector<Watch> watches; // indexed by fd
    std::vector<Timer> timers;
    uint64_t timer_round = 0;
    std::atomic<int> wakeups{0};
    std::atomic<bool> interrupted{false};
};
