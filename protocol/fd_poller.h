#pragma once
// Readiness of a descriptor reported straight by the thread's event loop, for loops that can
// (the engine's epoll one). A socket notifier costs two allocations, a signal connection and
// an event delivered through the application object for every report; a run of thousands of
// connections pays that for every frame. Threads whose loop cannot do this have no poller,
// and their links use socket notifiers.

#include <cstdint>

class Fd_handler {
public:
    static constexpr uint32_t readable = 0x1, writable = 0x2, error = 0x4, hang_up = 0x8;
    // What is ready, as the bits above; called from the event loop only.
    virtual void fd_ready(uint32_t what) = 0;

protected:
    ~Fd_handler() = default;
};

class Fd_poller {
public:
    // The calling thread's poller, or null when its event loop is not one.
    static Fd_poller* current();

    // Reports to `handler` what of `read` and `write` becomes ready (errors and hang-ups always)
    // until the descriptor is given up; a call with the same interest costs nothing.
    virtual void watch(int fd, bool read, bool write, Fd_handler* handler) = 0;
    // The descriptor is about to be closed (which takes it out of the kernel's set): nothing
    // more is reported for it, reports already gathered included.
    virtual void closing(int fd) = 0;

protected:
    ~Fd_poller() = default;
};
