#pragma once
// The TCP client of a server connection. It writes one frame at a time, assembles and checks
// received frames, answers the server's pings by itself, guards every stage with its one timer
// and reports every failure as either a rupture (the connection is lost or the server broke
// the protocol) or a crash (an internal inconsistency), each with a finished message.
//
// A subclass drives the exchange as a chain of steps: plain functions that the client stores
// and calls when the awaited event happens, and compares by identity to know what is in
// progress. A step usually casts its argument back to the subclass.
//
// The step contract:
// - A sent step (one per kind of request) sets `expected_answer` to that request's answer
//   handler, then runs take_posted_step(): a ping that came in while the request was being
//   written is answered right behind it.
// - The connected step runs take_posted_step() and then, if still connected, post()s the
//   first request.
// - An answer handler checks the frame at `buffer_start`; on success it sets
//   `expected_answer` back to `unsolicited_handler` (or leaves it, if more frames of the same
//   answer follow) and moves on with post(), shutdown() or close_connection(); never with
//   send() directly, because a ping answer may be in the transmit frame. On a protocol
//   violation it calls tcp_crash().
// - After an answer the subclass must move on; otherwise the request's time-out fires.
//
// Note: the member `connect` hides QObject::connect inside subclasses; write QObject::connect.
//
// The connection is a Link (a Tcp_link unless a test puts another in its place): its reports
// come from the event loop and never from inside a call the client made. A write that the link
// takes whole is done when the call returns; one it takes in part goes on at its room report.

#include "foundation/err.h"
#include "protocol/frame.h"
#include "protocol/tcp_link.h"
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>

class Client_timers;
class Server;
class Zelmo_client;

// A step of a subclass or of the client itself.
using Step = void (*)(Zelmo_client*);

class Zelmo_client : public QObject, private Link::Owner {
    Q_OBJECT

public:
    // State bits; a connection exists while any of the first three is set.
    enum : unsigned char {
        st_connecting = 0x01,
        st_connected = 0x02,
        st_shutting_down = 0x04,
        st_delaying = 0x20,
        st_connection = st_connecting | st_connected | st_shutting_down,
    };

    Zelmo_client();
    ~Zelmo_client() override;
    Zelmo_client(const Zelmo_client&) = delete;
    Zelmo_client& operator=(const Zelmo_client&) = delete;

    Server* server = nullptr; // set by the subclass before connect(); not owned
    Step posted_step;         // runs behind the ping answer being written; or send_ping_answer
    Step sent_step;           // runs when the frame or block being written is handed over
    Step expected_answer;     // handler of the next frame to arrive
    uint64_t number = 0;      // "#n" of the trace lines
    Tcp_link tcp_link;
    Link* link = &tcp_link; // the connection in use
    int timer = 0;          // id of the one running timer, 0 if none (ids come from Client_timers)
    const unsigned char* write_position = nullptr;
    qint64 bytes_left = 0; // of the current block, not yet taken by the link
    unsigned char* buffer_start = nullptr;
    unsigned char* buffer_end = nullptr;
    unsigned char* fill_position = nullptr;
    uint64_t max_payload = 0;
    unsigned char* frame_end = nullptr;
    void (Zelmo_client::*receive_state)();
    Step current_frame_handler; // bound at the first byte of the frame being received
    Step unsolicited_handler;   // for frames that arrive while no answer is awaited
    unsigned short local_port = 0;
    alignas(8) unsigned char transmit_frame[64];
    unsigned char state = 0;
    // What the last rupture was, set beside its text: a failed connection attempt, a
    // time-out, an error of ours, or any other break.
    enum : unsigned char { rupture_broken, rupture_connect, rupture_timeout, rupture_internal };
    unsigned char rupture_kind = rupture_broken;
    // Counts close_connection() calls: code that called out to a step compares it to learn
    // whether the connection it was working on is gone, even if a new one was opened since.
    uint32_t close_count = 0;
    // The timer's place in the thread's heap of deadlines (client_timer.h) and its period.
    static constexpr size_t no_timer_slot = SIZE_MAX;
    size_t timer_slot = no_timer_slot;
    int timer_interval = 0;
    int64_t timer_deadline = INT64_MAX;
    Client_timers* timers;

