#include "engine_harness.h"

#include "config/config.h"

#include <QCoreApplication>
#include <QTimerEvent>

Engine_harness::Engine_harness(const Action& action) : engine(action), actor(new Actor) {
    engine.prepare_servers();
    engine.server_cursor = configuration.servers.count ? configuration.servers.count - 1 : 0;
    engine.working = 1;
    actor->use_link(link);
    actor->engine = &engine;
    actor->number = 1;
    actor->on_duty = true;
}

Engine_harness::~Engine_harness() {
    if (actor)
        finish(true);
}

bool Engine_harness::connect() {
    Server* s = engine.get_next_server();
    if (!s)
        return false;
    actor->server = s;
    ++s->active_actors;
    Actor::connect_now(actor);
    link.report_connected();
    return true;
}

bool Engine_harness::resume_delay() {
    if (!(actor->state & Zelmo_client::st_delaying))
        return false;
    QTimerEvent expiry(actor->timer);
    QCoreApplication::sendEvent(actor, &expiry);
    link.report_connected();
    return true;
}

void Engine_harness::feed(const QByteArray& bytes) {
    link.deliver(bytes);
}

void Engine_harness::drain_all() {
    link.accept_limit = -1;
    while (actor && link.release()) {
    }
}

void Engine_harness::disconnected() {
    link.report_peer_close();
}

void Engine_harness::finish(bool cancelled) {
    if (cancelled)
        engine.cancel.store(1);
    actor->stop();
    delete actor;
    actor = nullptr;
    engine.finish_devices();
}
