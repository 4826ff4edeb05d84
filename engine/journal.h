#pragma once
// The journal of a run (JSON Lines): a head naming the work, then one line per finished
// device attempt, written so that a run killed at any point leaves every result up to
// about a second before. A later run resumes from it by skipping the devices it records
// as succeeded for the same work.

#include <QByteArray>
#include <QSet>
#include <QString>
#include <cstdint>

// What makes two runs the same work: the action, the device file name and the file's
// CRC-32 (both empty for gather and command), and for an upload with a version check the
// version expected ("main 2.1.0"; empty without a check, and then not in the head).
struct Journal_work {
    QString action;
    QString devfname;
    QString crc32;
    QString version{};
};

// "IMEI ADDRESS:PORT", the key of a device in a resumed journal.
QString journal_device_key(uint64_t imei, const QString& address, unsigned port);

// The devices that the journal records as succeeded under heads of the same work. With
// `verified_only` (a run that checks the version after the upload) a device's last line
// decides, and an upload counts only when its version was confirmed or found current (no file
// needed), so that an upload whose check failed or never came is served again. Throws Err
// when the file cannot be read, a line other than a torn last one is not a journal line, or
// no head names this work.
QSet<QString> load_journal(const QString& path, const Journal_work& work,
                           bool verified_only = false);

// The work named by the journal's first head. Throws Err when the file cannot be read or does
// not begin with a head.
Journal_work journal_first_work(const QString& path);

class Journal_writer {
public:
    Journal_writer() = default;
    Journal_writer(const Journal_writer&) = delete;
    Journal_writer& operator=(const Journal_writer&) = delete;
    ~Journal_writer();

    // Creates or truncates the file (append: continues it on a fresh line) and writes the
    // head at once. Throws Err.
    void open(const QString& path, bool append, const Journal_work& work, int64_t now_ms);
    bool is_open() const { return fd >= 0; }
    // Queued; written by flush().
    void add(const QByteArray& lines) { pending += lines; }
    // Hands what is queued to the system, and makes it durable when a second has passed
    // since the last time (or always with `sync`). False with the message on failure.
    bool flush(bool sync, QString& error);
    bool close(QString& error);

private:
    bool write_all(const char* data, int64_t n, QString& error);

    int fd = -1;
    QString file_path;
    QByteArray pending;
    int64_t synced_ms = 0;
    bool dirty = false;
};

void journal_clear_translation();
