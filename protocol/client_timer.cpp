#include "protocol/client_timer.h"

#include "protocol/zelmo_client.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimerEvent>
#include <algorithm>
#include <chrono>

static thread_local Client_timers* thread_timers = nullptr;

int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Client_timers* Client_timers::attach() {
    if (!thread_timers)
        thread_timers = new Client_timers;
    ++thread_timers->users;
    // The heap never grows while a client starts its timer: one slot per client is reserved.
    std::vector<Entry>& h = thread_timers->heap;
    if (h.capacity() < size_t(thread_timers->users))
        h.reserve(std::max(size_t(thread_timers->users), 2 * h.capacity()));
    return thread_timers;
}

void Client_timers::detach() {
    if (--users == 0) {
        if (thread_timers == this)
            thread_timers = nullptr;
        delete this;
    }
}

void Client_timers::place(size_t i, const Entry& e) {
    heap[i] = e;
    e.client->timer_slot = i;
}

void Client_timers::sift_up(size_t i) {
    const Entry e = heap[i];
    while (i > 0) {
        const size_t parent = (i - 1) / 2;
        if (heap[parent].deadline <= e.deadline)
            break;
        place(i, heap[parent]);
        i = parent;
    }
    place(i, e);
}

void Client_timers::sift_down(size_t i) {
    const Entry e = heap[i];
    const size_t n = heap.size();
    for (;;) {
        size_t child = 2 * i + 1;
        if (child >= n)
            break;
        if (child + 1 < n && heap[child + 1].deadline < heap[child].deadline)
            ++child;
        if (e.deadline <= heap[child].deadline)
            break;
        place(i, heap[child]);
        i = child;
    }
    place(i, e);
}

void Client_timers::push(Zelmo_client* c, int64_t deadline) {
    heap.push_back(Entry{deadline, c});
    sift_up(heap.size() - 1);
}

void Client_timers::remove_at(size_t i) {
    heap[i].client->timer_slot = Zelmo_client::no_timer_slot;
    const Entry last = heap.back();
    heap.pop_back();
    if (i == heap.size())
        return;
    place(i, last);
    if (i > 0 && heap[(i - 1) / 2].deadline > last.deadline)
        sift_up(i);
    else
        sift_down(i);
}

// A restart to a later deadline, the usual case, only records it in the client: the heap entry
// keeps its earlier key and is moved down when it comes up. Only an earlier deadline moves it.
int Client_timers::start(Zelmo_client* c, int ms) {
    if (ms < 0)
        ms = 0;
    const int64_t now = steady_ms();
    const int64_t deadline = now + ms;
    c->timer_deadline = deadline;
    c->timer_interval = ms;
    if (c->timer_slot == Zelmo_client::no_timer_slot) {
        push(c, deadline);
    } else if (deadline < heap[c->timer_slot].deadline) {
        heap[c->timer_slot].deadline = deadline;
        sift_up(c->timer_slot);
    }
    if (++next_id <= 0)
        next_id = 1;
    arm(now);
    return next_id;
}

// The entry goes when it comes up; the Qt timer firing early only re-arms it.
void Client_timers::stop(Zelmo_client* c) {
    c->timer_deadline = stopped;
}

void Client_timers::forget(Zelmo_client* c) {
    if (c->timer_slot != Zelmo_client::no_timer_slot)
        remove_at(c->timer_slot);
    c->timer_deadline = stopped;
}

// Sets the Qt timer for the earliest deadline, unless it already fires no later than that.
void Client_timers::arm(int64_t now) {
    if (heap.empty() || heap.front().deadline >= armed_for)
        return;
    if (qt_timer)
        killTimer(qt_timer);
    const int64_t wait = heap.front().deadline - now;
    qt_timer = startTimer(wait > 0 ? int(wait) : 0, Qt::PreciseTimer);
    armed_for = qt_timer ? heap.front().deadline : INT64_MAX;
}

void Client_timers::timerEvent(QTimerEvent* event) {
    if (event->timerId() != qt_timer) {
        killTimer(event->timerId());
        return;
    }
    killTimer(qt_timer);
    qt_timer = 0;
    armed_for = INT64_MAX;
    const int64_t now = steady_ms();
    // Each due client gets its event; what it does meanwhile (restart, stop, start another
    // client's timer, even destroy itself) is seen by the next look at the heap. A repeated
    // timer lands after `now`, so the loop ends.
    while (!heap.empty() && heap.front().deadline <= now) {
        Zelmo_client* first = heap.front().client;
        if (first->timer_deadline == stopped) {
            remove_at(0);
            continue;
        }
        if (first->timer_deadline > heap.front().deadline) {
            heap.front().deadline = first->timer_deadline; // restarted since: not due yet
            sift_down(0);
            continue;
        }
        QPointer<Zelmo_client> c = first;
        const int id = c->timer;
        const int interval = c->timer_interval;
        remove_at(0);
        c->timer_deadline = stopped;
        QTimerEvent e(id);
        QCoreApplication::sendEvent(c, &e);
        // Unless it was stopped or restarted, the timer repeats.
        if (c && c->timer == id && c->timer_slot == Zelmo_client::no_timer_slot) {
            c->timer_deadline = now + (interval > 0 ? interval : 1);
            push(c, c->timer_deadline);
        }
    }
    arm(steady_ms());
}
