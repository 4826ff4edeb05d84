// Feeds arbitrary byte streams from a server, cut at arbitrary points, into the receive path of
// a protocol client, with no socket: bytes are placed where a read would put them, and writes
// are taken by a stand-in that accepts a chosen number of bytes at a time.
//
// Input: byte 0 picks the client (bit 0: the device list request, else a session-like client
// that sends up to three requests and accepts pings and UNLINK between them), how many bytes a
// write takes (bits 1-3: 0 means all) and how the stream ends when the client is still
// connected (bits 4-5: a time-out, the server's close, a socket error). With bit 6 set, the
// checksum of every frame of the stream is made right first, so that mutations reach the
// payload parsers instead of ending at the checksum. Byte 1 seeds the cut lengths. The rest is
// the stream.
//
// Checked: every run ends in exactly one report (a rupture or crash with a message, or the
// request's own success), after which no connection is left.
#include "config/config.h"
#include "foundation/err.h"
#include "protocol/enumerate.h"
#include "protocol/frame.h"
#include "protocol/zelmo_client.h"

#include <QCoreApplication>
#include <QTimerEvent>
#include <cstdlib>
#include <cstring>

namespace {

struct Outcome {
    int reports = 0;
    bool empty_message = false;
    void note(const QString& text) {
        ++reports;
        if (text.isEmpty())
            empty_message = true;
    }
};

// Writes are taken `limit` bytes at a time (all when 0) and reported written by the harness.
struct Write_gate {
    qint64 limit = 0;
    qint64 held = 0;
    qint64 take(qint64 count) {
        const qint64 k = limit && count > limit ? limit : count;
        held += k;
        return k;
    }
};

class Session : public Zelmo_client {
public:
    Session(Outcome& o, Write_gate& g) : outcome(o), gate(g) { init(buffer, 264); }

    static Session* s(Zelmo_client* c) { return static_cast<Session*>(c); }
    static void connected(Zelmo_client* c) {
        c->take_posted_step()(c);
        if (c->is_connected())
            c->post(send_link);
    }
    static void send_link(Zelmo_client* c) {
        std::memset(c->payload(), '7', 15);
        std::memset(c->payload() + 15, 0, 42);
        c->send(LINK, 57, link_sent, 3000);
    }
    static void link_sent(Zelmo_client* c) {
        c->expected_answer = link_answer;
        c->take_posted_step()(c);
    }
    static void link_answer(Zelmo_client* c) {
        const unsigned char* f = c->buffer_start;
        if (frame_type(f) != LINK_ANSWER || frame_length(f) != 1) {
            c->tcp_crash(text_wrong_answer(name_LINK.tr(), frame_type(f), frame_length(f)));
            return;
        }
        c->expected_answer = c->unsolicited_handler;
        if (++s(c)->answers < 3)
            c->post(send_link);
        else
            c->post(start_shutdown);
    }
    static void start_shutdown(Zelmo_client* c) { c->shutdown(shutdown_done); }
    static void shutdown_done(Zelmo_client* c) { s(c)->outcome.note(QStringLiteral("done")); }
    static void unsolicited(Zelmo_client* c) {
        const unsigned char* f = c->buffer_start;
        if (frame_type(f) != UNLINK)
            c->tcp_crash(text_unexpected_frame(frame_type(f), frame_length(f)));
    }

    void on_rupture(const QString& text) override { outcome.note(text); }
    void on_crash(const QString& text) override { outcome.note(text); }
    QString name_of_sending_frame(Step step, int& timeout) const override {
        if (step == link_sent) {
            timeout = 3000;
            return name_LINK.tr();
        }
        return Zelmo_client::name_of_sending_frame(step, timeout);
    }
    QString name_of_sent_command(Step step, int& timeout) const override {
        if (step == link_answer) {
            timeout = 3000;
            return name_LINK.tr();
        }
        return Zelmo_client::name_of_sent_command(step, timeout);
    }
    qint64 socket_write(const unsigned char*, qint64 count) override { return gate.take(count); }

