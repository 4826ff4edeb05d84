#include "engine/epoll_dispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// One epoll_wait takes at most this many events; the rest wait for the next turn.
constexpr int max_events = 256;

int64_t now_ns() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

uint64_t event_key(int fd, uint32_t generation) {
    return uint64_t(uint32_t(fd)) | (uint64_t(generation) << 32);
}

void send_activation(QSocketNotifier* notifier) {
    QEvent event(QEvent::SockAct);
    QCoreApplication::sendEvent(notifier, &event);
}

} // namespace

Epoll_dispatcher::Epoll_dispatcher(QObject* parent) : QAbstractEventDispatcher(parent) {
    epoll_fd = epoll_create1(EPOLL_CLOEXEC);
    wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_fd < 0 || wake_fd < 0)
        qFatal("Epoll_dispatcher: %s", strerror(errno));
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = ~uint64_t(0); // no socket has this key
    if (epoll_ctl(epoll_fd, EPOLL_CTL_ADD, wake_fd, &ev) < 0)
        qFatal("Epoll_dispatcher: %s", strerror(errno));
    timers.reserve(16);
}

Epoll_dispatcher::~Epoll_dispatcher() {
    // Reading the descriptor orders a last wake-up written by another thread (QThread::quit)
    // before the close for TSan too; QThread's own lock, which already orders it, is unseen.
    uint64_t value;
    while (read(wake_fd, &value, sizeof value) > 0) {
    }
    close(wake_fd);
    close(epoll_fd);
}

uint32_t Epoll_dispatcher::wanted(const Watch& w) {
    if (w.direct)
        return w.direct_events;
    return (w.read ? uint32_t(EPOLLIN) : 0) | (w.write ? uint32_t(EPOLLOUT) : 0) |
           (w.exception ? uint32_t(EPOLLPRI) : 0);
}

void Epoll_dispatcher::update_interest(int fd, Watch& w) {
    const uint32_t want = wanted(w);
    if (want == w.in_kernel)
        return;
    if (want == 0) {
        // Fails harmlessly when the fd was closed first: the kernel already dropped it.
        epoll_ctl(epoll_fd, EPOLL_CTL_DEL, fd, nullptr);
        w.in_kernel = 0;
        ++w.generation;
        return;
    }
    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = event_key(fd, w.generation);
    int op = w.in_kernel == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    int rc = epoll_ctl(epoll_fd, op, fd, &ev);
    // A closed and reused fd leaves the kernel's set without our knowing, and the other way round.
    if (rc < 0 && (errno == ENOENT || errno == EEXIST)) {
        op = errno == ENOENT ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
        rc = epoll_ctl(epoll_fd, op, fd, &ev);
    }
    if (rc < 0) {
        qWarning("Epoll_dispatcher: socket %d cannot be watched: %s", fd, strerror(errno));
        w.in_kernel = 0;
        return;
    }
    w.in_kernel = want;
}

Epoll_dispatcher::Watch& Epoll_dispatcher::watch_of(int fd) {
    if (size_t(fd) >= watches.size())
        watches.resize(size_t(fd) + 1);
    return watches[size_t(fd)];
}

void Epoll_dispatcher::watch(int fd, bool read, bool write, Fd_handler* handler) {
    if (fd < 0)
        return;
    Watch& w = watch_of(fd);
    w.direct = handler;
    w.direct_events = (read ? uint32_t(EPOLLIN) : 0) | (write ? uint32_t(EPOLLOUT) : 0);
    update_interest(fd, w);
}

// No EPOLL_CTL_DEL: the close that follows takes the descriptor out of the kernel's set.
void Epoll_dispatcher::closing(int fd) {
    if (fd < 0 || size_t(fd) >= watches.size())
        return;
    Watch& w = watches[size_t(fd)];
    w.direct = nullptr;
    w.direct_events = 0;
    w.in_kernel = 0;
    ++w.generation;
}

void Epoll_dispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    if (fd < 0)
        return;
    Watch& w = watch_of(fd);
    switch (notifier->type()) {
    case QSocketNotifier::Read:
        w.read = notifier;
        break;
    case QSocketNotifier::Write:
        w.write = notifier;
        break;
    case QSocketNotifier::Exception:
        w.exception = notifier;
        break;
    }
    update_interest(fd, w);
}

