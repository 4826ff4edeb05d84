#include "ui/heap_pages.h"

#include <QByteArray>
#include <QFile>
#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>
#include <vector>

// Below this the faults cost less than reading the map.
static constexpr size_t bring_in_from = size_t(4) << 20;
static constexpr size_t max_heap_per_text_byte = 8;

void give_back_free_heap() {
    malloc_trim(0);
}

void bring_in_heap(size_t text_bytes) {
#ifdef MADV_POPULATE_WRITE
    if (text_bytes < bring_in_from)
        return;
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    // The heap may be several mappings when part of it was advised otherwise.
    struct Span {
        uintptr_t from, to;
    };
    std::vector<Span> heap;
    size_t size = 0;
    for (QByteArray line = maps.readLine(); !line.isEmpty(); line = maps.readLine()) {
        if (!line.trimmed().endsWith("[heap]"))
            continue;
        const int dash = line.indexOf('-');
        const int space = line.indexOf(' ', dash);
        bool ok_from = false, ok_to = false;
        const uintptr_t from = line.left(dash).toULongLong(&ok_from, 16);
        const uintptr_t to = line.mid(dash + 1, space - dash - 1).toULongLong(&ok_to, 16);
        if (ok_from && ok_to && to > from) {
            heap.push_back({from, to});
            size += to - from;
        }
    }
    // A configuration takes about five times its text. A heap far larger than that was grown by
    // something else, and bringing all of it in would hold memory the parse never uses.
    if (size > max_heap_per_text_byte * text_bytes)
        return;
    // Only advice: a kernel without it faults the pages in as before.
    for (const Span& s : heap)
        madvise(reinterpret_cast<void*>(s.from), s.to - s.from, MADV_POPULATE_WRITE);
#else
    (void)text_bytes;
#endif
}
