#pragma once
// Bytes that go unchanged to many connections (the uploaded file) are kept in a memory file:
// each socket then takes the file's pages from the kernel instead of a copy of our memory, so
// a thousand uploads of one file cost a thousand references, not a thousand copies.

#include <QByteArray>
#include <sys/types.h>

namespace send_region {

// A buffer over a memory file holding a copy of `bytes`, which stays the shared region until
// release(); when the system cannot give one, `bytes` itself, sent by copying as before.
QByteArray share(const QByteArray& bytes);
// Ends the region; every buffer share() gave must be gone by then.
void release();
// The memory file and offset of `count` bytes at `data`, when they all lie in the region.
bool find(const unsigned char* data, qint64 count, int& fd, off_t& offset);

} // namespace send_region
