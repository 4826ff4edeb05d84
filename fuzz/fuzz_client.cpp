// Feeds arbitrary byte streams from a server, cut at arbitrary points, to a protocol client
// through a scripted link: each piece arrives as one read report, and writes are taken a
// chosen number of bytes at a time.
//
// Input: byte 0 picks the client (bit 0: the device list request, else a session-like client
// that sends up to three requests and accepts pings and UNLINK between them), how many bytes a
// write takes (bits 1-3: 0 means all) and how the stream ends when the client is still
// connected (bits 4-5: a time-out, the server's close, a failure of the connection). With bit 6
// set, the checksum of every frame of the stream is made right first, so that mutations reach the
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
#include "support/harness/scripted_link.h"

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

class Session : public Zelmo_client {
public:
    explicit Session(Outcome& o) : outcome(o) { init(buffer, 264); }

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
    Outcome& outcome;
    int answers = 0;
    unsigned char buffer[264 + 7];
};

struct Report : Enumerate_report {
    explicit Report(Outcome& o) : outcome(o) {}
    void success() override { outcome.note(QStringLiteral("success")); }
    void empty_success() override { outcome.note(QStringLiteral("empty")); }
    void failure(const QString& text) override { outcome.note(text); }
    Outcome& outcome;
};

void run(Zelmo_client& c, Scripted_link& link, const uint8_t* data, size_t size, unsigned seed,
         unsigned ending) {
    size_t at = 0;
    while (at < size && c.is_connected()) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = 1 + (seed >> 16) % ((seed & 0x100) ? 8 : 600);
        if (piece > size - at)
            piece = size - at;
        if (c.buffer_end - c.fill_position < 1)
            std::abort(); // the buffer always has room for the rest of a frame
        link.deliver(QByteArray(reinterpret_cast<const char*>(data + at), int(piece)));
        at += piece;
        link.release();
    }
    link.release();
    if (c.state & Zelmo_client::st_shutting_down) {
        link.report_peer_close();
    } else if (c.has_connection()) {
        if (ending == 0 && c.timer) {
            QTimerEvent e(c.timer);
            QCoreApplication::sendEvent(&c, &e);
        } else if (ending == 1) {
            link.report_peer_close();
        } else {
            link.report_failure(Link::network_error);
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
    Scripted_link link; // outlives the client
    if (const unsigned limit = (mode >> 1) & 7)
        link.accept_limit = limit;
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
        Enumerate c(model);
        c.use_link(link);
        c.start(server, report);
        link.report_connected();
        run(c, link, data + 2, size - 2, data[1], ending);
        if (c.has_connection() || c.reset_open)
            std::abort();
        // Every row the model claims must be readable.
        const int rows = model.rowCount();
        if (rows && !model.data(model.index(rows - 1, 0)).isValid())
            std::abort();
    } else {
        Session c(outcome);
        c.use_link(link);
        c.server = &server;
        c.connect(Session::connected, Session::unsolicited);
        link.report_connected();
        run(c, link, data + 2, size - 2, data[1], ending);
        if (c.has_connection())
            std::abort();
    }
    if (outcome.reports != 1 || outcome.empty_message)
        std::abort();
    return 0;
}
