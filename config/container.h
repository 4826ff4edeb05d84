#pragma once
// The configuration file in its two forms.
//
// Form A: EF BB BF and the configuration text in UTF-8.
// Form B, the encrypted container (numbers little-endian):
//   0  2  magic 97 A1
//   2  8  nonce
//   10 8  MAC over bytes 18..end (TEA CBC-MAC)
//   18 3  length of the text
//   21 5  LZMA properties (lc/lp/pb byte, dictionary size)
//   26 C  raw LZMA stream of the text with end mark
// Bytes 10..end are enciphered with a TEA output-feedback keystream started from the nonce.
//
// Everything here runs without widgets, so the batch runner can read and write the files
// too; the dialogs and the retry loop on a wrong password live in ui/config_files_gui.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

constexpr int container_header_size = 26;
// The length field has 24 bits.
constexpr qint64 container_max_text = 16777215;

struct Tea_key {
    uint32_t k[4];
};

// CBC-MAC: whole 8-byte blocks, then a 1..7 byte tail as a zero-extended number.
uint64_t tea_cert(const unsigned char* data, size_t n, const uint32_t* k, uint64_t iv);
// Output-feedback keystream XORed over the data in place; the same call deciphers.
void tea_mask(unsigned char* data, size_t n, const uint32_t* k, uint64_t iv);
Tea_key password_to_key(const QString& password);

// True when the bytes start with the container's magic (and so must be opened with a password).
bool is_container(const QByteArray& file);
// Throws the "too small" error for a container shorter than its header.
void check_container_size(const QByteArray& file, const QString& file_name);

// Form A bytes: the byte-order mark and the text.
QByteArray encode_plain(const QByteArray& text);
// Form B bytes. Throws Err when the text is too long for the length field or the
// compressor fails; the password must not be empty (an empty one means form A).
QByteArray encode_container(const QByteArray& text, const QString& password, uint64_t nonce);
// A fresh nonce: stirs the random state first.
uint64_t draw_container_nonce();

// Deciphers and decompresses a container. Returns false, leaving `text` alone, when the
// password does not fit (the MAC differs); throws Err for a file too small or a broken
// LZMA stream, so the caller never gets a partial text.
bool decode_container_if(const QByteArray& file, const QString& file_name, const QString& password,
                         QByteArray& text);
// Form A on reading: anything that is valid UTF-8, with or without the byte-order mark.
void check_plain_config(const QByteArray& file, const QString& file_name);

// Writes form A (empty password) or form B through a save file: on any failure the
// target is left as it was. Throws Err with the message.
void write_config_file(const QString& file_name, const QByteArray& text, const QString& password);
// Reads a configuration file into UTF-8 text for the parser, opening a container with
// `password`. Returns false only for a container whose password does not fit.
bool read_config_file_if(const QString& file_name, const QString& password, QByteArray& text);

void container_clear_translation();
