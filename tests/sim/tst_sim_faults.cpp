// Faults the simulator produces on request (pings, broken checksums, foreign frame
// types, UNLINKs, stalls, closes, refusals, speed limits, faulty device lists) and
// its reaction to clients that break the protocol.
#include "support/sim_frames.h"
#include "support/sim_process.h"
#include "support/sim_session.h"

#include <QTcpSocket>
#include <QtTest>

using namespace sim_frames;

namespace {

bool next(QTcpSocket& s, Frame& f, QString* e) {
    return read_frame(s, f, 5000, e);
}

// Reads raw bytes until `n` are in or the peer closes.
QByteArray read_raw(QTcpSocket& s, int n) {
    QByteArray out;
    while (out.size() < n && (s.bytesAvailable() > 0 || s.waitForReadyRead(5000)))
        out += s.read(n - out.size());
    return out;
}

bool closed_by_peer(QTcpSocket& s) {
    if (s.state() == QAbstractSocket::UnconnectedState)
        return true;
    s.readAll();
    return !s.waitForReadyRead(5000) && s.state() == QAbstractSocket::UnconnectedState;
}

const QString linked_device = QStringLiteral("device 350000000000001 pin=1234 ");

} // namespace

#define NEXT(sock, f)                                                                              \
    do {                                                                                           \
        QString e_;                                                                                \
        QVERIFY2(next(sock, f, &e_), qPrintable(e_));                                              \
    } while (0)

class tst_Sim_faults : public QObject {
    Q_OBJECT
private slots:
    void pings_wait_for_their_answer();
    void ping_always_pings_on_ping();
    void answer_faults_data();
    void answer_faults();
    void unlinked_device_takes_no_further_request();
    void nth_frame_gets_a_broken_checksum();
    void hello_frame_comes_first();
    void delayed_answer_comes_late();
    void stall_answers_then_falls_silent();
    void close_after_bytes();
    void refuse_first_connections();
    void refuse_all_connections();
    void rate_limited_upload_still_arrives_whole();
    void enum_faults_data();
    void enum_faults();
    void client_violations_data();
    void client_violations();
    void bad_fleet_is_refused_data();
    void bad_fleet_is_refused();
};

