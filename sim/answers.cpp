// How the simulated server takes the client's frames apart and builds its answers:
// one handler per request type, device behaviour from the fleet's profiles.
#include "sim/conn.h"
#include "sim/server.h"
#include "sim/wire.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

const uint8_t ping_answer_payload[21] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE};

} // namespace

const Profile& Server::profile_of(const Conn& c) const {
    return c.port->profiles[c.port->devices[size_t(c.device)].profile];
}

void Server::violation(Conn& c, const char* why, uint8_t type, size_t len) {
    ++counters.violations;
    record.line("%llu %u BAD why=%s type=0x%02x len=%zu", (unsigned long long)c.id, c.port->port,
                why, type, len);
    close_conn(c, "violation");
}

void Server::emit(Conn& c, std::vector<uint8_t>& buf, uint8_t type, const uint8_t* payload,
                  size_t len, bool bad_crc) {
    const size_t at = buf.size();
    buf.resize(at + len + frame_overhead);
    if (len)
        memcpy(&buf[at + 3], payload, len);
    seal_frame(&buf[at], type, len);
    ++c.frames_out;
    ++counters.frames_out;
    if (type == UNLINK)
        ++counters.unlinks;
    if (bad_crc || c.frames_out == c.port->bad_crc_frame)
        buf[at + 3 + len] ^= 0x5A;
}

void Server::answer(Conn& c, const Stage& st, int common_delay, uint8_t type,
                    const uint8_t* payload, size_t len) {
    const int delay = st.delay_ms >= 0 ? st.delay_ms : common_delay;
    std::vector<uint8_t>& buf = delay > 0 ? c.pending : c.out;
    if (st.unlink == Unlink::before || st.unlink == Unlink::instead)
        emit(c, buf, UNLINK, nullptr, 0, false);
    if (st.unlink != Unlink::instead) {
        if (st.has_payload) {
            payload = reinterpret_cast<const uint8_t*>(st.payload.data());
            len = st.payload.size();
        }
        emit(c, buf, st.type >= 0 ? uint8_t(st.type) : type, payload, len, st.bad_crc);
    }
    if (st.unlink == Unlink::after)
        emit(c, buf, UNLINK, nullptr, 0, false);
    if (st.extra_type >= 0)
        emit(c, buf, uint8_t(st.extra_type),
             reinterpret_cast<const uint8_t*>(st.extra_payload.data()), st.extra_payload.size(),
             false);
    // The device is gone once it has said so (an UNLINK ahead of the answer is taken
    // as a late notice about an earlier link and changes nothing).
    if (st.unlink == Unlink::instead || st.unlink == Unlink::after)
        unlink_device(c);
    if (delay > 0) {
        c.answer_at = now + delay;
        arm(c, c.answer_at);
    } else {
        flush(c);
    }
}

void Server::enum_frame(Conn& c) {
    Port& p = *c.port;
    const Stage& st = p.enumerate;
    const size_t total = p.devices.size();
    const size_t n = std::min<size_t>(enum_page, total - c.enum_next);
    const bool first = c.enum_first;
    c.enum_first = false;
    const Enum_fault fault = first ? p.enum_fault : Enum_fault::none;
    const uint8_t type = st.type >= 0 ? uint8_t(st.type) : uint8_t(ENUMERATE_ANSWER);
    ++counters.enum_frames;

    if (first && (st.has_payload || fault == Enum_fault::short_payload)) {
        const uint8_t zero = 0;
        if (st.has_payload)
            emit(c, c.out, type, reinterpret_cast<const uint8_t*>(st.payload.data()),
                 st.payload.size(), st.bad_crc);
        else
            emit(c, c.out, type, &zero, 1, st.bad_crc);
        c.enum_active = false;
        return;
    }
    const size_t entries = fault == Enum_fault::too_many ? enum_page + 1 : n;
    const size_t len = 2 + enum_entry_size * entries + (fault == Enum_fault::bad_length ? 1 : 0);
    const size_t at = c.out.size();
    c.out.resize(at + len + frame_overhead);
    uint8_t* pl = &c.out[at + 3];
    memset(pl, 0, len);
    put_u16(pl, uint16_t(entries));
    for (size_t i = 0; i < entries; ++i) {
        uint8_t* e = pl + 2 + enum_entry_size * i;
        uint64_t imei = 0;
        if (c.enum_next + i < total) {
            const Device& d = p.devices[c.enum_next + i];
            imei = d.imei;
            const std::string& name = p.profiles[d.profile].devname;
            memcpy(e + 16, name.data(), name.size());
        }
        for (int k = 14; k >= 0; --k) {
            e[k] = uint8_t('0' + imei % 10);
            imei /= 10;
        }
    }
    if (entries > 0) {
        if (fault == Enum_fault::bad_digit)
            pl[2 + 7] = 'A';
        else if (fault == Enum_fault::imei_zero)
            pl[2 + 15] = 0x20;
        else if (fault == Enum_fault::name_zero)
            pl[2 + 56] = 'x';
    }
    seal_frame(&c.out[at], type, len);
    ++c.frames_out;
    ++counters.frames_out;
    if ((first && st.bad_crc) || c.frames_out == p.bad_crc_frame)
        c.out[at + 3 + len] ^= 0x5A;
    c.enum_next += n;
    if (n < enum_page || fault != Enum_fault::none || (first && st.type >= 0))
        c.enum_active = false;
}

