#pragma once
// The LZMA settings the container writes with, for code that must compress exactly as it does
// (the container benchmark's bare-LZMA baseline). Kept out of container.h so that its users do
// not pull in liblzma's header.

#include <lzma.h>

// 16 MiB dictionary whatever the text's size (so the property bytes are always 5D 00 00 00 01),
// lc 3, lp 0, pb 2, normal mode, bt4, nice length 32, depth 32.
lzma_options_lzma container_encoder_options();
