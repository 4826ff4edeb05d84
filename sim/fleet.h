// The fleet: which ports the simulator listens on, how each of them behaves as a
// server, and which devices answer behind it and how. Read from the fleet text
// described in sim/README.md.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// The exchanges a device answers; each can be given its own result and faults.
enum Stage_id { st_link, st_auth, st_upload, st_getparam, st_cmd, st_count };

// Where an UNLINK goes relative to the answer of a stage.
enum class Unlink : uint8_t { none, before, instead, after };

struct Stage {
    int result = -1;   // -1: what a sound device would answer
    int delay_ms = -1; // -1: the profile's common delay
    int type = -1;     // frame type of the answer; -1: the proper one
    bool has_payload = false;
    std::string payload; // raw payload sent in place of the built one
    Unlink unlink = Unlink::none;
    bool bad_crc = false;
    int extra_type = -1; // a further frame sent right behind the answer
    std::string extra_payload;
};

// Behaviour shared by the devices of one fleet line.
struct Profile {
    Stage stage[st_count];
    int delay_ms = 0;
    bool any_pin = true;
    std::string pin; // the accepted PIN when not any_pin
    bool has_upname = false;
    std::string upname;         // file name echoed in UPFILE_ANSWER instead of the received one
    std::string devname;        // user name shown in device lists, at most 40 bytes
    uint32_t offline_links = 0; // the first this many LINKs find the device offline (code 2)
    std::vector<std::pair<uint16_t, std::string>> params;
    // After an accepted upload: the values that replace those of params (a device that
    // applies the file), and how long the device is offline meanwhile, as while it restarts
    // (-1: for good). A device with neither keeps its old values.
    std::vector<std::pair<uint16_t, std::string>> applied_params;
    int64_t restart_ms = 0;

    bool changes_on_upload() const { return !applied_params.empty() || restart_ms != 0; }
};

struct Device {
    uint64_t imei;
    uint32_t profile;
};

enum class Enum_fault : uint8_t {
    none,
    bad_digit,
    imei_zero,
    name_zero,
    bad_length,
    too_many,
    short_payload
};

struct Port {
    uint16_t port = 0;
    int line = 0; // where the port was declared, for messages

    // Server behaviour of every connection to this port.
    int ping_ms = 0;
    size_t ping_len = 0;
    bool ping_always = false;
    uint64_t close_after = 0;   // bytes received before the server closes; 0: never
    uint32_t bad_crc_frame = 0; // n-th frame sent on a connection gets a broken checksum; 0: none
    int hello_type = -1;        // frame sent right after accepting
    std::string hello_payload;
    int64_t stall_after = -1; // frames answered before the server goes silent; -1: never
    int stall_ms = 60000;     // a stalled connection is closed after this long
    int64_t refuse = 0;       // connections reset right after accepting; -1: not even listening
    uint64_t rate = 0;        // bytes per second read from each connection; 0: unlimited
    uint8_t unknown_link = 2; // LINK_ANSWER for an IMEI that is not in the fleet
    Stage enumerate;
    Enum_fault enum_fault = Enum_fault::none;

    std::vector<Profile> profiles;
    std::vector<Device> devices;   // in the order of the fleet text
    std::vector<uint32_t> by_imei; // indexes into devices, sorted by IMEI

    // Index into devices, or -1.
    int64_t find(uint64_t imei) const;
};

// Adds the ports of a fleet text to `ports`. A device line before any port line
// is an error. On failure returns false with "origin:line: message" in `error`.
bool parse_fleet(const std::string& text, const std::string& origin, std::vector<Port>& ports,
                 std::string& error);

// Sorts the devices of every port for lookup and rejects an IMEI listed twice on one port.
bool finish_fleet(std::vector<Port>& ports, std::string& error);

constexpr uint64_t max_imei = 999999999999999ull;

} // namespace sim
