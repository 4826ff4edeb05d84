#pragma once
// What a protocol client needs of its connection: open it, hand bytes over, take what has
// arrived, close it, and hear back through four reports. Tcp_link is the one the program
// uses; tests and fuzz targets put a scripted one in its place.
//
// The contract every link keeps:
// - Reports come from the event loop (or from the script), never from inside a call the owner
//   made, and none comes for a connection that close() has ended.
// - A write that takes less than offered is followed by exactly one link_room() once more
//   may go; a write that takes everything is followed by none.

#include <QString>
#include <QtGlobal>

class Link {
public:
    class Owner {
    public:
        virtual void link_connected() = 0;
        // Data, the peer's close or an error is waiting: read() tells which.
        virtual void link_readable() = 0;
        // A write that the link took only in part may go on.
        virtual void link_room() = 0;
        // The connection could not be made, or failed; the link is closed already.
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

    explicit Link(Owner* owner = nullptr) : owner(owner) {}
    virtual ~Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Reports go to `o` from now on.
    void attach(Owner& o) { owner = &o; }

    // Starts a connection; link_connected() or link_failed() follows. Closes any earlier one.
    virtual void open(const QString& host, quint16 port) = 0;
    // Takes bytes; returns how many, -1 on an error (error() tells which). Taking fewer than
    // `count` means link_room() follows.
    virtual qint64 write(const unsigned char* data, qint64 count) = 0;
    // Takes what has arrived, at most `room` bytes: the count, 0 when nothing is waiting, -1
    // when the peer has closed or the connection failed (error() tells which).
    virtual qint64 read(unsigned char* into, qint64 room) = 0;
    // Ends our direction of the stream (the peer reads to its end and then closes, which
    // read() reports); false on an error.
    virtual bool close_write() = 0;
    // Closes at once; reports of this connection that are still on their way are dropped.
    virtual void close() = 0;

    virtual bool is_open() const = 0;
    virtual int error() const = 0;
    // The text of an error code.
    virtual QString error_text(int code) const = 0;
    // The local port of the connection, 0 without one.
    virtual unsigned short local_port() const = 0;

protected:
    Owner* owner;
};
