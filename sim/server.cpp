#include "sim/server.h"

#include "sim/wire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {

// The client never sends more than 57 payload bytes; anything far above that is not
// worth buffering and ends the connection as a violation.
constexpr size_t max_in_payload = 1024;
constexpr size_t scratch_size = 256 * 1024;
constexpr size_t read_budget = 1024 * 1024; // per readiness event, for fairness
constexpr size_t enum_high_water = 64 * 1024;
constexpr uint64_t listener_tag = 0xFFFFFFFF00000000ull;
constexpr uint64_t signal_tag = 0xFFFFFFFE00000000ull;
constexpr uint32_t no_slot = UINT32_MAX;

int64_t monotonic_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

const uint8_t ping_answer_payload[21] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE};

} // namespace

struct Server::Conn {
    int fd = -1;
    uint32_t slot = 0;
    uint32_t gen = 0;
    uint32_t interest = 0;
    uint64_t id = 0;
    size_t port_index = 0;
    Port* port = nullptr;
    uint16_t peer = 0;

    uint8_t rx[max_in_payload + frame_overhead];
    size_t rx_fill = 0;
    size_t rx_need = 0; // whole frame size once the length is in, else 0
    uint32_t file_left = 0, file_size = 0, file_decl = 0, file_crc = 0;
    uint8_t file_name[10];
    uint64_t bytes_in = 0, frames_in = 0;
    uint32_t frames_out = 0;

    int64_t device = -1;
    bool authed = false;

    std::vector<uint8_t> out;
    size_t out_pos = 0;
    std::vector<uint8_t> pending; // a delayed answer, moved to `out` at answer_at
    int64_t answer_at = -1;
    bool pending_enum = false;
    bool enum_active = false;
    bool enum_first = false;
    size_t enum_next = 0;

    int64_t ping_at = -1;
    uint32_t pings_out = 0;
    bool stalled = false;
    int64_t stall_until = -1;
    double tokens = 0;
    int64_t tokens_at = 0;
    bool read_paused = false;
    int64_t resume_at = -1;

    void reset() {
        rx_fill = rx_need = 0;
        file_left = file_size = file_decl = file_crc = 0;
        bytes_in = frames_in = 0;
        frames_out = 0;
        device = -1;
        authed = false;
        out.clear();
        out_pos = 0;
        pending.clear();
        answer_at = -1;
        pending_enum = enum_active = enum_first = false;
        enum_next = 0;
        ping_at = -1;
        pings_out = 0;
        stalled = false;
        stall_until = -1;
        tokens = 0;
        tokens_at = 0;
        read_paused = false;
        resume_at = -1;
        interest = 0;
    }
};

Server::Server(std::vector<Port>& ports, Record& record) : ports_(ports), record_(record) {
    scratch_.resize(scratch_size);
    timers_.reserve(1024);
}

Server::~Server() {
    for (auto& c : conns_)
        if (c->fd >= 0)
            ::close(c->fd);
    for (int fd : listen_fds_)
        if (fd >= 0)
            ::close(fd);
    if (signal_fd_ >= 0)
        ::close(signal_fd_);
    if (epoll_ >= 0)
        ::close(epoll_);
}

bool Server::listen(std::string& error) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) {
        error = std::string("epoll_create1: ") + strerror(errno);
        return false;
    }
    for (size_t i = 0; i < ports_.size(); ++i) {
        Port& p = ports_[i];
        owners_.emplace_back(p.devices.size(), 0);
        refused_.push_back(0);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        listen_fds_.push_back(fd);
        if (fd < 0) {
            error = std::string("socket: ") + strerror(errno);
            return false;
        }
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (p.rate) {
            // Accepted sockets inherit a small receive window, so that the sender
            // feels the limit instead of filling megabytes of kernel buffers.
            const int buf = int(std::min<uint64_t>(std::max<uint64_t>(p.rate / 4, 4096), 65536));
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buf, sizeof buf);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(p.port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) {
            error = "cannot bind 127.0.0.1:" + std::to_string(p.port) + ": " + strerror(errno);
            return false;
        }
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        p.port = ntohs(a.sin_port);
        // A port that refuses everything stays bound without listening: the
        // kernel then answers every connection attempt with a reset.
        if (p.refuse < 0)
            continue;
        if (::listen(fd, SOMAXCONN) < 0) {
            error = "cannot listen on 127.0.0.1:" + std::to_string(p.port) + ": " + strerror(errno);
            return false;
        }
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = listener_tag | i;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
    }
    return true;
}

