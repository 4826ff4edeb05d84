#include "engine/actor.h"

#include "config/config.h"
#include "engine/actions.h"
#include "engine/engine.h"
#include "protocol/frame.h"

#include <cstring>

namespace {

// Debug codes of this file: 0x0B00 + place. The fixed ones keep their numbers; codes of our
// own follow the last fixed one.
enum : unsigned short {
    dbg_connected_with_device = 0x0B01,
    dbg_crash_without_device_or_server = 0x0B02,
    dbg_unlink_unknown_sent = 0x0B03,
    dbg_unlink_idle_unknown_answer = 0x0B04,
    dbg_unlink_idle_unawaited = 0x0B05,
    dbg_destroyed_with_device = 0x0B06,
    dbg_destroyed_with_server = 0x0B07,
    dbg_rupture_off_duty,
    dbg_crash_off_duty,
};

} // namespace

static Tr errtext_link_failed("proto", "На «запрос подключения к устройству» сервер ответил "
                                       "«соединение не произошло».");
static Tr errtext_no_device_link("proto", "Нет связи между устройством и сервером.");
static Tr errtext_device_busy("proto", "Устройство занято соединением с другим клиентом.");
static Tr errfmt_link_unknown("proto", "На «запрос подключения к устройству» сервер ответил "
                                       "ответил неизвестным кодом ошибки 0x%1.");
static Tr errfmt_server_wrong_length(
    "proto", "Нарушение протокола сервером: в пришедшем от сервера сообщении «%1» поле "
             "«полезная нагрузка сообщения» имеет неправильную длину: %2 байтов (а должно "
             "быть %3).");
static Tr errtext_pin_rejected("proto", "Устройство отвергло указанный PIN-код.");
static Tr name_auth_status("proto", "статус авторизации");
static Tr errtext_unlink_auth("proto",
                              "На этапе авторизации утеряна связь между устройством и сервером.");
static Tr
    errtext_unlink_upfile("proto",
                          "На этапе закачки файла утеряна связь между устройством и сервером.");
static Tr errtext_unlink_getparam(
    "proto", "На этапе запроса параметра утеряна связь между устройством и сервером.");
static Tr
    errtext_unlink_cmd("proto",
                       "На этапе передачи команды утеряна связь между устройством и сервером.");
static Tr errfmt_unlink_at_start(
    "proto", "Нарушение протокола сервером: сообщение «%1» пришло в самом начале сеанса TCP "
             "(до того, как мы успели серверу что-либо послать).");
static Tr errfmt_unlink_twice(
    "proto", "Нарушение протокола сервером: пока мы передавали сообщение «%1», от сервера два "
             "или более раз пришло сообщение «%2». Нарушение игнорируется.");
static Tr errfmt_unlink_twice_file(
    "proto", "Нарушение протокола сервером: пока мы передавали содержимое файла, от сервера "
             "два или более раз пришло сообщение «%1». Нарушение игнорируется.");
static Tr errtext_interrupted("proto", "Работа с устройством прервана пользователем.");
static Tr errtext_cancelled("proto", "Работа с устройством отменена пользователем.");
static Tr errfmt_device_wrong_length(
    "proto", "Нарушение протокола устройством: в ответ на наше сообщение «%1» устройство "
             "вернуло сообщение «%2» с неправильной длиной поля «полезная нагрузка сообщения» "
             "(%3 байтов вместо %4).");
static Tr errfmt_device_too_short(
    "proto", "Нарушение протокола устройством: в ответ на наше сообщение «%1» устройство "
             "вернуло сообщение «%2» с слишком маленькой длиной поля «полезная нагрузка "
             "сообщения» (%3 байтов, а должно быть не менее %4).");
static Tr errfmt_device_unknown_field(
    "proto", "Нарушение протокола устройством: в ответ на наше сообщение «%1» устройство "
             "вернуло сообщение «%2» с незнакомым значением поля «%3»: %4.");
