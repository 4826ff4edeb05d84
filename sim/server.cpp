#include "sim/server.h"

#include "sim/conn.h"
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

constexpr size_t scratch_size = 256 * 1024;
constexpr size_t read_budget = 1024 * 1024; // per readiness event, for fairness
constexpr uint64_t listener_tag = 0xFFFFFFFF00000000ull;
constexpr uint64_t signal_tag = 0xFFFFFFFE00000000ull;
constexpr uint32_t no_slot = UINT32_MAX;

int64_t monotonic_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

Server::Server(std::vector<Port>& ports, Record& record) : ports(ports), record(record) {
    scratch.resize(scratch_size);
    timers.reserve(1024);
}

Server::~Server() {
    for (auto& c : conns)
        if (c->fd >= 0)
            ::close(c->fd);
    for (int fd : listen_fds)
        if (fd >= 0)
            ::close(fd);
    if (signal_fd >= 0)
        ::close(signal_fd);
    if (epoll >= 0)
        ::close(epoll);
}
bool Server::listen(std::string& error) {
    epoll = epoll_create1(EPOLL_CLOEXEC);
    if (epoll < 0) {
        error = std::string("epoll_create1: ") + strerror(errno);
        return false;
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        Port& p = ports[i];
        owners.emplace_back(p.devices.size(), 0);
        link_tries.emplace_back(p.devices.size(), 0);
        bool changes = false;
        for (const Profile& prof : p.profiles)
            changes = changes || prof.changes_on_upload();
        applied_at.emplace_back(changes ? p.devices.size() : 0, -1);
        open_now.push_back(0);
        refused.push_back(0);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        listen_fds.push_back(fd);
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
        epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev);
    }
    return true;
}

void Server::arm(Conn& c, int64_t when) {
    timers.push_back(Timer{when, c.slot, c.gen});
    std::push_heap(timers.begin(), timers.end(), std::greater<Timer>());
}

void Server::accept_on(size_t pi) {
    Port& p = ports[pi];
    for (;;) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = accept4(listen_fds[pi], reinterpret_cast<sockaddr*>(&peer), &len,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: stop accepting for a moment rather than spin.
                for (size_t i = 0; i < listen_fds.size(); ++i)
                    if (ports[i].refuse >= 0)
                        epoll_ctl(epoll, EPOLL_CTL_DEL, listen_fds[i], nullptr);
                accept_paused_until = now + 100;
                timers.push_back(Timer{accept_paused_until, no_slot, 0});
                std::push_heap(timers.begin(), timers.end(), std::greater<Timer>());
            }
            return;
        }
        ++counters.connections;
        const uint64_t id = next_id++;
        if (refused[pi] < p.refuse) {
            ++refused[pi];
            ++counters.refused;
            const linger lg{1, 0}; // close with a reset
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
            ::close(fd);
            record.line("%llu %u refused", (unsigned long long)id, p.port);
            continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

        uint32_t slot;
        if (!free_slots.empty()) {
            slot = free_slots.back();
            free_slots.pop_back();
        } else {
            slot = uint32_t(conns.size());
            conns.push_back(std::make_unique<Conn>());
            conns.back()->slot = slot;
            conns.back()->out.reserve(512);
        }
        Conn& c = *conns[slot];
        c.reset();
        c.fd = fd;
        c.id = id;
        c.port_index = pi;
        c.port = &p;
        c.peer = ntohs(peer.sin_port);
        c.tokens = double(std::max<uint64_t>(p.rate / 20, 512));
        c.tokens_at = now;
        record.line("%llu %u open peer=%u", (unsigned long long)id, p.port, c.peer);
        if (++open_now[pi] > counters.peak_per_port)
            counters.peak_per_port = open_now[pi];

        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.u64 = uint64_t(c.gen) << 32 | slot;
        c.interest = ev.events;
        if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) < 0) {
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
            c.ping_at = now + p.ping_ms;
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
    epoll_ctl(epoll, EPOLL_CTL_MOD, c.fd, &ev);
    c.interest = want;
}

void Server::close_conn(Conn& c, const char* reason) {
    if (c.fd < 0)
        return;
    epoll_ctl(epoll, EPOLL_CTL_DEL, c.fd, nullptr);
    ::close(c.fd);
    c.fd = -1;
    --open_now[c.port_index];
    unlink_device(c);
    ++counters.closed;
    record.line("%llu %u close reason=%s", (unsigned long long)c.id, c.port->port, reason);
    ++c.gen;
    free_slots.push_back(c.slot);
}

void Server::unlink_device(Conn& c) {
    if (c.device >= 0)
        owners[c.port_index][size_t(c.device)] = 0;
    c.device = -1;
    c.authed = false;
}

