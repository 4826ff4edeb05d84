#include "protocol/zelmo_client.h"

#include "config/config.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "protocol/client_timer.h"
#include "protocol/frame.h"

#include <QTimerEvent>
#include <algorithm>
#include <cstring>

static Tr errtext_cannot_connect("proto", "Не удалось установить соединение с сервером.");
static Tr errfmt_cannot_connect(
    "proto", "Не удалось установить TCP-соединение с сервером. Код ошибки = %1 («%2»).");
static Tr
    errfmt_connect_timeout("proto",
                           "Тайм-аут установления соединения с сервером (ждали %1 миллисекунд).");
static Tr errfmt_send_disconnect("proto", "Произошёл разрыв TCP-соединения с сервером во время "
                                          "передачи на сервер сообщения «%1».");
static Tr errfmt_send_rupture("proto",
                              "Произошёл разрыв TCP-соединения с сервером во время передачи на "
                              "сервер сообщения «%1». Код ошибки = %2 («%3»).");
static Tr errfmt_receive_disconnect(
    "proto", "Произошёл разрыв TCP-соединения с сервером во время приёма сообщения от сервера "
             "(ожидался ответ на посланное нами сообщение «%1»).");
static Tr errfmt_receive_rupture(
    "proto", "Произошёл разрыв TCP-соединения с сервером во время приёма сообщения от сервера "
             "(ожидался ответ на посланное нами сообщение «%1»). Код ошибки = %2 («%3»).");
static Tr errfmt_waiting_disconnect("proto", "Произошёл разрыв TCP-соединения с сервером во "
                                             "время ожидания ответа на посланное нами "
                                             "сообщение «%1».");
static Tr errfmt_waiting_rupture("proto", "Произошёл разрыв TCP-соединения с сервером во время "
                                          "ожидания ответа на посланное нами сообщение «%1». "
                                          "Код ошибки = %2 («%3»).");
static Tr errfmt_shutdown_rupture("proto", "Процедура корректного закрытия TCP-соединения "
                                           "завершилась ошибкой. Код ошибки = %1 («%2»).");
static Tr errfmt_send_timeout("proto",
                              "Тайм-аут передачи серверу сообщения «%1» (ждали %2 миллисекунд).");
static Tr errfmt_receive_timeout("proto", "Тайм-аут ожидания ответа на сообщение «%1» (с момента "
                                          "начала передачи сообщения прошло более %2 "
                                          "миллисекунд).");
static Tr errfmt_shutdown_timeout("proto", "Тайм-аут процедуры корректного завершения "
                                           "соединения с сервером (ждали %1 миллисекунд).");
static Tr errfmt_write_error("proto",
                             "Ошибка при записи в сокет сообщения «%1». Код ошибки = %2 («%3»).");
static Tr errtext_ping_on_ping("proto", "Нарушение протокола сервером: новый ping пришёл до "
                                        "того, как мы успели ответить на старый.");

namespace {

// Debug codes of this file: 0x1200 + place. The fixed ones keep their numbers; 0x1201 to
// 0x1205 stand for signal connections that this client does not make and stay unused, and so
// does 0x120D (a write that nothing resumes: every link reports room after a partial write).
// Codes of our own follow the last fixed one.
enum : unsigned short {
    dbg_connect_no_timer = 0x1206,
    dbg_connected_not_connecting = 0x1207,
    dbg_post_no_timer = 0x1208,
    dbg_post_while_sending = 0x1209,
    dbg_post_twice = 0x120A,
    dbg_send_no_timer = 0x120B,
    dbg_write_error_no_name = 0x120C,
    dbg_write_too_much = 0x120E,
    dbg_room_unawaited = 0x120F, // the link reports room while no write waits for it
    dbg_unexpected_sent = 0x1210,
    dbg_no_free_space = 0x1211,
    dbg_read_too_much = 0x1212,
    dbg_read_nothing = 0x1213,
    dbg_ping_while_posted = 0x1214,
    dbg_shutdown_no_timer = 0x1215,
    dbg_disconnect_send_no_name = 0x1216,
    dbg_disconnect_receive_no_name = 0x1217,
    dbg_disconnect_waiting_no_name = 0x1218,
    dbg_disconnect_idle = 0x1219,
    dbg_disconnect_no_state = 0x121A,
    dbg_error_send_no_name = 0x121B,
    dbg_error_receive_no_name = 0x121C,
    dbg_error_waiting_no_name = 0x121D,
    dbg_error_idle = 0x121E,
    dbg_error_no_state = 0x121F,
    dbg_delay_no_timer = 0x1220,
    dbg_stray_timer = 0x1221,
    dbg_timeout_send_no_name = 0x1222,
    dbg_timeout_receive_no_name = 0x1223,
    dbg_timeout_waiting_no_name = 0x1224,
    dbg_timeout_idle = 0x1225,
    dbg_timeout_no_state = 0x1226,
    dbg_send_too_long,
};

} // namespace

