#pragma once
// The configuration file in its three forms.
//
// Form A: EF BB BF and the configuration text in UTF-8.
// Form C, the modern encrypted container with magic 97 A2: see container_modern.h. Written by
// default; only this and later versions read it.
// Form B, the older encrypted container, still read and written on request for older
// installations (numbers little-endian):
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
// A wrong password and an altered file look the same in both encrypted forms: the MAC or the
// tag fails.

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

// The encrypted form written when the user asks for one: modern (C) unless the file must be
// read by older versions of the program (legacy, B).
enum class Container_form { modern, legacy };

// True when the bytes start with the magic of either encrypted form (and so must be opened
// with a password).
bool is_container(const QByteArray& file);
// Throws for a container whose header cannot be used: too small, or, in form C, another
// format version or key-derivation parameters out of bounds. Called before any password is
// asked.
void check_container_header(const QByteArray& file, const QString& file_name);

// Form A bytes: the byte-order mark and the text.
QByteArray encode_plain(const QByteArray& text);
// Form B bytes. Throws Err when the text is too long for the length field or the
// compressor fails; the password must not be empty (an empty one means form A).
QByteArray encode_container(const QByteArray& text, const QString& password, uint64_t nonce);
// A fresh nonce: stirs the random state first.
uint64_t draw_container_nonce();

// Deciphers and decompresses a container of either form. Returns false, leaving `text`
// alone, when the password does not fit or the file was altered (the MAC or the tag
// fails); throws Err for a bad header or a broken LZMA stream, so the caller never gets a
// partial text.
bool decode_container_if(const QByteArray& file, const QString& file_name, const QString& password,
                         QByteArray& text);
// Form A on reading: anything that is valid UTF-8, with or without the byte-order mark.
void check_plain_config(const QByteArray& file, const QString& file_name);

// Writes form A (empty password) or the encrypted `form` through a save file: on any failure
// the target is left as it was. Throws Err with the message.
void write_config_file(const QString& file_name, const QByteArray& text, const QString& password,
                       Container_form form = Container_form::modern);
// Reads a configuration file into UTF-8 text for the parser, opening a container with
// `password`. Returns false only for a container whose password does not fit.
bool read_config_file_if(const QString& file_name, const QString& password, QByteArray& text);

void container_clear_translation();
