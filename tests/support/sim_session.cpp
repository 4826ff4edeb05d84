#include "support/sim_session.h"

#include <QTcpSocket>

bool open_socket(QTcpSocket& s, quint16 port) {
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    return s.waitForConnected(5000);
}
