#include "protocol/tcp_link.h"

#include "protocol/socket_errors.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

Tcp_link::Tcp_link(Owner& o, QObject& c) : Link(&o), context(c) {}

Tcp_link::~Tcp_link() {
    close();
}

QString Tcp_link::error_text(int code) const {
    if (code == host_not_found)
        return host_not_found_text();
    if (code == unknown_error || code != error_code)
        return unknown_socket_error_text();
    return socket_error_text(saved_errno);
}

void Tcp_link::set_error(int err) {
    saved_errno = err;
    switch (err) {
    case ECONNREFUSED:
        error_code = connection_refused;
        break;
    case ECONNRESET:
    case EPIPE:
    case 0: // end of the stream
        error_code = remote_closed;
        break;
    case EACCES:
    case EPERM:
        error_code = access_denied;
        break;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        error_code = out_of_resources;
        break;
    default:
        error_code = network_error;
    }
}

unsigned short Tcp_link::local_port() const {
    if (fd < 0)
        return 0;
    sockaddr_storage a;
    socklen_t n = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0)
        return 0;
    if (a.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&a)->sin_port);
    if (a.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&a)->sin6_port);
    return 0;
}

void Tcp_link::want(bool read, bool write) {
    watch_read = read;
    watch_write = write;
    if (poller) {
        poller->watch(fd, read, write, this);
        return;
    }
    readable->setEnabled(read);
    writable->setEnabled(write);
}

// As the two notifiers would report it: reading first, a hang-up to reading alone once it is
// watched. Either report may close or reopen the link.
void Tcp_link::fd_ready(uint32_t what) {
    const uint32_t g = generation;
    if (watch_read && (what & (Fd_handler::readable | Fd_handler::error | Fd_handler::hang_up))) {
        on_readable();
        if (generation != g)
            return;
    }
    const uint32_t write_on =
        Fd_handler::writable | Fd_handler::error | (watch_read ? 0 : Fd_handler::hang_up);
    if (watch_write && (what & write_on))
        on_writable(what);
}

void Tcp_link::on_readable() {
    owner->link_readable();
}

void Tcp_link::release() {
    if (poller && fd >= 0)
        poller->closing(fd);
    watch_read = watch_write = false;
    delete readable;
    readable = nullptr;
    delete writable;
    writable = nullptr;
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    connecting = false;
}

void Tcp_link::close() {
    ++generation;
    if (lookup_id >= 0) {
        QHostInfo::abortHostLookup(lookup_id);
        lookup_id = -1;
    }
    addresses.clear();
    release();
}

void Tcp_link::fail_later(int code, int err) {
    release();
    if (code == host_not_found) {
        error_code = code;
        saved_errno = 0;
    } else {
        set_error(err);
    }
    const uint32_t g = generation;
    QMetaObject::invokeMethod(
        &context,
        [this, g] {
            if (generation == g)
                owner->link_failed(error_code);
        },
        Qt::QueuedConnection);
}

void Tcp_link::open(const QString& host, quint16 p) {
    close();
    error_code = unknown_error;
    saved_errno = 0;
    port = p;
    // An actor opens its server's address again and again; the parse is kept for the next.
    if (host != last_host) {
        last_host = host;
        last_is_literal = last_literal.setAddress(host);
    }
    if (last_is_literal) {
        connect_to(last_literal);
        return;
    }
    const uint32_t g = generation;
    lookup_id = QHostInfo::lookupHost(host, &context, [this, g](const QHostInfo& info) {
        if (generation != g)
            return;
        lookup_id = -1;
        addresses = info.addresses();
        next_address = 0;
        if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
            addresses.clear();
            release();
            error_code = host_not_found;
            owner->link_failed(error_code);
            return;
        }
        connect_to(addresses[next_address++]);
    });
}