static Tr errfmt_device_not_same(
    "proto", "Нарушение протокола устройством: в ответе на наше сообщение «%1» поле «%2» "
             "содержит значение %3, что не совпадает с тем, что было указано в нашем "
             "сообщении (%4).");
static Tr errfmt_device_mismatch(
    "proto", "Нарушение протокола устройством: в пришедшем от устройства сообщении «%1» поле "
             "«%2» содержит значение %3, что не стыкуется с тем, что поле «%4» содержит "
             "значение %5 (следовательно, поле «%2» должно содержать значение %6).");
static Tr errfmt_device_result_too_short(
    "proto", "Нарушение протокола устройством: в ответ на наше сообщение «%1» с «кодом "
             "команды» %2 устройство вернуло сообщение «%3» с «результатом выполнения» %4 и "
             "слишком маленькой длиной поля «полезная нагрузка сообщения» (%5 байтов, а должно "
             "быть не менее %6).");

QString text_unlink_auth() {
    return errtext_unlink_auth.tr();
}
QString text_unlink_upfile() {
    return errtext_unlink_upfile.tr();
}
QString text_unlink_getparam() {
    return errtext_unlink_getparam.tr();
}
QString text_unlink_cmd() {
    return errtext_unlink_cmd.tr();
}
QString text_device_interrupted() {
    return errtext_interrupted.tr();
}
QString text_device_cancelled() {
    return errtext_cancelled.tr();
}

QString text_device_wrong_length(const QString& request, const QString& answer, uint64_t length,
                                 uint64_t required) {
    return errfmt_device_wrong_length.tr().arg(request, answer).arg(length).arg(required);
}

QString text_device_too_short(const QString& request, const QString& answer, uint64_t length,
                              uint64_t required) {
    return errfmt_device_too_short.tr().arg(request, answer).arg(length).arg(required);
}

QString text_device_unknown_field(const QString& request, const QString& answer,
                                  const QString& field, uint64_t value) {
    return errfmt_device_unknown_field.tr().arg(request, answer, field).arg(value);
}

QString text_device_not_same(const QString& request, const QString& field, int64_t value,
                             int64_t sent) {
    return errfmt_device_not_same.tr().arg(request, field).arg(value).arg(sent);
}

QString text_device_mismatch(const QString& frame, const QString& field, int64_t value,
                             const QString& other_field, int64_t other_value, int64_t expected) {
    // %2 occurs twice; fill in one pass so that a value cannot be mistaken for a marker.
    return errfmt_device_mismatch.tr().arg(frame, field, QString::number(value), other_field,
                                           QString::number(other_value), QString::number(expected));
}

QString text_device_result_too_short(unsigned code, unsigned result, uint64_t length,
                                     uint64_t required) {
    return errfmt_device_result_too_short.tr().arg(
        name_CMD.tr(), QString::number(code), name_CMD_ANSWER.tr(), QString::number(result),
        QString::number(length), QString::number(required));
}

Actor::Actor() {
    init(receive_buffer, max_answer_payload);
}

Actor::~Actor() {
    const bool cancelled = engine && engine->cancel.load(std::memory_order_acquire) != 0;
    if (device) {
        Device* d = device;
        device = nullptr;
        if (cancelled) {
            d->error_text = engine->cancelled_text(true);
        } else {
            log_debug(dbg_destroyed_with_device);
            d->error_text = text_device_not_served();
        }
        engine->failure.fetch_add(1, std::memory_order_relaxed);
        engine->device_ended(*d, cancelled ? fail_cancelled : fail_internal);
    }
    if (server) {
        if (cancelled) {
            while (Device* d = server->pending_devices.pop()) {
                --server->pending_count;
                d->error_text = engine->cancelled_text(false);
                engine->failure.fetch_add(1, std::memory_order_relaxed);
                engine->device_ended(*d, fail_cancelled);
            }
        } else {
            // The devices left on the server get their text from the engine.
            log_debug(dbg_destroyed_with_server);
        }
        server = nullptr;
    }
}