Zelmo_client::Zelmo_client()
    : posted_step(not_send), sent_step(unexpected_sent),
      expected_answer(connection_off_frame_received), tcp_link(*this, *this),
      receive_state(&Zelmo_client::first_byte_received),
      current_frame_handler(connection_off_frame_received),
      unsolicited_handler(connection_off_frame_received), timers(Client_timers::attach()) {
    std::memset(transmit_frame, 0, sizeof transmit_frame);
}

Zelmo_client::~Zelmo_client() {
    // Nothing of the link may reach a client whose subclass part is already gone.
    link->close();
    timers->forget(this);
    timers->detach();
}

void Zelmo_client::not_send(Zelmo_client*) {}

void Zelmo_client::unexpected_sent(Zelmo_client* c) {
    c->crash_debug(dbg_unexpected_sent);
}

void Zelmo_client::connection_off_frame_received(Zelmo_client*) {}

void Zelmo_client::send_ping_answer(Zelmo_client* c) {
    build_ping_answer(c->transmit_frame);
    c->sent_step = ping_answer_sent;
    c->write_position = c->transmit_frame;
    c->write_to_socket(qint64(ping_answer_frame_size));
}

void Zelmo_client::ping_answer_sent(Zelmo_client* c) {
    c->take_posted_step()(c);
}

QString Zelmo_client::name_of_sending_frame(Step step, int& timeout) const {
    if (step == ping_answer_sent) {
        timeout = ping_answer_timeout;
        return name_PING_ANSWER.tr();
    }
    return QString();
}

QString Zelmo_client::name_of_sent_command(Step, int&) const {
    return QString();
}

void Zelmo_client::init(unsigned char* buffer, uint64_t max) {
    buffer_start = buffer;
    max_payload = max;
    buffer_end = buffer + max + frame_overhead;
    fill_position = buffer_end;
    frame_end = buffer_start;
}

void Zelmo_client::use_link(Link& other) {
    link->close();
    link = &other;
    other.attach(*this);
}

// ---------------------------------------------------------------------------------------------
// Timer and log helpers.

bool Zelmo_client::restart_timer(int ms) {
    timer = timers->start(this, ms);
    return timer != 0;
}

void Zelmo_client::stop_timer() {
    if (timer) {
        timers->stop(this);
        timer = 0;
    }
}

void Zelmo_client::trace_line(const char* what) {
    if (tracing())
        log(QStringLiteral("#%1 %2").arg(QString::number(number), QLatin1String(what)));
}

void Zelmo_client::write_trace_data(const char* what, const void* data, qint64 size) {
    const QByteArray prefix = '#' + QByteArray::number(qulonglong(number)) + ' ' + what + ": ";
    log_data(prefix.constData(), data, size_t(size));
}

void Zelmo_client::rupture_debug(unsigned short code) {
    tcp_crash(debug_errtext(code), rupture_internal);
}

void Zelmo_client::crash_debug(unsigned short code) {
    total_crash(debug_errtext(code));
}

static QString server_address(const Server* s) {
    return s ? s->address : QString();
}
static unsigned server_port(const Server* s) {
    return s ? s->port : 0u;
}

// ---------------------------------------------------------------------------------------------
// Connecting.

void Zelmo_client::connect(Step connected, Step unsolicited) {
    if (!restart_timer(connect_timeout)) {
        crash_debug(dbg_connect_no_timer);
        return;
    }
    expected_answer = current_frame_handler = unsolicited_handler = unsolicited;
    fill_position = buffer_start;
    receive_state = &Zelmo_client::first_byte_received;
    if (tracing())
        log(QStringLiteral("#%1 connect(\"%2\":%3)")
                .arg(QString::number(number), server_address(server),
                     QString::number(server_port(server))));
    state |= st_connecting;
    sent_step = connected;
    link->open(server_address(server), quint16(server_port(server)));
}

void Zelmo_client::link_failed(int code) {
    on_error(code);
}

void Zelmo_client::link_connected() {
    update_random_number_generator(0x1201);
    if (!(state & st_connecting)) {
        crash_debug(dbg_connected_not_connecting);
        return;
    }
    state = (state & ~st_connecting) | st_connected;
    // A rupture's log line asks the open link for its port; asking every connection would
    // cost a system call each.
    local_port = 0;
    if (tracing()) {
        local_port = link->local_port();
        log(QStringLiteral("#%1 connected(local=%2)").arg(number).arg(local_port));
    }
    take_sent_step()(this);
}

