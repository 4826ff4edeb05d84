// Reading the configuration text: options, devfname, servers with their devices, and the
// duplicate checks after sorting. Nothing of the servers and devices is applied unless the
// whole text reads.

#include "config/config.h"

#include "foundation/err.h"

#include <algorithm>
#include <cstring>
#include <new>

static Tr errtext_unknown_element(
    "parser", "неизвестный элемент файла конфигурации. Знаю только элементы «server», "
              "«simultaneously», «connect_timeout», «disconnect_timeout», «link_timeout», "
              "«auth_timeout», «upfile_timeout», «getparam_timeout», «cmd_timeout», "
              "«enumerate_timeout», «ping_answer_timeout» и «reconnect_delay».");
static Tr
    errfmt_too_many_servers("parser",
                            "Слишком много серверов в конфигурации. Должно быть не более %1.");
static Tr
    errfmt_too_many_devices("parser",
                            "слишком много устройств в конфигурации - должно быть не более %1.");
static Tr errtext_need_blank("parser", "ожидается хотя-бы один пробельный символ (т.е. пробел, "
                                       "табуляция или перевод строки).");
static Tr errfmt_attribute_repeated("parser", "атрибут «%1» в текущем списке атрибутов уже есть.");
static Tr errtext_unknown_server_attribute(
    "parser", "неизвестный атрибут объекта «server». Знаю только атрибуты «address», «port» и "
              "«notes».");
static Tr errtext_unknown_device_attribute(
    "parser",
    "неизвестный атрибут объекта «device». Знаю только атрибуты «imei», «pin» и «notes».");
static Tr errtext_comma_or_paren("parser", "ожидается запятая, разделяющая атрибуты, или круглая "
                                           "скобка, завершающая список атрибутов.");
static Tr errtext_attribute_number("parser", "ожидается десятичное число");
static Tr errfmt_pin_too_long(
    "parser", "значение атрибута «pin» слишком длинное - должно быть не длиннее %1 символов.");
static Tr errtext_pin_not_ascii(
    "parser", "неправильное значение атрибута «pin». Этот атрибут должен состоять только из "
              "символов ASCII (цифры, латинские буквы и т.п.).");
static Tr errtext_no_address(
    "parser", "в списке атрибутов элемента «server» отсутствует обязательный атрибут «address».");
static Tr errtext_no_port(
    "parser", "в списке атрибутов элемента «server» отсутствует обязательный атрибут «port».");
static Tr errtext_no_imei(
    "parser", "в списке атрибутов элемента «device» отсутствует обязательный атрибут «imei».");
static Tr
    errtext_no_pin("parser",
                   "в списке атрибутов элемента «device» отсутствует обязательный атрибут «pin».");
static Tr errtext_unknown_object("main", "неизвестный объект в списке вложенных объектов объекта "
                                         "«server». Здесь могут быть только объекты «device».");
static Tr errfmt_server_duplicate(
    "parser", "сервер с адресом «%1» и номером порта %2 уже определён выше по тексту (см. %3-й "
              "символ %4-й строки).");
static Tr errfmt_device_duplicate(
    "parser", "устройство с IMEI %1, подключенное через сервер с адресом «%2» и номером порта "
              "%3 уже определено выше по тексту (см. %4-й символ %5-й строки).");
static Tr errtext_no_mem_server("parser", "Недостаточно памяти для нового сервера.");
static Tr errtext_no_mem_device("parser", "Недостаточно памяти для нового устройства.");
static Tr errtext_no_mem_servers("parser", "Недостаточно памяти для новой таблицы серверов.");
static Tr errtext_no_mem_devices("parser", "Недостаточно памяти для новой таблицы устройств.");

