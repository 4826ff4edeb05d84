#include "support/scripted_peer.h"

#include "protocol/frame.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QtTest>
#include <functional>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

QByteArray frame_bytes(unsigned char type, const QByteArray& payload) {
    QByteArray out(payload.size() + int(frame_overhead), '\0');
    build_frame(reinterpret_cast<unsigned char*>(out.data()), type, payload.constData(),
                size_t(payload.size()));
    return out;
}

QByteArray frame_bytes_bad_crc(unsigned char type, const QByteArray& payload) {
    QByteArray out = frame_bytes(type, payload);
    out[out.size() - 4] = char(out[out.size() - 4] ^ 1);
    return out;
}

QByteArray ping_answer_bytes() {
    QByteArray out(int(ping_answer_frame_size), '\0');
    build_ping_answer(reinterpret_cast<unsigned char*>(out.data()));
    return out;
}

Scripted_peer::Scripted_peer() {
    QObject::connect(&listener, &QTcpServer::newConnection, this,
                     &Scripted_peer::on_new_connection);
    listener.listen(QHostAddress::LocalHost, 0);
}

Scripted_peer::~Scripted_peer() {
    if (connection)
        connection->abort();
}

void Scripted_peer::on_new_connection() {
    while (QTcpSocket* s = listener.nextPendingConnection()) {
        if (connection) {
            connection->disconnect(this);
            connection->abort();
            connection->deleteLater();
        }
        connection = s;
        ++accepted;
        received.clear();
        next_rule = 0;
        if (!reading)
            s->setReadBufferSize(1);
        QObject::connect(s, &QTcpSocket::readyRead, this, &Scripted_peer::on_ready_read);
        QObject::connect(s, &QTcpSocket::disconnected, this, &Scripted_peer::on_disconnected);
        if (!greeting.isEmpty())
            send(greeting);
    }
}

void Scripted_peer::on_ready_read() {
    if (!reading || !connection)
        return;
    received += connection->readAll();
    apply_rules();
}

void Scripted_peer::apply_rules() {
    while (next_rule < rules.size()) {
        const Rule& r = rules[next_rule];
        if (r.connection != 0 && r.connection != accepted) {
            ++next_rule;
            continue;
        }
        if (received.size() < r.count)
            break;
        const QByteArray reply = r.reply;
        ++next_rule;
        send(reply);
    }
}

void Scripted_peer::on_disconnected() {
    ++disconnects;
}

void Scripted_peer::send(const QByteArray& bytes) {
    if (!connection || bytes.isEmpty())
        return;
    connection->write(bytes);
    connection->flush();
}

void Scripted_peer::when_received(int count, const QByteArray& reply, int on_connection) {
    rules.append(Rule{count, reply, on_connection});
    if (connection)
        apply_rules();
}

void Scripted_peer::stop_reading() {
    reading = false;
    if (connection)
        connection->setReadBufferSize(1);
}

void Scripted_peer::close() {
    if (connection) {
        connection->flush();
        connection->disconnectFromHost();
    }
}

void Scripted_peer::abort() {
    if (connection)
        connection->abort();
}

static bool wait_for(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(1);
    }
    return true;
}

bool Scripted_peer::wait_received(int count, int ms) {
    return wait_for([&] { return received.size() >= count; }, ms);
}

bool Scripted_peer::wait_accepted(int count, int ms) {
    return wait_for([&] { return accepted >= count; }, ms);
}

bool Scripted_peer::wait_disconnects(int count, int ms) {
    return wait_for([&] { return disconnects >= count; }, ms);
}

// With a backlog of 0, Linux queues one connection that nobody accepts and drops the SYN of
// every further attempt, which the connecting side retries for seconds.
Stalled_listener::Stalled_listener() {
    listen_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listen_fd < 0)
        return;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (::bind(listen_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_fd, 0) != 0 ||
        ::getsockname(listen_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    for (int& fd : filler_fds) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    QTest::qWait(50); // let the handshakes that can complete do so
    port = ntohs(a.sin_port);
}

Stalled_listener::~Stalled_listener() {
    for (int fd : filler_fds)
        if (fd >= 0)
            ::close(fd);
    if (listen_fd >= 0)
        ::close(listen_fd);
}
