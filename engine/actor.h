#pragma once
// One worker of a run: a connection to one server at a time, over which it serves that
// server's devices one after another (link by IMEI, authorise with the PIN, then the run's
// action). Lives in the engine's thread; the engine allocates all actors as one array.

#include "config/fail_class.h"
#include "protocol/zelmo_client.h"

#include <QString>
#include <cstdint>

class Device;
class Engine;

class Actor : public Zelmo_client {
public:
    static constexpr uint64_t max_answer_payload = 264;

    Actor();
    ~Actor() override;

    // Called by the engine.
    void start(Engine& engine, unsigned long number);
    void stop();
    void dispatch();

    // Ends the current device as failed and goes on with the next one over this connection.
    void device_reject(const QString& text, Fail_class fail_class = fail_device);
    // Goes on after the current device has ended.
    void switch_to_next_device();
    // Lets the exchange window know that a counter changed; at most one signal is pending.
    void signal_progress();

    void on_rupture(const QString& text) override;
    void on_crash(const QString& text) override;
    QString name_of_sending_frame(Step step, int& timeout) const override;
    QString name_of_sent_command(Step step, int& timeout) const override;

    // Session steps.
    static void connect_now(Zelmo_client* c);
    static void connect_ok(Zelmo_client* c);
    static void send_link(Zelmo_client* c);
    static void link_sent(Zelmo_client* c);
    static void link_answer(Zelmo_client* c);
    static void send_auth(Zelmo_client* c);
    static void auth_sent(Zelmo_client* c);
    static void auth_sent_unlink(Zelmo_client* c);
    static void auth_answer(Zelmo_client* c);
    static void unsolicited_frame(Zelmo_client* c);
    static void shutdown_ok(Zelmo_client* c);
    // File upload.
    static void send_upfile(Zelmo_client* c);
    static void upfile_head_sent(Zelmo_client* c);
    static void upfile_tail_sent(Zelmo_client* c);
    static void upfile_head_sent_unlink(Zelmo_client* c);
    static void upfile_tail_sent_unlink(Zelmo_client* c);
    static void upfile_answer(Zelmo_client* c);
    // Parameter reading.
    static void send_getparam(Zelmo_client* c);
    static void getparam_sent(Zelmo_client* c);
    static void getparam_sent_unlink(Zelmo_client* c);
    static void getparam_answer(Zelmo_client* c);
    // Device commands.
    static void send_cmd(Zelmo_client* c);
    static void cmd_sent(Zelmo_client* c);
    static void cmd_sent_unlink(Zelmo_client* c);
    static void cmd_answer(Zelmo_client* c);

    Actor* depot_next = nullptr; // link of the engine's depot while parked
    Device* device = nullptr;    // being served; null between devices
    uint64_t param_index = 0;    // parameter being read
    Engine* engine = nullptr;
    // This actor marked its server "reconnect pending" and has not yet connected: a failure
    // of its attempt must take the mark away again, or nobody would ever retry the server.
    bool reconnecting = false;
    // Neither parked nor retired. A report that reaches an actor off duty (a link report
    // after the engine let it go) must not move it or the engine's counts again.
    bool on_duty = false;
    // Which connection count this actor's connection is counted in now, so that however the
    // connection ends it leaves that count exactly once.
    enum : unsigned char { counted_none, counted_connecting, counted_connected };
    unsigned char counted = counted_none;
    Server* counted_server = nullptr; // whose open connections count this connection
    unsigned char receive_buffer[max_answer_payload + 7];

private:
    void crash(const QString& text, Fail_class fail_class_of_rupture);
    // Takes this actor's connection out of the connecting or connected count.
    void uncount();
    // The sent step's _unlink twin has handed its frame over: fail the device.
    void unlink_after_write(const QString& text);
};

// Texts shared by the exchanges.
QString text_unlink_auth();
QString text_unlink_upfile();
QString text_unlink_getparam();
QString text_unlink_cmd();
QString text_device_interrupted();
QString text_device_cancelled();
// Device-level protocol violations: they fail the device and keep the connection.
QString text_device_wrong_length(const QString& request, const QString& answer, uint64_t length,
                                 uint64_t required);
QString text_device_too_short(const QString& request, const QString& answer, uint64_t length,
                              uint64_t required);
QString text_device_unknown_field(const QString& request, const QString& answer,
                                  const QString& field, uint64_t value);
QString text_device_not_same(const QString& request, const QString& field, int64_t value,
                             int64_t sent);
QString text_device_mismatch(const QString& frame, const QString& field, int64_t value,
                             const QString& other_field, int64_t other_value, int64_t expected);
// "... with «код команды» and «результат выполнения» ... too short".
QString text_device_result_too_short(unsigned code, unsigned result, uint64_t length,
                                     uint64_t required);

void actor_clear_translation();
void actor_exchanges_clear_translation();
