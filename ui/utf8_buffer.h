#pragma once
// A long text in UTF-8 for the parser: zero-terminated, in memory of its own that is backed by
// large pages where the system allows them. Fresh memory costs a page fault per 4 KB the first
// time it is written; for the tens of megabytes of a large configuration that is a third of a
// second, with large pages a few milliseconds.

#include <QByteArray>
#include <cstddef>

class Utf8_buffer {
public:
    Utf8_buffer() = default;
    Utf8_buffer(const Utf8_buffer&) = delete;
    Utf8_buffer& operator=(const Utf8_buffer&) = delete;
    ~Utf8_buffer();

    // Room for `capacity` bytes and the terminating zero; what was there is dropped. Throws
    // std::bad_alloc when there is no memory or the text would be too long for a QByteArray.
    char* reserve(size_t capacity);
    // The text is the first `size` bytes of the room.
    void finish(size_t size);
    // Frees the room.
    void release();
    const char* text() const { return data; }
    size_t length() const { return size; }
    // The text, not copied: valid while the buffer lives and keeps it.
    QByteArray bytes() const { return QByteArray::fromRawData(data, int(size)); }

private:
    char* data = nullptr;
    size_t size = 0;
    size_t mapped = 0; // the length of its own mapping, or 0 for memory from the heap
};
