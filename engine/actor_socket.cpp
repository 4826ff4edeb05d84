// The write path of an actor. Left to the socket, every frame and every file would first be
// copied into the socket's own buffer (a megabyte per connection during an upload) and then
// into the kernel. Here the bytes go to the kernel straight from the transmit frame or from
// the shared file; what the kernel does not take now is resumed when it has room, and the
// client is told of the written bytes the same way the socket would tell it.
#include "engine/actor.h"

#include <QSocketNotifier>
#include <sys/socket.h>

qint64 Actor::socket_write(const unsigned char* data, qint64 count) {
    const qintptr fd = socket.socketDescriptor();
    // Once anything waits in the socket's buffer, everything must queue behind it.
    if (fd < 0 || !is_connected() || socket.bytesToWrite() > 0 || (room && room->isEnabled()))
        return Zelmo_client::socket_write(data, count);
    const ssize_t n = ::send(int(fd), data, size_t(count), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) {
        // The kernel is full (the socket writes it when there is room), or the connection has
        // failed (the socket meets the error itself and reports it as usual).
        return Zelmo_client::socket_write(data, count);
    }
    if (n == count) {
        // Written at once: say so now, with no further turn of the event loop.
        emit socket.bytesWritten(n);
        return n;
    }
    unreported = n;
    if (!room || room->socket() != fd) {
        if (room)
            room->deleteLater();
        room = new QSocketNotifier(fd, QSocketNotifier::Write);
        QObject::connect(room, &QSocketNotifier::activated, this, [this] { on_room(); });
    }
    room->setEnabled(true);
    return n;
}

void Actor::on_room() {
    room->setEnabled(false);
    const qint64 n = unreported;
    unreported = 0;
    // A connection closed meanwhile has forgotten its bytes in flight.
    if (n > 0 && has_connection() && n <= bytes_in_flight)
        emit socket.bytesWritten(n);
}

void Actor::reset_room() {
    if (room)
        room->setEnabled(false);
    unreported = 0;
}