void Actor::start(Engine& e, unsigned long n) {
    engine = &e;
    number = n;
    on_duty = true;
    dispatch();
}

void Actor::uncount() {
    if (counted == counted_connecting)
        engine->connecting.fetch_sub(1, std::memory_order_relaxed);
    else if (counted == counted_connected)
        engine->connected.fetch_sub(1, std::memory_order_relaxed);
    if (counted != counted_none && counted_server)
        counted_server->open_connections.fetch_sub(1, std::memory_order_relaxed);
    counted_server = nullptr;
    counted = counted_none;
}

void Actor::stop() {
    // The run is over: connections that are cut here leave the counters as well.
    if (engine)
        uncount();
    close_connection();
}

void Actor::signal_progress() {
    engine->signal_progress();
}

void Actor::dispatch() {
    Server* s = engine->get_next_server();
    server = s;
    if (!s) {
        engine->to_depot(*this);
        return;
    }
    ++s->active_actors;
    if (s->state_bits & Server::last_connect_failed) {
        s->state_bits |= Server::reconnect_pending;
        reconnecting = true;
        delay(reconnect_delay, connect_now);
    } else {
        connect_now(this);
    }
}

void Actor::connect_now(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    a->engine->connecting.fetch_add(1, std::memory_order_relaxed);
    a->counted = counted_connecting;
    a->counted_server = a->server;
    if (a->server)
        a->server->open_connections.fetch_add(1, std::memory_order_relaxed);
    a->signal_progress();
    a->connect(connect_ok, unsolicited_frame);
}

void Actor::connect_ok(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    if (a->device) {
        a->total_crash(debug_errtext(dbg_connected_with_device));
        return;
    }
    Engine& e = *a->engine;
    a->uncount();
    e.connected.fetch_add(1, std::memory_order_relaxed);
    a->counted = counted_connected;
    a->counted_server = a->server;
    if (a->server)
        a->server->open_connections.fetch_add(1, std::memory_order_relaxed);
    a->signal_progress();
    a->reconnecting = false;
    Server* s = a->server;
    Device* d = e.stopping() ? nullptr : s->pending_devices.pop();
    if (!d) {
        // Other actors took the server's devices meanwhile.
        --s->active_actors;
        a->server = nullptr;
        a->shutdown(shutdown_ok);
        return;
    }
    a->device = d;
    Engine::device_started(*d);
    --s->pending_count;
    s->consecutive_failures = 0;
    const bool was_pending = (s->state_bits & Server::reconnect_pending) != 0;
    s->state_bits &=
        static_cast<unsigned char>(~(Server::last_connect_failed | Server::reconnect_pending));
    if (was_pending)
        e.from_depot();
    a->take_posted_step()(c);
    if (a->is_connected())
        a->post(send_link);
}

void Actor::send_link(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    unsigned char* p = a->payload();
    uint64_t imei = a->device->imei;
    for (int i = 14; i >= 0; --i) {
        p[i] = static_cast<unsigned char>('0' + imei % 10);
        imei /= 10;
    }
    std::memset(p + 15, 0, 42);
    a->send(LINK, 57, link_sent, link_timeout);
}

void Actor::link_sent(Zelmo_client* c) {
    c->expected_answer = link_answer;
    c->take_posted_step()(c);
}

