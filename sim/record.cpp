#include "sim/record.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace sim {

Record::~Record() {
    if (file)
        fclose(file);
}

bool Record::open(const std::string& path, std::string& error) {
    file = fopen(path.c_str(), "w");
    if (!file) {
        error = "cannot write the record " + path + ": " + strerror(errno);
        return false;
    }
    setvbuf(file, nullptr, _IOFBF, 1 << 16);
    return true;
}

void Record::line(const char* fmt, ...) {
    if (!file)
        return;
    va_list ap;
    va_start(ap, fmt);
    vfprintf(file, fmt, ap);
    va_end(ap);
    fputc('\n', file);
    dirty = true;
}

void Record::flush() {
    if (file && dirty) {
        fflush(file);
        dirty = false;
    }
}

const char* record_word(char* out, const uint8_t* p, size_t n) {
    static const char hex[] = "0123456789abcdef";
    char* o = out;
    if (n == 0) {
        *o++ = '"';
        *o++ = '"';
    }
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = p[i];
        if (c > 0x20 && c < 0x7F && c != '\\') {
            *o++ = char(c);
        } else {
            *o++ = '\\';
            *o++ = 'x';
            *o++ = hex[c >> 4];
            *o++ = hex[c & 15];
        }
    }
    *o = 0;
    return out;
}

} // namespace sim
