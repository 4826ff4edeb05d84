#pragma once
// One attempt at one device as the report and the journal keep it, and its two written
// forms: a JSON object on one line, and a CSV row (RFC 4180).

#include <QByteArray>
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
