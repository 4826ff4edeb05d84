// Exact frames for tests that talk to a server (or play one) over a raw socket.
// The checksum here is computed bit by bit, deliberately unlike the table-driven
// ones of the client and the simulator, so that it checks both of them.
#pragma once

#include <QByteArray>
#include <QString>

class QTcpSocket;

namespace sim_frames {

quint32 crc32(const QByteArray& bytes);

// length, type, payload and the checksum, as sent on the wire.
QByteArray frame(quint8 type, const QByteArray& payload = QByteArray());

// Client requests.
QByteArray link(quint64 imei);
QByteArray auth(const QByteArray& pin); // 5 bytes for up to 4 characters, else 17
QByteArray upfile(const QByteArray& name, quint32 size, quint32 sum);
QByteArray getparam(quint32 id, quint16 param);
QByteArray cmd(quint8 code, quint32 id = 0);
QByteArray enumerate();
QByteArray ping_answer();

// Little-endian helpers.
QByteArray u16(quint16 v);
QByteArray u32(quint32 v);

struct Frame {
    quint8 type = 0;
    QByteArray payload;
    QByteArray wire; // the whole frame as received
};

// Waits up to timeout_ms for one whole frame and checks its checksum. False with a
// reason in `error` on a time-out, a closed connection or a checksum mismatch.
bool read_frame(QTcpSocket& socket, Frame& out, int timeout_ms, QString* error = nullptr);

// True when nothing at all arrives within ms and the connection stays up.
bool stays_silent(QTcpSocket& socket, int ms);

} // namespace sim_frames
