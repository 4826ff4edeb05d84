#pragma once
// A TCP connection over a non-blocking descriptor, watched by socket notifiers of the
// owner's thread. It holds no buffer of its own: writes go to the kernel from wherever the
// bytes lie and reads go straight into the caller's buffer, so a connection costs a
// descriptor, two notifiers and this object.
//
// Every report reaches the owner from the event loop (a notifier, a finished name lookup, or
// a queued call for a failure found while opening), never from inside a call the owner made.
// A report that belongs to a connection closed meanwhile is dropped.

#include "protocol/link.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <cstdint>

class QObject;
class QSocketNotifier;

class Tcp_link : public Link {
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
