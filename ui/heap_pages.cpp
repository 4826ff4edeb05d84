#include "ui/heap_pages.h"

#include <QByteArray>
#include <QFile>
#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>

// Below this the faults cost less than reading the map.
static constexpr size_t bring_in_from = size_t(4) << 20;

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
    for (QByteArray line = maps.readLine(); !line.isEmpty(); line = maps.readLine()) {
        if (!line.trimmed().endsWith("[heap]"))
            continue;
        const int dash = line.indexOf('-');
        const int space = line.indexOf(' ', dash);
        bool ok_from = false, ok_to = false;
        const uintptr_t from = line.left(dash).toULongLong(&ok_from, 16);
        const uintptr_t to = line.mid(dash + 1, space - dash - 1).toULongLong(&ok_to, 16);
        // Only advice: a kernel without it faults the pages in as before.
        if (ok_from && ok_to && to > from)
            madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
    }
#else
    (void)text_bytes;
#endif
}
