#pragma once
// One attempt at one device as the report and the journal keep it, and its two written
// forms: a JSON object on one line, and a CSV row (RFC 4180); the report file of a run, which
// holds every attempt and, in JSON Lines, a summary line at its end.

#include "config/fail_class.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <cstdint>

struct Attempt {
    uint64_t imei = 0;
    QString address;
    unsigned port = 0;
    QString action; // "upload", "gather", "command restart", ...
    bool ok = false;
    unsigned fail_class = 0; // Fail_class; 0 for ok
    QString text;
    int64_t start_ms = 0; // UTC milliseconds since the epoch
    int64_t end_ms = 0;
    unsigned attempt = 1;
    // Uploads with a version check: the device showed the expected version and took no file;
    // the version read before the upload and after it (by the verification, or the version
    // of a skipped device); empty when not read. Without a check: false and empty.
    bool skipped = false;
    QString version_before;
    QString version_after;
};

// "2026-12-09T06:05:01.123Z".
void append_iso_time(QByteArray& out, int64_t ms);
// A JSON string with its quotes; the text is UTF-8, control characters escaped.
void append_json_string(QByteArray& out, const QString& text);

// Appends the attempt as one JSON object and a line feed.
void append_attempt_json(QByteArray& out, const Attempt& a);
// The CSV header line and one row, each ended with CR LF.
void append_csv_header(QByteArray& out);
void append_attempt_csv(QByteArray& out, const Attempt& a);

// The last line of a JSON Lines report.
struct Report_summary {
    unsigned devices = 0;
    unsigned skipped = 0; // succeeded in the resumed journal
    uint64_t attempts = 0;
    unsigned ok = 0;
    unsigned failed = 0;
    unsigned by_class[fail_class_count] = {}; // failed devices by their last class
    int64_t wall_ms = 0;
    QString stopped; // why the run was stopped; empty: it was not
    // Runs with a version check only, so that a run without one writes what it always did:
    // the "verify" class and the counts of skipped and verified devices.
    bool version_check = false;
    unsigned skipped_current = 0;
    unsigned verified = 0;
};
void append_summary_json(QByteArray& out, const Report_summary& s);

// A report file: replaced only when commit() succeeds. CSV when the name ends in ".csv"
// (any letter case), JSON Lines otherwise.
class Report_file {
public:
    // Opens the file and writes the CSV header. Throws Err.
    void open(const QString& path);
    bool is_open() const { return file.isOpen(); }
    bool is_csv() const { return csv; }
    // Writes one attempt; `json`, when given, is the attempt already as a JSON line.
    void add(const Attempt& a, const QByteArray* json = nullptr);
    // Writes the summary (JSON Lines only) and commits; false with the message on failure.
    bool commit(const Report_summary& s, QString& error);

private:
    QSaveFile file;
    QString file_path;
    bool csv = false;
    QByteArray line;
};

void report_clear_translation();