void Server::feed(Conn& c, const uint8_t* p, size_t n) {
    const uint32_t gen = c.gen;
    while (n > 0 && c.gen == gen && !c.stalled) {
        if (c.file_left) {
            const size_t k = std::min<size_t>(n, c.file_left);
            c.file_crc = crc32(p, k, c.file_crc);
            c.file_left -= uint32_t(k);
            p += k;
            n -= k;
            if (c.file_left == 0)
                upload_done(c);
            continue;
        }
        if (c.rx_need == 0) {
            c.rx[c.rx_fill++] = *p++;
            --n;
            if (c.rx_fill == 2) {
                const size_t len = get_u16(c.rx);
                if (len > max_in_payload) {
                    violation(c, "length", 0, len);
                    return;
                }
                c.rx_need = len + frame_overhead;
            }
            continue;
        }
        const size_t k = std::min(n, c.rx_need - c.rx_fill);
        memcpy(c.rx + c.rx_fill, p, k);
        c.rx_fill += k;
        p += k;
        n -= k;
        if (c.rx_fill == c.rx_need) {
            frame_done(c);
            c.rx_fill = c.rx_need = 0;
        }
    }
}

void Server::frame_done(Conn& c) {
    const size_t len = get_u16(c.rx);
    const uint8_t type = c.rx[2];
    const uint8_t* pl = c.rx + 3;
    if (get_u32(pl + len) != crc32(c.rx, len + 3)) {
        violation(c, "crc", type, len);
        return;
    }
    ++c.frames_in;
    ++counters.frames_in;
    if (c.port->stall_after >= 0 && c.frames_in > uint64_t(c.port->stall_after)) {
        enter_stall(c);
        return;
    }
    if (type == PING_ANSWER) {
        on_ping_answer(c, pl, len);
        return;
    }
    if (c.answer_at >= 0 || c.pending_enum || c.enum_active) {
        // One request at a time: the client must await the answer first.
        violation(c, "busy", type, len);
        return;
    }
    switch (type) {
    case LINK:
        on_link(c, pl, len);
        break;
    case AUTH:
        on_auth(c, pl, len);
        break;
    case UPFILE:
        on_upfile(c, pl, len);
        break;
    case CMD:
        on_cmd(c, pl, len);
        break;
    case ENUMERATE:
        on_enumerate(c, len);
        break;
    default:
        violation(c, "type", type, len);
    }
}