void Zelmo_client::cannot_connect(const QString& text) {
    if (tracing())
        log(QStringLiteral("#%1 not_connected: %2").arg(QString::number(number), text));
    else
        log(QStringLiteral("not_connected(\"%1\":%2): %3")
                .arg(server_address(server), QString::number(server_port(server)), text));
    close_connection();
    rupture_kind = rupture_connect;
    on_rupture(text);
}

// ---------------------------------------------------------------------------------------------
// Sending.

void Zelmo_client::send(unsigned char type, uint64_t length, Step sent, int timeout) {
    if (length > max_sent_payload) {
        // Would overrun the transmit frame.
        crash_debug(dbg_send_too_long);
        return;
    }
    put_u16(transmit_frame, unsigned(length));
    transmit_frame[2] = type;
    sent_step = sent;
    if (!restart_timer(timeout)) {
        crash_debug(dbg_send_no_timer);
        return;
    }
    const size_t size = seal_frame(transmit_frame);
    write_position = transmit_frame;
    write_to_socket(qint64(size));
}

void Zelmo_client::write_to_socket(qint64 count) {
    const qint64 n = link->write(write_position, count);
    if (!(state & st_connected)) {
        trace_line("send: ?");
        return;
    }
    if (n == count) {
        trace_data("send", write_position, count);
        take_sent_step()(this);
        return;
    }
    if (n > count) {
        rupture_debug(dbg_write_too_much);
        return;
    }
    if (n < 0) {
        int t = 0;
        const QString name = name_of_sending_frame(sent_step, t);
        if (name.isEmpty())
            rupture_debug(dbg_write_error_no_name);
        else
            tcp_crash(errfmt_write_error.tr().arg(name, QString::number(link->error()),
                                                  link->error_text(link->error())));
        return;
    }
    // The rest goes at the link's room report.
    trace_data("send", write_position, n);
    bytes_left = count - n;
    write_position += n;
}

void Zelmo_client::link_room() {
    if (bytes_left <= 0) {
        crash_debug(dbg_room_unawaited);
        return;
    }
    if (is_connected()) {
        const qint64 rest = bytes_left;
        bytes_left = 0;
        write_to_socket(rest);
    }
}

void Zelmo_client::post(Step step) {
    if (sent_step == unexpected_sent) {
        step(this);
    } else if (posted_step != not_send) {
        rupture_debug(dbg_post_twice);
    } else if (sent_step == ping_answer_sent) {
        posted_step = step;
        if (!restart_timer(ping_answer_timeout))
            crash_debug(dbg_post_no_timer);
    } else {
        rupture_debug(dbg_post_while_sending);
    }
}

// ---------------------------------------------------------------------------------------------
// Receiving.

void Zelmo_client::link_readable() {
    // Straight into the frame buffer. A read that leaves room over has emptied the link; one
    // that fills the room is followed by another (the notifier would report the rest too, but
    // only after a turn of the event loop).
    const uint32_t closes = close_count;
    for (;;) {
        const qint64 free_space = buffer_end - fill_position;
        if (free_space < 1) {
            crash_debug(dbg_no_free_space);
            return;
        }
        const qint64 n = link->read(fill_position, free_space);
        if (n == 0)
            return;
        if (n < 0) {
            // The peer's end of the stream completes an orderly close; otherwise it is lost.
            if (link->error() == Link::remote_closed && (state & st_shutting_down))
                on_disconnected();
            else
                on_error(link->error());
            return;
        }
        receive(n, free_space);
        if (close_count != closes || !has_connection() || n < free_space)
            return;
    }
}

void Zelmo_client::receive(qint64 n, qint64 asked) {
    if (!has_connection()) {
        trace_line("recv: ?");
        return;
    }
    if (n < 1) {
        rupture_debug(dbg_read_nothing);
        return;
    }
    if (n > asked) {
        rupture_debug(dbg_read_too_much);
        return;
    }
    trace_data("recv", fill_position, n);
    fill_position += n;
    (this->*receive_state)();
}

bool Zelmo_client::frame_whole() const {
    return fill_position >= frame_end;
}

void Zelmo_client::on_first_byte() {
    current_frame_handler = expected_answer;
}

void Zelmo_client::on_second_byte() {
    const unsigned length = frame_length(buffer_start);
    if (length > max_payload) {
        tcp_crash(text_length_too_big(length));
        return;
    }
    frame_end = buffer_start + length + frame_overhead;
}

