#include "config/device_import.h"

#include "foundation/err.h"

#include <QSet>
#include <algorithm>
#include <cstring>
#include <memory>

static Tr errfmt_imei("import", "IMEI «%1» должен состоять ровно из 15 цифр.");
static Tr errfmt_pin_long("import",
                          "PIN-код «%1» слишком длинный - должен быть не длиннее %2 символов.");
static Tr errfmt_pin_chars(
    "import", "PIN-код «%1» должен состоять только из символов printable ASCII (латинские "
              "буквы, цифры, пробелы, а также следующие символы: !\"#$%&'()*+,-./:;<=>?@[\\]^_`"
              "{|}~).");
static Tr errfmt_server_number("import",
                               "Сервера с номером «%1» нет в таблице серверов (в ней %2).");
static Tr errfmt_server_address("import",
                                "Сервера с адресом «%1» и номером порта «%2» нет в текущей "
                                "конфигурации.");
static Tr errtext_no_server("import",
                            "Не указан сервер: выберите строчку в списке серверов или укажите "
                            "номер сервера в первом столбце.");
static Tr errtext_fields("import", "Не удалось разобрать строку: ожидались IMEI, PIN-код и "
                                   "комментарий или номер сервера, IMEI, PIN-код и комментарий.");
static Tr errfmt_limit("import",
                       "Превышен предел: в конфигурации может быть не более %1 устройств.");
static Tr errfmt_check_digit("import", "Последняя (контрольная) цифра IMEI %1 не сходится с "
                                       "остальными: проверьте, не опечатка ли это.");
static Tr errfmt_line("import", "строка %1: %2");
static Tr errfmt_duplicate("import", "устройство с IMEI %1 на сервере номер %2 уже есть в "
                                     "конфигурации или выше в списке.");

void device_import_clear_translation() {
    for (Tr* t : {&errfmt_imei, &errfmt_pin_long, &errfmt_pin_chars, &errfmt_server_number,
                  &errfmt_server_address, &errtext_no_server, &errtext_fields, &errfmt_limit,
                  &errfmt_check_digit, &errfmt_line, &errfmt_duplicate})
        t->clear();
}

QString import_problem_line(const Import_problem& p) {
    return errfmt_line.tr().arg(p.line).arg(p.text);
}

QString import_duplicate_line(const Import_row& r) {
    return import_problem_line(
        Import_problem{r.line, errfmt_duplicate.tr().arg(imei_to_str(r.imei)).arg(r.server + 1)});
}

bool imei_check_digit_ok(uint64_t imei) {
    const unsigned check = unsigned(imei % 10);
    imei /= 10;
    unsigned sum = 0;
    // From the right of the 14 digits, every first one is doubled.
    for (int i = 0; i < 14; ++i, imei /= 10) {
        unsigned d = unsigned(imei % 10);
        if (i % 2 == 0) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        sum += d;
    }
    return (sum + check) % 10 == 0;
}

