// The record of what the simulator received: one line per received frame, finished
// upload or connection event, for tests to check (format in sim/README.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

class Record {
public:
    Record() = default;
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record();

    bool open(const std::string& path, std::string& error);
    bool active() const { return file != nullptr; }
    // printf-style; a line break is appended.
    void line(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void flush();

private:
    FILE* file = nullptr;
    bool dirty = false;
};

// Bytes as one record word: 0x21..0x7E are kept except the backslash; everything
// else becomes \xHH; an empty value is written as "". `out` needs 4 * n + 3 bytes.
const char* record_word(char* out, const uint8_t* p, size_t n);

} // namespace sim