void Server::on_link(Conn& c, const uint8_t* pl, size_t len) {
    if (len != 57) {
        violation(c, "link_length", LINK, len);
        return;
    }
    uint64_t imei = 0;
    for (int k = 0; k < 15; ++k) {
        if (pl[k] < '0' || pl[k] > '9') {
            violation(c, "link_imei", LINK, len);
            return;
        }
        imei = imei * 10 + (pl[k] - '0');
    }
    for (size_t k = 15; k < len; ++k)
        if (pl[k] != 0) {
            violation(c, "link_padding", LINK, len);
            return;
        }
    unlink_device(c);
    ++counters.links;
    const int64_t idx = c.port->find(imei);
    static const Stage plain;
    const Stage* st = &plain;
    int delay = 0;
    uint8_t result = c.port->unknown_link;
    if (idx >= 0) {
        const Profile& prof = c.port->profiles[c.port->devices[size_t(idx)].profile];
        st = &prof.stage[st_link];
        delay = prof.delay_ms;
        result = st->result >= 0 ? uint8_t(st->result) : 0;
        uint32_t& tries = link_tries[c.port_index][size_t(idx)];
        if (tries < prof.offline_links)
            result = 2; // not yet online
        ++tries;
        const std::vector<int64_t>& changed = applied_at[c.port_index];
        if (!changed.empty() && changed[size_t(idx)] >= 0 && prof.restart_ms != 0 &&
            (prof.restart_ms < 0 || now < changed[size_t(idx)] + prof.restart_ms))
            result = 2; // restarting with the new file, or gone for good
        uint32_t& owner = owners[c.port_index][size_t(idx)];
        if (result == 0 && owner != 0 && owner != c.slot + 1)
            result = 3; // linked to another client
        if (result == 0) {
            c.device = idx;
            owner = c.slot + 1;
        }
    }
    record.line("%llu %u LINK imei=%015llu result=%u", (unsigned long long)c.id, c.port->port,
                (unsigned long long)imei, result);
    answer(c, *st, delay, LINK_ANSWER, &result, 1);
}

void Server::on_auth(Conn& c, const uint8_t* pl, size_t len) {
    if (c.device < 0) {
        violation(c, "auth_unlinked", AUTH, len);
        return;
    }
    if ((len != 5 && len != 17) || pl[len - 1] != 0) {
        violation(c, "auth_payload", AUTH, len);
        return;
    }
    const size_t n = strnlen(reinterpret_cast<const char*>(pl), len - 1);
    const Profile& prof = profile_of(c);
    const Stage& st = prof.stage[st_auth];
    const bool pin_ok =
        prof.any_pin || (n == prof.pin.size() && memcmp(pl, prof.pin.data(), n) == 0);
    const uint8_t status = pin_ok ? (st.result >= 0 ? uint8_t(st.result) : 1) : 0;
    const uint64_t imei = c.port->devices[size_t(c.device)].imei;
    c.authed = status == 1;
    ++counters.auths;
    char word[4 * 17 + 3];
    record.line("%llu %u AUTH imei=%015llu pin=%s len=%zu status=%u", (unsigned long long)c.id,
                c.port->port, (unsigned long long)imei, record_word(word, pl, n), len, status);
    answer(c, st, prof.delay_ms, AUTH_ANSWER, &status, 1);
}

void Server::on_upfile(Conn& c, const uint8_t* pl, size_t len) {
    if (!c.authed) {
        violation(c, "upfile_unauthorized", UPFILE, len);
        return;
    }
    if (len != 18) {
        violation(c, "upfile_length", UPFILE, len);
        return;
    }
    memcpy(c.file_name, pl, 10);
    c.file_size = c.file_left = get_u32(pl + 10);
    c.file_decl = get_u32(pl + 14);
    c.file_crc = 0;
    if (c.file_size == 0)
        upload_done(c);
}

void Server::upload_done(Conn& c) {
    const Profile& prof = profile_of(c);
    const Stage& st = prof.stage[st_upload];
    const bool sum_ok = c.file_crc == c.file_decl;
    uint8_t a[11];
    a[10] = st.result >= 0 ? uint8_t(st.result) : (sum_ok ? 0 : 4);
    memset(a, 0, 10);
    if (prof.has_upname)
        memcpy(a, prof.upname.data(), prof.upname.size());
    else
        memcpy(a, c.file_name, 10);
    ++counters.uploads;
    counters.upload_bytes += c.file_size;
    if (a[10] == 0 && prof.changes_on_upload())
        applied_at[c.port_index][size_t(c.device)] = now;
    if (!sum_ok)
        ++counters.upload_crc_errors;
    char word[4 * 10 + 3];
    record.line("%llu %u UPFILE imei=%015llu name=%s size=%u crc=%08x got=%08x result=%u",
                (unsigned long long)c.id, c.port->port,
                (unsigned long long)c.port->devices[size_t(c.device)].imei,
                record_word(word, c.file_name, strnlen(reinterpret_cast<char*>(c.file_name), 10)),
                c.file_size, c.file_decl, c.file_crc, a[10]);
    answer(c, st, prof.delay_ms, UPFILE_ANSWER, a, sizeof a);
}