namespace {

// The fields of one line, separated by `sep`; a field in double quotes may hold the
// separator, and "" in it is one quote (as spreadsheets write them).
void split_fields(QStringView line, QChar sep, QVector<QString>& fields) {
    fields.clear();
    int i = 0;
    const int n = int(line.size());
    for (;;) {
        QString field;
        while (i < n && line[i] == QLatin1Char(' '))
            ++i;
        if (i < n && line[i] == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (line[i] == QLatin1Char('"')) {
                    if (i + 1 < n && line[i + 1] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            while (i < n && line[i] != sep)
                field += line[i++];
        } else {
            const int start = i;
            while (i < n && line[i] != sep)
                ++i;
            field = line.mid(start, i - start).toString();
        }
        fields.push_back(field.trimmed());
        if (i >= n)
            return;
        ++i; // the separator
    }
}

QChar separator_of(QStringView line) {
    if (line.contains(QLatin1Char('\t')))
        return QLatin1Char('\t');
    if (line.contains(QLatin1Char(';')))
        return QLatin1Char(';');
    return QLatin1Char(',');
}

bool all_digits(const QString& s) {
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

bool is_imei(const QString& s) {
    return s.size() == 15 && all_digits(s);
}

// The device table's copy escapes control characters and backslashes in the notes.
QString tsv_unescaped(const QString& s) {
    if (!s.contains(QLatin1Char('\\')))
        return s;
    QString out;
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] != QLatin1Char('\\') || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const QChar c = s[++i];
        if (c == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (c == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (c == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (c == QLatin1Char('x') && i + 2 < s.size()) {
            bool ok;
            const int code = s.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
            } else {
                out += QLatin1String("\\x");
            }
        } else {
            out += c;
        }
    }
    return out;
}

QString joined(const QVector<QString>& fields, int from, QChar sep) {
    QString out;
    for (int i = from; i < fields.size(); ++i) {
        if (i > from)
            out += sep;
        out += fields[i];
    }
    return out;
}

// The rows' keys: the server row above the 50 bits an IMEI needs.
quint64 key_of(unsigned short server, uint64_t imei) {
    return (quint64(server) << 50) | imei;
}

} // namespace

Device_import read_device_list(const QString& text, const Collection& cfg, int server) {
    Device_import r;
    QSet<quint64> seen;
    QVector<QString> f;
    f.reserve(8);
    unsigned room = cfg.devices.count < max_devices ? max_devices - cfg.devices.count : 0;
    int line_no = 0;
    bool first = true;
    const QStringView all(text);
    int pos = 0;
    while (pos < all.size()) {
        int end = int(all.indexOf(QLatin1Char('\n'), pos));
        if (end < 0)
            end = int(all.size());
        QStringView line = all.mid(pos, end - pos);
        pos = end + 1;
        ++line_no;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const QChar sep = separator_of(line);
        split_fields(line, sep, f);
        if (first) {
            first = false;
            if (std::none_of(f.begin(), f.end(), all_digits)) {
                r.header_skipped = true;
                continue;
            }
        }
        auto refuse = [&](const QString& why) { r.bad.push_back(Import_problem{line_no, why}); };

        Import_row row;
        row.line = line_no;
        QString imei, pin;
        int row_server = server;
        const bool by_number = f.size() >= 3 && all_digits(f[0]) && is_imei(f[1]);
        const bool by_address = f.size() >= 3 && is_imei(f[2]);
        if (is_imei(f[0]) || (!by_number && !by_address && f.size() <= 3)) {
            imei = f[0];
            if (f.size() > 1)
                pin = f[1];
            if (f.size() > 2)
                row.notes = joined(f, 2, sep);
        } else if (by_number) {
            const unsigned n = f[0].toUInt();
            if (n < 1 || n > cfg.servers.count) {
                refuse(errfmt_server_number.tr().arg(f[0]).arg(cfg.servers.count));
                continue;
            }
            row_server = int(n - 1);
            imei = f[1];
            pin = f[2];
            row.notes = joined(f, 3, sep);
        } else if (by_address) {
            bool ok, found = false;
            const unsigned port = f[1].toUInt(&ok);
            unsigned short at = 0;
            if (ok && port <= 65535)
                at = cfg.servers.find(f[0], static_cast<unsigned short>(port), found);
            if (!found) {
                refuse(errfmt_server_address.tr().arg(f[0], f[1]));
                continue;
            }
            row_server = at;
            imei = f[2];
            row.notes = tsv_unescaped(joined(f, 3, sep));
        } else {
            refuse(errtext_fields.tr());
            continue;
        }

        if (!is_imei(imei)) {
            refuse(errfmt_imei.tr().arg(imei));
            continue;
        }
        if (pin.size() > pin_size) {
            refuse(errfmt_pin_long.tr().arg(pin).arg(pin_size));
            continue;
        }
        bool printable = true;
        for (int i = 0; i < pin.size(); ++i) {
            const ushort u = pin[i].unicode();
            if (u < 32 || u > 126) {
                printable = false;
                break;
            }
            row.pin[i] = char(u);
        }
        if (!printable) {
            refuse(errfmt_pin_chars.tr().arg(pin));
            continue;
        }
        if (row_server < 0 || row_server >= cfg.servers.count) {
            refuse(errtext_no_server.tr());
            continue;
        }
        row.server = static_cast<unsigned short>(row_server);
        row.imei = imei.toULongLong();
        bool there = false;
        cfg.devices.find(row.server, row.imei, there);
        const quint64 key = key_of(row.server, row.imei);
        if (there || seen.contains(key)) {
            r.duplicates.push_back(row);
            continue;
        }
        if (room == 0) {
            refuse(errfmt_limit.tr().arg(max_devices));
            continue;
        }
        --room;
        seen.insert(key);
        if (!imei_check_digit_ok(row.imei)) {
            row.check_digit_wrong = true;
            r.warnings.push_back(Import_problem{line_no, errfmt_check_digit.tr().arg(imei)});
        }
        r.added.push_back(std::move(row));
    }
    return r;
}

void add_imported_devices(Configuration& cfg, const Device_import& import) {
    const int n = import.added.size();
    if (n == 0)
        return;
    std::unique_ptr<Device_row[]> fresh(new Device_row[n]);
    int made = 0;
    try {
        for (; made < n; ++made) {
            const Import_row& r = import.added[made];
            auto* d = new Device;
            d->imei = r.imei;
            std::memcpy(d->pin, r.pin, pin_size);
            d->notes = r.notes;
            fresh[made] = Device_row{d, r.server};
        }
    } catch (...) {
        for (int i = 0; i < made; ++i)
            delete fresh[i].device;
        throw;
    }
    auto before = [](const Device_row& a, const Device_row& b) {
        return a.server < b.server || (a.server == b.server && a.device->imei < b.device->imei);
    };
    std::sort(fresh.get(), fresh.get() + n, before);
    try {
        cfg.add_devices(fresh.get(), unsigned(n));
    } catch (...) {
        for (int i = 0; i < n; ++i)
            delete fresh[i].device;
        throw;
    }
}