    Outcome& outcome;
    Write_gate& gate;
    int answers = 0;
    unsigned char buffer[264 + 7];
};

class Listing : public Enumerate {
public:
    Listing(Enumerated& m, Write_gate& g) : Enumerate(m), gate(g) {}
    qint64 socket_write(const unsigned char*, qint64 count) override { return gate.take(count); }
    Write_gate& gate;
};

struct Report : Enumerate_report {
    explicit Report(Outcome& o) : outcome(o) {}
    void success() override { outcome.note(QStringLiteral("success")); }
    void empty_success() override { outcome.note(QStringLiteral("empty")); }
    void failure(const QString& text) override { outcome.note(text); }
    Outcome& outcome;
};

// What connect() and the connected signal would have done.
void pretend_connected(Zelmo_client& c, Step unsolicited, Step connected) {
    c.expected_answer = c.current_frame_handler = c.unsolicited_handler = unsolicited;
    c.fill_position = c.buffer_start;
    c.state = Zelmo_client::st_connected | Zelmo_client::st_late_disconnect_ok |
              Zelmo_client::st_late_error_ok;
    connected(&c);
}

void release(Zelmo_client& c, Write_gate& g) {
    if (g.held > 0 && c.has_connection()) {
        const qint64 n = g.held;
        g.held = 0;
        QMetaObject::invokeMethod(&c, "on_bytes_written", Qt::DirectConnection, Q_ARG(qint64, n));
    }
}

void run(Zelmo_client& c, Write_gate& g, const uint8_t* data, size_t size, unsigned seed,
         unsigned ending) {
    size_t at = 0;
    while (at < size && c.is_connected()) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = 1 + (seed >> 16) % ((seed & 0x100) ? 8 : 600);
        if (piece > size - at)
            piece = size - at;
        // One readable report: reads of at most the free space until the piece is used up.
        while (piece > 0 && c.is_connected()) {
            const qint64 free_space = c.buffer_end - c.fill_position;
            if (free_space < 1)
                std::abort(); // the buffer always has room for the rest of a frame
            const size_t k = piece < size_t(free_space) ? piece : size_t(free_space);
            std::memcpy(c.fill_position, data + at, k);
            at += k;
            piece -= k;
            c.receive(qint64(k), free_space);
        }
        release(c, g);
    }
    release(c, g);
    if (c.state & Zelmo_client::st_shutting_down) {
        QMetaObject::invokeMethod(&c, "on_disconnected", Qt::DirectConnection);
    } else if (c.has_connection()) {
        if (ending == 0 && c.timer) {
            QTimerEvent e(c.timer);
            QCoreApplication::sendEvent(&c, &e);
        } else if (ending == 1) {
            QMetaObject::invokeMethod(&c, "on_disconnected", Qt::DirectConnection);
        } else {
            QMetaObject::invokeMethod(&c, "on_error", Qt::DirectConnection,
                                      Q_ARG(int, Tcp_link::remote_closed));
        }
    }
}

// Gives every frame laid end to end in the stream its proper checksum.
void seal_all(unsigned char* p, size_t size) {
    size_t at = 0;
    while (size - at >= frame_overhead) {
        const size_t whole = frame_length(p + at) + frame_overhead;
        if (whole > size - at)
            break;
        seal_frame(p + at);
        at += whole;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    log_file_name = "/dev/null";
    static QCoreApplication app(*argc, *argv); // timers need the thread's event dispatcher
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const unsigned mode = data[0];
    Outcome outcome;
    Write_gate gate;
    gate.limit = (mode >> 1) & 7;
    const unsigned ending = (mode >> 4) & 3;
    Server server;
    server.address = QStringLiteral("127.0.0.1");
    static QByteArray sealed;
    if (mode & 0x40) {
        sealed = QByteArray(reinterpret_cast<const char*>(data), int(size));
        seal_all(reinterpret_cast<unsigned char*>(sealed.data()) + 2, size - 2);
        data = reinterpret_cast<const uint8_t*>(sealed.constData());
    }
    if (mode & 1) {
        Enumerated model;
        Report report(outcome);
        Listing c(model, gate);
        c.server = &server;
        c.dialog = &report;
        pretend_connected(c, Enumerate::unsolicited_frame, Enumerate::connect_ok);
        run(c, gate, data + 2, size - 2, data[1], ending);
        if (c.has_connection() || c.reset_open)
            std::abort();
        // Every row the model claims must be readable.
        const int rows = model.rowCount();
        if (rows && !model.data(model.index(rows - 1, 0)).isValid())
            std::abort();
    } else {
        Session c(outcome, gate);
        c.server = &server;
        pretend_connected(c, Session::unsolicited, Session::connected);
        run(c, gate, data + 2, size - 2, data[1], ending);
        if (c.has_connection())
            std::abort();
    }
    if (outcome.reports != 1 || outcome.empty_message)
        std::abort();
    return 0;
}
