#include "sim/wire.h"

namespace sim {

namespace {

struct Crc_tables {
    uint32_t t[8][256];
    Crc_tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][i] = c;
        }
        for (int s = 1; s < 8; ++s)
            for (int i = 0; i < 256; ++i)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const Crc_tables tables;

} // namespace

uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc) {
    const auto& t = tables.t;
    uint32_t c = ~crc;
    while (n >= 8) {
        const uint32_t lo = c ^ get_u32(p);
        const uint32_t hi = get_u32(p + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n--)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return ~c;
}

size_t seal_frame(uint8_t* frame, uint8_t type, size_t payload_len) {
    put_u16(frame, uint16_t(payload_len));
    frame[2] = type;
    put_u32(frame + 3 + payload_len, crc32(frame, payload_len + 3));
    return payload_len + frame_overhead;
}

} // namespace sim
