#include "ui/utf8_buffer.h"

#include <climits>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

// The large pages of x86-64 and most other 64-bit systems; a smaller text keeps small pages.
static constexpr size_t large_page = size_t(2) << 20;

Utf8_buffer::~Utf8_buffer() {
    std::free(data);
}

void Utf8_buffer::release() {
    std::free(data);
    data = nullptr;
    size = 0;
}

char* Utf8_buffer::reserve(size_t capacity) {
    release();
    if (capacity >= size_t(INT_MAX))
        throw std::bad_alloc();
    const size_t bytes = capacity + 1;
    void* p = nullptr;
    if (bytes < large_page) {
        p = std::malloc(bytes);
    } else if (posix_memalign(&p, large_page, bytes) == 0) {
        // Only advice: refused, the pages are small and merely slower to fault in.
        madvise(p, bytes / large_page * large_page, MADV_HUGEPAGE);
    } else {
        p = nullptr;
    }
    if (!p)
        throw std::bad_alloc();
    data = static_cast<char*>(p);
    data[0] = 0;
    return data;
}

void Utf8_buffer::finish(size_t n) {
    size = n;
    data[n] = 0;
}
