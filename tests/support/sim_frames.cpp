#include "support/sim_frames.h"

#include <QElapsedTimer>
#include <QTcpSocket>

namespace sim_frames {

quint32 crc32(const QByteArray& bytes) {
    quint32 c = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        c ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

QByteArray u16(quint16 v) {
    QByteArray b(2, '\0');
    b[0] = char(v);
    b[1] = char(v >> 8);
    return b;
}

QByteArray u32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

QByteArray frame(quint8 type, const QByteArray& payload) {
    QByteArray f = u16(quint16(payload.size()));
    f.append(char(type));
    f.append(payload);
    f.append(u32(crc32(f)));
    return f;
}

QByteArray link(quint64 imei) {
    QByteArray p = QByteArray::number(imei).rightJustified(15, '0', true);
    p.append(QByteArray(42, '\0'));
    return frame(0x0E, p);
}

QByteArray auth(const QByteArray& pin) {
    QByteArray p = pin.left(16);
    p = p.size() > 4 ? p.leftJustified(16, '\0') : p.leftJustified(4, '\0');
    p.append('\0');
    return frame(0x05, p);
}

QByteArray upfile(const QByteArray& name, quint32 size, quint32 sum) {
    return frame(0x13, name.left(10).leftJustified(10, '\0') + u32(size) + u32(sum));
}

QByteArray getparam(quint32 id, quint16 param) {
    return frame(0x01, u32(id) + QByteArray("\x03\x04", 2) + u16(param) + u16(0));
}

QByteArray cmd(quint8 code, quint32 id) {
    QByteArray p = u32(id);
    p.append(char(code));
    p.append('\0');
    return frame(0x01, p);
}

QByteArray enumerate() {
    return frame(0x0C);
}

QByteArray ping_answer() {
    QByteArray p(21, '\0');
    p[16] = char(0xFE);
    return frame(0x0B, p);
}

namespace {

bool fill(QTcpSocket& s, QByteArray& buf, int need, QElapsedTimer& clock, int timeout_ms) {
    while (buf.size() < need) {
        if (s.bytesAvailable() > 0) {
            buf.append(s.read(need - buf.size()));
            continue;
        }
        const int left = timeout_ms - int(clock.elapsed());
        if (left <= 0 || s.state() != QAbstractSocket::ConnectedState)
            return false;
        s.waitForReadyRead(left);
    }
    return true;
}

} // namespace

bool read_frame(QTcpSocket& s, Frame& out, int timeout_ms, QString* error) {
    QElapsedTimer clock;
    clock.start();
    QByteArray buf;
    if (!fill(s, buf, 2, clock, timeout_ms)) {
        if (error)
            *error = buf.isEmpty() && s.state() != QAbstractSocket::ConnectedState
                         ? QStringLiteral("connection closed")
                         : QStringLiteral("no frame within %1 ms").arg(timeout_ms);
        return false;
    }
    const int len = quint8(buf[0]) | quint8(buf[1]) << 8;
    if (!fill(s, buf, len + 7, clock, timeout_ms)) {
        if (error)
            *error = QStringLiteral("frame of %1 payload bytes cut short at %2 bytes")
                         .arg(len)
                         .arg(buf.size());
        return false;
    }
    const QByteArray sum = buf.right(4);
    if (u32(crc32(buf.left(len + 3))) != sum) {
        if (error)
            *error =
                QStringLiteral("checksum mismatch in %1").arg(QString::fromLatin1(buf.toHex()));
        return false;
    }
    out.type = quint8(buf[2]);
    out.payload = buf.mid(3, len);
    out.wire = buf;
    return true;
}

bool stays_silent(QTcpSocket& s, int ms) {
    if (s.bytesAvailable() > 0)
        return false;
    s.waitForReadyRead(ms);
    return s.bytesAvailable() == 0 && s.state() == QAbstractSocket::ConnectedState;
}

} // namespace sim_frames
