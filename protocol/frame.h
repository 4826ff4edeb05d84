#pragma once
// The frame envelope shared by both directions of a server connection:
//   length (2, little-endian) | type (1) | payload (length) | CRC-32 of the preceding bytes (4)
// Frames lie end to end with nothing between them; the receiver learns where a frame ends
// from its first two bytes only, so any envelope fault ends the connection.

#include "foundation/err.h"

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>

// Frame types.
constexpr unsigned char CMD = 0x01;
constexpr unsigned char CMD_ANSWER = 0x02;
constexpr unsigned char AUTH = 0x05;
constexpr unsigned char AUTH_ANSWER = 0x06;
constexpr unsigned char PING = 0x0A;
constexpr unsigned char PING_ANSWER = 0x0B;
constexpr unsigned char ENUMERATE = 0x0C;
constexpr unsigned char ENUMERATE_ANSWER = 0x0D;
constexpr unsigned char LINK = 0x0E;
constexpr unsigned char LINK_ANSWER = 0x0F;
constexpr unsigned char UNLINK = 0x10;
constexpr unsigned char UPFILE = 0x13;
constexpr unsigned char UPFILE_ANSWER = 0x14;

// Sizes.
constexpr size_t frame_head_size = 3;      // length and type
constexpr size_t frame_overhead = 7;       // head and checksum
constexpr size_t transmit_frame_size = 64; // every sent frame is built in an area of this size
constexpr size_t max_sent_payload = transmit_frame_size - frame_overhead; // 57
constexpr uint64_t max_frame_payload = 65535;                             // the length field
constexpr size_t ping_answer_payload = 21;
constexpr size_t ping_answer_frame_size = ping_answer_payload + frame_overhead; // 28

// Display names of the frames, used inside messages ("proto").
extern Tr name_CMD;
extern Tr name_CMD_ANSWER;
extern Tr name_AUTH;
extern Tr name_AUTH_ANSWER;
extern Tr name_PING;
extern Tr name_PING_ANSWER;
extern Tr name_ENUMERATE;
extern Tr name_ENUMERATE_ANSWER;
extern Tr name_LINK;
extern Tr name_LINK_ANSWER;
extern Tr name_UNLINK;
extern Tr name_UPFILE;
extern Tr name_UPFILE_ANSWER;

// Display names of fields and command codes, used inside messages ("proto").
extern Tr name_sz_data;
extern Tr name_CMD_ANSWER_cmd_id;
extern Tr name_CMD_ANSWER_sz_arg;
extern Tr name_CMD_ANSWER_param_id;
extern Tr name_CMD_ANSWER_param_len;
extern Tr name_ENUMERATE_ANSWER_n_dev;
extern Tr name_ENUMERATE_ANSWER_imei_z;
extern Tr name_ENUMERATE_ANSWER_devname_z;
extern Tr name_RESTART;
extern Tr name_GETPARAM;
extern Tr name_FACTORY;
extern Tr name_DROPBBOX;
extern Tr name_CLEARGNSS;

// CRC-32 (reflected polynomial 0xEDB88320, initial and final XOR 0xFFFFFFFF); 0 for nothing.
extern const std::array<uint32_t, 256> crc32_table;
uint32_t calculate_crc32(const void* data, size_t size);

// Little-endian fields.
inline unsigned get_u16(const unsigned char* p) {
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}
inline uint32_t get_u32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void put_u16(unsigned char* p, unsigned v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void put_u32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Reading a frame that lies at `frame` (its length field already checked).
inline unsigned frame_length(const unsigned char* frame) {
    return get_u16(frame);
}
inline unsigned char frame_type(const unsigned char* frame) {
    return frame[2];
}
inline const unsigned char* frame_payload(const unsigned char* frame) {
    return frame + frame_head_size;
}

// Completes a frame whose length, type and payload are in place: stores the checksum behind
// the payload and returns the whole frame's size.
size_t seal_frame(unsigned char* frame);
// Writes length, type and payload and seals; `frame` must hold payload_size + 7 bytes.
size_t build_frame(unsigned char* frame, unsigned char type, const void* payload,
                   size_t payload_size);
// Fills the ping answer (the whole sealed frame) and returns its size.
size_t build_ping_answer(unsigned char* frame);
// Compares the stored checksum of a whole frame with the one computed over its bytes.
bool frame_crc_ok(const unsigned char* frame, uint32_t& computed, uint32_t& stored);

// Envelope faults; each breaks the connection.
QString text_length_too_big(uint64_t length);
QString text_crc_mismatch(uint32_t computed, uint32_t stored);

// Faults of a sound envelope, reported by the payload parsers; each breaks the connection.
// A frame arrived while no answer was awaited.
QString text_unexpected_frame(unsigned char type, uint64_t length);
// An answer of the wrong type to the frame named `sent`.
QString text_wrong_answer(const QString& sent, unsigned char type, uint64_t length);
// A field of `frame` should have had a fixed value.
QString text_field_value(const QString& frame, const QString& field, int64_t value,
                         int64_t expected);
// A field of `frame` lies outside low...high.
QString text_field_range(const QString& frame, const QString& field, int64_t value, int64_t low,
                         int64_t high);
// Two fields of `frame` contradict each other; `expected` is what the first should hold.
QString text_fields_mismatch(const QString& frame, const QString& field, int64_t value,
                             const QString& other_field, int64_t other_value, int64_t expected);

void frame_clear_translation();
