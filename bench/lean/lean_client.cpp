// The lean client of the process benchmark: what one thread has to do at the least to run the
// device exchange (link, authorise, then a device command, the three version parameters or a
// file upload) over many
// connections. One epoll set, non-blocking sockets, buffers allocated once, one read per
// readiness and one write per frame (the file goes with its frame in the same call). Each
// connection takes a server round robin and serves its devices one after another, like an
// actor of the program, and closes when the server has none left.
//
// With LEAN_ORDERLY_CLOSE set in the environment, a connection with no device left is closed in
// order, as the program closes it: its sending side shut, then closed once the server closed.
//
// Usage: lean_client CONNECTIONS FIRST-IMEI DEVICES-PER-SERVER FILE-SIZE PORT...
//   FILE-SIZE 0: a restart command to every device; "gather": the three version parameters of
//   every device, one request after another; otherwise an upload of that many bytes.
//   Prints "ok N failed M"; exits 0 when every device succeeded.
#include "lean_wire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

enum Phase : unsigned char { idle, connecting, linking, authorizing, working, closing };

struct Conn {
    int fd = -1;
    uint32_t gen = 0; // events of an earlier socket of this slot are stale
    unsigned server = 0;
    Phase phase = idle;
    bool want_out = false;
    unsigned char param = 0; // of a gather: the index of the parameter asked for
    uint64_t file_at = 0;
    size_t in_size = 0;
    unsigned char out[64];
    unsigned char in[128];
};

struct Server {
    uint16_t port;
    uint64_t first_imei;
    uint64_t next = 0, count = 0;
    unsigned active = 0;
};

std::vector<Server> servers;
std::vector<Conn> conns;
std::vector<unsigned char> file;
uint32_t file_crc = 0;
unsigned cursor = 0;
int ep = -1;
unsigned open_count = 0;
uint64_t succeeded = 0, failed = 0;
bool gather = false;
bool orderly_close = false;
constexpr unsigned char param_ids[3] = {2, 3, 4}; // main, modem and GNSS firmware

bool pick(unsigned& s) {
    for (size_t i = 0; i < servers.size(); ++i) {
        cursor = cursor + 1 < servers.size() ? cursor + 1 : 0;
        const Server& v = servers[cursor];
        if (v.count - v.next > v.active) {
            s = cursor;
            return true;
        }
    }
    return false;
}

void watch(Conn& c, int op, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = uint64_t(c.gen) << 32 | uint64_t(&c - conns.data());
    epoll_ctl(ep, op, c.fd, &ev);
}

