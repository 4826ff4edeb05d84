// Starting the simulator and reaching it over a raw socket, for test functions that stop at
// the first failure.
#pragma once

#include <QtGlobal>

class QTcpSocket;

// Connects to the simulator on this machine; false if that takes more than 5 s.
bool open_socket(QTcpSocket& s, quint16 port);

#define START(sim, fleet) QVERIFY2((sim).start(fleet), qPrintable((sim).error()))
#define OPEN(sock, sim) QVERIFY2(open_socket(sock, (sim).port()), qPrintable((sock).errorString()))
