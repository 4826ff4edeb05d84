#pragma once
// The process-wide random state: stirred with time by many handlers, drawn for nonces.

#include <cstdint>

// TEA encipherment; the high half of x is the first block word, key words used k[3]..k[0].
uint64_t tea(uint64_t x, const uint32_t* k);

void update_random_number_generator(unsigned short salt);
uint64_t draw_random_number();

// For tests: the raw state (relaxed atomic; a lost update between threads is harmless).
uint64_t random_state();