bool Server::applied(const Conn& c) const {
    const std::vector<int64_t>& changed = applied_at[c.port_index];
    return !changed.empty() && changed[size_t(c.device)] >= 0;
}

void Server::on_cmd(Conn& c, const uint8_t* pl, size_t len) {
    if (!c.authed) {
        violation(c, "cmd_unauthorized", CMD, len);
        return;
    }
    if (len < 6) {
        violation(c, "cmd_length", CMD, len);
        return;
    }
    const uint32_t id = get_u32(pl);
    const uint8_t code = pl[4];
    const Profile& prof = profile_of(c);
    const uint64_t imei = c.port->devices[size_t(c.device)].imei;
    uint8_t a[9 + 255];
    put_u32(a, id);
    a[5] = 0;
    size_t alen = 6;
    if (code == cmd_getparam) {
        if (len != 10 || pl[5] != 4 || pl[8] != 0 || pl[9] != 0) {
            violation(c, "getparam_payload", CMD, len);
            return;
        }
        const uint16_t pid = get_u16(pl + 6);
        const Stage& st = prof.stage[st_getparam];
        const std::string* value = nullptr;
        for (const auto& e : prof.params)
            if (e.first == pid)
                value = &e.second;
        if (applied(c))
            for (const auto& e : prof.applied_params)
                if (e.first == pid)
                    value = &e.second;
        a[4] = st.result >= 0 ? uint8_t(st.result) : (value ? 1 : 5);
        if (a[4] == 1) {
            const size_t n = value ? value->size() : 0;
            a[5] = uint8_t(3 + n);
            put_u16(a + 6, pid);
            a[8] = uint8_t(n);
            if (n)
                memcpy(a + 9, value->data(), n);
            alen = 9 + n;
        }
        ++counters.getparams;
        record.line("%llu %u GETPARAM imei=%015llu id=%u param=%u result=%u",
                    (unsigned long long)c.id, c.port->port, (unsigned long long)imei, id, pid,
                    a[4]);
        answer(c, st, prof.delay_ms, CMD_ANSWER, a, alen);
        return;
    }
    if (len != 6 || pl[5] != 0) {
        violation(c, "cmd_payload", CMD, len);
        return;
    }
    const Stage& st = prof.stage[st_cmd];
    a[4] = st.result >= 0 ? uint8_t(st.result) : 1;
    ++counters.cmds;
    record.line("%llu %u CMD imei=%015llu id=%u code=%u result=%u", (unsigned long long)c.id,
                c.port->port, (unsigned long long)imei, id, code, a[4]);
    answer(c, st, prof.delay_ms, CMD_ANSWER, a, alen);
}

void Server::on_enumerate(Conn& c, size_t len) {
    if (len != 0) {
        violation(c, "enumerate_length", ENUMERATE, len);
        return;
    }
    ++counters.enumerates;
    record.line("%llu %u ENUMERATE devices=%zu", (unsigned long long)c.id, c.port->port,
                c.port->devices.size());
    c.enum_first = true;
    c.enum_next = 0;
    if (c.port->enumerate.delay_ms > 0) {
        c.pending_enum = true;
        c.answer_at = now + c.port->enumerate.delay_ms;
        arm(c, c.answer_at);
        return;
    }
    c.enum_active = true;
    flush(c);
}

void Server::on_ping_answer(Conn& c, const uint8_t* pl, size_t len) {
    if (len != sizeof ping_answer_payload || memcmp(pl, ping_answer_payload, len) != 0) {
        violation(c, "ping_answer_payload", PING_ANSWER, len);
        return;
    }
    if (c.pings_out == 0) {
        violation(c, "ping_answer_unasked", PING_ANSWER, len);
        return;
    }
    --c.pings_out;
    ++counters.ping_answers;
    record.line("%llu %u PING_ANSWER", (unsigned long long)c.id, c.port->port);
}

} // namespace sim
