// Whole-file reading with exact messages, and the two byte-level UTF-8 tests.
#include "foundation/err.h"
#include "foundation/file_kinds.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>

// Every message takes its arguments in one arg() call, so a "%2" inside a file name is
// never taken for a placeholder.
static QString file_tr(const char* source) {
    return QCoreApplication::translate("file", source, nullptr, -1);
}

static QString not_regular_text(const QString& name) {
    return file_tr("Файл «%1» не является обычным (random-access) файлом - не умею работать с "
                   "такими файлами.")
        .arg(name);
}

bool load_file_if(const QString& name, QByteArray& out) {
    out.clear();
    // Asked before the open, which would wait for a FIFO's writer for ever.
    if (file_kind(name) == File_kind::other)
        throw Err(not_regular_text(name));
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (f.error() == QFileDevice::OpenError && !QFile::exists(name))
            return false;
        throw Err(file_tr("Ошибка при попытке открыть файл «%1»: error=%2, errorString=«%3».")
                      .arg(name, QString::number(int(f.error())), f.errorString()));
    }
    if (f.isSequential())
        throw Err(not_regular_text(name));
    const qint64 size = f.size();
    if (size < 0)
        throw Err(
            file_tr("Ошибка при попытке определить размер файла «%1»: error=%2, errorString=«%3».")
                .arg(name, QString::number(int(f.error())), f.errorString()));
    if (size == 0)
        return true;
    if (size > max_file_size)
        throw Err(file_tr("Файл «%1» слишком большой (должен быть не длиннее %2 байтов).")
                      .arg(name, QString::number(max_file_size)));
    out.resize(int(size));
    const qint64 got = f.read(out.data(), size);
    if (got != size) {
        out.clear();
        throw Err(file_tr("Ошибка при чтении содержимого файла «%1»: файл имеет размер %2 "
                          "байтов, но прочиталось %3 байтов, error=%4, errorString=«%5».")
                      .arg(name, QString::number(size), QString::number(got),
                           QString::number(int(f.error())), f.errorString()));
    }
    if (!f.atEnd()) {
        out.clear();
        throw Err(file_tr("Не удалось прочитать до конца содержимое файла «%1».").arg(name));
    }
    return true;
}

void load_file(const QString& name, QByteArray& out) {
    if (!load_file_if(name, out))
        throw Err(file_tr("Не найден файл «%1».").arg(name));
}

static void refuse_zero_bytes(const QString& name, QByteArray& out) {
    if (std::memchr(out.constData(), 0, size_t(out.size()))) {
        out.clear();
        throw Err(
            file_tr("Файл «%1» не может быть текстовым: он содержит нулевые байты.").arg(name));
    }
}

bool load_text_file_if(const QString& name, QByteArray& out) {
    if (!load_file_if(name, out))
        return false;
    refuse_zero_bytes(name, out);
    return true;
}

void load_text_file(const QString& name, QByteArray& out) {
    load_file(name, out);
    refuse_zero_bytes(name, out);
}

// Walks one sequence starting at p[i]; returns its length, or 0 when the structure is
// broken (stray continuation, lead F8..FF, missing or wrong continuation, cut by the end,
// or a NUL). The decoded value goes to cp; overlong forms are not refused here.
static size_t utf8_sequence(const unsigned char* p, size_t size, size_t i, uint32_t& cp) {
    const unsigned char b = p[i];
    size_t len;
    if (b == 0)
        return 0;
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    if (b < 0xC0 || b > 0xF7)
        return 0;
    if (b < 0xE0) {
        len = 2;
        cp = b & 0x1F;
    } else if (b < 0xF0) {
        len = 3;
        cp = b & 0x0F;
    } else {
        len = 4;
        cp = b & 0x07;
    }
    if (size - i < len)
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const unsigned char c = p[i + k];
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    return len;
}

bool is_utf8(const unsigned char* data, size_t size) {
    uint32_t cp;
    for (size_t i = 0; i < size;) {
        // Runs of ASCII, most of a configuration, eight bytes at a time.
        if (size - i >= 8) {
            uint64_t word;
            std::memcpy(&word, data + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const size_t len = utf8_sequence(data, size, i, cp);
        if (!len)
            return false;
        i += len;
    }
    return true;
}

// Characters that would make a quoted log text ambiguous: controls (line breaks and tabs
// too), the quotes themselves, and the invisible separators and byte-order mark.
static bool printable(uint32_t cp) {
    if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F))
        return false;
    return cp != 0xAB && cp != 0xBB && cp != 0x2028 && cp != 0x2029 && cp != 0xFEFF;
}

bool is_printable_utf8(const unsigned char* data, size_t size) {
    uint32_t cp;
    for (size_t i = 0; i < size;) {
        const size_t len = utf8_sequence(data, size, i, cp);
        if (!len || !printable(cp))
            return false;
        i += len;
    }
    return true;
}

void files_clear_translation() {}
