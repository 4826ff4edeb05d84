#include "sim/fleet.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr int max_delay_ms = 3600000;
constexpr uint64_t max_range = 10000000;

struct Parse_error {
    std::string text;
};

[[noreturn]] void fail(const std::string& text) {
    throw Parse_error{text};
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted value: "..." with \\ \" \n \r \t \0 and \xHH; anything else is taken as it stands.
std::string unquote(const std::string& v, const std::string& key) {
    if (v.empty() || v[0] != '"')
        return v;
    std::string out;
    size_t i = 1;
    for (; i < v.size() && v[i] != '"'; ++i) {
        if (v[i] != '\\') {
            out += v[i];
            continue;
        }
        if (++i == v.size())
            break;
        switch (v[i]) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        case 'x': {
            const int hi = i + 1 < v.size() ? hex_digit(v[i + 1]) : -1;
            const int lo = i + 2 < v.size() ? hex_digit(v[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                fail("bad \\x escape in the value of " + key);
            out += char(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            out += v[i];
        }
    }
    if (i + 1 != v.size())
        fail("unterminated or trailing text after the quoted value of " + key);
    return out;
}

uint64_t to_uint(const std::string& v, uint64_t max, const std::string& key) {
    if (v.empty())
        fail("a number is expected for " + key);
    uint64_t n = 0;
    const bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    for (size_t i = hex ? 2 : 0; i < v.size(); ++i) {
        const int d = hex ? hex_digit(v[i]) : (v[i] >= '0' && v[i] <= '9' ? v[i] - '0' : -1);
        if (d < 0)
            fail("a number is expected for " + key + ", not \"" + v + "\"");
        if (n > (max - uint64_t(d)) / (hex ? 16 : 10))
            fail(key + " must be at most " + std::to_string(max));
        n = n * (hex ? 16 : 10) + uint64_t(d);
    }
    return n;
}

std::string to_bytes(const std::string& v, const std::string& key) {
    if (v.size() % 2)
        fail(key + " needs an even number of hexadecimal digits");
    std::string out;
    for (size_t i = 0; i < v.size(); i += 2) {
        const int hi = hex_digit(v[i]), lo = hex_digit(v[i + 1]);
        if (hi < 0 || lo < 0)
            fail(key + " must be hexadecimal digits");
        out += char(hi * 16 + lo);
    }
    if (out.size() > 65535)
        fail(key + " is longer than a frame can carry");
    return out;
}

std::string limited(const std::string& v, size_t max, const std::string& key) {
    if (v.size() > max)
        fail(key + " must be at most " + std::to_string(max) + " bytes");
    return v;
}

bool to_bool(const std::string& v, const std::string& key) {
    return to_uint(v, 1, key) != 0;
}

Unlink to_unlink(const std::string& v, const std::string& key) {
    if (v == "none")
        return Unlink::none;
    if (v == "before")
        return Unlink::before;
    if (v == "instead")
        return Unlink::instead;
    if (v == "after")
        return Unlink::after;
    fail(key + " must be none, before, instead or after");
}

// TYPE[:HEX], a frame to send as it stands.
void parse_frame_spec(const std::string& v, const std::string& key, int& type,
                      std::string& payload) {
    const size_t colon = v.find(':');
    type = int(to_uint(v.substr(0, colon), 255, key));
    payload = colon == std::string::npos ? std::string() : to_bytes(v.substr(colon + 1), key);
}

// Keys common to a device stage and the enumeration: suffix after "<stage>_".
bool apply_stage(Stage& st, const std::string& suffix, const std::string& v,
                 const std::string& key) {
    if (suffix == "delay")
        st.delay_ms = int(to_uint(v, max_delay_ms, key));
    else if (suffix == "type")
        st.type = int(to_uint(v, 255, key));
    else if (suffix == "payload") {
        st.has_payload = true;
        st.payload = to_bytes(v, key);
    } else if (suffix == "unlink")
        st.unlink = to_unlink(v, key);
    else if (suffix == "extra")
        parse_frame_spec(v, key, st.extra_type, st.extra_payload);
    else if (suffix == "badcrc")
        st.bad_crc = to_bool(v, key);
    else
        return false;
    return true;
}

const char* const stage_names[st_count] = {"link", "auth", "upload", "getparam", "cmd"};

void apply_profile(Profile& p, const std::string& key, const std::string& raw) {
    const std::string v = unquote(raw, key);
    if (key == "delay") {
        p.delay_ms = int(to_uint(v, max_delay_ms, key));
        return;
    }
    if (key == "pin") {
        p.any_pin = v == "*";
        p.pin = limited(v, 16, key);
        return;
    }
    if (key == "upname") {
        p.has_upname = true;
        p.upname = limited(v, 10, key);
        return;
    }
    if (key == "name") {
        p.devname = limited(v, 40, key);
        return;
    }
    if (key == "offline_links") {
        p.offline_links = uint32_t(to_uint(v, 1000000, key));
        return;
    }
    if (key == "params") {
        if (v != "none")
            fail("params only takes the value none");
        p.params.clear();
        return;
    }
    if (key == "restart") {
        p.restart_ms = v == "forever" ? -1 : int64_t(to_uint(v, max_delay_ms, key));
        return;
    }
    if (key.size() > 7 && key.compare(0, 7, "apply_p") == 0 && key[7] >= '0' && key[7] <= '9') {
        const auto id = uint16_t(to_uint(key.substr(7), 65535, "a parameter id"));
        const std::string value = limited(v, 252, key);
        for (auto& e : p.applied_params)
            if (e.first == id) {
                e.second = value;
                return;
            }
        p.applied_params.emplace_back(id, value);
        return;
    }
    if (key.size() > 1 && key[0] == 'p' && key[1] >= '0' && key[1] <= '9') {
        const auto id = uint16_t(to_uint(key.substr(1), 65535, "a parameter id"));
        // The answer's argument length is one byte holding 3 + the value's length.
        const std::string value = limited(v, 252, key);
        for (auto& e : p.params)
            if (e.first == id) {
                e.second = value;
                return;
            }
        p.params.emplace_back(id, value);
        return;
    }
    for (int s = 0; s < st_count; ++s) {
        const std::string name = stage_names[s];
        if (key == name) {
            p.stage[s].result = int(to_uint(v, 255, key));
            return;
        }
        if (key.compare(0, name.size() + 1, name + "_") == 0 &&
            apply_stage(p.stage[s], key.substr(name.size() + 1), v, key))
            return;
    }
    fail("unknown device key " + key);
}

Enum_fault to_enum_fault(const std::string& v) {
    if (v == "none")
        return Enum_fault::none;
    if (v == "bad_digit")
        return Enum_fault::bad_digit;
    if (v == "imei_zero")
        return Enum_fault::imei_zero;
    if (v == "name_zero")
        return Enum_fault::name_zero;
    if (v == "bad_length")
        return Enum_fault::bad_length;
    if (v == "too_many")
        return Enum_fault::too_many;
    if (v == "short")
        return Enum_fault::short_payload;
    fail("enum_fault must be none, bad_digit, imei_zero, name_zero, bad_length, too_many or short");
}

void apply_server(Port& p, const std::string& key, const std::string& raw) {
    const std::string v = unquote(raw, key);
    if (key == "ping")
        p.ping_ms = int(to_uint(v, max_delay_ms, key));
    else if (key == "ping_len")
        p.ping_len = size_t(to_uint(v, 65535, key));
    else if (key == "ping_always")
        p.ping_always = to_bool(v, key);
    else if (key == "close_after")
        p.close_after = to_uint(v, UINT64_MAX, key);
    else if (key == "bad_crc")
        p.bad_crc_frame = uint32_t(to_uint(v, UINT32_MAX, key));
    else if (key == "hello")
        parse_frame_spec(v, key, p.hello_type, p.hello_payload);
    else if (key == "stall")
        p.stall_after = int64_t(to_uint(v, UINT32_MAX, key));
    else if (key == "stall_ms")
        p.stall_ms = int(to_uint(v, max_delay_ms, key));
    else if (key == "refuse")
        p.refuse = v == "all" ? -1 : int64_t(to_uint(v, UINT32_MAX, key));
    else if (key == "rate")
        p.rate = to_uint(v, UINT32_MAX, key);
    else if (key == "unknown_link")
        p.unknown_link = uint8_t(to_uint(v, 255, key));
    else if (key == "enum_fault")
        p.enum_fault = to_enum_fault(v);
    else if (key.compare(0, 5, "enum_") != 0 || key == "enum_unlink" || key == "enum_extra" ||
             !apply_stage(p.enumerate, key.substr(5), v, key))
        fail("unknown server key " + key); // a device list has no UNLINK or extra frame
}

std::vector<std::string> tokenize(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i == line.size() || line[i] == '#')
            break;
        std::string tok;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '#'))
                break;
            if (c == '"')
                quoted = !quoted;
            else if (c == '\\' && quoted && i + 1 < line.size())
                tok += line[i++];
            tok += line[i];
        }
        if (quoted)
            fail("unterminated quoted value");
        out.push_back(tok);
    }
    return out;
}