void Zelmo_client::first_byte_received() {
    on_first_byte();
    if (fill_position - buffer_start < 2) {
        receive_state = &Zelmo_client::second_byte_received;
        return;
    }
    second_byte_received();
}

void Zelmo_client::second_byte_received() {
    const uint32_t closes = close_count;
    on_second_byte();
    if (close_count != closes)
        return;
    if (frame_whole())
        frame_received();
    else
        receive_state = &Zelmo_client::next_part_received;
}

void Zelmo_client::next_part_received() {
    if (frame_whole())
        frame_received();
}

void Zelmo_client::frame_received() {
    const uint32_t closes = close_count;
    for (;;) {
        uint32_t computed, stored;
        if (!frame_crc_ok(buffer_start, computed, stored)) {
            tcp_crash(text_crc_mismatch(computed, stored));
            return;
        }
        if (frame_type(buffer_start) == PING) {
            if (current_frame_handler == connection_off_frame_received)
                return; // a shutdown is in progress: not answered, the rest is not looked at
            current_frame_handler = unsolicited_handler;
            answer_ping();
        } else {
            const Step handler = current_frame_handler;
            current_frame_handler = unsolicited_handler;
            handler(this);
        }
        if (close_count != closes)
            return;

        const ptrdiff_t rest = fill_position - frame_end;
        if (rest == 0) {
            fill_position = buffer_start;
            receive_state = &Zelmo_client::first_byte_received;
            return;
        }
        std::memmove(buffer_start, frame_end, size_t(rest));
        fill_position = buffer_start + rest;
        on_first_byte();
        if (rest < 2) {
            receive_state = &Zelmo_client::second_byte_received;
            return;
        }
        on_second_byte();
        if (close_count != closes)
            return;
        if (!frame_whole()) {
            receive_state = &Zelmo_client::next_part_received;
            return;
        }
    }
}

void Zelmo_client::answer_ping() {
    if (sent_step == unexpected_sent)
        send_ping_answer(this);
    else if (posted_step == not_send)
        posted_step = send_ping_answer; // goes out as soon as the frame being written is
    else if (sent_step == ping_answer_sent || posted_step == send_ping_answer)
        tcp_crash(errtext_ping_on_ping.tr());
    else
        rupture_debug(dbg_ping_while_posted);
}

// ---------------------------------------------------------------------------------------------
// The timer.

void Zelmo_client::timerEvent(QTimerEvent* event) {
    const int id = event->timerId();
    if (id == 0 || id != timer) {
        log_debug(dbg_stray_timer);
        killTimer(id);
        return;
    }
    int t = 0;
    // The message names the frame waited for and the time allowed (`t`, set with the name);
    // a frame without a name here is our own fault.
    const auto timed_out = [this, &t](const QString& name, Tr& fmt, unsigned short no_name) {
        if (name.isEmpty())
            rupture_debug(no_name);
        else
            tcp_crash(fmt.tr().arg(name, QString::number(t)), rupture_timeout);
    };
    if (state & st_connected) {
        if (sent_step == unexpected_sent || sent_step == ping_answer_sent) {
            if (current_frame_handler == unsolicited_handler) {
                if (expected_answer == unsolicited_handler) {
                    rupture_debug(dbg_timeout_idle);
                    return;
                }
                timed_out(name_of_sent_command(expected_answer, t), errfmt_receive_timeout,
                          dbg_timeout_waiting_no_name);
            } else {
                timed_out(name_of_sent_command(current_frame_handler, t), errfmt_receive_timeout,
                          dbg_timeout_receive_no_name);
            }
        } else {
            timed_out(name_of_sending_frame(sent_step, t), errfmt_send_timeout,
                      dbg_timeout_send_no_name);
        }
    } else if (state & st_connecting) {
        cannot_connect(errfmt_connect_timeout.tr().arg(connect_timeout));
    } else if (state & st_shutting_down) {
        tcp_crash(errfmt_shutdown_timeout.tr().arg(disconnect_timeout), rupture_timeout);
    } else if (state & st_delaying) {
        state &= ~st_delaying;
        stop_timer();
        take_sent_step()(this);
    } else {
        rupture_debug(dbg_timeout_no_state);
    }
}

void Zelmo_client::delay(int ms, Step step) {
    sent_step = step;
    if (!restart_timer(ms)) {
        crash_debug(dbg_delay_no_timer);
        return;
    }
    state |= st_delaying;
}

// ---------------------------------------------------------------------------------------------
// Shutting down and losing the connection.

