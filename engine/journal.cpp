#include "engine/journal.h"

#include "engine/report.h"
#include "foundation/err.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

static Tr errfmt_journal_line("batch", "Журнал «%1» повреждён: строка %2 не является записью "
                                       "журнала.");
static Tr errfmt_journal_other_work(
    "batch", "Журнал «%1» записан для другой работы (%2), чем запускаемая (%3); продолжить по "
             "нему нельзя.");
static Tr errfmt_journal_write("batch", "Не удалось записать журнал «%1»: %2");
static Tr errfmt_work_version("batch", "%1, ожидаемая версия %2");

void journal_clear_translation() {
    errfmt_journal_line.clear();
    errfmt_journal_other_work.clear();
    errfmt_journal_write.clear();
    errfmt_work_version.clear();
}

QString journal_device_key(uint64_t imei, const QString& address, unsigned port) {
    return QStringLiteral("%1 %2:%3").arg(imei, 15, 10, QLatin1Char('0')).arg(address).arg(port);
}

static QString describe(const Journal_work& w) {
    QString s = w.action;
    if (!w.devfname.isEmpty())
        s += QStringLiteral(" %1").arg(w.devfname);
    if (!w.crc32.isEmpty())
        s += QStringLiteral(", CRC-32 %1").arg(w.crc32);
    if (!w.version.isEmpty())
        s = errfmt_work_version.tr().arg(s, w.version);
    return s;
}

static Journal_work work_of(const QJsonObject& o) {
    Journal_work w{o.value(QLatin1String("action")).toString(),
                   o.value(QLatin1String("devfname")).toString(),
                   o.value(QLatin1String("crc32")).toString()};
    w.version = o.value(QLatin1String("version")).toString();
    return w;
}

QSet<QString> load_journal(const QString& path, const Journal_work& work, bool verified_only) {
    // A regular file of at most 64 MiB, as every other input.
    QByteArray all;
    load_file(path, all);
    QSet<QString> succeeded;
    bool any_head = false, same_work = false, found = false;
    Journal_work first;
    const QList<QByteArray> lines = all.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.isEmpty())
            continue;
        QJsonParseError pe;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &pe);
        if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
            // A run killed while writing leaves its last line torn, and a resumed run goes
            // on behind it with a head of its own; that line is lost.
            int next = i + 1;
            while (next < lines.size() && lines[next].isEmpty())
                ++next;
            if (next == lines.size() || lines[next].startsWith("{\"journal\":"))
                continue;
            throw Err(errfmt_journal_line.tr().arg(path).arg(i + 1));
        }
        const QJsonObject o = doc.object();
        if (o.contains(QLatin1String("journal"))) {
            const Journal_work w = work_of(o);
            if (!any_head)
                first = w;
            any_head = true;
            same_work = w.action == work.action && w.devfname == work.devfname &&
                        w.crc32 == work.crc32 && w.version == work.version;
            found = found || same_work;
            continue;
        }
        if (!any_head || !o.contains(QLatin1String("imei")))
            throw Err(errfmt_journal_line.tr().arg(path).arg(i + 1));
        if (!same_work)
            continue;
        const QString key =
            journal_device_key(o.value(QLatin1String("imei")).toString().toULongLong(),
                               o.value(QLatin1String("address")).toString(),
                               unsigned(o.value(QLatin1String("port")).toInt()));
        const bool ok = o.value(QLatin1String("result")).toString() == QLatin1String("ok");
        if (!verified_only) {
            if (ok)
                succeeded.insert(key);
            continue;
        }
        // The device's last line decides: an upload whose version check failed, or that
        // the check never reached, is to be served again.
        if (ok && (o.value(QLatin1String("skipped")).toBool() ||
                   !o.value(QLatin1String("version_after")).toString().isEmpty()))
            succeeded.insert(key);
        else
            succeeded.remove(key);
    }
    if (!any_head)
        throw Err(errfmt_journal_line.tr().arg(path).arg(1));
    // Sections of other work may sit in the same file; one of this work must be there.
    if (!found)
        throw Err(errfmt_journal_other_work.tr().arg(path, describe(first), describe(work)));
    return succeeded;
}

Journal_work journal_first_work(const QString& path) {
    QByteArray all;
    load_file(path, all);
    const int end = all.indexOf('\n');
    const QJsonObject o = QJsonDocument::fromJson(end < 0 ? all : all.left(end)).object();
    if (!o.contains(QLatin1String("journal")))
        throw Err(errfmt_journal_line.tr().arg(path).arg(1));
    return work_of(o);
}

Journal_writer::~Journal_writer() {
    if (fd >= 0)
        ::close(fd);
}

void Journal_writer::open(const QString& path, bool append, const Journal_work& work,
                          int64_t now_ms) {
    file_path = path;
    const QByteArray name = QFile::encodeName(path);
    // Read access too when appending: the last byte tells whether a line was left torn.
    const int flags = O_CREAT | O_CLOEXEC | (append ? O_RDWR | O_APPEND : O_WRONLY | O_TRUNC);
    fd = ::open(name.constData(), flags, 0644);
    if (fd < 0)
        throw Err(errfmt_journal_write.tr().arg(path, QString::fromLocal8Bit(strerror(errno))));
    QByteArray head;
    if (append) {
        // Behind a torn last line the head must still start a line of its own.
        const off_t size = ::lseek(fd, 0, SEEK_END);
        char last = '\n';
        if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n')
            head += '\n';
    }
    head += "{\"journal\":1,\"action\":";
    append_json_string(head, work.action);
    head += ",\"devfname\":";
    append_json_string(head, work.devfname);
    head += ",\"crc32\":";
    append_json_string(head, work.crc32);
    if (!work.version.isEmpty()) {
        head += ",\"version\":";
        append_json_string(head, work.version);
    }
    head += ",\"started\":\"";
    append_iso_time(head, now_ms);
    head += "\"}\n";
    pending = head;
    QString error;
    if (!flush(true, error))
        throw Err(error);
}

bool Journal_writer::write_all(const char* data, int64_t n, QString& error) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, size_t(n));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            error =
                errfmt_journal_write.tr().arg(file_path, QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        data += w;
        n -= w;
    }
    return true;
}

bool Journal_writer::flush(bool sync, QString& error) {
    if (fd < 0)
        return true;
    if (!pending.isEmpty()) {
        if (!write_all(pending.constData(), pending.size(), error))
            return false;
        pending.clear();
        dirty = true;
    }
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    if (dirty && (sync || now - synced_ms >= 1000)) {
        // Through a power loss too: what was written a second ago is on the disk.
        if (::fdatasync(fd) != 0 && errno != EINVAL) {
            error =
                errfmt_journal_write.tr().arg(file_path, QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        synced_ms = now;
        dirty = false;
    }
    return true;
}

bool Journal_writer::close(QString& error) {
    if (fd < 0)
        return true;
    const bool ok = flush(true, error);
    ::close(fd);
    fd = -1;
    return ok;
}
