#pragma once
// The LZMA settings and coders that both encrypted forms share, for code that must compress
// exactly as the container does (the container benchmark's bare-LZMA baseline). Kept out of
// container.h so that its users do not pull in liblzma's header.

#include <QByteArray>
#include <cstddef>
#include <lzma.h>

// 16 MiB dictionary whatever the text's size (so the property bytes are always 5D 00 00 00 01),
// lc 3, lp 0, pb 2, normal mode, bt4, nice length 32, depth 32.
lzma_options_lzma container_encoder_options();

// Compresses the text into out[0, limit) with those settings, end mark written, and its 5
// property bytes into props; returns the stream's size. Throws Err when the coder fails and
// Debug 0x1A04 when the stream does not fit.
size_t compress_container_stream(const QByteArray& text, unsigned char* props, unsigned char* out,
                                 size_t limit);
// Decompresses a raw stream with its 5 property bytes. The text must be exactly `length`
// bytes, end with the end mark, and the stream must fill `in` to its end; otherwise throws Err
// and leaves `text` alone.
void decompress_container_stream(const unsigned char* props, const unsigned char* in,
                                 size_t in_size, qint64 length, QByteArray& text);

// The error for a text longer than an encrypted form holds.
[[noreturn]] void throw_text_too_long(qint64 size, qint64 limit);