void Epoll_dispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    if (fd < 0 || size_t(fd) >= watches.size())
        return;
    Watch& w = watches[size_t(fd)];
    if (w.read == notifier)
        w.read = nullptr;
    if (w.write == notifier)
        w.write = nullptr;
    if (w.exception == notifier)
        w.exception = nullptr;
    update_interest(fd, w);
}

int Epoll_dispatcher::dispatch_sockets(const void* events, int count) {
    const epoll_event* ev = static_cast<const epoll_event*>(events);
    int handled = 0;
    for (int i = 0; i < count; ++i) {
        const uint64_t key = ev[i].data.u64;
        if (key == ~uint64_t(0)) {
            drain_wakeups();
            ++handled;
            continue;
        }
        const int fd = int(uint32_t(key));
        const uint32_t generation = uint32_t(key >> 32);
        const uint32_t what = ev[i].events;
        // Each handler may remove notifiers or close the fd, so the watch is looked up again
        // before every activation.
        auto current = [&]() -> Watch* {
            if (size_t(fd) >= watches.size())
                return nullptr;
            Watch& w = watches[size_t(fd)];
            return w.in_kernel != 0 && w.generation == generation ? &w : nullptr;
        };
        Watch* w = current();
        if (w && w->direct) {
            w->direct->fd_ready(((what & EPOLLIN) ? Fd_handler::readable : 0) |
                                ((what & EPOLLOUT) ? Fd_handler::writable : 0) |
                                ((what & EPOLLERR) ? Fd_handler::error : 0) |
                                ((what & EPOLLHUP) ? Fd_handler::hang_up : 0));
            ++handled;
            continue;
        }
        if (w && w->read && (what & (EPOLLIN | EPOLLHUP | EPOLLERR))) {
            send_activation(w->read);
            ++handled;
            w = current();
        }
        // A hang-up on a socket watched only for writing must still reach someone, or the
        // level-triggered report would repeat for ever.
        const uint32_t write_on =
            w && !w->read ? EPOLLOUT | EPOLLERR | EPOLLHUP : EPOLLOUT | EPOLLERR;
        if (w && w->write && (what & write_on)) {
            send_activation(w->write);
            ++handled;
            w = current();
        }
        if (w && w->exception && (what & EPOLLPRI)) {
            send_activation(w->exception);
            ++handled;
        }
    }
    return handled;
}

void Epoll_dispatcher::registerTimer(int timer_id, int interval, Qt::TimerType timer_type,
                                     QObject* object) {
    if (timer_id <= 0 || interval < 0 || !object)
        return;
    // Made during a round of activation, it waits for the next round even at interval 0.
    timers.push_back(Timer{timer_id, interval, timer_type, object,
                           now_ns() + int64_t(interval) * 1000000, timer_round, false});
}

Epoll_dispatcher::Timer* Epoll_dispatcher::find_timer(int timer_id) {
    for (Timer& t : timers)
        if (t.id == timer_id)
            return &t;
    return nullptr;
}

bool Epoll_dispatcher::unregisterTimer(int timer_id) {
    for (auto it = timers.begin(); it != timers.end(); ++it)
        if (it->id == timer_id) {
            timers.erase(it);
            return true;
        }
    return false;
}

bool Epoll_dispatcher::unregisterTimers(QObject* object) {
    const size_t before = timers.size();
    size_t kept = 0;
    for (size_t i = 0; i < timers.size(); ++i)
        if (timers[i].object != object)
            timers[kept++] = timers[i];
    timers.resize(kept);
    return kept != before;
}

QList<QAbstractEventDispatcher::TimerInfo>
Epoll_dispatcher::registeredTimers(QObject* object) const {
    QList<TimerInfo> list;
    for (const Timer& t : timers)
        if (t.object == object)
            list.append(TimerInfo(t.id, t.interval, t.type));
    return list;
}

int Epoll_dispatcher::remainingTime(int timer_id) {
    const Timer* t = find_timer(timer_id);
    if (!t)
        return -1;
    const int64_t left = t->deadline_ns - now_ns();
    return left <= 0 ? 0 : int((left + 999999) / 1000000);
}

