#include "engine/params.h"

#include "foundation/err.h"

#include <cstring>
#include <limits>

static Tr errfmt_size("proto", "Значение параметра №%1 имеет неправильный размер: %2 байтов "
                               "(должно быть %3 байтов).");
static Tr errfmt_too_long("proto", "Значение параметра №%1 слишком длинное: %2 байтов (должно "
                                   "быть не более %3 байтов).");
static Tr name_main_firmware("proto", "Версия основной прошивки");
static Tr name_modem_firmware("proto", "Версия прошивки модема");
static Tr name_gnss_firmware("proto", "Версия прошивки навигационного приёмника");

Param::~Param() = default;

uint64_t Param::alignment() const {
    return 1;
}

bool Param::take(unsigned char* dst, const unsigned char* src, unsigned char len,
                 QString& err) const {
    if (len != size) {
        err = errfmt_size.tr().arg(id).arg(unsigned(len)).arg(size);
        return false;
    }
    std::memcpy(dst, src, size);
    return true;
}

bool Param_cp1251::take(unsigned char* dst, const unsigned char* src, unsigned char len,
                        QString& err) const {
    const void* zero = std::memchr(src, 0, len);
    const unsigned n = zero ? unsigned(static_cast<const unsigned char*>(zero) - src) : len;
    if (n >= 255) {
        err = errfmt_too_long.tr().arg(id).arg(unsigned(len)).arg(255);
        return false;
    }
    dst[0] = static_cast<unsigned char>(n);
    std::memcpy(dst + 1, src, n);
    return true;
}

// Windows-1251 from 0x80 on; 0x98 is not defined by the code page.
static const char16_t cp1251_high[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x25AF, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

char16_t cp1251_char(unsigned char byte) {
    if (byte < 0x80)
        return byte;
    if (byte >= 0xC0)
        return char16_t(0x0410 + (byte - 0xC0));
    return cp1251_high[byte - 0x80];
}

// The shown form of one stored byte: 1 to 4 characters into out; returns how many.
static int show_byte(unsigned char c, char16_t out[4]) {
    static const char hex[] = "0123456789ABCDEF";
    static const char control_letters[] = "abtnvfr"; // 0x07 to 0x0D
    if (c == '\\') {
        out[0] = out[1] = u'\\';
        return 2;
    }
    if (c >= 0x20 && c < 0x7F) {
        out[0] = c;
        return 1;
    }
    if (c >= 0x80) {
        out[0] = cp1251_char(c);
        return 1;
    }
    out[0] = u'\\';
    if (c >= 0x07 && c <= 0x0D) {
        out[1] = char16_t(control_letters[c - 0x07]);
        return 2;
    }
    out[1] = u'x';
    out[2] = char16_t(hex[c >> 4]);
    out[3] = char16_t(hex[c & 15]);
    return 4;
}

// Room for the longest form of every byte first, then cut to what was written.
void Param_cp1251::append_shown(QString& out, const unsigned char* value) const {
    const unsigned n = value[0];
    const int at = out.size();
    out.resize(at + int(n) * 4);
    char16_t* const start = reinterpret_cast<char16_t*>(out.data()) + at;
    char16_t* q = start;
    for (unsigned i = 1; i <= n; ++i)
        q += show_byte(value[i], q);
    out.resize(at + int(q - start));
}

bool cp1251_shows(const unsigned char* value, const QString& text) {
    const unsigned n = value[0];
    const QChar* t = text.constData();
    const int size = text.size();
    int at = 0;
    char16_t shown[4];
    for (unsigned i = 1; i <= n; ++i) {
        const int k = show_byte(value[i], shown);
        if (at + k > size)
            return false;
        for (int j = 0; j < k; ++j)
            if (t[at + j].unicode() != shown[j])
                return false;
        at += k;
    }
    return at == size;
}

void size_values(QByteArray& values, const Params& params) {
    const int old_size = values.size();
    const int total = int(params.total_size);
    if (old_size != total) {
        values.resize(total);
        if (total > old_size)
            std::memset(values.data() + old_size, 0, size_t(total - old_size));
    }
}

unsigned Param_cp1251::measure() const {
    return width;
}

Params::Params(uint64_t count) : count(count), items(new Param*[count]()) {}

Params::~Params() {
    for (uint64_t i = 0; i < count; ++i)
        delete items[i];
    delete[] items;
}

bool Params::lay_out() {
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    uint64_t offset = 0;
    for (uint64_t i = 0; i < count; ++i) {
        Param* p = items[i];
        uint64_t a = p->alignment();
        if (a == 0)
            a = 1;
        const uint64_t rest = offset % a;
        if (rest != 0) {
            if (offset > max - (a - rest))
                return false;
            offset += a - rest;
        }
        p->offset = offset;
        if (p->size > max - offset)
            return false;
        offset += p->size;
    }
    total_size = offset;
    return true;
}

// The configuration page asks for the version parameters while it is built, so their
// failure is numbered among the page's codes (source 3).
constexpr unsigned short code_version_params = 777;

std::unique_ptr<Params> make_version_params() {
    std::unique_ptr<Params> params(new Params(3));
    params->items[0] = new Param_cp1251(name_main_firmware.tr(), 2, 256, 50);
    params->items[1] = new Param_cp1251(name_modem_firmware.tr(), 3, 256, 36);
    params->items[2] = new Param_cp1251(name_gnss_firmware.tr(), 4, 256, 50);
    if (!params->lay_out())
        throw Debug(code_version_params);
    return params;
}

void params_clear_translation() {
    errfmt_size.clear();
    errfmt_too_long.clear();
    name_main_firmware.clear();
    name_modem_firmware.clear();
    name_gnss_firmware.clear();
}
