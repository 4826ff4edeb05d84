#pragma once
// A link whose reports a test or fuzz target scripts. On its own it needs no network: what the
// client writes is collected in `written`, and what the script delivers is what the client
// reads. Given a real link to pass through, it only holds writes back: the bytes it takes wait
// in `held` until release() hands them on. Either way a write takes at most `accept_limit`
// bytes, and like every link it reports nothing for a connection that is closed.
// Qt Core only, so that the fuzz targets link it too.

#include "protocol/link.h"

#include <QByteArray>

class Scripted_link : public Link {
public:
    explicit Scripted_link(Link* through = nullptr) : through(through) {}

    QByteArray written; // every byte taken, without a link to pass through
    QByteArray held;    // taken and not yet released, with one
    int opens = 0;
    bool write_closed = false;

    qint64 accept_limit = -1; // bytes one write takes; -1: all
    // A link that misbehaves: it refuses every write, or claims more than it was offered.
    enum Write_fault : unsigned char { write_ok, write_refused, write_too_much };
    Write_fault fault = write_ok;

    // Reports, as the event loop would bring them.
    void report_connected();
    // The bytes arrive and are reported readable.
    void deliver(const QByteArray& bytes);
    // The peer ends the stream.
    void report_peer_close();
    void report_failure(int code);
    // Room, whether or not a write waits for it.
    void report_room();
    // Hands the held bytes on and, if a write waits for room, reports it; false if none waits.
    bool release();
    bool room_owed() const { return owed; }

    void open(const QString& host, quint16 port) override;
    qint64 write(const unsigned char* data, qint64 count) override;
    qint64 read(unsigned char* into, qint64 room) override;
    bool close_write() override;
    void close() override;
    bool is_open() const override;
    int error() const override;
    QString error_text(int code) const override;
    unsigned short local_port() const override;

private:
    Link* through;
    QByteArray incoming;
    bool opened = false;
    bool connected = false;
    bool peer_closed = false;
    bool owed = false;
    int error_code = unknown_error;
};
