#include "protocol/send_region.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Set before a run starts and released after it ends, so the worker reads it without locks.
int region_fd = -1;
const unsigned char* region_base = nullptr;
size_t region_size = 0;

bool write_all(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

} // namespace

namespace send_region {

QByteArray share(const QByteArray& bytes) {
    release();
    if (bytes.isEmpty())
        return bytes;
    const int fd = memfd_create("zelmo_upload_file", MFD_CLOEXEC);
    if (fd < 0)
        return bytes;
    const size_t size = size_t(bytes.size());
    void* map = MAP_FAILED;
    if (write_all(fd, bytes.constData(), size))
        map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        ::close(fd);
        return bytes;
    }
    region_fd = fd;
    region_base = static_cast<const unsigned char*>(map);
    region_size = size;
    return QByteArray::fromRawData(static_cast<const char*>(map), int(size));
}

void release() {
    if (region_fd < 0)
        return;
    munmap(const_cast<unsigned char*>(region_base), region_size);
    ::close(region_fd);
    region_fd = -1;
    region_base = nullptr;
    region_size = 0;
}

bool find(const unsigned char* data, qint64 count, int& fd, off_t& offset) {
    if (region_fd < 0 || data < region_base || count < 0 ||
        size_t(data - region_base) + size_t(count) > region_size)
        return false;
    fd = region_fd;
    offset = off_t(data - region_base);
    return true;
}

} // namespace send_region