void Server::arm(Conn& c, int64_t when) {
    timers_.push_back(Timer{when, c.slot, c.gen});
    std::push_heap(timers_.begin(), timers_.end(), std::greater<Timer>());
}

const Profile& Server::profile_of(const Conn& c) const {
    return c.port->profiles[c.port->devices[size_t(c.device)].profile];
}

void Server::accept_on(size_t pi) {
    Port& p = ports_[pi];
    for (;;) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = accept4(listen_fds_[pi], reinterpret_cast<sockaddr*>(&peer), &len,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: stop accepting for a moment rather than spin.
                for (size_t i = 0; i < listen_fds_.size(); ++i)
                    if (ports_[i].refuse >= 0)
                        epoll_ctl(epoll_, EPOLL_CTL_DEL, listen_fds_[i], nullptr);
                accept_paused_until_ = now_ + 100;
                timers_.push_back(Timer{accept_paused_until_, no_slot, 0});
                std::push_heap(timers_.begin(), timers_.end(), std::greater<Timer>());
            }
            return;
        }
        ++counters_.connections;
        const uint64_t id = next_id_++;
        if (refused_[pi] < p.refuse) {
            ++refused_[pi];
            ++counters_.refused;
            const linger lg{1, 0}; // close with a reset
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
            ::close(fd);
            record_.line("%llu %u refused", (unsigned long long)id, p.port);
            continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

        uint32_t slot;
        if (!free_slots_.empty()) {
            slot = free_slots_.back();
            free_slots_.pop_back();
        } else {
            slot = uint32_t(conns_.size());
            conns_.push_back(std::make_unique<Conn>());
            conns_.back()->slot = slot;
            conns_.back()->out.reserve(512);
        }
        Conn& c = *conns_[slot];
        c.reset();
        c.fd = fd;
        c.id = id;
        c.port_index = pi;
        c.port = &p;
        c.peer = ntohs(peer.sin_port);
        c.tokens = double(std::max<uint64_t>(p.rate / 20, 512));
        c.tokens_at = now_;
        record_.line("%llu %u open peer=%u", (unsigned long long)id, p.port, c.peer);

        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.u64 = uint64_t(c.gen) << 32 | slot;
        c.interest = ev.events;
        if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) < 0) {
            close_conn(c, "epoll");
            continue;
        }
        if (p.stall_after == 0) {
            enter_stall(c);
            continue;
        }
        if (p.hello_type >= 0)
            emit(c, c.out, uint8_t(p.hello_type),
                 reinterpret_cast<const uint8_t*>(p.hello_payload.data()), p.hello_payload.size(),
                 false);
        if (p.ping_ms > 0) {
            c.ping_at = now_ + p.ping_ms;
            arm(c, c.ping_at);
        }
        flush(c);
    }
}

void Server::update_interest(Conn& c) {
    if (c.fd < 0)
        return;
    uint32_t want = EPOLLRDHUP;
    if (!c.stalled && !c.read_paused)
        want |= EPOLLIN;
    if (!c.stalled && c.out_pos < c.out.size())
        want |= EPOLLOUT;
    if (want == c.interest)
        return;
    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = uint64_t(c.gen) << 32 | c.slot;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
    c.interest = want;
}

void Server::close_conn(Conn& c, const char* reason) {
    if (c.fd < 0)
        return;
    epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
    ::close(c.fd);
    c.fd = -1;
    unlink_device(c);
    ++counters_.closed;
    record_.line("%llu %u close reason=%s", (unsigned long long)c.id, c.port->port, reason);
    ++c.gen;
    free_slots_.push_back(c.slot);
}

void Server::unlink_device(Conn& c) {
    if (c.device >= 0)
        owners_[c.port_index][size_t(c.device)] = 0;
    c.device = -1;
    c.authed = false;
}

