#pragma once
// An in-process server for protocol tests: a loopback QTcpServer on an ephemeral port that
// sends exactly the bytes a test gives it, when the test says so or when it has received a
// given number of bytes, and records everything it receives.

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QVector>

// A whole frame: length, type, payload and checksum.
QByteArray frame_bytes(unsigned char type, const QByteArray& payload);
// A frame whose checksum is off by one in its lowest bit.
QByteArray frame_bytes_bad_crc(unsigned char type, const QByteArray& payload);
// The fixed ping answer, 28 bytes.
QByteArray ping_answer_bytes();

class Scripted_peer : public QObject {
    Q_OBJECT

public:
    Scripted_peer();
    ~Scripted_peer() override;

    quint16 port() const { return listener.serverPort(); }

    // Bytes received on the current connection (the latest accepted one).
    QByteArray received;
    int accepted = 0;    // connections accepted so far
    int disconnects = 0; // connections the client has closed
    QTcpSocket* connection = nullptr;

    // Sends now and hands the bytes to the kernel before returning.
    void send(const QByteArray& bytes);
    // Once `count` bytes have been received on a connection, sends `reply`; rules fire in the
    // order they were added, each once per connection, or only on the connection numbered
    // `on_connection` (1 for the first accepted) when that is not 0.
    void when_received(int count, const QByteArray& reply, int on_connection = 0);
    // Sent as soon as a connection is accepted.
    void on_accept(const QByteArray& bytes) { greeting = bytes; }
    // Stops reading from the socket, so that the client's writes back up.
    void stop_reading();
    void close();
    void abort();

    bool wait_received(int count, int ms = 5000);
    bool wait_accepted(int count, int ms = 5000);
    bool wait_disconnects(int count, int ms = 5000);

private slots:
    void on_new_connection();
    void on_ready_read();
    void on_disconnected();

private:
    struct Rule {
        int count;
        QByteArray reply;
        int connection;
    };
    void apply_rules();

    QTcpServer listener;
    QVector<Rule> rules;
    int next_rule = 0;
    QByteArray greeting;
    bool reading = true;
};

// A loopback port whose listen queue is full: a connection attempt to it is neither accepted
// nor refused, so the client's connect time-out fires.
class Stalled_listener {
public:
    Stalled_listener();
    ~Stalled_listener();
    bool ok() const { return port != 0; }
    quint16 port = 0;

private:
    int listen_fd = -1;
    int filler_fds[4] = {-1, -1, -1, -1};
};
