#pragma once
// The time-outs of all protocol clients of one thread, kept in one heap of deadlines and driven
// by one Qt timer. Each client still has exactly one timer with an id of its own; an expiry is
// delivered to it as a QTimerEvent with that id and repeats every interval until stopped, as
// a QObject timer would.
//
// Why not a QObject timer per client: Qt keeps a thread's timers in one list that it searches
// linearly when a timer is stopped, and a client restarts its timer for every frame. With tens
// of thousands of clients in one worker thread, that search costs hundreds of microseconds per
// frame. Here a restart to a later deadline costs a store, and the heap is reordered only when
// an entry comes up.

#include <QObject>
#include <cstdint>
#include <vector>

class Zelmo_client;

class Client_timers : public QObject {
    Q_OBJECT

public:
    // The calling thread's instance, created for its first client; the last detach deletes it.
    static Client_timers* attach();
    void detach();

    // Starts (or restarts) the client's timer; returns its new id, never 0.
    int start(Zelmo_client* c, int ms);
    void stop(Zelmo_client* c);
    // Drops the client's entry at once; for a client that goes away.
    void forget(Zelmo_client* c);

    static constexpr int64_t stopped = INT64_MAX;

    size_t pending() const { return heap.size(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Entry {
        int64_t deadline; // milliseconds of the steady clock
        Zelmo_client* client;
    };

    Client_timers() = default;
    void push(Zelmo_client* c, int64_t deadline);
    void remove_at(size_t i);
    void sift_up(size_t i);
    void sift_down(size_t i);
    void place(size_t i, const Entry& e);
    void arm(int64_t now);

    std::vector<Entry> heap;
    int users = 0;
    int next_id = 0;
    int qt_timer = 0;
    int64_t armed_for = INT64_MAX; // deadline the Qt timer is set to fire at
};

int64_t steady_ms();