void Actor::link_answer(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    const unsigned char type = frame_type(c->buffer_start);
    const unsigned length = frame_length(c->buffer_start);
    if (type == UNLINK)
        return; // may still concern the previous device; the link answer is yet to come
    if (type != LINK_ANSWER) {
        a->tcp_crash(text_wrong_answer(name_LINK.tr(), type, length));
        return;
    }
    if (length != 1) {
        a->tcp_crash(errfmt_server_wrong_length.tr().arg(name_LINK_ANSWER.tr()).arg(length).arg(1));
        return;
    }
    const unsigned char result = frame_payload(c->buffer_start)[0];
    switch (result) {
    case 0:
        a->expected_answer = unsolicited_frame;
        a->engine->linked.fetch_add(1, std::memory_order_relaxed);
        a->signal_progress();
        a->post(send_auth);
        return;
    case 1:
        a->device_reject(errtext_link_failed.tr(), fail_not_linked);
        return;
    case 2:
        a->device_reject(errtext_no_device_link.tr(), fail_not_linked);
        return;
    case 3:
        a->device_reject(errtext_device_busy.tr(), fail_not_linked);
        return;
    default:
        a->device_reject(errfmt_link_unknown.tr().arg(unsigned(result), 2, 16, QLatin1Char('0')),
                         fail_not_linked);
        return;
    }
}

void Actor::send_auth(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    unsigned char* p = a->payload();
    const char* pin = a->device->pin;
    const size_t n = strnlen(pin, pin_size);
    if (n > 4) {
        std::memcpy(p, pin, pin_size);
        p[pin_size] = 0;
        a->send(AUTH, pin_size + 1, auth_sent, auth_timeout);
    } else {
        std::memcpy(p, pin, 4);
        p[4] = 0;
        a->send(AUTH, 5, auth_sent, auth_timeout);
    }
}

void Actor::auth_sent(Zelmo_client* c) {
    c->expected_answer = auth_answer;
    c->take_posted_step()(c);
}

void Actor::unlink_after_write(const QString& text) {
    take_posted_step()(this);
    if (is_connected())
        device_reject(text, fail_not_linked);
}

void Actor::auth_sent_unlink(Zelmo_client* c) {
    static_cast<Actor*>(c)->unlink_after_write(errtext_unlink_auth.tr());
}

void Actor::auth_answer(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    const unsigned char type = frame_type(c->buffer_start);
    const unsigned length = frame_length(c->buffer_start);
    if (type == UNLINK) {
        a->device_reject(errtext_unlink_auth.tr(), fail_not_linked);
        return;
    }
    if (type != AUTH_ANSWER) {
        a->tcp_crash(text_wrong_answer(name_AUTH.tr(), type, length));
        return;
    }
    if (length != 1) {
        a->device_reject(
            text_device_wrong_length(name_AUTH.tr(), name_AUTH_ANSWER.tr(), length, 1));
        return;
    }
    const unsigned char status = frame_payload(c->buffer_start)[0];
    if (status == 1) {
        a->expected_answer = unsolicited_frame;
        a->engine->authorized.fetch_add(1, std::memory_order_relaxed);
        a->signal_progress();
        a->post(a->engine->action->start(*a));
    } else if (status == 0) {
        a->device_reject(errtext_pin_rejected.tr(), fail_auth);
    } else {
        a->device_reject(text_device_unknown_field(name_AUTH.tr(), name_AUTH_ANSWER.tr(),
                                                   name_auth_status.tr(), status));
    }
}

