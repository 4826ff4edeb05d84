#pragma once
// A TCP connection over a non-blocking descriptor, watched by socket notifiers of the
// owner's thread. It holds no buffer of its own: writes go to the kernel from wherever the
// bytes lie and reads go straight into the caller's buffer, so a connection costs a
// descriptor, two notifiers and this object.
//
// Every report reaches the owner from the event loop (a notifier, a finished name lookup, or
// a queued call for a failure found while opening), never from inside a call the owner made.
// A report that belongs to a connection closed meanwhile is dropped.

#include <QHostAddress>
#include <QList>
#include <QString>
#include <cstdint>

class QObject;
class QSocketNotifier;

class Tcp_link {
public:
    class Owner {
    public:
        virtual void link_connected() = 0;
        // Data, the peer's close or an error is waiting: read() tells which.
        virtual void link_readable() = 0;
        // A write that the kernel took only in part may go on.
        virtual void link_room() = 0;
        // The connection could not be made, or failed; the descriptor is closed already.
        virtual void link_failed(int code) = 0;

    protected:
        ~Owner() = default;
    };

    // Error codes, numbered like QAbstractSocket::SocketError so that messages keep their codes.
    enum : int {
        unknown_error = -1,
        connection_refused = 0,
        remote_closed = 1,
        host_not_found = 2,
        access_denied = 3,
        out_of_resources = 4,
        network_error = 7,
    };

    // `context` lives in the owner's thread and outlives the link (it carries the queued
    // reports and the name lookups).
    Tcp_link(Owner& owner, QObject& context);
    ~Tcp_link();
    Tcp_link(const Tcp_link&) = delete;
    Tcp_link& operator=(const Tcp_link&) = delete;

    // Starts a connection (a name is looked up first); link_connected() or link_failed()
    // follows. Closes any earlier connection first.
    void open(const QString& host, quint16 port);
    // Hands bytes to the kernel; returns how many it took, 0 when it has no room now (then
    // link_room() follows once it has), -1 on an error (error() tells which).
    qint64 write(const unsigned char* data, qint64 count);
    // Takes what has arrived, at most `room` bytes: the count, 0 when nothing is waiting,
    // -1 when the peer has closed or the connection failed (error() tells which).
    qint64 read(unsigned char* into, qint64 room);
    // Ends our direction of the stream (the peer reads to its end and then closes, which
    // read() reports); false on an error.
    bool close_write();
    // Closes at once; reports of this connection that are still on their way are dropped.
    void close();

    bool is_open() const { return fd >= 0; }
    int error() const { return error_code; }
    // The text of an error code, told by the errno behind it when it is the last error.
    QString error_text(int code) const;
    // The local port of the connection, 0 without one (asked of the kernel on each call).
    unsigned short local_port() const;

private:
    Owner& owner;
    QObject& context;
    int fd = -1;
    int error_code = unknown_error;
    int saved_errno = 0;
    bool connecting = false;
    uint32_t generation = 0; // counts open() and close(); stale reports compare it
    int lookup_id = -1;
    quint16 port = 0;
    QSocketNotifier* readable = nullptr;
    QSocketNotifier* writable = nullptr;
    QList<QHostAddress> addresses; // of a looked-up name, tried in turn
    int next_address = 0;

    void connect_to(const QHostAddress& address);
    void try_next_or_fail(int code, int err);
    void fail_later(int code, int err);
    void on_writable();
    void release();
    void set_error(int err);
};