void Zelmo_client::shutdown(Step done) {
    sent_step = done;
    stop_timer();
    state = (state & ~st_connected) | st_shutting_down;
    expected_answer = current_frame_handler = unsolicited_handler = connection_off_frame_received;
    if (!restart_timer(disconnect_timeout)) {
        crash_debug(dbg_shutdown_no_timer);
        return;
    }
    trace_line("shutdown");
    // The server reads to the end of what we sent and closes; its close is the report.
    if (!link->close_write())
        on_error(link->error());
}

void Zelmo_client::connected_loss(bool by_error, int code) {
    int t = 0;
    Tr* fmt;
    unsigned short no_name;
    QString name;
    if (sent_step != unexpected_sent) {
        name = name_of_sending_frame(sent_step, t);
        fmt = by_error ? &errfmt_send_rupture : &errfmt_send_disconnect;
        no_name = by_error ? dbg_error_send_no_name : dbg_disconnect_send_no_name;
    } else if (current_frame_handler != unsolicited_handler) {
        name = name_of_sent_command(current_frame_handler, t);
        fmt = by_error ? &errfmt_receive_rupture : &errfmt_receive_disconnect;
        no_name = by_error ? dbg_error_receive_no_name : dbg_disconnect_receive_no_name;
    } else if (expected_answer != unsolicited_handler) {
        name = name_of_sent_command(expected_answer, t);
        fmt = by_error ? &errfmt_waiting_rupture : &errfmt_waiting_disconnect;
        no_name = by_error ? dbg_error_waiting_no_name : dbg_disconnect_waiting_no_name;
    } else {
        crash_debug(by_error ? dbg_error_idle : dbg_disconnect_idle);
        return;
    }
    if (name.isEmpty()) {
        rupture_debug(no_name);
        return;
    }
    if (by_error)
        tcp_crash(fmt->tr().arg(name, QString::number(code), link->error_text(code)));
    else
        tcp_crash(fmt->tr().arg(name));
}

void Zelmo_client::on_disconnected() {
    update_random_number_generator(0x1202);
    if (state & st_shutting_down) {
        trace_line("shutdown_ok");
        const Step done = sent_step;
        close_connection();
        done(this);
    } else if (state & st_connected) {
        connected_loss(false, 0);
    } else if (state & st_connecting) {
        cannot_connect(errtext_cannot_connect.tr());
    } else {
        rupture_debug(dbg_disconnect_no_state);
    }
}

void Zelmo_client::on_error(int code) {
    update_random_number_generator(0x1203);
    if (state & st_connected) {
        connected_loss(true, code);
    } else if (state & st_connecting) {
        cannot_connect(
            errfmt_cannot_connect.tr().arg(QString::number(code), link->error_text(code)));
    } else if (state & st_shutting_down) {
        tcp_crash(errfmt_shutdown_rupture.tr().arg(QString::number(code), link->error_text(code)));
    } else {
        crash_debug(dbg_error_no_state);
    }
}

void Zelmo_client::close_connection() {
    stop_timer();
    state &= ~st_delaying; // the delay's timer is gone with it
    bytes_left = 0;
    posted_step = not_send;
    sent_step = unexpected_sent;
    receive_state = &Zelmo_client::first_byte_received;
    expected_answer = current_frame_handler = unsolicited_handler = connection_off_frame_received;
    fill_position = buffer_end;
    ++close_count;
    if (state & st_connection) {
        state &= ~st_connection;
        link->close(); // reports of this connection still on their way are dropped
    }
}

// ---------------------------------------------------------------------------------------------
// Reports.

void Zelmo_client::tcp_crash(const QString& text, unsigned char kind) {
    if (tracing())
        log(QStringLiteral("#%1 broken: %2").arg(QString::number(number), text));
    else
        log(QStringLiteral("broken(\"%1\":%2, local=%3): %4")
                .arg(server_address(server), QString::number(server_port(server)),
                     QString::number(link->is_open() ? link->local_port() : local_port), text));
    close_connection();
    rupture_kind = kind;
    on_rupture(text);
}

void Zelmo_client::total_crash(const QString& text) {
    log(text);
    close_connection();
    on_crash(text);
}

void zelmo_client_clear_translation() {
    Tr* all[] = {&errtext_cannot_connect,  &errfmt_cannot_connect,     &errfmt_connect_timeout,
                 &errfmt_send_disconnect,  &errfmt_send_rupture,       &errfmt_receive_disconnect,
                 &errfmt_receive_rupture,  &errfmt_waiting_disconnect, &errfmt_waiting_rupture,
                 &errfmt_shutdown_rupture, &errfmt_send_timeout,       &errfmt_receive_timeout,
                 &errfmt_shutdown_timeout, &errfmt_write_error,        &errtext_ping_on_ping};
    for (Tr* t : all)
        t->clear();
}
