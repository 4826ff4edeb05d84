// The lean server of the process benchmark: one thread, one epoll set, non-blocking sockets,
// a fixed buffer per connection, one read per readiness and one write per answer. It
// accepts every device of its ranges, answers LINK, AUTH, a device command, a version
// parameter request ("FW 2.0" for each) and an upload with success, and reads an uploaded file
// without keeping it. Nothing else: no pings, no faults, no records.
//
// Usage: lean_server SERVERS DEVICES-PER-SERVER FIRST-IMEI
//   Server s holds the IMEIs FIRST-IMEI + s * 1000000 + d for d below DEVICES-PER-SERVER.
//   Prints "port P" per server, then "ready"; runs until SIGTERM.
#include "lean_wire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t stop = 0;

void on_term(int) {
    stop = 1;
}

struct Conn {
    unsigned server = 0;
    uint64_t file_left = 0;
    unsigned char name[10];
    size_t in_size = 0;
    unsigned char in[128];
};

constexpr uint64_t listener_bit = uint64_t(1) << 32;
unsigned char scratch[65536];

struct Server {
    uint64_t first_imei;
    uint64_t count;
};

std::vector<Server> servers;
std::vector<Conn> conns; // by descriptor

// False when the connection was closed: a lean server does not queue, the client sees a break.
bool answer(int fd, unsigned char type, const unsigned char* payload, size_t length) {
    unsigned char f[64];
    std::memcpy(f + 3, payload, length);
    const size_t n = lean::seal(f, type, length);
    if (::write(fd, f, n) == ssize_t(n))
        return true;
    ::close(fd);
    return false;
}

bool upload_done(int fd, Conn& c) {
    unsigned char a[11];
    std::memcpy(a, c.name, 10);
    a[10] = 0;
    return answer(fd, lean::UPFILE_ANSWER, a, sizeof a);
}

// False when the connection was closed.
bool on_frame(int fd, Conn& c, unsigned char type, const unsigned char* p, unsigned length) {
    switch (type) {
    case lean::LINK: {
        uint64_t imei = 0;
        for (unsigned i = 0; i < 15 && i < length; ++i)
            imei = imei * 10 + unsigned(p[i] - '0');
        const Server& s = servers[c.server];
        const unsigned char r = imei >= s.first_imei && imei - s.first_imei < s.count ? 0 : 2;
        return answer(fd, lean::LINK_ANSWER, &r, 1);
    }
    case lean::AUTH: {
        const unsigned char r = 1;
        return answer(fd, lean::AUTH_ANSWER, &r, 1);
    }
    case lean::CMD: {
        if (length >= 10 && p[4] == 3) {
            // A version parameter: the request's number and identifier, and one text for all.
            unsigned char a[15] = {p[0], p[1], p[2], p[3], 1, 9, p[6], p[7], 6};
            std::memcpy(a + 9, "FW 2.0", 6);
            return answer(fd, lean::CMD_ANSWER, a, sizeof a);
        }
        const unsigned char a[6] = {0, 0, 0, 0, 1, 0};
        return answer(fd, lean::CMD_ANSWER, a, sizeof a);
    }
    case lean::UPFILE:
        if (length < 18)
            break;
        std::memcpy(c.name, p, 10);
        c.file_left =
            uint64_t(p[10]) | uint64_t(p[11]) << 8 | uint64_t(p[12]) << 16 | uint64_t(p[13]) << 24;
        return c.file_left > 0 || upload_done(fd, c);
    default:
        break;
    }
    ::close(fd);
    return false;
}

void on_readable(int fd) {
    Conn& c = conns[size_t(fd)];
    if (c.file_left > 0) {
        const size_t want = c.file_left < sizeof scratch ? size_t(c.file_left) : sizeof scratch;
        const ssize_t n = ::read(fd, scratch, want);
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            ::close(fd);
            return;
        }
        c.file_left -= uint64_t(n);
        if (c.file_left == 0)
            upload_done(fd, c);
        return;
    }
    const ssize_t n = ::read(fd, c.in + c.in_size, sizeof c.in - c.in_size);
    if (n < 0 && errno == EAGAIN)
        return;
    if (n <= 0) {
        ::close(fd);
        return;
    }
    c.in_size += size_t(n);
    size_t at = 0;
    while (c.in_size - at >= lean::overhead) {
        const unsigned length = lean::get_u16(c.in + at);
        if (length + lean::overhead > sizeof c.in) {
            ::close(fd);
            return;
        }
        if (c.in_size - at < length + lean::overhead)
            break;
        if (!on_frame(fd, c, c.in[at + 2], c.in + at + 3, length))
            return;
        at += length + lean::overhead;
        if (c.file_left > 0) {
            // File bytes that came with the frame.
            const uint64_t here = c.in_size - at < c.file_left ? c.in_size - at : c.file_left;
            at += size_t(here);
            c.file_left -= here;
            if (c.file_left == 0 && !upload_done(fd, c))
                return;
        }
    }
    std::memmove(c.in, c.in + at, c.in_size - at);
    c.in_size -= at;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: lean_server SERVERS DEVICES-PER-SERVER FIRST-IMEI\n");
        return 2;
    }
    const unsigned count = unsigned(std::strtoul(argv[1], nullptr, 10));
    const uint64_t per = std::strtoull(argv[2], nullptr, 10);
    const uint64_t first = std::strtoull(argv[3], nullptr, 10);
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    conns.resize(limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 1048576 ? 1048576
                                                                             : limit.rlim_cur);
    signal(SIGTERM, on_term);
    signal(SIGPIPE, SIG_IGN);
    const int ep = epoll_create1(0);
    for (unsigned s = 0; s < count; ++s) {
        servers.push_back(Server{first + uint64_t(s) * 1000000, per});
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 65535) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
            std::perror("lean_server");
            return 1;
        }
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = listener_bit | (uint64_t(s) << 33) | uint64_t(fd);
        epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
        std::printf("port %u\n", unsigned(ntohs(a.sin_port)));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    epoll_event events[256];
    while (!stop) {
        const int n = epoll_wait(ep, events, 256, -1);
        for (int i = 0; i < n; ++i) {
            const uint64_t key = events[i].data.u64;
            const int fd = int(uint32_t(key));
            if (!(key & listener_bit)) {
                on_readable(fd);
                continue;
            }
            for (;;) {
                const int c = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK);
                if (c < 0)
                    break;
                if (size_t(c) >= conns.size()) {
                    ::close(c);
                    continue;
                }
                const int one = 1;
                setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                Conn& conn = conns[size_t(c)];
                conn.server = unsigned(key >> 33);
                conn.file_left = 0;
                conn.in_size = 0;
                epoll_event ev{};
                ev.events = EPOLLIN;
                ev.data.u64 = uint64_t(c);
                epoll_ctl(ep, EPOLL_CTL_ADD, c, &ev);
            }
        }
    }
    return 0;
}