std::pair<std::string, std::string> split_key(const std::string& tok) {
    const size_t eq = tok.find('=');
    if (eq == std::string::npos || eq == 0)
        fail("key=value expected, not \"" + tok + "\"");
    return {tok.substr(0, eq), tok.substr(eq + 1)};
}

Profile builtin_profile() {
    Profile p;
    p.params = {{2, "FW 1.0.0"}, {3, "MODEM 1.0"}, {4, "GNSS 1.0"}};
    return p;
}

struct Port_builder {
    Port* port = nullptr;
    Profile defaults = builtin_profile();
    int64_t default_index = -1;

    uint32_t profile_for(const std::vector<std::string>& toks, size_t first) {
        if (first == toks.size()) {
            if (default_index < 0) {
                default_index = int64_t(port->profiles.size());
                port->profiles.push_back(defaults);
            }
            return uint32_t(default_index);
        }
        Profile p = defaults;
        for (size_t i = first; i < toks.size(); ++i) {
            const auto kv = split_key(toks[i]);
            apply_profile(p, kv.first, kv.second);
        }
        port->profiles.push_back(std::move(p));
        return uint32_t(port->profiles.size() - 1);
    }
};

void parse_line(const std::vector<std::string>& toks, int line_no, std::vector<Port>& ports,
                Port_builder& b) {
    const std::string& word = toks[0];
    if (word == "port") {
        if (toks.size() < 2)
            fail("port needs a port number");
        ports.emplace_back();
        b = Port_builder();
        b.port = &ports.back();
        b.port->port = uint16_t(to_uint(toks[1], 65535, "the port"));
        b.port->line = line_no;
        for (size_t i = 2; i < toks.size(); ++i) {
            const auto kv = split_key(toks[i]);
            apply_server(*b.port, kv.first, kv.second);
        }
        return;
    }
    if (!b.port)
        fail("a port line must come first");
    if (word == "server") {
        for (size_t i = 1; i < toks.size(); ++i) {
            const auto kv = split_key(toks[i]);
            apply_server(*b.port, kv.first, kv.second);
        }
    } else if (word == "default") {
        for (size_t i = 1; i < toks.size(); ++i) {
            const auto kv = split_key(toks[i]);
            apply_profile(b.defaults, kv.first, kv.second);
        }
        b.default_index = -1;
    } else if (word == "device") {
        if (toks.size() < 2)
            fail("device needs an IMEI");
        const uint64_t imei = to_uint(toks[1], max_imei, "the IMEI");
        b.port->devices.push_back(Device{imei, b.profile_for(toks, 2)});
    } else if (word == "range") {
        if (toks.size() < 3)
            fail("range needs the first IMEI and a count");
        const uint64_t first = to_uint(toks[1], max_imei, "the first IMEI");
        const uint64_t count = to_uint(toks[2], max_range, "the count");
        if (count == 0 || first + count - 1 > max_imei)
            fail("the range must hold 1 or more IMEIs of at most 15 digits");
        const uint32_t prof = b.profile_for(toks, 3);
        b.port->devices.reserve(b.port->devices.size() + count);
        for (uint64_t i = 0; i < count; ++i)
            b.port->devices.push_back(Device{first + i, prof});
    } else {
        fail("unknown line \"" + word + "\" (port, server, default, device or range expected)");
    }
}

} // namespace

