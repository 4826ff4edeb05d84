// Writing the configuration text: escaping, one line per server and device, the whole text.

#include "config/config.h"

#include "foundation/err.h"

#include <cstring>
#include <vector>

static Tr fmt_preamble("write", "# Содержимое этого файла сформировано программой %1 %2.\n\n");

void config_write_clear_translation() {
    fmt_preamble.clear();
}

// Escapes of the units below 0x20 (upper-case hex in the \u forms).
static const char* const control_escapes[32] = {
    "\\0",     "\\u0001", "\\u0002", "\\u0003", "\\u0004", "\\u0005", "\\u0006", "\\a",
    "\\b",     "\\t",     "\\n",     "\\v",     "\\f",     "\\r",     "\\u000E", "\\u000F",
    "\\u0010", "\\u0011", "\\u0012", "\\u0013", "\\u0014", "\\u0015", "\\u0016", "\\u0017",
    "\\u0018", "\\u0019", "\\u001A", "\\e",     "\\u001C", "\\u001D", "\\u001E", "\\u001F",
};

static bool is_octal(ushort u) {
    return u >= '0' && u <= '7';
}

static bool is_hex(ushort u) {
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// U+0085, U+2028 and U+2029 are line breaks to the reader and may not stand raw in a literal.
static bool needs_c_escape(ushort u) {
    return u < 0x20 || u == '"' || u == '\\' || u == 0x7F || u == 0x85 || u == 0x2028 ||
           u == 0x2029;
}

void append_c_escaped(QString& out, const QString& value) {
    const ushort* const begin = value.utf16();
    const ushort* const end = begin + value.size();
    const ushort* p = begin;
    while (p != end && !needs_c_escape(*p))
        ++p;
    if (p == end) {
        out += value;
        return;
    }
    const ushort* piece = begin;
    for (; p != end; ++p) {
        const ushort u = *p;
        if (!needs_c_escape(u))
            continue;
        out.append(reinterpret_cast<const QChar*>(piece), int(p - piece));
        piece = p + 1;
        const bool has_next = p + 1 != end;
        if (u == 0) {
            // "\0" followed by an octal digit would read back as one longer octal escape.
            out += QLatin1String(has_next && is_octal(p[1]) ? "\\u0000" : "\\0");
        } else if (u < 0x20) {
            out += QLatin1String(control_escapes[u]);
        } else if (u == '"') {
            out += QLatin1String("\\\"");
        } else if (u == '\\') {
            out += QLatin1String("\\\\");
        } else if (u == 0x7F) {
            // "\x7f" takes every hex digit that follows it.
            out += QLatin1String(has_next && is_hex(p[1]) ? "\\u007F" : "\\x7f");
        } else if (u == 0x85) {
            out += QLatin1String("\\u0085");
        } else if (u == 0x2028) {
            out += QLatin1String("\\u2028");
        } else {
            out += QLatin1String("\\u2029");
        }
    }
    out.append(reinterpret_cast<const QChar*>(piece), int(end - piece));
}

void append_tsv_escaped(QString& out, const QString& value) {
    const ushort* const begin = value.utf16();
    const ushort* const end = begin + value.size();
    const ushort* piece = begin;
    for (const ushort* p = begin; p != end; ++p) {
        const ushort u = *p;
        if (u >= 0x20 && u != '\\' && u != 0x7F)
            continue;
        out.append(reinterpret_cast<const QChar*>(piece), int(p - piece));
        piece = p + 1;
        if (u < 0x20)
            out += QLatin1String(control_escapes[u]);
        else if (u == '\\')
            out += QLatin1String("\\\\");
        else
            out += QLatin1String("\\x7f");
    }
    out.append(reinterpret_cast<const QChar*>(piece), int(end - piece));
}

// Decimal digits of `value`, right-aligned in `width` places with leading zeros.
static void append_decimal(QString& out, uint64_t value, int width) {
    char buf[24];
    int n = 0;
    do {
        buf[sizeof buf - 1 - n++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    while (n < width)
        buf[sizeof buf - 1 - n++] = '0';
    out += QLatin1String(buf + sizeof buf - n, n);
}

void Server::save(QString& out) const {
    out += QLatin1String("server(address \"");
    append_c_escaped(out, address);
    out += QLatin1String("\", port ");
    append_decimal(out, port, 1);
    if (!notes.isEmpty()) {
        out += QLatin1String(", notes \"");
        append_c_escaped(out, notes);
        out += QLatin1Char('"');
    }
    out += QLatin1String(")\n");
}

void Device::save(QString& out) const {
    out += QLatin1String(" device(imei ");
    append_decimal(out, imei, 15);
    out += QLatin1String(", pin \"");
    const char* end = static_cast<const char*>(std::memchr(pin, 0, pin_size));
    const int pin_length = end ? int(end - pin) : pin_size;
    for (int i = 0; i < pin_length; ++i) {
        if (pin[i] == '"' || pin[i] == '\\')
            out += QLatin1Char('\\');
        out += QLatin1Char(pin[i]);
    }
    out += QLatin1Char('"');
    if (!notes.isEmpty()) {
        out += QLatin1String(", notes \"");
        append_c_escaped(out, notes);
        out += QLatin1Char('"');
    }
    out += QLatin1String(")\n");
}

void begin_cfg_text(const Collection& c) {
    for (unsigned i = 0; i < c.servers.count; ++i)
        c.servers.rows[i].server->save_buffer.clear();
    for (unsigned i = 0; i < c.devices.count; ++i)
        c.devices.rows[i].device->run_flags &= static_cast<unsigned char>(~Device::written);
}

Cfg_text_add add_device_to_cfg_text(const Collection& c, unsigned device_row) {
    if (device_row >= c.devices.count)
        return Cfg_text_add::bad_row;
    const Device_row& r = c.devices.rows[device_row];
    if (r.device->run_flags & Device::written)
        return Cfg_text_add::already_written;
    if (r.server >= c.servers.count)
        return Cfg_text_add::bad_server;
    r.device->save(c.servers.rows[r.server].server->save_buffer);
    r.device->run_flags |= Device::written;
    return Cfg_text_add::added;
}

// Preamble, defined options and devfname; returns the size of the preamble.
static int append_head(QString& out) {
    out += fmt_preamble.tr().arg(QLatin1String(program_name), QLatin1String(program_version));
    const int preamble_size = out.size();
    for (int i = 0; i < option_count; ++i) {
        if (!*option_info[i].defined)
            continue;
        out += QLatin1String(option_info[i].key);
        out += QLatin1String(" = ");
        append_decimal(out, get_option(i), 1);
        out += QLatin1Char('\n');
    }
    if (std::strcmp(devfname, default_devfname) != 0) {
        out += QLatin1String("devfname = \"");
        for (const char* p = devfname; *p; ++p) {
            if (*p == '"' || *p == '\\')
                out += QLatin1Char('\\');
            out += QLatin1Char(*p);
        }
        out += QLatin1String("\"\n");
    }
    return preamble_size;
}

static void open_server(QString& out, const Server& s, int preamble_size) {
    if (out.size() != preamble_size)
        out += QLatin1Char('\n');
    s.save(out);
    out += QLatin1String("{\n");
}

void finish_cfg_text(QString& text, const Collection& c, bool only_used_servers) {
    int size = 4096;
    for (unsigned i = 0; i < c.servers.count; ++i)
        size += c.servers.rows[i].server->save_buffer.size() + 256;
    QString out;
    out.reserve(size);
    const int preamble_size = append_head(out);
    for (unsigned i = 0; i < c.servers.count; ++i) {
        Server* s = c.servers.rows[i].server;
        if (only_used_servers && s->save_buffer.isEmpty())
            continue;
        open_server(out, *s, preamble_size);
        out += s->save_buffer;
        out += QLatin1String("}\n");
        s->save_buffer = QString();
    }
    text = std::move(out);
}

// Devices in table order lie together by server: they go straight into the text.
static unsigned write_in_table_order(QString& text, const Collection& c, bool only_used_servers) {
    QString out;
    out.reserve(4096 + int(c.servers.count) * 256 + int(c.devices.count) * 72);
    const int preamble_size = append_head(out);
    unsigned gaps = 0;
    unsigned d = 0;
    for (unsigned i = 0; i < c.servers.count; ++i) {
        Server* s = c.servers.rows[i].server;
        s->save_buffer = QString();
        // Rows with an impossible server index are skipped as gaps.
        for (; d < c.devices.count && c.devices.rows[d].server < i; ++d)
            ++gaps;
        const bool used = d < c.devices.count && c.devices.rows[d].server == i;
        if (only_used_servers && !used)
            continue;
        open_server(out, *s, preamble_size);
        for (; d < c.devices.count && c.devices.rows[d].server == i; ++d) {
            Device* device = c.devices.rows[d].device;
            device->save(out);
            device->run_flags |= Device::written;
        }
        out += QLatin1String("}\n");
    }
    gaps += c.devices.count - d;
    text = std::move(out);
    return gaps;
}

// Devices in any order: grouped by server first (a stable counting sort), so that each
// server's lines go straight into the text as in table order, with no buffer per server.
// A sorted order visits the rows and devices at random: each row is read once, and the
// later passes carry the device pointers they need.
static unsigned write_in_given_order(QString& text, const Collection& c, const unsigned* order,
                                     unsigned order_count, bool only_used_servers,
                                     Cfg_text_gaps* kinds) {
    Cfg_text_gaps gaps;
    const unsigned servers = c.servers.count;
    std::vector<unsigned> first(servers + 1, 0);
    struct Taken {
        unsigned server;
        const Device* device;
    };
    std::vector<Taken> taken;
    taken.reserve(order_count);
    for (unsigned i = 0; i < order_count; ++i) {
        const unsigned row = order[i];
        // The row a little ahead, then the device of the row nearer.
        if (i + 32 < order_count && order[i + 32] < c.devices.count)
            __builtin_prefetch(&c.devices.rows[order[i + 32]]);
        if (i + 16 < order_count && order[i + 16] < c.devices.count)
            __builtin_prefetch(c.devices.rows[order[i + 16]].device);
        if (row >= c.devices.count) {
            ++gaps.bad_row;
            continue;
        }
        const Device_row& r = c.devices.rows[row];
        if (r.device->run_flags & Device::written) {
            ++gaps.already_written;
            continue;
        }
        if (r.server >= servers) {
            ++gaps.bad_server;
            continue;
        }
        r.device->run_flags |= Device::written;
        ++first[r.server + 1];
        taken.push_back({r.server, r.device});
    }
    for (unsigned s = 0; s < servers; ++s)
        first[s + 1] += first[s];
    std::vector<const Device*> grouped(taken.size());
    {
        std::vector<unsigned> next(first.begin(), first.end() - 1);
        for (const Taken& t : taken)
            grouped[next[t.server]++] = t.device;
    }
    taken = std::vector<Taken>();
    QString out;
    out.reserve(4096 + int(servers) * 256 + int(grouped.size()) * 72);
    const int preamble_size = append_head(out);
    for (unsigned s = 0; s < servers; ++s) {
        if (only_used_servers && first[s] == first[s + 1])
            continue;
        open_server(out, *c.servers.rows[s].server, preamble_size);
        const unsigned last = first[s + 1];
        for (unsigned i = first[s]; i < last; ++i) {
            // Sorted devices lie scattered in memory: fetch them and their notes ahead.
            if (i + 16 < last)
                __builtin_prefetch(grouped[i + 16]);
            if (i + 8 < last)
                __builtin_prefetch(grouped[i + 8]->notes.constData());
            grouped[i]->save(out);
        }
        out += QLatin1String("}\n");
    }
    text = std::move(out);
    if (kinds)
        *kinds = gaps;
    return gaps.bad_row + gaps.already_written + gaps.bad_server;
}

unsigned write_cfg_text(QString& text, const Collection& c, const unsigned* order,
                        unsigned order_count, bool only_used_servers, Cfg_text_gaps* kinds) {
    begin_cfg_text(c);
    if (order)
        return write_in_given_order(text, c, order, order_count, only_used_servers, kinds);
    const unsigned gaps = write_in_table_order(text, c, only_used_servers);
    if (kinds) {
        *kinds = Cfg_text_gaps();
        kinds->bad_server = gaps;
    }
    return gaps;
}
