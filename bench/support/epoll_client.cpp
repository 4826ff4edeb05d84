#include "support/epoll_client.h"

#include "protocol/frame.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum Phase { closed, connecting, linking, authorizing, working };

struct Conn {
    int fd = -1;
    uint32_t gen = 0; // events of an earlier socket of this slot are stale
    int server = -1;
    Phase phase = closed;
    unsigned char out[64];
    size_t out_size = 0, out_at = 0;
    uint64_t file_at = 0;
    bool file_pending = false;
    unsigned char in[300];
    size_t in_size = 0;
};

const unsigned char ping_answer_payload[21] = {0, 0, 0, 0, 0, 0,    0, 0, 0, 0, 0,
                                               0, 0, 0, 0, 0, 0xFE, 0, 0, 0, 0};

struct Run {
    const std::vector<Reference_server>& servers;
    const Reference_job& job;
    std::vector<Conn> conns;
    std::vector<size_t> next;     // next device per server
    std::vector<unsigned> active; // connections per server
    unsigned cursor;
    int ep = -1;
    unsigned open = 0;
    Reference_result result;

    Run(const std::vector<Reference_server>& s, const Reference_job& j, unsigned n)
        : servers(s), job(j), conns(n), next(s.size(), 0), active(s.size(), 0),
          cursor(unsigned(s.size()) - 1) {}

    size_t left(size_t s) const { return servers[s].imeis.size() - next[s]; }

    int pick_server() {
        for (size_t i = 0; i < servers.size(); ++i) {
            cursor = cursor + 1 < servers.size() ? cursor + 1 : 0;
            if (left(cursor) > active[cursor])
                return int(cursor);
        }
        return -1;
    }

    void watch(Conn& c, int op, bool want_out) {
        epoll_event ev{};
        ev.events = EPOLLIN | (want_out ? uint32_t(EPOLLOUT) : 0u);
        ev.data.u64 = uint64_t(c.gen) << 32 | uint64_t(&c - conns.data());
        epoll_ctl(ep, op, c.fd, &ev);
    }