int64_t Port::find(uint64_t imei) const {
    const auto it =
        std::lower_bound(by_imei.begin(), by_imei.end(), imei,
                         [this](uint32_t i, uint64_t v) { return devices[i].imei < v; });
    if (it == by_imei.end() || devices[*it].imei != imei)
        return -1;
    return *it;
}

bool parse_fleet(const std::string& text, const std::string& origin, std::vector<Port>& ports,
                 std::string& error) {
    // Ports are appended while builders point into the vector: keep it from moving.
    ports.reserve(ports.size() + 1024);
    Port_builder b;
    int line_no = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++line_no;
        try {
            const auto toks = tokenize(line);
            if (!toks.empty()) {
                if (toks[0] == "port" && ports.size() == ports.capacity())
                    fail("too many ports");
                parse_line(toks, line_no, ports, b);
            }
        } catch (const Parse_error& e) {
            error = origin + ":" + std::to_string(line_no) + ": " + e.text;
            return false;
        }
    }
    return true;
}

bool finish_fleet(std::vector<Port>& ports, std::string& error) {
    for (Port& p : ports) {
        p.by_imei.resize(p.devices.size());
        for (uint32_t i = 0; i < p.by_imei.size(); ++i)
            p.by_imei[i] = i;
        std::stable_sort(p.by_imei.begin(), p.by_imei.end(), [&p](uint32_t a, uint32_t b) {
            return p.devices[a].imei < p.devices[b].imei;
        });
        for (size_t i = 1; i < p.by_imei.size(); ++i)
            if (p.devices[p.by_imei[i]].imei == p.devices[p.by_imei[i - 1]].imei) {
                error = "IMEI " + std::to_string(p.devices[p.by_imei[i]].imei) +
                        " is listed twice for the port declared on line " + std::to_string(p.line);
                return false;
            }
    }
    return true;
}

} // namespace sim