void Server::enter_stall(Conn& c) {
    ++counters.stalls;
    record.line("%llu %u stall", (unsigned long long)c.id, c.port->port);
    c.stalled = true;
    c.answer_at = -1;
    c.pending.clear();
    c.pending_enum = c.enum_active = false;
    c.stall_until = now + c.port->stall_ms;
    arm(c, c.stall_until);
    update_interest(c);
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
            counters.bytes_out += uint64_t(n);
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
        size_t cap = std::min(scratch.size(), budget);
        if (p.rate) {
            const double burst = double(std::max<uint64_t>(p.rate / 20, 512));
            c.tokens =
                std::min(burst, c.tokens + double(now - c.tokens_at) * double(p.rate) / 1000.0);
            c.tokens_at = now;
            if (c.tokens < 1) {
                c.read_paused = true;
                c.resume_at =
                    now + std::max<int64_t>(1, int64_t(burst / 2 * 1000 / double(p.rate)));
                arm(c, c.resume_at);
                update_interest(c);
                return;
            }
            cap = std::min(cap, size_t(c.tokens));
        }
        if (p.close_after)
            cap = size_t(std::min<uint64_t>(cap, p.close_after - c.bytes_in));
        const ssize_t n = ::recv(c.fd, scratch.data(), cap, 0);
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
        counters.bytes_in += uint64_t(n);
        if (p.rate)
            c.tokens -= double(n);
        feed(c, scratch.data(), size_t(n));
        if (c.gen == gen && p.close_after && c.bytes_in >= p.close_after) {
            close_conn(c, "close_after");
            return;
        }
        if (size_t(n) < cap)
            return; // drained
    }
}

void Server::on_timer(Conn& c) {
    const uint32_t gen = c.gen;
    if (c.stalled) {
        if (now >= c.stall_until)
            close_conn(c, "stall");
        return;
    }
    if (c.answer_at >= 0 && now >= c.answer_at) {
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
    if (c.ping_at >= 0 && now >= c.ping_at) {
        // A well-behaved server waits for the answer before pinging again.
        if (c.pings_out == 0 || c.port->ping_always) {
            static const uint8_t zeros[65535] = {};
            ++c.pings_out;
            ++counters.pings;
            emit(c, c.out, PING, zeros, c.port->ping_len, false);
            flush(c);
            if (c.gen != gen)
                return;
        }
        c.ping_at = now + c.port->ping_ms;
        arm(c, c.ping_at);
    }
    if (c.read_paused && now >= c.resume_at) {
        c.read_paused = false;
        update_interest(c);
    }
}

bool Server::run(std::string& error) {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    signal_fd = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signal_fd < 0) {
        error = std::string("signalfd: ") + strerror(errno);
        return false;
    }
    epoll_event sev{};
    sev.events = EPOLLIN;
    sev.data.u64 = signal_tag;
    epoll_ctl(epoll, EPOLL_CTL_ADD, signal_fd, &sev);

    epoll_event events[256];
    for (;;) {
        now = monotonic_ms();
        while (!timers.empty() && timers.front().when <= now) {
            std::pop_heap(timers.begin(), timers.end(), std::greater<Timer>());
            const Timer t = timers.back();
            timers.pop_back();
            if (t.slot == no_slot) {
                if (accept_paused_until >= 0 && now >= accept_paused_until) {
                    accept_paused_until = -1;
                    for (size_t i = 0; i < listen_fds.size(); ++i)
                        if (ports[i].refuse >= 0) {
                            epoll_event ev{};
                            ev.events = EPOLLIN;
                            ev.data.u64 = listener_tag | i;
                            epoll_ctl(epoll, EPOLL_CTL_ADD, listen_fds[i], &ev);
                        }
                }
                continue;
            }
            Conn& c = *conns[t.slot];
            if (c.fd >= 0 && c.gen == t.gen)
                on_timer(c);
        }
        record.flush();
        int timeout = -1;
        if (!timers.empty())
            timeout = int(std::min<int64_t>(timers.front().when - now, 60000));
        const int n = epoll_wait(epoll, events, 256, timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::string("epoll_wait: ") + strerror(errno);
            return false;
        }
        now = monotonic_ms();
        for (int i = 0; i < n; ++i) {
            const uint64_t tag = events[i].data.u64;
            if (tag == signal_tag) {
                signalfd_siginfo si;
                if (read(signal_fd, &si, sizeof si) > 0) {
                    for (auto& c : conns)
                        close_conn(*c, "exit");
                    record.flush();
                    return true;
                }
                continue;
            }
            if ((tag & listener_tag) == listener_tag) {
                accept_on(size_t(tag & 0xFFFFFFFFu));
                continue;
            }
            Conn& c = *conns[uint32_t(tag)];
            if (c.fd >= 0 && c.gen == uint32_t(tag >> 32))
                on_event(c, events[i].events);
        }
    }
}

void Server::print_counters(FILE* out) const {
    const Counters& k = counters;
    fprintf(out,
            "counters connections=%llu refused=%llu closed=%llu bytes_in=%llu bytes_out=%llu "
            "frames_in=%llu frames_out=%llu links=%llu auths=%llu uploads=%llu upload_bytes=%llu "
            "upload_crc_errors=%llu getparams=%llu cmds=%llu enumerates=%llu enum_frames=%llu "
            "pings=%llu ping_answers=%llu unlinks=%llu violations=%llu stalls=%llu "
            "peak_per_port=%llu\n",
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
            (unsigned long long)k.stalls, (unsigned long long)k.peak_per_port);
}

} // namespace sim