void start(Conn& c) {
    unsigned s;
    if (!pick(s))
        return;
    c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (c.fd < 0)
        return;
    const int one = 1;
    setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(servers[s].port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ++c.gen;
    c.server = s;
    c.phase = connecting;
    c.in_size = 0;
    ++servers[s].active;
    ++open_count;
    watch(c, EPOLL_CTL_ADD, EPOLLIN | EPOLLOUT);
}

void close_conn(Conn& c) {
    ::close(c.fd); // leaves the epoll set with it
    c.fd = -1;
    if (c.phase != closing) // a closing connection no longer counts for its server
        --servers[c.server].active;
    c.phase = idle;
    --open_count;
}

void broken(Conn& c) {
    if (c.phase >= linking && c.phase != closing)
        ++failed;
    close_conn(c);
    start(c);
}

// Writes the frame, and the file behind an UPFILE frame, in one call; the rest of the file
// goes when the socket has room.
void send_frame(Conn& c, unsigned char type, size_t length) {
    const size_t n = lean::seal(c.out, type, length);
    iovec v[2] = {{c.out, n}, {nullptr, 0}};
    int parts = 1;
    if (type == lean::UPFILE) {
        c.file_at = 0;
        v[1] = {file.data(), file.size()};
        parts = 2;
    }
    ssize_t w = ::writev(c.fd, v, parts);
    if (w < ssize_t(n)) {
        broken(c); // a frame of at most 64 bytes always fits an empty socket
        return;
    }
    c.file_at = uint64_t(w) - n;
    if (type == lean::UPFILE && c.file_at < file.size()) {
        c.want_out = true;
        watch(c, EPOLL_CTL_MOD, EPOLLIN | EPOLLOUT);
    }
}

void write_file(Conn& c) {
    const ssize_t w = ::write(c.fd, file.data() + c.file_at, file.size() - c.file_at);
    if (w < 0) {
        if (errno != EAGAIN)
            broken(c);
        return;
    }
    c.file_at += uint64_t(w);
    if (c.file_at == file.size()) {
        c.want_out = false;
        watch(c, EPOLL_CTL_MOD, EPOLLIN);
    }
}

void next_device(Conn& c) {
    Server& s = servers[c.server];
    if (s.next >= s.count) {
        if (orderly_close && shutdown(c.fd, SHUT_WR) == 0) {
            --s.active;
            c.phase = closing;
            return;
        }
        close_conn(c);
        start(c);
        return;
    }
    uint64_t v = s.first_imei + s.next++;
    unsigned char* p = c.out + 3;
    for (int i = 14; i >= 0; --i) {
        p[i] = static_cast<unsigned char>('0' + v % 10);
        v /= 10;
    }
    std::memset(p + 15, 0, 42);
    c.phase = linking;
    send_frame(c, lean::LINK, 57);
}

void ask_param(Conn& c) {
    unsigned char* p = c.out + 3;
    lean::put_u32(p, c.param);
    p[4] = 3; // read a parameter
    p[5] = 4;
    p[6] = param_ids[c.param];
    p[7] = 0;
    p[8] = p[9] = 0;
    send_frame(c, lean::CMD, 10);
}

void device_end(Conn& c, bool ok) {
    ok ? ++succeeded : ++failed;
    next_device(c);
}

void on_frame(Conn& c, unsigned char type, const unsigned char* p, unsigned length) {
    switch (c.phase) {
    case linking:
        if (type != lean::LINK_ANSWER || length != 1 || p[0] != 0)
            return device_end(c, false);
        std::memcpy(c.out + 3, "1234", 5);
        c.phase = authorizing;
        return send_frame(c, lean::AUTH, 5);
    case authorizing:
        if (type != lean::AUTH_ANSWER || length != 1 || p[0] != 1)
            return device_end(c, false);
        c.phase = working;
        if (gather) {
            c.param = 0;
            return ask_param(c);
        }
        if (!file.empty()) {
            std::memcpy(c.out + 3, "FIRMWARE\0\0", 10);
            lean::put_u32(c.out + 13, uint32_t(file.size()));
            lean::put_u32(c.out + 17, file_crc);
            return send_frame(c, lean::UPFILE, 18);
        }
        std::memset(c.out + 3, 0, 4);
        c.out[7] = 1; // restart
        c.out[8] = 0;
        return send_frame(c, lean::CMD, 6);
    case working:
        if (gather) {
            if (type != lean::CMD_ANSWER || length < 9 || p[0] != c.param || p[4] != 1 ||
                p[6] != param_ids[c.param])
                return device_end(c, false);
            if (++c.param < 3)
                return ask_param(c);
            return device_end(c, true);
        }
        if (!file.empty())
            return device_end(c, type == lean::UPFILE_ANSWER && length == 11 && p[10] == 0);
        return device_end(c, type == lean::CMD_ANSWER && length == 6 && p[4] == 1);
    default:
        return;
    }
}

void on_readable(Conn& c) {
    const uint32_t gen = c.gen;
    const ssize_t n = ::read(c.fd, c.in + c.in_size, sizeof c.in - c.in_size);
    if (n < 0 && errno == EAGAIN)
        return;
    if (c.phase == closing && n == 0) {
        close_conn(c);
        return start(c);
    }
    if (n <= 0)
        return broken(c);
    c.in_size += size_t(n);
    size_t at = 0;
    while (c.in_size - at >= lean::overhead) {
        const unsigned length = lean::get_u16(c.in + at);
        if (length + lean::overhead > sizeof c.in)
            return broken(c);
        if (c.in_size - at < length + lean::overhead)
            break;
        on_frame(c, c.in[at + 2], c.in + at + 3, length);
        if (c.gen != gen || c.fd < 0)
            return; // the slot moved on to another connection
        at += length + lean::overhead;
    }
    std::memmove(c.in, c.in + at, c.in_size - at);
    c.in_size -= at;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: lean_client CONNECTIONS FIRST-IMEI DEVICES-PER-SERVER "
                             "FILE-SIZE PORT...\n");
        return 2;
    }
    unsigned connections = unsigned(std::strtoul(argv[1], nullptr, 10));
    const uint64_t first = std::strtoull(argv[2], nullptr, 10);
    const uint64_t per = std::strtoull(argv[3], nullptr, 10);
    gather = std::strcmp(argv[4], "gather") == 0;
    orderly_close = std::getenv("LEAN_ORDERLY_CLOSE") != nullptr;
    const uint64_t file_size = gather ? 0 : std::strtoull(argv[4], nullptr, 10);
    for (int i = 5; i < argc; ++i) {
        Server s;
        s.port = uint16_t(std::strtoul(argv[i], nullptr, 10));
        s.first_imei = first + uint64_t(i - 5) * 1000000;
        s.count = per;
        servers.push_back(s);
    }
    if (connections > per * servers.size())
        connections = unsigned(per * servers.size());
    cursor = unsigned(servers.size()) - 1;
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    file.resize(file_size);
    for (uint64_t i = 0; i < file_size; ++i)
        file[i] = lean::file_byte(i);
    file_crc = lean::crc32(file.data(), file.size());
    conns.resize(connections);
    ep = epoll_create1(0);
    for (Conn& c : conns)
        start(c);
    epoll_event events[256];
    while (open_count > 0) {
        const int n = epoll_wait(ep, events, 256, 10000);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (int i = 0; i < n; ++i) {
            Conn& c = conns[size_t(events[i].data.u64 & 0xFFFFFFFFu)];
            if (c.fd < 0 || c.gen != uint32_t(events[i].data.u64 >> 32))
                continue;
            const uint32_t ev = events[i].events;
            if (c.phase == connecting) {
                // The first frame goes out as soon as the socket can write; a failed connection
                // shows in that write.
                watch(c, EPOLL_CTL_MOD, EPOLLIN);
                next_device(c);
                continue;
            }
            if (c.want_out && (ev & EPOLLOUT))
                write_file(c);
            if (c.fd >= 0 && c.gen == uint32_t(events[i].data.u64 >> 32) &&
                (ev & (EPOLLIN | EPOLLERR | EPOLLHUP)))
                on_readable(c);
        }
    }
    std::printf("ok %llu failed %llu\n", (unsigned long long)succeeded, (unsigned long long)failed);
    return failed == 0 && succeeded == per * servers.size() ? 0 : 1;
}