    // The client's own steps.
    static void not_send(Zelmo_client*);
    static void unexpected_sent(Zelmo_client*);
    static void send_ping_answer(Zelmo_client*);
    static void ping_answer_sent(Zelmo_client*);
    static void connection_off_frame_received(Zelmo_client*);

    // The subclass's reactions; the connection is already closed and the text logged.
    virtual void on_rupture(const QString& text) = 0;
    virtual void on_crash(const QString& text) = 0;
    // The display name of the frame that a sent step follows, and the time-out that guards it;
    // an empty name for an unknown step.
    virtual QString name_of_sending_frame(Step step, int& timeout) const;
    // The display name of the frame whose answer a handler handles, and its time-out.
    virtual QString name_of_sent_command(Step step, int& timeout) const;

    // Called once from the subclass constructor; `buffer` holds max_payload + 7 bytes.
    void init(unsigned char* buffer, uint64_t max_payload);
    // Talks through `other` from now on instead of its own Tcp_link (tests and fuzz targets
    // script the connection so). Called while no connection exists.
    void use_link(Link& other);
    // Connects to `server`; `connected` runs once the connection is established.
    void connect(Step connected, Step unsolicited);
    // Sends the frame whose payload the caller has written at payload(); `sent` runs when it
    // has been taken by the link; `timeout` runs until the next guarded stage.
    void send(unsigned char type, uint64_t length, Step sent, int timeout);
    // Runs a step now, or right behind the ping answer being written.
    void post(Step step);
    // Runs a step after `ms` milliseconds, without a connection.
    void delay(int ms, Step step);
    // Orderly close; `done` runs when the link reports the peer's close.
    void shutdown(Step done);
    // Closes at once and resets everything.
    void close_connection();
    // Writes `count` bytes from write_position; the sent step runs once the link took all.
    void write_to_socket(qint64 count);
    // Rupture: logs, closes, calls on_rupture; `kind` tells what broke (rupture_kind).
    void tcp_crash(const QString& text, unsigned char kind = rupture_broken);
    // Crash: logs, closes, calls on_crash.
    void total_crash(const QString& text);

    unsigned char* payload() { return transmit_frame + frame_head_size; }
    bool has_connection() const { return (state & st_connection) != 0; }
    bool is_connected() const { return (state & st_connected) != 0; }
    // The posted step, with not_send left in its place.
    Step take_posted_step() {
        Step s = posted_step;
        posted_step = not_send;
        return s;
    }
    // The sent step, with unexpected_sent left in its place.
    Step take_sent_step() {
        Step s = sent_step;
        sent_step = unexpected_sent;
        return s;
    }

protected:
    void timerEvent(QTimerEvent* event) override;
    // The connection has ended: the peer's close that completes an orderly shutdown. In any
    // other state it is reported as the loss of the connection.
    void on_disconnected();

    // The link's reports: the only way its events reach the client.
    void link_connected() override;
    void link_readable() override;
    void link_room() override;
    void link_failed(int code) override;

private:
    // Processes n bytes that a read of at most `asked` bytes has just placed at fill_position.
    void receive(qint64 n, qint64 asked);
    // The connection failed or could not be made.
    void on_error(int code);
    void first_byte_received();
    void second_byte_received();
    void next_part_received();
    void on_first_byte();
    void on_second_byte();
    void frame_received();
    bool frame_whole() const;
    void answer_ping();
    void cannot_connect(const QString& text);
    void rupture_debug(unsigned short code);
    void crash_debug(unsigned short code);
    bool restart_timer(int ms);
    void stop_timer();
    // Inline: every frame asks, and the trace is nearly always off.
    static bool tracing() { return (trace_flags.load(std::memory_order_relaxed) & 1) != 0; }
    void trace_line(const char* what);
    void trace_data(const char* what, const void* data, qint64 size) {
        if (tracing())
            write_trace_data(what, data, size);
    }
    void write_trace_data(const char* what, const void* data, qint64 size);
    // A loss of the established connection, named after what was being written or awaited.
    void connected_loss(bool by_error, int code);
};

void zelmo_client_clear_translation();