void config_parse_clear_translation() {
    for (Tr* t : {&errtext_unknown_element,
                  &errfmt_too_many_servers,
                  &errfmt_too_many_devices,
                  &errtext_need_blank,
                  &errfmt_attribute_repeated,
                  &errtext_unknown_server_attribute,
                  &errtext_unknown_device_attribute,
                  &errtext_comma_or_paren,
                  &errtext_attribute_number,
                  &errfmt_pin_too_long,
                  &errtext_pin_not_ascii,
                  &errtext_no_address,
                  &errtext_no_port,
                  &errtext_no_imei,
                  &errtext_no_pin,
                  &errtext_unknown_object,
                  &errfmt_server_duplicate,
                  &errfmt_device_duplicate,
                  &errtext_no_mem_server,
                  &errtext_no_mem_device,
                  &errtext_no_mem_servers,
                  &errtext_no_mem_devices})
        t->clear();
}

// ---------------------------------------------------------------------------------------------
// Tokens

// Keywords are matched as prefixes: the byte after them is not examined.
static bool is_keyword(Utf8_text_parser& p, const char* keyword, size_t length) {
    if (std::strncmp(p.s, keyword, length) != 0)
        return false;
    p.s += length;
    return true;
}

static void require_char(Utf8_text_parser& p, char c) {
    if (*p.s != c)
        throw p.Error(errfmt_parser_expected_char.tr().arg(QLatin1Char(c)));
    ++p.s;
}

// An attribute name must be separated from its value by at least one blank.
static void require_blank(Utf8_text_parser& p) {
    const char* before = p.s;
    const int line = p.line;
    p.skip_blank();
    if (p.s == before && p.line == line)
        throw p.Error(errtext_need_blank.tr());
}

// number = digit { digit }, at most max (the attribute form of the message has no full stop)
template <typename U> static U attribute_number(Utf8_text_parser& p, U max) {
    U value = 0;
    switch (dec_from_str(p.s, max, value)) {
    case Dec_result::ok:
        break;
    case Dec_result::no_digit:
        throw p.Error(errtext_attribute_number.tr());
    case Dec_result::too_big:
        throw p.Error(errfmt_parser_number_too_big.tr().arg(max));
    }
    return value;
}

// Receives a PIN literal straight into the device's fixed field: the literal keeps every
// rule of a printable literal, and the PIN's own limits are checked after it was read.
class Dst_pin : public Utf8_text_parser::Dst_printable_utf16 {
public:
    Dst_pin(const Utf8_text_parser* parser, char* field)
        : Dst_printable_utf16(parser), field(field) {}
    void consider(unsigned long c) override {
        Dst_printable_utf16::consider(c);
        ++length;
        if (c < 0x20 || c > 0x7E)
            not_ascii = true;
    }
    void allocate() override {}
    void put(unsigned long c) override {
        if (written < pin_size)
            field[written++] = char(c);
    }

    char* field;
    int length = 0;
    int written = 0;
    bool not_ascii = false;
};

// pin = printable literal of at most 16 characters 0x20..0x7E
static void read_pin(Utf8_text_parser& p, char* pin) {
    if (*p.s != '"')
        throw p.Error(errtext_parser_expected_string.tr());
    const Text_position<char> start = p.position();
    char field[pin_size] = {};
    Dst_pin dst(&p, field);
    p.read_string(dst);
    if (dst.length > pin_size || dst.not_ascii) {
        // Pointing at the value is more useful than pointing past it.
        p.set_position(start);
        if (dst.length > pin_size)
            throw p.Error(errfmt_pin_too_long.tr().arg(pin_size));
        throw p.Error(errtext_pin_not_ascii.tr());
    }
    std::memcpy(pin, field, pin_size);
}

// After an attribute: "," [blank] (another attribute follows) or ")" (the list ends).
static bool next_attribute(Utf8_text_parser& p) {
    p.skip_blank();
    if (*p.s == ',') {
        ++p.s;
        p.skip_blank();
        return true;
    }
    if (*p.s == ')')
        return false;
    throw p.Error(errtext_comma_or_paren.tr());
}

