// A connection of the simulated server and what the answering code and the event
// loop share about it. Private to the simulator's sources.
#pragma once

#include "sim/server.h"
#include "sim/wire.h"

#include <cstdint>
#include <vector>

namespace sim {

// The client never sends more than 57 payload bytes; anything far above that is not
// worth buffering and ends the connection as a violation.
constexpr size_t max_in_payload = 1024;
// Device list frames are built ahead only while less than this is waiting to be sent.
constexpr size_t enum_high_water = 64 * 1024;

struct Server::Conn {
    int fd = -1;
    uint32_t slot = 0;
    uint32_t gen = 0;
    uint32_t interest = 0;
    uint64_t id = 0;
    size_t port_index = 0;
    Port* port = nullptr;
    uint16_t peer = 0;

    uint8_t rx[max_in_payload + frame_overhead];
    size_t rx_fill = 0;
    size_t rx_need = 0; // whole frame size once the length is in, else 0
    uint32_t file_left = 0, file_size = 0, file_decl = 0, file_crc = 0;
    uint8_t file_name[10];
    uint64_t bytes_in = 0, frames_in = 0;
    uint32_t frames_out = 0;

    int64_t device = -1;
    bool authed = false;

    std::vector<uint8_t> out;
    size_t out_pos = 0;
    std::vector<uint8_t> pending; // a delayed answer, moved to `out` at answer_at
    int64_t answer_at = -1;
    bool pending_enum = false;
    bool enum_active = false;
    bool enum_first = false;
    size_t enum_next = 0;

    int64_t ping_at = -1;
    uint32_t pings_out = 0;
    bool stalled = false;
    int64_t stall_until = -1;
    double tokens = 0;
    int64_t tokens_at = 0;
    bool read_paused = false;
    int64_t resume_at = -1;

    void reset() {
        rx_fill = rx_need = 0;
        file_left = file_size = file_decl = file_crc = 0;
        bytes_in = frames_in = 0;
        frames_out = 0;
        device = -1;
        authed = false;
        out.clear();
        out_pos = 0;
        pending.clear();
        answer_at = -1;
        pending_enum = enum_active = enum_first = false;
        enum_next = 0;
        ping_at = -1;
        pings_out = 0;
        stalled = false;
        stall_until = -1;
        tokens = 0;
        tokens_at = 0;
        read_paused = false;
        resume_at = -1;
        interest = 0;
    }
};

} // namespace sim