void Server::violation(Conn& c, const char* why, uint8_t type, size_t len) {
    ++counters_.violations;
    record_.line("%llu %u BAD why=%s type=0x%02x len=%zu", (unsigned long long)c.id, c.port->port,
                 why, type, len);
    close_conn(c, "violation");
}

void Server::enter_stall(Conn& c) {
    ++counters_.stalls;
    record_.line("%llu %u stall", (unsigned long long)c.id, c.port->port);
    c.stalled = true;
    c.answer_at = -1;
    c.pending.clear();
    c.pending_enum = c.enum_active = false;
    c.stall_until = now_ + c.port->stall_ms;
    arm(c, c.stall_until);
    update_interest(c);
}

void Server::emit(Conn& c, std::vector<uint8_t>& buf, uint8_t type, const uint8_t* payload,
                  size_t len, bool bad_crc) {
    const size_t at = buf.size();
    buf.resize(at + len + frame_overhead);
    if (len)
        memcpy(&buf[at + 3], payload, len);
    seal_frame(&buf[at], type, len);
    ++c.frames_out;
    ++counters_.frames_out;
    if (type == UNLINK)
        ++counters_.unlinks;
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
    // The device is gone once it has said so (an UNLINK ahead of the answer is taken
    // as a late notice about an earlier link and changes nothing).
    if (st.unlink == Unlink::instead || st.unlink == Unlink::after)
        unlink_device(c);
    if (delay > 0) {
        c.answer_at = now_ + delay;
        arm(c, c.answer_at);
    } else {
        flush(c);
    }
}

void Server::flush(Conn& c) {
    if (c.fd < 0 || c.stalled)
        return;
    for (;;) {
        while (c.out_pos < c.out.size()) {
            const ssize_t n =
                ::send(c.fd, &c.out[c.out_pos], c.out.size() - c.out_pos, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    update_interest(c);
                    return;
                }
                if (errno == EINTR)
                    continue;
                close_conn(c, "write_error");
                return;
            }
            c.out_pos += size_t(n);
            counters_.bytes_out += uint64_t(n);
        }
        c.out.clear();
        c.out_pos = 0;
        if (!c.enum_active)
            break;
        while (c.enum_active && c.out.size() < enum_high_water)
            enum_frame(c);
    }
    update_interest(c);
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
    ++counters_.enum_frames;

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
    ++counters_.frames_out;
    if ((first && st.bad_crc) || c.frames_out == p.bad_crc_frame)
        c.out[at + 3 + len] ^= 0x5A;
    c.enum_next += n;
    if (n < enum_page || fault != Enum_fault::none || (first && st.type >= 0))
        c.enum_active = false;
}

void Server::on_event(Conn& c, uint32_t events) {
    if (events & (EPOLLERR | EPOLLHUP)) {
        close_conn(c, "peer");
        return;
    }
    if ((events & EPOLLRDHUP) && !(c.interest & EPOLLIN)) {
        // Not reading (stalled or throttled): the peer's close is all there is to see.
        close_conn(c, "peer");
        return;
    }
    const uint32_t gen = c.gen;
    if (events & EPOLLOUT)
        flush(c);
    if (c.gen == gen && (events & (EPOLLIN | EPOLLRDHUP)))
        on_readable(c);
}