// True when an attribute `name` starts here: it must not have been seen before and needs a
// blank before its value, which is then next to read.
template <size_t N>
static bool is_attribute(Utf8_text_parser& p, const char (&name)[N], bool& seen) {
    if (!is_keyword(p, name, N - 1))
        return false;
    if (seen)
        throw p.Error(errfmt_attribute_repeated.tr().arg(QLatin1String(name)));
    seen = true;
    require_blank(p);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Elements

// The shape the program writes, `device(imei N, pin "P")` with at most 15 digits and a PIN of
// plain printable ASCII, read in one pass; it reads what the general way would. The end of
// the device, or null for any other shape, which then goes the general way.
static const char* plain_device(const char* s, uint64_t& imei, char* pin) {
    if (std::strncmp(s, "device(imei ", 12) != 0)
        return nullptr;
    s += 12;
    uint64_t value = 0;
    int digits = 0;
    for (; *s >= '0' && *s <= '9'; ++s, ++digits)
        value = value * 10 + uint64_t(*s - '0');
    if (digits == 0 || digits > 15 || std::strncmp(s, ", pin \"", 7) != 0)
        return nullptr;
    s += 7;
    int length = 0;
    for (; *s != '"'; ++s, ++length) {
        const unsigned char b = static_cast<unsigned char>(*s);
        if (b < 0x20 || b > 0x7E || b == '\\' || length == pin_size)
            return nullptr;
        pin[length] = char(b);
    }
    if (s[1] != ')')
        return nullptr;
    imei = value;
    return s + 2;
}

// device = "device" [blank] "(" [blank] device-attributes [blank] ")"
static void parse_device(Utf8_text_parser& p, Server& server, unsigned& device_count) {
    const Text_position<char> where = p.position();
    if (device_count >= max_devices)
        throw p.Error(errfmt_too_many_devices.tr().arg(max_devices));
    bool has_imei = false, has_pin = false, has_notes = false;
    uint64_t imei = 0;
    char pin[pin_size] = {};
    QString notes;
    if (const char* end = plain_device(p.s, imei, pin)) {
        p.s = end - 1; // onto the closing parenthesis, as the general way ends
        has_imei = has_pin = true;
    } else {
        std::memset(pin, 0, sizeof pin);
        if (!is_keyword(p, "device", 6))
            throw p.Error(errtext_unknown_object.tr());
        p.skip_blank();
        require_char(p, '(');
        p.skip_blank();
    }
    // device-attributes = attribute { [blank] "," [blank] attribute }
    if (*p.s != ')') {
        do {
            if (is_attribute(p, "imei", has_imei)) {
                imei = attribute_number<quint64>(p, max_imei);
            } else if (is_attribute(p, "pin", has_pin)) {
                read_pin(p, pin);
            } else if (is_attribute(p, "notes", has_notes)) {
                notes = p.req_utf8_string();
            } else {
                throw p.Error(errtext_unknown_device_attribute.tr());
            }
        } while (next_attribute(p));
    }
    if (!has_imei)
        throw p.Error(errtext_no_imei.tr());
    if (!has_pin)
        throw p.Error(errtext_no_pin.tr());
    ++p.s;

    Device* d = new (std::nothrow) Device;
    if (!d)
        throw Err(errtext_no_mem_device.tr());
    d->imei = imei;
    std::memcpy(d->pin, pin, pin_size);
    d->notes.swap(notes);
    d->position = where;
    server.pending_devices.push(d);
    ++server.pending_count;
    ++device_count;
}

// server = "server" [blank] "(" [blank] server-attributes [blank] ")" [blank]
//          "{" [blank] { device [blank] } "}"
void parse_server(Utf8_text_parser& p, const Text_position<char>& where, S_stack<Server>& servers,
                  unsigned& device_count) {
    p.skip_blank();
    require_char(p, '(');
    p.skip_blank();

    bool has_address = false, has_port = false, has_notes = false;
    QString address, notes;
    unsigned short port = 0;
    // server-attributes = attribute { [blank] "," [blank] attribute }
    if (*p.s != ')') {
        do {
            if (is_attribute(p, "address", has_address)) {
                address = p.req_printable_utf8_string();
            } else if (is_attribute(p, "port", has_port)) {
                port = static_cast<unsigned short>(attribute_number<quint32>(p, 65535));
            } else if (is_attribute(p, "notes", has_notes)) {
                notes = p.req_utf8_string();
            } else {
                throw p.Error(errtext_unknown_server_attribute.tr());
            }
        } while (next_attribute(p));
    }
    if (!has_address)
        throw p.Error(errtext_no_address.tr());
    if (!has_port)
        throw p.Error(errtext_no_port.tr());
    ++p.s;

    Server* s = new (std::nothrow) Server;
    if (!s)
        throw Err(errtext_no_mem_server.tr());
    s->address.swap(address);
    s->port = port;
    s->notes.swap(notes);
    s->position = where;
    servers.push(s); // from here on the stack owns it, devices included

    p.skip_blank();
    require_char(p, '{');
    p.skip_blank();
    while (*p.s != '}') {
        parse_device(p, *s, device_count);
        p.skip_blank();
    }
    ++p.s;
}

// ---------------------------------------------------------------------------------------------
// Sorting and duplicates

static bool text_before(const Text_position<char>& a, const Text_position<char>& b) {
    return a.line < b.line || (a.line == b.line && a.s < b.s);
}

static QString column_of(const Text_position<char>& t) {
    return QString::number(qint64(t.s - t.line_start) + 1);
}

void Servers::sort_parsed(Server_row* rows, unsigned short count, Utf8_text_parser& parser) {
    // Ties of the key are ordered by text position, so that in every group of equal keys the
    // first member is the earliest in the text.
    std::sort(rows, rows + count, [](const Server_row& a, const Server_row& b) {
        const int c = QString::compare(a.server->address, b.server->address, Qt::CaseSensitive);
        if (c != 0)
            return c < 0;
        if (a.server->port != b.server->port)
            return a.server->port < b.server->port;
        return text_before(a.server->position, b.server->position);
    });
    const Server_row* later = nullptr;
    const Server_row* earlier = nullptr;
    for (unsigned i = 1; i < count; ++i) {
        const Server& a = *rows[i - 1].server;
        const Server& b = *rows[i].server;
        if (a.port != b.port || a.address != b.address)
            continue;
        if (!later || text_before(b.position, later->server->position)) {
            later = &rows[i];
            earlier = &rows[i - 1];
        }
    }
    if (!later)
        return;
    const Server& s = *later->server;
    const Text_position<char>& first = earlier->server->position;
    parser.set_position(s.position);
    throw parser.Error(errfmt_server_duplicate.tr().arg(s.address).arg(s.port).arg(
        column_of(first), QString::number(first.line)));
}

void Devices::sort_parsed(Device_row* first, Device_row* last, Utf8_text_parser& parser,
                          const Server& server) {
    // A server without devices may hand in an empty (even null) range.
    if (last - first < 2)
        return;
    // Devices written by this program come in IMEI order already.
    bool sorted = true;
    for (Device_row* r = first + 1; r < last; ++r)
        if (r[-1].device->imei >= r->device->imei) {
            sorted = false;
            break;
        }
    if (sorted)
        return;
    std::sort(first, last, [](const Device_row& a, const Device_row& b) {
        if (a.device->imei != b.device->imei)
            return a.device->imei < b.device->imei;
        return text_before(a.device->position, b.device->position);
    });
    const Device_row* later = nullptr;
    const Device_row* earlier = nullptr;
    for (Device_row* r = first + 1; r < last; ++r) {
        if (r[-1].device->imei != r->device->imei)
            continue;
        if (!later || text_before(r->device->position, later->device->position)) {
            later = r;
            earlier = r - 1;
        }
    }
    if (!later)
        return;
    const Device& d = *later->device;
    const Text_position<char>& before = earlier->device->position;
    parser.set_position(d.position);
    throw parser.Error(errfmt_device_duplicate.tr()
                           .arg(QString::number(qulonglong(d.imei)), server.address)
                           .arg(server.port)
                           .arg(column_of(before), QString::number(before.line)));
}

// ---------------------------------------------------------------------------------------------
// The whole text

namespace {
// Owns what has been read until the configuration takes it over.
struct Parsed {
    S_stack<Server> servers;
    Server_row* server_rows = nullptr;
    unsigned server_count = 0;
    Device_row* device_rows = nullptr;
    unsigned devices_moved = 0;

    ~Parsed() {
        servers.dispose();
        for (unsigned i = 0; i < devices_moved; ++i)
            delete device_rows[i].device;
        if (server_rows)
            for (unsigned i = 0; i < server_count; ++i) {
                server_rows[i].server->pending_devices.dispose();
                delete server_rows[i].server;
            }
        delete[] server_rows;
        delete[] device_rows;
    }
};
} // namespace

// text = [blank] { element [blank] } end
void parse_cfg(Utf8_text_parser& p, Configuration& cfg) {
    reset_options();
    Parsed parsed;
    unsigned device_count = 0;
    bool devfname_seen = false;

    p.skip_blank();
    while (*p.s) {
        const Text_position<char> where = p.position();
        if (is_keyword(p, "server", 6)) {
            if (parsed.server_count >= max_servers) {
                p.set_position(where);
                throw p.Error(errfmt_too_many_servers.tr().arg(max_servers));
            }
            parse_server(p, where, parsed.servers, device_count);
            ++parsed.server_count;
        } else if (p.is_assignment("devfname", devfname_seen)) {
            // Read apart, so that a bad value leaves the old name whole.
            char value[devfname_max];
            p.req_printable_ascii_string(value, devfname_max);
            std::memcpy(devfname, value, devfname_max);
            devfname[devfname_max] = 0;
        } else {
            int i = 0;
            while (i < option_count &&
                   !p.is_assignment(option_info[i].key, *option_info[i].defined))
                ++i;
            if (i == option_count)
                throw p.Error(errtext_unknown_element.tr());
            set_option(i, p.req_dec<32>(1, option_info[i].maximum));
        }
        p.skip_blank();
    }

    // Servers leave the stack last first; filling from the back restores text order.
    if (parsed.server_count) {
        parsed.server_rows = new (std::nothrow) Server_row[parsed.server_count];
        if (!parsed.server_rows)
            throw Err(errtext_no_mem_servers.tr());
        for (unsigned i = parsed.server_count; i-- > 0;)
            parsed.server_rows[i].server = parsed.servers.pop();
        Servers::sort_parsed(parsed.server_rows, static_cast<unsigned short>(parsed.server_count),
                             p);
    }
    if (device_count) {
        parsed.device_rows = new (std::nothrow) Device_row[device_count];
        if (!parsed.device_rows)
            throw Err(errtext_no_mem_devices.tr());
    }
    for (unsigned i = 0; i < parsed.server_count; ++i) {
        Server& s = *parsed.server_rows[i].server;
        Device_row* const first = parsed.device_rows + parsed.devices_moved;
        Device_row* const last = first + s.pending_count;
        for (Device_row* r = last; r != first;) {
            --r;
            r->device = s.pending_devices.pop();
            r->server = static_cast<unsigned short>(i);
            ++parsed.devices_moved;
        }
        s.pending_count = 0;
        Devices::sort_parsed(first, last, p, s);
    }

    cfg.set(parsed.server_rows, static_cast<unsigned short>(parsed.server_count),
            parsed.device_rows, device_count);
    parsed.server_rows = nullptr;
    parsed.device_rows = nullptr;
    parsed.server_count = 0;
    parsed.devices_moved = 0;
}

void parse_cfg(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    Utf8_text_parser parser;
    parser.init(utf8);
    parse_cfg(parser, configuration);
}
