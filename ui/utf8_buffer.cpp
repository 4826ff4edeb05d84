#include "ui/utf8_buffer.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

// The large pages of x86-64 and most other 64-bit systems; a smaller text keeps small pages.
static constexpr size_t large_page = size_t(2) << 20;

Utf8_buffer::~Utf8_buffer() {
    release();
}

void Utf8_buffer::release() {
    if (mapped)
        munmap(data, mapped);
    else
        std::free(data);
    data = nullptr;
    size = 0;
    mapped = 0;
}

// A mapping of its own rather than the heap: the heap would hand out its free pages, which
// may be returned to the system and fault back in 4 KB at a time, and whose advice would split
// the heap. Aligned to a large page, so that every large page of it can be one.
static void* map_large(size_t bytes) {
    const size_t span = bytes + large_page;
    void* const p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = (start + large_page - 1) & ~(large_page - 1);
    if (aligned != start)
        munmap(p, aligned - start);
    const uintptr_t tail = start + span - (aligned + bytes);
    if (tail)
        munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    // Only advice: refused, the pages are small and merely slower to fault in.
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

char* Utf8_buffer::reserve(size_t capacity) {
    release();
    if (capacity >= size_t(INT_MAX))
        throw std::bad_alloc();
    size_t bytes = capacity + 1;
    void* p;
    if (bytes < large_page) {
        p = std::malloc(bytes);
    } else {
        bytes = (bytes + large_page - 1) & ~(large_page - 1);
        p = map_large(bytes);
        mapped = bytes;
    }
    if (!p) {
        mapped = 0;
        throw std::bad_alloc();
    }
    data = static_cast<char*>(p);
    data[0] = 0;
    return data;
}

void Utf8_buffer::finish(size_t n) {
    size = n;
    data[n] = 0;
}
