#pragma once
// Drives one Actor without a network: what it writes is collected, the "socket" accepts as
// many bytes per write as the test allows, and received bytes are fed straight into the
// actor's receive path. The global configuration must hold the servers and devices; the
// harness prepares them like a run does. Qt Core only, so the fuzz target compiles it in too.

#include "engine/actor.h"
#include "engine/engine.h"

#include <QByteArray>

class Action;

class Harness_actor : public Actor {
public:
    QByteArray written;       // everything accepted so far
    qint64 accept_limit = -1; // bytes accepted by one write; -1: all

    // What a socket would report.
    void report_written(qint64 n) { on_bytes_written(n); }
    void report_disconnected() { on_disconnected(); }
    void report_error(int code) { on_error(code); }

protected:
    qint64 socket_write(const unsigned char* data, qint64 count) override;
};

class Engine_harness {
public:
    explicit Engine_harness(const Action& action);
    ~Engine_harness();
    Engine_harness(const Engine_harness&) = delete;
    Engine_harness& operator=(const Engine_harness&) = delete;

    // Takes the next server as the engine would and behaves as if its connection had just
    // been established. False if no server has work.
    bool connect();
    // An actor waiting to reconnect connects at once. False if it is not waiting.
    bool resume_delay();
    // Hands bytes to the actor as one read (at most the free space of its buffer at a time).
    void feed(const QByteArray& bytes);
    // The socket reports n bytes written: resumes a write that was accepted only in part.
    void drain(qint64 n);
    // Lets the socket take everything still waiting to be written.
    void drain_all();
    // The socket reports the disconnection that an orderly shutdown waits for.
    void disconnected();
    // Ends the run as the engine does: stops the actor, destroys it (with the cancel flag as
    // given) and gives every device left its text.
    void finish(bool cancelled);

    Engine engine;
    Harness_actor* actor;

private:
    void establish();
};
