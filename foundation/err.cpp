#include "foundation/err.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMutex>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>

const char* const program_name = "zelmo_upload";
const char* const program_version = ZELMO_VERSION;
const char* const default_log_file_name = "zelmo_upload.log";
const char* const err_what_text = "Error (class Err).";

const char* log_file_name = default_log_file_name;
std::atomic<unsigned char> trace_flags{0};
bool log_failure_to_stderr = false;

// QBasicMutex needs no constructor, so an Err made during static initialisation or at exit
// still finds a usable lock.
static QBasicMutex log_mutex;

static Tr errfmt_debug("log", "Неожиданная ошибка №%1.%2.");
static Tr caption_close("dialog", "Закрыть");
static Tr hint_close("mbox", "Если вы сюда нажмёте, окно с сообщением будет закрыто.\n"
                             "Также это окно можно закрыть клавишами 'Esc', 'Enter', "
                             "'пробел' и 'Alt-F4'.");

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

const QString& close_caption() {
    return caption_close.tr();
}
const QString& close_hint() {
    return hint_close.tr();
}

QString program_title() {
    return QString::fromLatin1(program_name) + QLatin1Char(' ') +
           QString::fromLatin1(program_version);
}

Err::Err(const QString& message) : message(message) {
    log(message);
}

Err::~Err() = default;

const char* Err::what() const noexcept {
    return err_what_text;
}

Debug::Debug(unsigned short code) : Err(debug_errtext(code)) {}

// By type, not by the what() text: a foreign exception that happens to return the same
// text must not be read as an Err.
bool is_err(const std::exception& e) {
    return dynamic_cast<const Err*>(&e) != nullptr;
}

QString debug_errtext(unsigned short code) {
    return errfmt_debug.tr().arg(code >> 8).arg(code & 0xFF);
}

// The entry is complete before the lock is taken; only open-write-close is serialised, so
// entries from several threads never interleave.
// A new log is private: the trace shows PINs. O_NONBLOCK keeps a FIFO without a reader from
// blocking the open.
static void write_entry(const char* data, size_t size) {
    QMutexLocker lock(&log_mutex);
    const int fd = ::open(log_file_name,
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) {
        lock.unlock();
        FILE* out = log_failure_to_stderr ? stderr : stdout;
        std::fputs("Error in logging.\n", out);
        std::fflush(out);
        return;
    }
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data += n;
        size -= size_t(n);
    }
    ::close(fd);
}

static QByteArray stamp() {
    return QDateTime::currentDateTime()
        .toString(QStringLiteral("[d.M.yyyy h:mm:ss.zzz] "))
        .toUtf8();
}

void log(const QString& text) {
    QByteArray entry = stamp();
    entry += text.toUtf8();
    entry += "\n\n";
    write_entry(entry.constData(), size_t(entry.size()));
}

void log(const char* text) {
    log(QString::fromUtf8(text));
}

void log_debug(unsigned short code) {
    log(debug_errtext(code));
}

namespace {

const size_t max_hex_bytes = 100000;
const size_t max_text_bytes = 300000;
const char hex_digits[] = "0123456789ABCDEF";

// One buffer for the whole entry (stamp, prefix, body, blank line), obtained without
// letting bad_alloc escape: the log must not throw at the caller.
bool start_entry(QByteArray& out, const char* prefix, size_t body_size) {
    const QByteArray head = stamp();
    const size_t prefix_len = std::strlen(prefix);
    const size_t total = size_t(head.size()) + prefix_len + body_size + 2;
    try {
        out.reserve(int(total));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (size_t(out.capacity()) < total)
        return false;
    out.append(head);
    out.append(prefix, int(prefix_len));
    return true;
}

void finish_entry(QByteArray& out) {
    out.append("\n\n", 2);
    write_entry(out.constData(), size_t(out.size()));
}

// "0x{01 AB}", or the first 99 999 bytes and "...}" when there are more than 100 000.
void log_hex(const char* prefix, const unsigned char* p, size_t size) {
    const size_t shown = size > max_hex_bytes ? max_hex_bytes - 1 : size;
    QByteArray out;
    if (!start_entry(out, prefix, 3 + shown * 3 + 3)) {
        log("log_data: insufficient memory.");
        return;
    }
    out.append("0x{", 3);
    for (size_t i = 0; i < shown; ++i) {
        if (i)
            out.append(' ');
        out.append(hex_digits[p[i] >> 4]);
        out.append(hex_digits[p[i] & 15]);
    }
    out.append(size > shown ? "...}" : "}");
    finish_entry(out);
}

void log_short(const char* prefix, const char* body) {
    QByteArray out;
    if (!start_entry(out, prefix, std::strlen(body))) {
        log("log_data: insufficient memory.");
        return;
    }
    out.append(body);
    finish_entry(out);
}

} // namespace

void log_data(const char* prefix, const void* data, size_t size) {
    if (!prefix) {
        log_debug(0x0001);
        return;
    }
    if (size == 0)
        log_short(prefix, "{}");
    else if (!data)
        log_short(prefix, "NULL");
    else
        log_hex(prefix, static_cast<const unsigned char*>(data), size);
}

void log_utf8(const char* prefix, const void* data, size_t size) {
    if (!prefix) {
        log_debug(0x0003);
        return;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    if (size == 0) {
        log_short(prefix, "«»");
    } else if (!p) {
        log_short(prefix, "NULL");
    } else if (size <= max_text_bytes && is_printable_utf8(p, size)) {
        // The bytes go to the file as they are: no round trip through QString, which
        // would replace the overlong forms and surrogates that the test lets through.
        QByteArray out;
        if (!start_entry(out, prefix, size + 4)) {
            log("log_utf8: insufficient memory.");
            return;
        }
        out.append("«");
        out.append(reinterpret_cast<const char*>(p), int(size));
        out.append("»");
        finish_entry(out);
    } else {
        log_hex(prefix, p, size);
    }
}

void log_exception(const std::exception& e) {
    if (is_err(e))
        return;
    log(QCoreApplication::translate("log", "Ошибка (std::exception): «%1».")
            .arg(QString::fromUtf8(e.what())));
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

void err_clear_translation() {
    errfmt_debug.clear();
    caption_close.clear();
    hint_close.clear();
}
