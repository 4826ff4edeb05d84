#pragma once
// The frame envelope for the lean client and server: what both need to speak to each other
// and to the program, with nothing of the program's own libraries, so that neither pays for
// more than a hand-written client would.

#include <cstddef>
#include <cstdint>

namespace lean {

enum : unsigned char {
    CMD = 0x01,
    CMD_ANSWER = 0x02,
    AUTH = 0x05,
    AUTH_ANSWER = 0x06,
    LINK = 0x0E,
    LINK_ANSWER = 0x0F,
    UPFILE = 0x13,
    UPFILE_ANSWER = 0x14,
};

constexpr size_t overhead = 7; // length (2), type (1), checksum (4)

struct Crc_table {
    uint32_t v[256];
    constexpr Crc_table() : v() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            v[i] = c;
        }
    }
};
constexpr Crc_table crc_table;

inline uint32_t crc32(const unsigned char* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i)
        c = (c >> 8) ^ crc_table.v[(c ^ p[i]) & 0xFF];
    return c ^ 0xFFFFFFFFu;
}

inline void put_u32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline unsigned get_u16(const unsigned char* p) {
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}

// Completes the frame whose payload lies at frame + 3; returns its size.
inline size_t seal(unsigned char* frame, unsigned char type, size_t length) {
    frame[0] = static_cast<unsigned char>(length);
    frame[1] = static_cast<unsigned char>(length >> 8);
    frame[2] = type;
    put_u32(frame + 3 + length, crc32(frame, 3 + length));
    return length + overhead;
}

// The bytes of the file an upload sends, the same in the client and the benchmark.
inline unsigned char file_byte(uint64_t i) {
    return static_cast<unsigned char>((i * 131) >> 3);
}

} // namespace lean