    void start(Conn& c) {
        const int s = pick_server();
        if (s < 0)
            return;
        c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (c.fd < 0) {
            result.ok = false;
            return;
        }
        const int one = 1;
        setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(servers[size_t(s)].port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ++c.gen;
        c.server = s;
        c.phase = connecting;
        c.in_size = 0;
        c.file_pending = false;
        ++active[size_t(s)];
        ++open;
        ++result.connections;
        watch(c, EPOLL_CTL_ADD, true);
    }

    void close_conn(Conn& c) {
        ::close(c.fd);
        c.fd = -1;
        --active[size_t(c.server)];
        c.phase = closed;
        --open;
    }

    void broken(Conn& c) {
        if (c.phase >= linking)
            ++result.failed;
        close_conn(c);
        start(c);
    }

    void send_frame(Conn& c, unsigned char type, size_t length) {
        put_u16(c.out, unsigned(length));
        c.out[2] = type;
        c.out_size = seal_frame(c.out);
        c.out_at = 0;
        flush(c);
    }

    // Writes what is pending: the frame, then the file behind an UPFILE frame.
    void flush(Conn& c) {
        while (c.out_at < c.out_size) {
            const ssize_t n = ::write(c.fd, c.out + c.out_at, c.out_size - c.out_at);
            if (n < 0) {
                if (errno == EAGAIN)
                    watch(c, EPOLL_CTL_MOD, true);
                return;
            }
            c.out_at += size_t(n);
        }
        while (c.file_pending && c.file_at < job.file_size) {
            const ssize_t n = ::write(c.fd, job.file + c.file_at, job.file_size - c.file_at);
            if (n < 0) {
                if (errno == EAGAIN)
                    watch(c, EPOLL_CTL_MOD, true);
                return;
            }
            c.file_at += uint64_t(n);
        }
        if (c.file_pending) {
            c.file_pending = false;
            watch(c, EPOLL_CTL_MOD, false);
        }
    }

    // The next device of the connection's server, or on to another server.
    void next_device(Conn& c) {
        const size_t s = size_t(c.server);
        if (next[s] >= servers[s].imeis.size()) {
            close_conn(c);
            start(c);
            return;
        }
        uint64_t v = servers[s].imeis[next[s]++];
        unsigned char* p = c.out + 3;
        for (int i = 14; i >= 0; --i) {
            p[i] = static_cast<unsigned char>('0' + v % 10);
            v /= 10;
        }
        std::memset(p + 15, 0, 42);
        c.phase = linking;
        send_frame(c, LINK, 57);
    }

    void device_end(Conn& c, bool ok) {
        ok ? ++result.succeeded : ++result.failed;
        next_device(c);
    }

    void on_frame(Conn& c, unsigned char type, const unsigned char* p, unsigned length) {
        if (type == PING) {
            std::memcpy(c.out + 3, ping_answer_payload, sizeof ping_answer_payload);
            send_frame(c, PING_ANSWER, sizeof ping_answer_payload);
            return;
        }
        if (type == UNLINK)
            return;
        switch (c.phase) {
        case linking:
            if (type != LINK_ANSWER || length != 1 || p[0] != 0)
                return device_end(c, false);
            std::memcpy(c.out + 3, job.pin, 4);
            c.out[7] = 0;
            c.phase = authorizing;
            return send_frame(c, AUTH, 5);
        case authorizing:
            if (type != AUTH_ANSWER || length != 1 || p[0] != 1)
                return device_end(c, false);
            c.phase = working;
            if (job.upload) {
                std::memcpy(c.out + 3, job.name, 10);
                put_u32(c.out + 13, job.file_size);
                put_u32(c.out + 17, job.file_crc);
                c.file_at = 0;
                c.file_pending = true;
                return send_frame(c, UPFILE, 18);
            }
            put_u32(c.out + 3, 0);
            c.out[7] = job.command_code;
            c.out[8] = 0;
            return send_frame(c, CMD, 6);
        case working:
            if (job.upload)
                return device_end(c, type == UPFILE_ANSWER && length == 11 && p[10] == 0);
            return device_end(c, type == CMD_ANSWER && length == 6 && (p[4] == 1 || p[4] == 2));
        default:
            return;
        }
    }

    void on_readable(Conn& c) {
        const uint32_t gen = c.gen;
        for (;;) {
            const ssize_t n = ::read(c.fd, c.in + c.in_size, sizeof c.in - c.in_size);
            if (n < 0 && errno == EAGAIN)
                return;
            if (n <= 0)
                return broken(c);
            c.in_size += size_t(n);
            size_t at = 0;
            while (c.in_size - at >= 7) {
                const unsigned length = get_u16(c.in + at);
                if (length + 7 > sizeof c.in)
                    return broken(c);
                if (c.in_size - at < length + 7)
                    break;
                on_frame(c, c.in[at + 2], c.in + at + 3, length);
                if (c.gen != gen || c.fd < 0)
                    return; // the slot moved on to another connection
                at += length + 7;
            }
            std::memmove(c.in, c.in + at, c.in_size - at);
            c.in_size -= at;
        }
    }

    void on_connected(Conn& c) {
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            result.ok = false;
            close_conn(c);
            return;
        }
        watch(c, EPOLL_CTL_MOD, false);
        next_device(c);
    }
};

} // namespace

Reference_result run_reference(const std::vector<Reference_server>& servers, unsigned connections,
                               const Reference_job& job) {
    Run run(servers, job, connections);
    run.result.ok = true;
    run.ep = epoll_create1(0);
    if (run.ep < 0) {
        run.result.ok = false;
        return run.result;
    }
    for (Conn& c : run.conns)
        run.start(c);
    epoll_event events[256];
    while (run.open > 0) {
        const int n = epoll_wait(run.ep, events, 256, 10000);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            run.result.ok = false;
            break;
        }
        for (int i = 0; i < n; ++i) {
            Conn& c = run.conns[size_t(events[i].data.u64 & 0xFFFFFFFFu)];
            if (c.fd < 0 || c.gen != uint32_t(events[i].data.u64 >> 32))
                continue;
            const uint32_t ev = events[i].events;
            if (c.phase == connecting) {
                if (ev & (EPOLLOUT | EPOLLERR | EPOLLHUP))
                    run.on_connected(c);
                continue;
            }
            if (ev & EPOLLOUT)
                run.flush(c);
            if (c.fd >= 0 && (ev & (EPOLLIN | EPOLLERR | EPOLLHUP)))
                run.on_readable(c);
        }
    }
    for (Conn& c : run.conns)
        if (c.fd >= 0)
            ::close(c.fd);
    ::close(run.ep);
    return run.result;
}
