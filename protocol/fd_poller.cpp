#include "protocol/fd_poller.h"

#include <QAbstractEventDispatcher>

Fd_poller* Fd_poller::current() {
    return dynamic_cast<Fd_poller*>(QAbstractEventDispatcher::instance());
}
