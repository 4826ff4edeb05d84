#pragma once
// Drives one Actor without a network, through a scripted link: what it writes is collected,
// the link takes as many bytes per write as the test allows, and received bytes are delivered
// as one read report. The global configuration must hold the servers and devices; the harness
// prepares them like a run does. Qt Core only, so that the fuzz targets link it too.

#include "engine/actor.h"
#include "engine/engine.h"
#include "scripted_link.h"

class Action;

class Engine_harness {
public:
    explicit Engine_harness(const Action& action);
    ~Engine_harness();
    Engine_harness(const Engine_harness&) = delete;
    Engine_harness& operator=(const Engine_harness&) = delete;

    // Takes the next server as the engine would and connects to it. False if no server has
    // work.
    bool connect();
    // An actor waiting to reconnect connects at once. False if it is not waiting.
    bool resume_delay();
    // The bytes arrive as one read report.
    void feed(const QByteArray& bytes);
    // Lets the link take everything still waiting to be written.
    void drain_all();
    // The server closes its end, as an orderly shutdown waits for.
    void disconnected();
    // Ends the run as the engine does: stops the actor, destroys it (with the cancel flag as
    // given) and gives every device left its text.
    void finish(bool cancelled);

    Scripted_link link; // outlives the actor
    Engine engine;
    Actor* actor;
};
