// The simulated server: one thread, one epoll set, non-blocking loopback sockets.
// Every connection runs the answering machine of its port's fleet; timers (answer
// delays, pings, the speed limit, stalls) live in one heap.
#pragma once

#include "sim/fleet.h"
#include "sim/record.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace sim {

struct Counters {
    uint64_t connections = 0, refused = 0, closed = 0;
    uint64_t bytes_in = 0, bytes_out = 0, frames_in = 0, frames_out = 0;
    uint64_t links = 0, auths = 0, uploads = 0, upload_bytes = 0, upload_crc_errors = 0;
    uint64_t getparams = 0, cmds = 0, enumerates = 0, enum_frames = 0;
    uint64_t pings = 0, ping_answers = 0, unlinks = 0, violations = 0, stalls = 0;
    uint64_t peak_per_port = 0; // most connections open at once on any one port
};

class Server {
public:
    Server(std::vector<Port>& ports, Record& record);
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    ~Server();

    // Binds every port on 127.0.0.1 (a port of 0 receives its ephemeral number)
    // and listens, except on ports that refuse everything.
    bool listen(std::string& error);
    // Serves until SIGTERM or SIGINT, which must be blocked by the caller.
    bool run(std::string& error);
    void print_counters(FILE* out) const;

    struct Conn;

private:
    struct Timer {
        int64_t when;
        uint32_t slot;
        uint32_t gen;
        bool operator>(const Timer& o) const { return when > o.when; }
    };

    void accept_on(size_t port_index);
    void on_event(Conn& c, uint32_t events);
    void on_readable(Conn& c);
    void feed(Conn& c, const uint8_t* p, size_t n);
    void frame_done(Conn& c);
    void on_link(Conn& c, const uint8_t* pl, size_t len);
    void on_auth(Conn& c, const uint8_t* pl, size_t len);
    void on_upfile(Conn& c, const uint8_t* pl, size_t len);
    void upload_done(Conn& c);
    void on_cmd(Conn& c, const uint8_t* pl, size_t len);
    void on_enumerate(Conn& c, size_t len);
    void on_ping_answer(Conn& c, const uint8_t* pl, size_t len);
    void answer(Conn& c, const Stage& st, int common_delay, uint8_t type, const uint8_t* payload,
                size_t len);
    void emit(Conn& c, std::vector<uint8_t>& buf, uint8_t type, const uint8_t* payload, size_t len,
              bool bad_crc);
    void enum_frame(Conn& c);
    void flush(Conn& c);
    void on_timer(Conn& c);
    void enter_stall(Conn& c);
    void violation(Conn& c, const char* why, uint8_t type, size_t len);
    void unlink_device(Conn& c);
    void update_interest(Conn& c);
    void arm(Conn& c, int64_t when);
    void close_conn(Conn& c, const char* reason);
    const Profile& profile_of(const Conn& c) const;

    std::vector<Port>& ports;
    Record& record;
    Counters counters;
    int epoll = -1;
    int signal_fd = -1;
    std::vector<int> listen_fds;
    std::vector<int64_t> refused; // per port: connections reset so far
    std::vector<std::vector<uint32_t>>
        owners; // per port and device: slot + 1 of the linked connection
    std::vector<std::vector<uint32_t>> link_tries; // per port and device: LINKs received
    // Per port and device: when an accepted upload changed the device (ms; -1: never). Empty
    // for a port none of whose devices changes on an upload.
    std::vector<std::vector<int64_t>> applied_at;
    bool applied(const Conn& c) const;
    std::vector<uint64_t> open_now; // per port: connections open
    std::vector<std::unique_ptr<Conn>> conns;
    std::vector<uint32_t> free_slots;
    std::vector<Timer> timers; // min-heap
    std::vector<uint8_t> scratch;
    int64_t now = 0;
    int64_t accept_paused_until = -1;
    uint64_t next_id = 1;
};

} // namespace sim
