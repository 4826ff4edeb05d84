#pragma once
// The modern encrypted configuration file (numbers little-endian):
//   0  2  magic 97 A2 (like 97 A1, never the start of valid UTF-8)
//   2  1  format version 1
//   3  4  Argon2id passes
//   7  4  Argon2id memory in KiB
//   11 16 salt
//   27 24 nonce
//   51 .. XChaCha20-Poly1305 (IETF) ciphertext of P, then its 16-byte tag; the 51 header bytes
//         are the associated data, so a changed header fails the tag as a changed text does
// P = the text length (4 bytes) + the 5 LZMA property bytes + the raw LZMA stream of the text
// with end mark, the same stream as in the older form.
// The key is 32 bytes of Argon2id 1.3 over the password's UTF-8 bytes with the header's salt,
// passes and memory. Reading bounds passes and memory before any key is derived, so that a
// forged header cannot make the program work or allocate without limit.
//
// Key derivation and decryption are separate steps so that a caller that tries one file many
// ways (the tests, the fuzzer) pays for the derivation once.

#include <QByteArray>
#include <QString>
#include <cstdint>

constexpr int modern_header_size = 51;
constexpr int modern_tag_size = 16;
constexpr int modern_min_size = modern_header_size + modern_tag_size;
constexpr int modern_salt_size = 16;
constexpr int modern_nonce_size = 24;
constexpr uint8_t modern_version = 1;
// The program's file limit: every configuration it can read can be saved in this form.
constexpr qint64 modern_max_text = 64 * 1024 * 1024;

constexpr uint32_t modern_write_passes = 3;
constexpr uint32_t modern_write_memory_kib = 65536;
constexpr uint32_t modern_min_passes = 1;
constexpr uint32_t modern_max_passes = 10;
constexpr uint32_t modern_min_memory_kib = 8192;
constexpr uint32_t modern_max_memory_kib = 1048576;

struct Modern_params {
    uint32_t passes = modern_write_passes;
    uint32_t memory_kib = modern_write_memory_kib;
    unsigned char salt[modern_salt_size] = {};
    unsigned char nonce[modern_nonce_size] = {};
};

// A derived key, wiped when it goes out of scope.
struct Modern_key {
    unsigned char k[32] = {};
    Modern_key() = default;
    Modern_key(const Modern_key&) = delete;
    Modern_key& operator=(const Modern_key&) = delete;
    ~Modern_key();
};

bool is_modern_container(const QByteArray& file);
// Throws Err for a file shorter than header and tag, of another format version, or whose
// passes or memory are out of bounds; asks for nothing and allocates nothing.
void check_modern_header(const QByteArray& file, const QString& file_name);
// The header's fields; the file must hold a whole header.
Modern_params modern_params_of(const QByteArray& file);
// The writing limits with a fresh salt and nonce from libsodium's generator.
Modern_params fresh_modern_params();

// Argon2id over the password. Throws Err when the memory it asks for cannot be had.
void derive_modern_key(const QString& password, const Modern_params& p, Modern_key& key);

// The header of `p` followed by `plain` enciphered and its tag.
QByteArray seal_modern(const Modern_params& p, const Modern_key& key, const QByteArray& plain);
// The whole file for a text. Throws Err when the text is longer than modern_max_text or the
// compressor fails.
QByteArray encode_modern_container(const QByteArray& text, const Modern_params& p,
                                   const Modern_key& key);
// Checks the header, deciphers and decompresses. False, leaving `text` alone, when the tag
// fails (a wrong key or an altered file look the same); throws Err for a bad header or a
// deciphered content that does not decompress to exactly the length it states.
bool open_modern_container_if(const QByteArray& file, const QString& file_name,
                              const Modern_key& key, QByteArray& text);

void container_modern_clear_translation();
