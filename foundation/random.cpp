#include "foundation/random.h"

#include <QDateTime>
#include <atomic>

// Read and written without a lock from the GUI and worker threads: a lost update only
// changes which unpredictable value the state holds.
static std::atomic<uint64_t> state{0x1D8F3A6C52B09E47ULL};

static const uint32_t kr[4] = {0x81D46E2A, 0x3C9B07F5, 0xD5276A1C, 0x6F0E98B3};

uint64_t tea(uint64_t x, const uint32_t* k) {
    uint32_t h = uint32_t(x >> 32);
    uint32_t l = uint32_t(x);
    uint32_t sum = 0;
    for (int i = 0; i < 32; ++i) {
        sum += 0x9E3779B9u;
        h += ((l << 4) + k[3]) ^ (l + sum) ^ ((l >> 5) + k[2]);
        l += ((h << 4) + k[1]) ^ (h + sum) ^ ((h >> 5) + k[0]);
    }
    return (uint64_t(h) << 32) | l;
}

void update_random_number_generator(unsigned short salt) {
    const uint64_t t = uint64_t(QDateTime::currentMSecsSinceEpoch());
    const uint64_t s = state.load(std::memory_order_relaxed);
    state.store(tea(t ^ s, kr) ^ salt, std::memory_order_relaxed);
}

uint64_t draw_random_number() {
    const uint64_t s = state.load(std::memory_order_relaxed);
    const uint64_t g = tea(s, kr);
    state.store(s ^ g, std::memory_order_relaxed);
    return g;
}

uint64_t random_state() {
    return state.load(std::memory_order_relaxed);
}