void tst_Sim_faults::pings_wait_for_their_answer() {
    Sim_process sim;
    START(sim, "port 0 ping=20 ping_len=3\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    NEXT(s, f);
    QCOMPARE(f.wire, frame(0x0A, QByteArray(3, '\0')));
    // No second ping while the first is unanswered.
    QVERIFY(stays_silent(s, 150));
    s.write(ping_answer());
    NEXT(s, f);
    QCOMPARE(f.type, quint8(0x0A));
    s.write(ping_answer());
    QVERIFY(sim.wait_record("PING_ANSWER", 2));
    QVERIFY(sim.stop());
    QVERIFY(sim.counter("pings") >= 2);
    QCOMPARE(sim.counter("ping_answers"), 2);
    QCOMPARE(sim.counter("violations"), 0);
}

void tst_Sim_faults::ping_always_pings_on_ping() {
    Sim_process sim;
    START(sim, "port 0 ping=10 ping_always=1\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    NEXT(s, f);
    NEXT(s, f);
    QCOMPARE(f.wire, frame(0x0A));
}

void tst_Sim_faults::answer_faults_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QList<QByteArray>>("frames");
    const QByteArray unlink = frame(0x10);
    const QByteArray accepted = frame(0x06, QByteArray(1, '\1'));
    QTest::newRow("UNLINK instead of the answer")
        << "auth_unlink=instead" << QList<QByteArray>{unlink};
    QTest::newRow("UNLINK before the answer")
        << "auth_unlink=before" << QList<QByteArray>{unlink, accepted};
    QTest::newRow("UNLINK after the answer")
        << "auth_unlink=after" << QList<QByteArray>{accepted, unlink};
    QTest::newRow("an answer of a foreign type")
        << "auth_type=0x0f" << QList<QByteArray>{frame(0x0F, QByteArray(1, '\1'))};
    QTest::newRow("an answer with a raw payload of two bytes")
        << "auth_payload=0100" << QList<QByteArray>{frame(0x06, QByteArray("\1\0", 2))};
    QTest::newRow("an answer too long for the client's buffer")
        << "auth_payload=" + QString(265 * 2, QLatin1Char('0'))
        << QList<QByteArray>{frame(0x06, QByteArray(265, '\0'))};
    QTest::newRow("a foreign frame behind the answer")
        << "auth_extra=0x0d:0000" << QList<QByteArray>{accepted, frame(0x0D, QByteArray(2, '\0'))};
    QTest::newRow("UNLINK and a further frame after the answer")
        << "auth_unlink=after auth_extra=0x10" << QList<QByteArray>{accepted, unlink, unlink};
    QTest::newRow("a type and payload together")
        << "auth_type=99 auth_payload=ff" << QList<QByteArray>{frame(99, QByteArray(1, '\xff'))};
}

void tst_Sim_faults::answer_faults() {
    QFETCH(QString, keys);
    QFETCH(QList<QByteArray>, frames);
    Sim_process sim;
    START(sim, "port 0\n" + linked_device + keys + "\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    s.write(sim_frames::link(350000000000001));
    NEXT(s, f);
    QCOMPARE(f.payload, QByteArray(1, '\0'));
    s.write(auth("1234"));
    for (const QByteArray& expected : frames) {
        NEXT(s, f);
        QCOMPARE(f.wire, expected);
    }
    QVERIFY(stays_silent(s, 50));
}

void tst_Sim_faults::unlinked_device_takes_no_further_request() {
    Sim_process sim;
    START(sim, "port 0\n" + linked_device + "link_unlink=after\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    s.write(sim_frames::link(350000000000001));
    NEXT(s, f);
    QCOMPARE(f.wire, frame(0x0F, QByteArray(1, '\0')));
    NEXT(s, f);
    QCOMPARE(f.wire, frame(0x10));
    s.write(auth("1234"));
    QVERIFY(closed_by_peer(s));
    QVERIFY(sim.wait_record("BAD", 1));
    QCOMPARE(sim.record_of("BAD").value(0).section(' ', 3),
             QStringLiteral("why=auth_unlinked type=0x05 len=5"));
}

void tst_Sim_faults::nth_frame_gets_a_broken_checksum() {
    Sim_process sim;
    START(sim, "port 0 bad_crc=2\n" + linked_device + "\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    s.write(sim_frames::link(350000000000001));
    NEXT(s, f);
    s.write(auth("1234"));
    const QByteArray raw = read_raw(s, 8);
    const QByteArray sound = frame(0x06, QByteArray(1, '\1'));
    QCOMPARE(raw.size(), 8);
    QCOMPARE(raw.left(4), sound.left(4));
    QVERIFY(raw.mid(4) != sound.mid(4));
}

void tst_Sim_faults::hello_frame_comes_first() {
    Sim_process sim;
    START(sim, "port 0 hello=0x10\nport 0 hello=0x63:0102\n");
    QTcpSocket a, b;
    OPEN(a, sim);
    QVERIFY(open_socket(b, sim.port(1)));
    Frame f;
    NEXT(a, f);
    QCOMPARE(f.wire, frame(0x10));
    NEXT(b, f);
    QCOMPARE(f.wire, frame(0x63, QByteArray("\1\2", 2)));
}

void tst_Sim_faults::delayed_answer_comes_late() {
    Sim_process sim;
    START(sim, "port 0\n" + linked_device + "delay=1000\n");
    QTcpSocket s;
    OPEN(s, sim);
    s.write(sim_frames::link(350000000000001));
    QVERIFY(stays_silent(s, 100));
    Frame f;
    NEXT(s, f);
    QCOMPARE(f.wire, frame(0x0F, QByteArray(1, '\0')));
}

void tst_Sim_faults::stall_answers_then_falls_silent() {
    Sim_process sim;
    START(sim, "port 0 stall=1 stall_ms=1000\n" + linked_device + "\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    s.write(sim_frames::link(350000000000001));
    NEXT(s, f);
    s.write(auth("1234"));
    QVERIFY(stays_silent(s, 100));
    // Bounded: the stalled connection is closed after stall_ms.
    QVERIFY(closed_by_peer(s));
    QVERIFY(sim.wait_record("close", 1));
    QCOMPARE(sim.record_of("close").value(0).section(' ', 3), QStringLiteral("reason=stall"));
    QCOMPARE(sim.record_of("AUTH").size(), 0);
}

void tst_Sim_faults::close_after_bytes() {
    Sim_process sim;
    START(sim, "port 0 close_after=70\n" + linked_device + "\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    // LINK is 64 bytes and answered; the AUTH that crosses 70 bytes is cut.
    s.write(sim_frames::link(350000000000001));
    NEXT(s, f);
    s.write(auth("1234"));
    QVERIFY(closed_by_peer(s));
    QVERIFY(sim.wait_record("close", 1));
    QCOMPARE(sim.record_of("close").value(0).section(' ', 3), QStringLiteral("reason=close_after"));
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("bytes_in"), 70);
    QCOMPARE(sim.counter("auths"), 0);
}

void tst_Sim_faults::refuse_first_connections() {
    Sim_process sim;
    START(sim, "port 0 refuse=2\n" + linked_device + "\n");
    // A reset right after the handshake may reach the client as a failed connect or as
    // a close (Qt may even retry on its own), so the record is the judge here.
    for (int i = 0; i < 2; ++i) {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
        s.waitForConnected(5000);
        QVERIFY(sim.wait_record("refused", i + 1));
    }
    QCOMPARE(sim.record_of("refused"),
             QStringList({QStringLiteral("1 %1 refused").arg(sim.port()),
                          QStringLiteral("2 %1 refused").arg(sim.port())}));
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    s.write(sim_frames::link(350000000000001));
    NEXT(s, f);
    QCOMPARE(f.payload, QByteArray(1, '\0'));
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("refused"), 2);
    QCOMPARE(sim.record_of("refused").size(), 2);
}

void tst_Sim_faults::refuse_all_connections() {
    Sim_process sim;
    START(sim, "port 0 refuse=all\n");
    QVERIFY(sim.port() != 0);
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
    QVERIFY(!s.waitForConnected(5000));
    QCOMPARE(s.error(), QAbstractSocket::ConnectionRefusedError);
}

void tst_Sim_faults::rate_limited_upload_still_arrives_whole() {
    Sim_process sim;
    START(sim, "port 0 rate=400000\n" + linked_device + "\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame f;
    s.write(sim_frames::link(350000000000001));
    NEXT(s, f);
    s.write(auth("1234"));
    NEXT(s, f);
    QByteArray file(100000, '\0');
    for (int i = 0; i < file.size(); ++i)
        file[i] = char(i * 7 + i / 251);
    s.write(upfile("FIRMWARE", quint32(file.size()), crc32(file)) + file);
    NEXT(s, f);
    QCOMPARE(f.wire, frame(0x14, QByteArray("FIRMWARE\0\0\0", 11)));
}

void tst_Sim_faults::enum_faults_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("payload_size");
    QTest::addColumn<int>("announced");
    QTest::addColumn<int>("byte_at");
    QTest::addColumn<int>("byte");
    // Three devices; entry 0 starts at payload offset 2.
    QTest::newRow("a letter among the IMEI digits")
        << "enum_fault=bad_digit" << 2 + 3 * 57 << 3 << 2 + 7 << int('A');
    QTest::newRow("a non-zero IMEI terminator")
        << "enum_fault=imei_zero" << 2 + 3 * 57 << 3 << 2 + 15 << 0x20;
    QTest::newRow("a non-zero name terminator")
        << "enum_fault=name_zero" << 2 + 3 * 57 << 3 << 2 + 56 << int('x');
    QTest::newRow("a length one byte too long")
        << "enum_fault=bad_length" << 2 + 3 * 57 + 1 << 3 << 0 << 3;
    QTest::newRow("1001 devices announced with a matching length")
        << "enum_fault=too_many" << 2 + 1001 * 57 << 1001 << 1 << 3;
    QTest::newRow("a payload of one byte") << "enum_fault=short" << 1 << -1 << 0 << 0;
    QTest::newRow("a raw payload") << "enum_payload=0100" << 2 << 1 << 0 << 1;
}

void tst_Sim_faults::enum_faults() {
    QFETCH(QString, keys);
    QFETCH(int, payload_size);
    QFETCH(int, announced);
    QFETCH(int, byte_at);
    QFETCH(int, byte);
    Sim_process sim;
    START(sim, "port 0 " + keys + "\nrange 350000000000000 3\n");
    QTcpSocket s;
    OPEN(s, sim);
    s.write(sim_frames::enumerate());
    Frame f;
    NEXT(s, f);
    QCOMPARE(f.type, quint8(0x0D));
    QCOMPARE(f.payload.size(), payload_size);
    if (announced >= 0)
        QCOMPARE(int(quint8(f.payload[0]) | quint8(f.payload[1]) << 8), announced);
    QCOMPARE(int(quint8(f.payload[byte_at])), byte);
    QVERIFY(stays_silent(s, 50));
}

void tst_Sim_faults::client_violations_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("bad");
    QByteArray broken = sim_frames::link(350000000000001);
    broken[broken.size() - 1] = char(broken[broken.size() - 1] ^ 1);
    QTest::newRow("a frame with a wrong checksum") << broken << "why=crc type=0x0e len=57";
    QTest::newRow("a length far above any request")
        << QByteArray("\x01\x10\x0e", 3) << "why=length type=0x00 len=4097";
    QTest::newRow("AUTH before any LINK") << auth("1234") << "why=auth_unlinked type=0x05 len=5";
    QTest::newRow("a frame type the server never takes")
        << frame(0x02, QByteArray(6, '\0')) << "why=type type=0x02 len=6";
    QTest::newRow("a PING_ANSWER without a ping")
        << ping_answer() << "why=ping_answer_unasked type=0x0b len=21";
    QTest::newRow("a LINK with letters in the IMEI")
        << frame(0x0E, QByteArray("35000000000000A") + QByteArray(42, '\0'))
        << "why=link_imei type=0x0e len=57";
    QTest::newRow("a LINK with a non-zero tail")
        << frame(0x0E, QByteArray("350000000000001") + QByteArray(41, '\0') + "x")
        << "why=link_padding type=0x0e len=57";
    QTest::newRow("a second request before the answer")
        << sim_frames::link(350000000000002) + sim_frames::link(350000000000002)
        << "why=busy type=0x0e len=57";
}

void tst_Sim_faults::client_violations() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, bad);
    Sim_process sim;
    START(sim, "port 0\ndevice 350000000000002 delay=500\n");
    QTcpSocket s;
    OPEN(s, sim);
    s.write(bytes);
    QVERIFY(closed_by_peer(s));
    QVERIFY(sim.wait_record("BAD", 1));
    QCOMPARE(sim.record_of("BAD").value(0).section(' ', 3), bad);
    QCOMPARE(sim.record_of("close").value(0).section(' ', 3), QStringLiteral("reason=violation"));
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("violations"), 1);
}

