#include "engine/report.h"

#include "config/fail_class.h"
#include "foundation/err.h"

#include <cstring>

static void append_digits(QByteArray& out, int64_t value, int width) {
    char buf[24];
    int n = 0;
    uint64_t v = value < 0 ? 0 : uint64_t(value);
    do {
        buf[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (int i = n; i < width; ++i)
        out += '0';
    while (n > 0)
        out += buf[--n];
}

// Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
static void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
}

void append_iso_time(QByteArray& out, int64_t ms) {
    if (ms < 0)
        ms = 0;
    const int64_t days = ms / 86400000;
    const int64_t in_day = ms % 86400000;
    int64_t y;
    unsigned m, d;
    civil_from_days(days, y, m, d);
    append_digits(out, y, 4);
    out += '-';
    append_digits(out, m, 2);
    out += '-';
    append_digits(out, d, 2);
    out += 'T';
    append_digits(out, in_day / 3600000, 2);
    out += ':';
    append_digits(out, in_day / 60000 % 60, 2);
    out += ':';
    append_digits(out, in_day / 1000 % 60, 2);
    out += '.';
    append_digits(out, in_day % 1000, 3);
    out += 'Z';
}

void append_json_string(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

static void append_imei(QByteArray& out, uint64_t imei) {
    append_digits(out, int64_t(imei), 15);
}

void append_attempt_json(QByteArray& out, const Attempt& a) {
    out += "{\"imei\":\"";
    append_imei(out, a.imei);
    out += "\",\"address\":";
    append_json_string(out, a.address);
    out += ",\"port\":";
    append_digits(out, a.port, 1);
    out += ",\"action\":";
    append_json_string(out, a.action);
    out += a.ok ? ",\"result\":\"ok\",\"class\":\"" : ",\"result\":\"failed\",\"class\":\"";
    out += fail_class_name(a.ok ? 0 : a.fail_class);
    out += "\",\"text\":";
    append_json_string(out, a.text);
    out += ",\"start\":\"";
    append_iso_time(out, a.start_ms);
    out += "\",\"end\":\"";
    append_iso_time(out, a.end_ms);
    out += "\",\"duration_ms\":";
    append_digits(out, a.end_ms - a.start_ms, 1);
    out += ",\"attempt\":";
    append_digits(out, a.attempt, 1);
    out += a.skipped ? ",\"skipped\":true" : ",\"skipped\":false";
    out += ",\"version_before\":";
    append_json_string(out, a.version_before);
    out += ",\"version_after\":";
    append_json_string(out, a.version_after);
    out += "}\n";
}

// RFC 4180: a field with a comma, a quote or a line break is quoted, quotes doubled. A
// spreadsheet would take a cell that begins with = + - @, a tab or a carriage return for a
// formula, so such a cell gets a leading apostrophe, which shows it as text.
static void append_csv_field(QByteArray& out, const QByteArray& text) {
    static const char formula_starts[] = "=+-@\t\r";
    QByteArray guarded;
    if (!text.isEmpty() && text[0] != '\0' && std::strchr(formula_starts, text[0]))
        guarded = '\'' + text;
    const QByteArray& field = guarded.isEmpty() ? text : guarded;
    bool quote = false;
    for (char c : field)
        quote = quote || c == ',' || c == '"' || c == '\n' || c == '\r';
    if (!quote) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void append_csv_header(QByteArray& out) {
    out += "imei,address,port,action,result,class,text,start,end,duration_ms,attempt,skipped,"
           "version_before,version_after\r\n";
}

void append_attempt_csv(QByteArray& out, const Attempt& a) {
    append_imei(out, a.imei);
    out += ',';
    append_csv_field(out, a.address.toUtf8());
    out += ',';
    append_digits(out, a.port, 1);
    out += ',';
    append_csv_field(out, a.action.toUtf8());
    out += a.ok ? ",ok," : ",failed,";
    out += fail_class_name(a.ok ? 0 : a.fail_class);
    out += ',';
    append_csv_field(out, a.text.toUtf8());
    out += ',';
    append_iso_time(out, a.start_ms);
    out += ',';
    append_iso_time(out, a.end_ms);
    out += ',';
    append_digits(out, a.end_ms - a.start_ms, 1);
    out += ',';
    append_digits(out, a.attempt, 1);
    out += a.skipped ? ",true," : ",false,";
    append_csv_field(out, a.version_before.toUtf8());
    out += ',';
    append_csv_field(out, a.version_after.toUtf8());
    out += "\r\n";
}

static Tr errfmt_report_write("batch", "Не удалось записать отчёт «%1»: %2");

void report_clear_translation() {
    errfmt_report_write.clear();
}

void append_summary_json(QByteArray& s, const Report_summary& r) {
    s += "{\"summary\":{\"devices\":" + QByteArray::number(r.devices) +
         ",\"skipped\":" + QByteArray::number(r.skipped) +
         ",\"attempts\":" + QByteArray::number(qulonglong(r.attempts)) +
         ",\"results\":{\"ok\":" + QByteArray::number(r.ok) +
         ",\"failed\":" + QByteArray::number(r.failed) + "},\"classes\":{";
    for (unsigned c = 1; c < fail_class_count; ++c) {
        if (c == fail_verify && !r.version_check)
            continue;
        if (c > 1)
            s += ',';
        s += '"';
        s += fail_class_name(c);
        s += "\":" + QByteArray::number(r.by_class[c]);
    }
    const double per_second =
        r.wall_ms > 0 ? double(r.ok + r.failed) * 1000.0 / double(r.wall_ms) : 0;
    s += '}';
    if (r.version_check)
        s += ",\"skipped_current\":" + QByteArray::number(r.skipped_current) +
             ",\"verified\":" + QByteArray::number(r.verified);
    s += ",\"devices_per_second\":" + QByteArray::number(per_second, 'f', 1) +
         ",\"wall_ms\":" + QByteArray::number(qlonglong(r.wall_ms)) + ",\"stopped\":";
    append_json_string(s, r.stopped);
    s += "}}\n";
}

void Report_file::open(const QString& path) {
    file_path = path;
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Err(errfmt_report_write.tr().arg(path, file.errorString()));
    csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    if (csv) {
        line.truncate(0);
        append_csv_header(line);
        file.write(line);
    }
}

void Report_file::add(const Attempt& a, const QByteArray* json) {
    if (!csv && json) {
        file.write(*json);
        return;
    }
    line.truncate(0);
    if (csv)
        append_attempt_csv(line, a);
    else
        append_attempt_json(line, a);
    file.write(line);
}

bool Report_file::commit(const Report_summary& s, QString& error) {
    if (!csv) {
        line.truncate(0);
        append_summary_json(line, s);
        file.write(line);
    }
    if (file.commit())
        return true;
    error = errfmt_report_write.tr().arg(file_path, file.errorString());
    return false;
}