void Server::on_readable(Conn& c) {
    const uint32_t gen = c.gen;
    const Port& p = *c.port;
    size_t budget = read_budget;
    while (c.gen == gen && !c.stalled && budget > 0) {
        size_t cap = std::min(scratch_.size(), budget);
        if (p.rate) {
            const double burst = double(std::max<uint64_t>(p.rate / 20, 512));
            c.tokens =
                std::min(burst, c.tokens + double(now_ - c.tokens_at) * double(p.rate) / 1000.0);
            c.tokens_at = now_;
            if (c.tokens < 1) {
                c.read_paused = true;
                c.resume_at =
                    now_ + std::max<int64_t>(1, int64_t(burst / 2 * 1000 / double(p.rate)));
                arm(c, c.resume_at);
                update_interest(c);
                return;
            }
            cap = std::min(cap, size_t(c.tokens));
        }
        if (p.close_after)
            cap = size_t(std::min<uint64_t>(cap, p.close_after - c.bytes_in));
        const ssize_t n = ::recv(c.fd, scratch_.data(), cap, 0);
        if (n == 0) {
            close_conn(c, "peer");
            return;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                close_conn(c, "read_error");
            return;
        }
        budget -= size_t(n);
        c.bytes_in += uint64_t(n);
        counters_.bytes_in += uint64_t(n);
        if (p.rate)
            c.tokens -= double(n);
        feed(c, scratch_.data(), size_t(n));
        if (c.gen == gen && p.close_after && c.bytes_in >= p.close_after) {
            close_conn(c, "close_after");
            return;
        }
        if (size_t(n) < cap)
            return; // drained
    }
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
    ++counters_.frames_in;
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
    ++counters_.links;
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
        uint32_t& owner = owners_[c.port_index][size_t(idx)];
        if (result == 0 && owner != 0 && owner != c.slot + 1)
            result = 3; // linked to another client
        if (result == 0) {
            c.device = idx;
            owner = c.slot + 1;
        }
    }
    record_.line("%llu %u LINK imei=%015llu result=%u", (unsigned long long)c.id, c.port->port,
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
    ++counters_.auths;
    char word[4 * 17 + 3];
    record_.line("%llu %u AUTH imei=%015llu pin=%s len=%zu status=%u", (unsigned long long)c.id,
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
    ++counters_.uploads;
    counters_.upload_bytes += c.file_size;
    if (!sum_ok)
        ++counters_.upload_crc_errors;
    char word[4 * 10 + 3];
    record_.line("%llu %u UPFILE imei=%015llu name=%s size=%u crc=%08x got=%08x result=%u",
                 (unsigned long long)c.id, c.port->port,
                 (unsigned long long)c.port->devices[size_t(c.device)].imei,
                 record_word(word, c.file_name, strnlen(reinterpret_cast<char*>(c.file_name), 10)),
                 c.file_size, c.file_decl, c.file_crc, a[10]);
    answer(c, st, prof.delay_ms, UPFILE_ANSWER, a, sizeof a);
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
        ++counters_.getparams;
        record_.line("%llu %u GETPARAM imei=%015llu id=%u param=%u result=%u",
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
    ++counters_.cmds;
    record_.line("%llu %u CMD imei=%015llu id=%u code=%u result=%u", (unsigned long long)c.id,
                 c.port->port, (unsigned long long)imei, id, code, a[4]);
    answer(c, st, prof.delay_ms, CMD_ANSWER, a, alen);
}

void Server::on_enumerate(Conn& c, size_t len) {
    if (len != 0) {
        violation(c, "enumerate_length", ENUMERATE, len);
        return;
    }
    ++counters_.enumerates;
    record_.line("%llu %u ENUMERATE devices=%zu", (unsigned long long)c.id, c.port->port,
                 c.port->devices.size());
    c.enum_first = true;
    c.enum_next = 0;
    if (c.port->enumerate.delay_ms > 0) {
        c.pending_enum = true;
        c.answer_at = now_ + c.port->enumerate.delay_ms;
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
    ++counters_.ping_answers;
    record_.line("%llu %u PING_ANSWER", (unsigned long long)c.id, c.port->port);
}

void Server::on_timer(Conn& c) {
    const uint32_t gen = c.gen;
    if (c.stalled) {
        if (now_ >= c.stall_until)
            close_conn(c, "stall");
        return;
    }
    if (c.answer_at >= 0 && now_ >= c.answer_at) {
        c.answer_at = -1;
        c.out.insert(c.out.end(), c.pending.begin(), c.pending.end());
        c.pending.clear();
        if (c.pending_enum) {
            c.pending_enum = false;
            c.enum_active = true;
        }
        flush(c);
        if (c.gen != gen)
            return;
    }
    if (c.ping_at >= 0 && now_ >= c.ping_at) {
        // A well-behaved server waits for the answer before pinging again.
        if (c.pings_out == 0 || c.port->ping_always) {
            static const uint8_t zeros[65535] = {};
            ++c.pings_out;
            ++counters_.pings;
            emit(c, c.out, PING, zeros, c.port->ping_len, false);
            flush(c);
            if (c.gen != gen)
                return;
        }
        c.ping_at = now_ + c.port->ping_ms;
        arm(c, c.ping_at);
    }
    if (c.read_paused && now_ >= c.resume_at) {
        c.read_paused = false;
        update_interest(c);
    }
}

bool Server::run(std::string& error) {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    signal_fd_ = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signal_fd_ < 0) {
        error = std::string("signalfd: ") + strerror(errno);
        return false;
    }
    epoll_event sev{};
    sev.events = EPOLLIN;
    sev.data.u64 = signal_tag;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, signal_fd_, &sev);

    epoll_event events[256];
    for (;;) {
        now_ = monotonic_ms();
        while (!timers_.empty() && timers_.front().when <= now_) {
            std::pop_heap(timers_.begin(), timers_.end(), std::greater<Timer>());
            const Timer t = timers_.back();
            timers_.pop_back();
            if (t.slot == no_slot) {
                if (accept_paused_until_ >= 0 && now_ >= accept_paused_until_) {
                    accept_paused_until_ = -1;
                    for (size_t i = 0; i < listen_fds_.size(); ++i)
                        if (ports_[i].refuse >= 0) {
                            epoll_event ev{};
                            ev.events = EPOLLIN;
                            ev.data.u64 = listener_tag | i;
                            epoll_ctl(epoll_, EPOLL_CTL_ADD, listen_fds_[i], &ev);
                        }
                }
                continue;
            }
            Conn& c = *conns_[t.slot];
            if (c.fd >= 0 && c.gen == t.gen)
                on_timer(c);
        }
        record_.flush();
        int timeout = -1;
        if (!timers_.empty())
            timeout = int(std::min<int64_t>(timers_.front().when - now_, 60000));
        const int n = epoll_wait(epoll_, events, 256, timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::string("epoll_wait: ") + strerror(errno);
            return false;
        }
        now_ = monotonic_ms();
        for (int i = 0; i < n; ++i) {
            const uint64_t tag = events[i].data.u64;
            if (tag == signal_tag) {
                signalfd_siginfo si;
                if (read(signal_fd_, &si, sizeof si) > 0) {
                    for (auto& c : conns_)
                        close_conn(*c, "exit");
                    record_.flush();
                    return true;
                }
                continue;
            }
            if ((tag & listener_tag) == listener_tag) {
                accept_on(size_t(tag & 0xFFFFFFFFu));
                continue;
            }
            Conn& c = *conns_[uint32_t(tag)];
            if (c.fd >= 0 && c.gen == uint32_t(tag >> 32))
                on_event(c, events[i].events);
        }
    }
}

void Server::print_counters(FILE* out) const {
    const Counters& k = counters_;
    fprintf(out,
            "counters connections=%llu refused=%llu closed=%llu bytes_in=%llu bytes_out=%llu "
            "frames_in=%llu frames_out=%llu links=%llu auths=%llu uploads=%llu upload_bytes=%llu "
            "upload_crc_errors=%llu getparams=%llu cmds=%llu enumerates=%llu enum_frames=%llu "
            "pings=%llu ping_answers=%llu unlinks=%llu violations=%llu stalls=%llu\n",
            (unsigned long long)k.connections, (unsigned long long)k.refused,
            (unsigned long long)k.closed, (unsigned long long)k.bytes_in,
            (unsigned long long)k.bytes_out, (unsigned long long)k.frames_in,
            (unsigned long long)k.frames_out, (unsigned long long)k.links,
            (unsigned long long)k.auths, (unsigned long long)k.uploads,
            (unsigned long long)k.upload_bytes, (unsigned long long)k.upload_crc_errors,
            (unsigned long long)k.getparams, (unsigned long long)k.cmds,
            (unsigned long long)k.enumerates, (unsigned long long)k.enum_frames,
            (unsigned long long)k.pings, (unsigned long long)k.ping_answers,
            (unsigned long long)k.unlinks, (unsigned long long)k.violations,
            (unsigned long long)k.stalls);
}

} // namespace sim
