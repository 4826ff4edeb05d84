#pragma once
// A TCP connection over a non-blocking descriptor, watched by socket notifiers of the
// owner's thread, or straight by that thread's event loop where it can (Fd_poller). It holds
// no buffer of its own: writes go to the kernel from wherever the bytes lie and reads go
// straight into the caller's buffer, so a connection costs a descriptor and this object (and
// two notifiers where the loop cannot watch it directly).
//
// Every report reaches the owner from the event loop (a notifier, a finished name lookup, or
// a queued call for a failure found while opening), never from inside a call the owner made.
// A report that belongs to a connection closed meanwhile is dropped.

#include "protocol/fd_poller.h"
#include "protocol/link.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <cstdint>

class QObject;
class QSocketNotifier;

class Tcp_link : public Link, private Fd_handler {
public:
    // `context` lives in the owner's thread and outlives the link (it carries the queued
    // reports and the name lookups).
    Tcp_link(Owner& owner, QObject& context);
    ~Tcp_link() override;
    Tcp_link(const Tcp_link&) = delete;
    Tcp_link& operator=(const Tcp_link&) = delete;

    // A name is looked up first.
    void open(const QString& host, quint16 port) override;
    // Hands bytes to the kernel; 0 when it has no room now.
    qint64 write(const unsigned char* data, qint64 count) override;
    qint64 read(unsigned char* into, qint64 room) override;
    bool close_write() override;
    void close() override;

    bool is_open() const override { return fd >= 0; }
    int error() const override { return error_code; }
    // The text of an error code, told by the errno behind it when it is the last error.
    QString error_text(int code) const override;
    // Asked of the kernel on each call.
    unsigned short local_port() const override;

private:
    QObject& context;
    int fd = -1;
    int error_code = unknown_error;
    int saved_errno = 0;
    bool connecting = false;
    uint32_t generation = 0; // counts open() and close(); stale reports compare it
    int lookup_id = -1;
    quint16 port = 0;
    Fd_poller* poller = nullptr; // of the connection's thread, taken at each open
    bool watch_read = false, watch_write = false;
    QSocketNotifier* readable = nullptr; // without a poller only
    QSocketNotifier* writable = nullptr;
    QList<QHostAddress> addresses; // of a looked-up name, tried in turn
    QString last_host;             // given to the last open(), with its parse
    QHostAddress last_literal;
    bool last_is_literal = false;
    int next_address = 0;

    void connect_to(const QHostAddress& address);
    void try_next_or_fail(int code, int err);
    void fail_later(int code, int err);
    // `what` as Fd_handler reports it; a notifier's report counts as a possible error.
    void on_writable(uint32_t what);
    void on_readable();
    // Sets what the socket is watched for.
    void want(bool read, bool write);
    void fd_ready(uint32_t what) override;
    void release();
    void set_error(int err);
};