int Epoll_dispatcher::wait_timeout_ms() const {
    int64_t first = INT64_MAX;
    for (const Timer& t : timers)
        if (!t.active && t.deadline_ns < first)
            first = t.deadline_ns;
    if (first == INT64_MAX)
        return -1;
    const int64_t left = first - now_ns();
    if (left <= 0)
        return 0;
    const int64_t ms = (left + 999999) / 1000000; // never wake before the deadline
    return ms > INT32_MAX ? INT32_MAX : int(ms);
}

int Epoll_dispatcher::fire_timers() {
    if (timers.empty())
        return 0;
    const uint64_t round = ++timer_round;
    const int64_t now = now_ns();
    int fired = 0;
    for (;;) {
        // Earliest due first; a handler may add or remove timers, so search again each time.
        Timer* next = nullptr;
        for (Timer& t : timers)
            if (t.round != round && !t.active && t.deadline_ns <= now &&
                (!next || t.deadline_ns < next->deadline_ns))
                next = &t;
        if (!next)
            return fired;
        next->round = round;
        const int64_t interval_ns = int64_t(next->interval) * 1000000;
        next->deadline_ns += interval_ns;
        if (next->deadline_ns <= now) // fell behind: skip the missed shots
            next->deadline_ns = now + interval_ns;
        next->active = true;
        const int id = next->id;
        QObject* object = next->object;
        struct Release {
            Epoll_dispatcher* self;
            int id;
            ~Release() {
                if (Timer* t = self->find_timer(id))
                    t->active = false;
            }
        } release{this, id};
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
        ++fired;
    }
}

void Epoll_dispatcher::drain_wakeups() {
    uint64_t value;
    while (read(wake_fd, &value, sizeof value) > 0) {
    }
    // Cleared only after the read, so a wake-up posted in between still finds the flag set
    // and its event is taken by the sendPostedEvents() every turn starts with.
    wakeups.store(0, std::memory_order_release);
}

bool Epoll_dispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    interrupted.store(false, std::memory_order_relaxed);
    emit awake();
    // Acquire what the posting threads released with their wake-ups (Qt's own queue lock
    // already orders it; this makes the order visible to TSan as well).
    wakeups.load(std::memory_order_acquire);
    QCoreApplication::sendPostedEvents();

    const bool with_timers = !(flags & QEventLoop::X11ExcludeTimers);
    int timeout = 0;
    if ((flags & QEventLoop::WaitForMoreEvents) && !interrupted.load(std::memory_order_relaxed)) {
        timeout = with_timers ? wait_timeout_ms() : -1;
        if (timeout != 0)
            emit aboutToBlock();
    }

    int handled = 0;
    if (flags & QEventLoop::ExcludeSocketNotifiers) {
        // Ready sockets would end every wait at once, so only the wake-up fd is watched.
        pollfd p{wake_fd, POLLIN, 0};
        if (poll(&p, 1, timeout) > 0) {
            drain_wakeups();
            ++handled;
        }
    } else {
        epoll_event events[max_events];
        int n = epoll_wait(epoll_fd, events, max_events, timeout);
        if (n < 0)
            n = 0; // EINTR
        if (interrupted.load(std::memory_order_relaxed))
            return handled > 0; // level-triggered: what was ready is reported again
        handled += dispatch_sockets(events, n);
    }
    if (interrupted.load(std::memory_order_relaxed))
        return handled > 0;
    if (with_timers)
        handled += fire_timers();
    return handled > 0;
}

bool Epoll_dispatcher::hasPendingEvents() {
    return wakeups.load(std::memory_order_acquire) != 0;
}

void Epoll_dispatcher::wakeUp() {
    // One write until the loop has read it: posts from the worker thread itself cost nothing.
    // Nothing of this object is touched after the write, which may let the thread finish.
    if (wakeups.exchange(1, std::memory_order_acq_rel) == 0) {
        const uint64_t one = 1;
        while (write(wake_fd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void Epoll_dispatcher::interrupt() {
    interrupted.store(true, std::memory_order_relaxed);
    wakeUp();
}

void Epoll_dispatcher::flush() {}