void Tcp_link::connect_to(const QHostAddress& address) {
    sockaddr_storage a;
    std::memset(&a, 0, sizeof a);
    socklen_t size;
    int family;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* s6 = reinterpret_cast<sockaddr_in6*>(&a);
        s6->sin6_family = AF_INET6;
        s6->sin6_port = htons(port);
        const Q_IPV6ADDR ip = address.toIPv6Address();
        std::memcpy(&s6->sin6_addr, &ip, sizeof ip);
        s6->sin6_scope_id = address.scopeId().toUInt();
        size = sizeof *s6;
        family = AF_INET6;
    } else {
        auto* s4 = reinterpret_cast<sockaddr_in*>(&a);
        s4->sin_family = AF_INET;
        s4->sin_port = htons(port);
        s4->sin_addr.s_addr = htonl(address.toIPv4Address());
        size = sizeof *s4;
        family = AF_INET;
    }
    fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail_later(out_of_resources, errno);
        return;
    }
    // Frames go strictly one at a time: with Nagle's algorithm on, a ping answer followed by a
    // request would wait for the server's delayed acknowledgement.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), size) != 0 && errno != EINPROGRESS) {
        try_next_or_fail(network_error, errno);
        return;
    }
    connecting = true;
    poller = Fd_poller::current();
    if (!poller) {
        readable = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(readable, &QSocketNotifier::activated, &context,
                         [this] { on_readable(); });
        writable = new QSocketNotifier(fd, QSocketNotifier::Write);
        QObject::connect(writable, &QSocketNotifier::activated, &context,
                         [this] { on_writable(Fd_handler::error); });
    }
    want(false, true);
}

// A failed attempt goes on with the next address of the name, as long as there is one.
void Tcp_link::try_next_or_fail(int code, int err) {
    if (next_address > 0 && next_address < addresses.size()) {
        release();
        const uint32_t g = generation;
        const QHostAddress next = addresses[next_address++];
        // Queued, so that a run of failing addresses never nests.
        QMetaObject::invokeMethod(
            &context,
            [this, g, next] {
                if (generation == g)
                    connect_to(next);
            },
            Qt::QueuedConnection);
        return;
    }
    fail_later(code, err);
}

void Tcp_link::on_writable(uint32_t what) {
    if (!connecting) {
        want(true, false);
        owner->link_room();
        return;
    }
    // A refused or broken attempt always comes with an error or a hang-up; writable alone is
    // a connection made, and the kernel need not be asked.
    int err = 0;
    socklen_t n = sizeof err;
    if ((what & (Fd_handler::error | Fd_handler::hang_up)) &&
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &n) != 0)
        err = errno;
    if (err != 0) {
        if (next_address > 0 && next_address < addresses.size()) {
            try_next_or_fail(network_error, err);
            return;
        }
        release();
        set_error(err);
        owner->link_failed(error_code);
        return;
    }
    connecting = false;
    addresses.clear();
    want(true, false);
    owner->link_connected();
}

// send() and recv() straight to the kernel: in a process with threads libc wraps each call
// in its thread-cancellation bookkeeping, which nothing here uses and which costs as much as
// the rest of the call's user-space work. Same flags, same results, errno as set by the call.
static ssize_t send_now(int fd, const void* data, size_t count, int flags) {
    return ssize_t(syscall(SYS_sendto, fd, data, count, flags, nullptr, 0));
}

static ssize_t recv_now(int fd, void* into, size_t room, int flags) {
    return ssize_t(syscall(SYS_recvfrom, fd, into, room, flags, nullptr, nullptr));
}

qint64 Tcp_link::write(const unsigned char* data, qint64 count) {
    if (fd < 0 || connecting) {
        error_code = unknown_error;
        return -1;
    }
    const ssize_t n = send_now(fd, data, size_t(count), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
        if (n < count && !watch_write)
            want(true, true);
        return n;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        if (!watch_write)
            want(true, true);
        return 0;
    }
    set_error(errno);
    return -1;
}

bool Tcp_link::close_write() {
    if (fd < 0 || connecting)
        return true; // nothing open in that direction
    if (::shutdown(fd, SHUT_WR) != 0) {
        set_error(errno);
        return false;
    }
    return true;
}

qint64 Tcp_link::read(unsigned char* into, qint64 room) {
    if (fd < 0 || connecting)
        return 0;
    for (;;) {
        const ssize_t n = recv_now(fd, into, size_t(room), MSG_DONTWAIT);
        if (n > 0)
            return n;
        if (n == 0) {
            set_error(0);
            return -1;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        set_error(errno);
        return -1;
    }
}
