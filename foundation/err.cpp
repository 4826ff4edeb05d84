#include "foundation/err.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMutex>
#include <cstdio>
#include <new>

const char* const program_name = "zelmo_upload";
const char* const program_version = ZELMO_VERSION;
const char* const default_log_file_name = "zelmo_upload.log";
const char* const err_what_text = "Error (class Err).";

const char* log_file_name = default_log_file_name;
std::atomic<unsigned char> trace_flags{0};

static QMutex log_mutex;

static Tr errfmt_debug("log", "Неожиданная ошибка №%1.%2.");

const QString& Tr::tr() {
    if (translated.length() == 0)
        translated = QCoreApplication::translate(context, source, nullptr, -1);
    return translated;
}

const QString& Tr_with_hint::caption() {
    if (caption_translated.length() == 0)
        caption_translated = QCoreApplication::translate(context, caption_source, nullptr, -1);
    return caption_translated;
}

const QString& Tr_with_hint::hint() {
    if (hint_translated.length() == 0)
        hint_translated = QCoreApplication::translate(context, hint_source, nullptr, -1);
    return hint_translated;
}

Err::Err(const QString& message) : message(message) { log(message); }

Err::~Err() = default;

const char* Err::what() const noexcept { return err_what_text; }

Debug::Debug(unsigned short code) : Err(debug_errtext(code)) {}

bool is_err(const std::exception& e) {
    const char* w = e.what();
    return w == err_what_text || (w && qstrcmp(w, err_what_text) == 0);
}

QString debug_errtext(unsigned short code) {
    return errfmt_debug.tr().arg(code >> 8).arg(code & 0xFF);
}

// The stamp and text are composed outside the lock; only the write is serialised.
static void write_entry(const QByteArray& entry) {
    QMutexLocker lock(&log_mutex);
    FILE* f = std::fopen(log_file_name, "a");
    if (!f) {
        lock.unlock();
        std::puts("Error in logging.");
        std::fflush(stdout);
        return;
    }
    std::setvbuf(f, nullptr, _IONBF, 0);
    std::fwrite(entry.constData(), 1, size_t(entry.size()), f);
    std::fclose(f);
}

static QString stamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("[d.M.yyyy h:mm:ss.zzz] "));
}

void log(const QString& text) {
    QString entry = stamp();
    entry += text;
    entry += QLatin1String("\n\n");
    write_entry(entry.toUtf8());
}

void log(const char* text) { log(QString::fromUtf8(text)); }

void log_debug(unsigned short code) { log(debug_errtext(code)); }

static const char hex_digits[] = "0123456789ABCDEF";

// Appends "0x{..}" (or "0x{..." with a cut-off) in one buffer obtained without throwing.
static bool format_hex(QByteArray& out, const char* prefix, const unsigned char* p, size_t size) {
    const size_t shown = size > 100000 ? 99999 : size;
    const size_t prefix_len = qstrlen(prefix);
    const size_t total = prefix_len + 3 + shown * 3 + 4;
    try {
        out.reserve(int(total));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (out.capacity() < int(total))
        return false;
    out.append(prefix, int(prefix_len));
    out.append("0x{", 3);
    for (size_t i = 0; i < shown; ++i) {
        if (i)
            out.append(' ');
        out.append(hex_digits[p[i] >> 4]);
        out.append(hex_digits[p[i] & 15]);
    }
    out.append(size > shown ? "...}" : "}");
    return true;
}

static void log_bytes(const QByteArray& text) {
    QString entry = stamp();
    entry += QString::fromUtf8(text);
    entry += QLatin1String("\n\n");
    write_entry(entry.toUtf8());
}

void log_data(const char* prefix, const void* data, size_t size) {
    if (!prefix) {
        log_debug(0x0001);
        return;
    }
    QByteArray out;
    if (size == 0) {
        out = QByteArray(prefix) + "{}";
    } else if (!data) {
        out = QByteArray(prefix) + "NULL";
    } else if (!format_hex(out, prefix, static_cast<const unsigned char*>(data), size)) {
        log("log_data: insufficient memory.");
        return;
    }
    log_bytes(out);
}

void log_utf8(const char* prefix, const void* data, size_t size) {
    if (!prefix) {
        log_debug(0x0003);
        return;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    QByteArray out;
    if (size == 0) {
        out = QByteArray(prefix) + "«»";
    } else if (!data) {
        out = QByteArray(prefix) + "NULL";
    } else if (size <= 300000 && is_printable_utf8(p, size)) {
        const size_t prefix_len = qstrlen(prefix);
        const size_t total = prefix_len + size + 4;
        try {
            out.reserve(int(total));
        } catch (const std::bad_alloc&) {
        }
        if (out.capacity() < int(total)) {
            log("log_utf8: insufficient memory.");
            return;
        }
        out.append(prefix, int(prefix_len));
        out.append("«");
        out.append(reinterpret_cast<const char*>(p), int(size));
        out.append("»");
    } else if (!format_hex(out, prefix, p, size)) {
        log("log_data: insufficient memory.");
        return;
    }
    log_bytes(out);
}

void log_exception(const std::exception& e, const char* where) {
    if (!where)
        where = "Exception handler (NULL).";
    if (is_err(e)) {
        log(where);
        return;
    }
    log(QCoreApplication::translate("log", "%1 Ошибка (std::exception): «%2».")
            .arg(QString::fromUtf8(where), QString::fromUtf8(e.what())));
}

void log_exception(const std::exception& e, const QString& where) {
    const QByteArray w = where.toUtf8();
    log_exception(e, w.constData());
}

void err_clear_translation() { errfmt_debug.clear(); }