void Actor::unsolicited_frame(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    const unsigned char type = frame_type(c->buffer_start);
    if (type != UNLINK) {
        a->tcp_crash(text_unexpected_frame(type, frame_length(c->buffer_start)));
        return;
    }
    const Step sent = a->sent_step;
    if (sent == unexpected_sent || sent == ping_answer_sent) {
        const Step awaited = a->expected_answer;
        if (awaited == link_answer)
            return;
        if (awaited == auth_answer)
            a->device_reject(errtext_unlink_auth.tr(), fail_not_linked);
        else if (awaited == upfile_answer)
            a->device_reject(errtext_unlink_upfile.tr(), fail_not_linked);
        else if (awaited == getparam_answer)
            a->device_reject(errtext_unlink_getparam.tr(), fail_not_linked);
        else if (awaited == cmd_answer)
            a->device_reject(errtext_unlink_cmd.tr(), fail_not_linked);
        else if (awaited == unsolicited_frame)
            a->tcp_crash(debug_errtext(dbg_unlink_idle_unawaited));
        else
            a->tcp_crash(debug_errtext(dbg_unlink_idle_unknown_answer));
        return;
    }
    // A frame of ours is being written: the device fails once it has been handed over.
    if (sent == connect_ok)
        log(errfmt_unlink_at_start.tr().arg(name_UNLINK.tr()));
    else if (sent == link_sent || sent == shutdown_ok)
        return;
    else if (sent == auth_sent)
        a->sent_step = auth_sent_unlink;
    else if (sent == upfile_head_sent)
        a->sent_step = upfile_head_sent_unlink;
    else if (sent == upfile_tail_sent)
        a->sent_step = upfile_tail_sent_unlink;
    else if (sent == getparam_sent)
        a->sent_step = getparam_sent_unlink;
    else if (sent == cmd_sent)
        a->sent_step = cmd_sent_unlink;
    else if (sent == auth_sent_unlink)
        log(errfmt_unlink_twice.tr().arg(name_AUTH.tr(), name_UNLINK.tr()));
    else if (sent == upfile_head_sent_unlink)
        log(errfmt_unlink_twice.tr().arg(name_UPFILE.tr(), name_UNLINK.tr()));
    else if (sent == getparam_sent_unlink || sent == cmd_sent_unlink)
        log(errfmt_unlink_twice.tr().arg(name_CMD.tr(), name_UNLINK.tr()));
    else if (sent == upfile_tail_sent_unlink)
        log(errfmt_unlink_twice_file.tr().arg(name_UNLINK.tr()));
    else
        a->tcp_crash(debug_errtext(dbg_unlink_unknown_sent));
}

void Actor::device_reject(const QString& text, Fail_class fail_class) {
    device->error_text = text;
    log(QStringLiteral("device_end(\"%1\":%2, device=%3): %4")
            .arg(server->address)
            .arg(server->port)
            .arg(imei_to_str(device->imei), text));
    expected_answer = unsolicited_frame;
    engine->failure.fetch_add(1, std::memory_order_relaxed);
    engine->device_ended(*device, fail_class);
    signal_progress();
    switch_to_next_device();
}

void Actor::switch_to_next_device() {
    Server* s = server;
    if (Device* d = engine->stopping() ? nullptr : s->pending_devices.pop()) {
        device = d;
        Engine::device_started(*d);
        --s->pending_count;
        post(send_link);
        return;
    }
    device = nullptr;
    --s->active_actors;
    server = nullptr;
    shutdown(shutdown_ok);
}

void Actor::shutdown_ok(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    a->uncount();
    a->signal_progress();
    a->dispatch();
}

// A device of a server that was given up: it never had a connection.
static void given_up(Device& d, void* engine) {
    static_cast<Engine*>(engine)->device_ended(d, fail_connect);
}

void Actor::crash(const QString& text, Fail_class fail_class_of_rupture) {
    Server* s = server;
    Engine& e = *engine;
    // However the connection ended, it leaves the count it was in; this also covers a break
    // of the orderly shutdown after a server's last device.
    uncount();
    if (s) {
        --s->active_actors;
        s->state_bits |= Server::last_connect_failed;
    }
    if (device) {
        Device* d = device;
        device = nullptr;
        d->error_text = text;
        e.failure.fetch_add(1, std::memory_order_relaxed);
        e.device_ended(*d, fail_class_of_rupture);
    } else if (!s) {
        log_debug(dbg_crash_without_device_or_server);
        signal_progress();
        return;
    } else if (s->active_actors == 0) {
        // A connection attempt failed and nobody else serves the server: it counts against
        // the server.
        const unsigned n = s->consecutive_failures;
        if (n + 1 < unsigned(connection_attempts)) {
            s->connection_errors[n] = text;
            s->consecutive_failures = static_cast<unsigned char>(n + 1);
            s->state_bits &= static_cast<unsigned char>(~Server::reconnect_pending);
        } else {
            s->connection_errors[connection_attempts - 1] = text;
            e.failure.fetch_add(s->stop_all_devices(given_up, &e), std::memory_order_relaxed);
        }
    } else if (reconnecting) {
        // Others still serve the server; let the next one that needs it try again.
        s->state_bits &= static_cast<unsigned char>(~Server::reconnect_pending);
    }
    reconnecting = false;
    signal_progress();
    server = nullptr;
}

