// Frame envelope of the server protocol as the simulator speaks it: little-endian
// integers, the frame type codes and a CRC-32 of its own (slicing by eight, so that
// checking uploaded files never becomes the bottleneck of a benchmark).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

enum Frame_type : uint8_t {
    CMD = 0x01,
    CMD_ANSWER = 0x02,
    AUTH = 0x05,
    AUTH_ANSWER = 0x06,
    PING = 0x0A,
    PING_ANSWER = 0x0B,
    ENUMERATE = 0x0C,
    ENUMERATE_ANSWER = 0x0D,
    LINK = 0x0E,
    LINK_ANSWER = 0x0F,
    UNLINK = 0x10,
    UPFILE = 0x13,
    UPFILE_ANSWER = 0x14,
};

// Bytes of a frame around its payload: length (2), type (1), checksum (4).
constexpr size_t frame_overhead = 7;

// Command codes carried in a CMD frame.
constexpr uint8_t cmd_getparam = 3;

// Devices per ENUMERATE_ANSWER frame; only the last frame of a list carries fewer.
constexpr unsigned enum_page = 1000;
constexpr size_t enum_entry_size = 57;

// CRC-32 (reflected 0xEDB88320, start 0xFFFFFFFF, final complement). Pass the
// previous result as `crc` to continue over a further range; start with 0.
uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0);

inline uint16_t get_u16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t get_u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void put_u16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void put_u32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Completes a frame whose payload already lies at `frame + 3`: writes length and
// type in front and the checksum behind. Returns the frame's total size.
size_t seal_frame(uint8_t* frame, uint8_t type, size_t payload_len);

} // namespace sim
