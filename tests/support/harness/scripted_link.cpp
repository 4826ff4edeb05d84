#include "scripted_link.h"

#include <cstring>

void Scripted_link::report_connected() {
    if (opened && !connected) {
        connected = true;
        owner->link_connected();
    }
}

void Scripted_link::deliver(const QByteArray& bytes) {
    if (!connected)
        return;
    incoming += bytes;
    owner->link_readable();
}

void Scripted_link::report_peer_close() {
    if (!connected)
        return;
    peer_closed = true;
    owner->link_readable();
}

void Scripted_link::report_failure(int code) {
    if (!opened)
        return;
    close();
    error_code = code;
    owner->link_failed(code);
}

void Scripted_link::report_room() {
    if (is_open())
        owner->link_room();
}

bool Scripted_link::release() {
    if (through && !held.isEmpty()) {
        through->write(reinterpret_cast<const unsigned char*>(held.constData()), held.size());
        held.clear();
    }
    if (!owed)
        return false;
    owed = false;
    report_room();
    return true;
}

void Scripted_link::open(const QString& host, quint16 port) {
    close();
    ++opens;
    error_code = unknown_error;
    if (through) {
        through->open(host, port);
        return;
    }
    opened = true;
}

qint64 Scripted_link::write(const unsigned char* data, qint64 count) {
    if (fault == write_refused)
        return -1;
    if (fault == write_too_much)
        return count + 1;
    if (through && accept_limit < 0)
        return through->write(data, count);
    if (!through && !connected) {
        error_code = unknown_error;
        return -1;
    }
    const qint64 n = accept_limit >= 0 && accept_limit < count ? accept_limit : count;
    (through ? held : written).append(reinterpret_cast<const char*>(data), int(n));
    owed = n < count;
    return n;
}

qint64 Scripted_link::read(unsigned char* into, qint64 room) {
    if (through)
        return through->read(into, room);
    if (!connected)
        return 0;
    if (!incoming.isEmpty()) {
        const int n = int(qMin<qint64>(room, incoming.size()));
        std::memcpy(into, incoming.constData(), size_t(n));
        incoming.remove(0, n);
        return n;
    }
    if (peer_closed) {
        error_code = remote_closed;
        return -1;
    }
    return 0;
}

bool Scripted_link::close_write() {
    write_closed = true;
    return through ? through->close_write() : true;
}

void Scripted_link::close() {
    opened = connected = peer_closed = owed = false;
    incoming.clear();
    held.clear();
    if (through)
        through->close();
}

bool Scripted_link::is_open() const {
    return through ? through->is_open() : opened;
}

int Scripted_link::error() const {
    return through ? through->error() : error_code;
}

QString Scripted_link::error_text(int code) const {
    return through ? through->error_text(code) : QStringLiteral("scripted error %1").arg(code);
}

unsigned short Scripted_link::local_port() const {
    return through ? through->local_port() : 0;
}