void Actor::on_rupture(const QString& text) {
    if (!on_duty) {
        log_debug(dbg_rupture_off_duty);
        return;
    }
    Fail_class cls = fail_rupture;
    if (rupture_kind == rupture_timeout)
        cls = fail_timeout;
    else if (rupture_kind == rupture_connect)
        cls = fail_connect;
    else if (rupture_kind == rupture_internal)
        cls = fail_internal;
    crash(text, cls);
    dispatch();
}

void Actor::on_crash(const QString& text) {
    if (!on_duty) {
        log_debug(dbg_crash_off_duty);
        return;
    }
    crash(text, fail_internal);
    engine->to_trash(*this);
}

QString Actor::name_of_sending_frame(Step step, int& timeout) const {
    if (step == link_sent) {
        timeout = link_timeout;
        return name_LINK.tr();
    }
    if (step == auth_sent || step == auth_sent_unlink) {
        timeout = auth_timeout;
        return name_AUTH.tr();
    }
    if (step == upfile_head_sent || step == upfile_tail_sent || step == upfile_head_sent_unlink ||
        step == upfile_tail_sent_unlink) {
        timeout = upfile_timeout;
        return name_UPFILE.tr();
    }
    if (step == getparam_sent || step == getparam_sent_unlink) {
        timeout = getparam_timeout;
        return name_CMD.tr();
    }
    if (step == cmd_sent || step == cmd_sent_unlink) {
        timeout = cmd_timeout;
        return name_CMD.tr();
    }
    return Zelmo_client::name_of_sending_frame(step, timeout);
}

QString Actor::name_of_sent_command(Step step, int& timeout) const {
    if (step == link_answer) {
        timeout = link_timeout;
        return name_LINK.tr();
    }
    if (step == auth_answer) {
        timeout = auth_timeout;
        return name_AUTH.tr();
    }
    if (step == upfile_answer) {
        timeout = upfile_timeout;
        return name_UPFILE.tr();
    }
    if (step == getparam_answer) {
        timeout = getparam_timeout;
        return name_CMD.tr();
    }
    if (step == cmd_answer) {
        timeout = cmd_timeout;
        return name_CMD.tr();
    }
    return Zelmo_client::name_of_sent_command(step, timeout);
}

void actor_clear_translation() {
    Tr* texts[] = {&errtext_link_failed,
                   &errtext_no_device_link,
                   &errtext_device_busy,
                   &errfmt_link_unknown,
                   &errfmt_server_wrong_length,
                   &errtext_pin_rejected,
                   &name_auth_status,
                   &errtext_unlink_auth,
                   &errtext_unlink_upfile,
                   &errtext_unlink_getparam,
                   &errtext_unlink_cmd,
                   &errfmt_unlink_at_start,
                   &errfmt_unlink_twice,
                   &errfmt_unlink_twice_file,
                   &errtext_interrupted,
                   &errtext_cancelled,
                   &errfmt_device_wrong_length,
                   &errfmt_device_too_short,
                   &errfmt_device_unknown_field,
                   &errfmt_device_not_same,
                   &errfmt_device_mismatch,
                   &errfmt_device_result_too_short};
    for (Tr* t : texts)
        t->clear();
}