void tst_Sim_faults::bad_fleet_is_refused_data() {
    QTest::addColumn<QString>("fleet");
    QTest::addColumn<QString>("message");
    QTest::newRow("a device before any port") << "device 1\n"
                                              << ":1: a port line must come first";
    QTest::newRow("an IMEI of 16 digits") << "port 0\ndevice 1000000000000000\n"
                                          << ":2: the IMEI must be at most 999999999999999";
    QTest::newRow("the same IMEI twice on a port")
        << "port 0\ndevice 5\nrange 1 10\n"
        << "IMEI 5 is listed twice for the port declared on line 1";
    QTest::newRow("an unknown device key") << "port 0\ndevice 5 colour=red\n"
                                           << ":2: unknown device key colour";
    QTest::newRow("a PIN of 17 characters") << "port 0\ndevice 5 pin=12345678901234567\n"
                                            << ":2: pin must be at most 16 bytes";
    QTest::newRow("odd hexadecimal digits")
        << "port 0 hello=16:abc\n"
        << ":1: hello needs an even number of hexadecimal digits";
    QTest::newRow("a device key on a port line") << "port 0 pin=1\n"
                                                 << ":1: unknown server key pin";
    QTest::newRow("an UNLINK for the device list") << "port 0 enum_unlink=after\n"
                                                   << ":1: unknown server key enum_unlink";
    QTest::newRow("an unterminated quote") << "port 0\ndevice 5 name=\"abc\n"
                                           << ":2: unterminated quoted value";
    QTest::newRow("a range past 15 digits")
        << "port 0\nrange 999999999999999 2\n"
        << ":2: the range must hold 1 or more IMEIs of at most 15 digits";
}

void tst_Sim_faults::bad_fleet_is_refused() {
    QFETCH(QString, fleet);
    QFETCH(QString, message);
    Sim_process sim;
    QVERIFY(!sim.start(fleet));
    QVERIFY2(sim.error().contains(message), qPrintable(sim.error()));
}

QTEST_GUILESS_MAIN(tst_Sim_faults)
#include "tst_sim_faults.moc"
