#include "engine_harness.h"

#include "config/config.h"

#include <cstring>

qint64 Harness_actor::socket_write(const unsigned char* data, qint64 count) {
    const qint64 n = accept_limit >= 0 && accept_limit < count ? accept_limit : count;
    written.append(reinterpret_cast<const char*>(data), int(n));
    return n;
}

Engine_harness::Engine_harness(const Action& action) : engine(action), actor(new Harness_actor) {
    engine.prepare_servers();
    engine.server_cursor = configuration.servers.count ? configuration.servers.count - 1 : 0;
    engine.working = 1;
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
    establish();
    return true;
}

bool Engine_harness::resume_delay() {
    if (!(actor->state & Zelmo_client::st_delaying))
        return false;
    actor->state &= static_cast<unsigned char>(~Zelmo_client::st_delaying);
    establish();
    return true;
}

// What connect_now, connect() and the connected signal leave behind, without a socket.
void Engine_harness::establish() {
    engine.connecting.fetch_add(1);
    actor->counted = Actor::counted_connecting;
    actor->close_connection();
    actor->expected_answer = Actor::unsolicited_frame;
    actor->current_frame_handler = Actor::unsolicited_frame;
    actor->unsolicited_handler = Actor::unsolicited_frame;
    actor->fill_position = actor->buffer_start;
    actor->state |= Zelmo_client::st_connected | Zelmo_client::st_late_disconnect_ok |
                    Zelmo_client::st_late_error_ok;
    actor->sent_step = Zelmo_client::unexpected_sent;
    Actor::connect_ok(actor);
}

void Engine_harness::feed(const QByteArray& bytes) {
    int at = 0;
    while (at < bytes.size() && actor->has_connection()) {
        const qint64 room = actor->buffer_end - actor->fill_position;
        if (room < 1)
            return;
        const int n = int(qMin<qint64>(room, bytes.size() - at));
        std::memcpy(actor->fill_position, bytes.constData() + at, size_t(n));
        at += n;
        actor->receive(n, room);
    }
}

void Engine_harness::drain(qint64 n) {
    actor->report_written(n);
}

void Engine_harness::drain_all() {
    actor->accept_limit = -1;
    while (actor && actor->bytes_in_flight > 0 && actor->has_connection())
        drain(actor->bytes_in_flight);
}

void Engine_harness::disconnected() {
    actor->report_disconnected();
}

void Engine_harness::finish(bool cancelled) {
    if (cancelled)
        engine.cancel.store(1);
    actor->stop();
    delete actor;
    actor = nullptr;
    engine.finish_devices();
}
