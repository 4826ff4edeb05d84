// The simulator's answers to well-formed requests, checked byte for byte over a raw
// socket: link, authorisation, upload, parameter reading, commands, device lists.
#include "support/sim_frames.h"
#include "support/sim_process.h"
#include "support/sim_session.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QtTest>

using namespace sim_frames;

namespace {

bool ask(QTcpSocket& s, const QByteArray& request, Frame& answer, QString* error) {
    s.write(request);
    return read_frame(s, answer, 5000, error);
}

QByteArray one_byte(int v) {
    return QByteArray(1, char(v));
}

} // namespace

#define ASK(sock, request, answer)                                                                 \
    do {                                                                                           \
        QString e_;                                                                                \
        QVERIFY2(ask(sock, request, answer, &e_), qPrintable(e_));                                 \
    } while (0)

// A connection on which the fleet's one device (given `keys`) is linked and authorised.
#define AUTHORISED(sim, sock, keys, answer)                                                        \
    do {                                                                                           \
        START(sim, "port 0\ndevice 350000000000001 " + (keys) + "\n");                             \
        OPEN(sock, sim);                                                                           \
        ASK(sock, sim_frames::link(350000000000001), answer);                                      \
        ASK(sock, sim_frames::auth("1"), answer);                                                  \
    } while (0)

class tst_Sim_exchange : public QObject {
    Q_OBJECT
private slots:
    void reference_frames_match_known_bytes();
    void link_data();
    void link();
    void device_linked_elsewhere_is_busy_until_released();
    void auth_data();
    void auth();
    void upload_data();
    void upload();
    void getparam_data();
    void getparam();
    void cmd_data();
    void cmd();
    void enumerate_data();
    void enumerate();
    void whole_session_is_recorded_and_counted();
};

void tst_Sim_exchange::reference_frames_match_known_bytes() {
    // The test side's own checksum must be right before it can judge the simulator.
    QCOMPARE(crc32("123456789"), 0xCBF43926u);
    QCOMPARE(crc32(QByteArray()), 0u);
    QCOMPARE(sim_frames::enumerate(), QByteArray::fromHex("00000c3995f7f6"));
    QCOMPARE(ping_answer(), QByteArray::fromHex("15000b") + QByteArray(16, '\0') +
                                QByteArray::fromHex("fe00000000") +
                                QByteArray::fromHex("192bb643"));
}

void tst_Sim_exchange::link_data() {
    QTest::addColumn<QString>("fleet");
    QTest::addColumn<quint64>("imei");
    QTest::addColumn<int>("result");
    QTest::newRow("a listed device links")
        << "device 350000000000001" << Q_UINT64_C(350000000000001) << 0;
    QTest::newRow("an IMEI with leading zeros links") << "device 1" << Q_UINT64_C(1) << 0;
    QTest::newRow("an unknown IMEI has no connection to the server")
        << "device 350000000000001" << Q_UINT64_C(350000000000002) << 2;
    QTest::newRow("the code for unknown IMEIs can be changed")
        << "server unknown_link=1\ndevice 1" << Q_UINT64_C(5) << 1;
    QTest::newRow("a device that fails the link answers 1")
        << "device 350000000000001 link=1" << Q_UINT64_C(350000000000001) << 1;
    QTest::newRow("a device linked to another client answers 3")
        << "device 350000000000001 link=3" << Q_UINT64_C(350000000000001) << 3;
    QTest::newRow("an unknown code is passed through")
        << "device 350000000000001 link=0x9c" << Q_UINT64_C(350000000000001) << 0x9c;
    QTest::newRow("a device in a generated range links")
        << "range 100000000000000 100000" << Q_UINT64_C(100000000099999) << 0;
    QTest::newRow("the IMEI after a range is unknown")
        << "range 100000000000000 100000" << Q_UINT64_C(100000000100000) << 2;
}

void tst_Sim_exchange::link() {
    QFETCH(QString, fleet);
    QFETCH(quint64, imei);
    QFETCH(int, result);
    Sim_process sim;
    START(sim, "port 0\n" + fleet + "\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame a;
    ASK(s, sim_frames::link(imei), a);
    QCOMPARE(a.wire, frame(0x0F, one_byte(result)));
    QVERIFY(sim.wait_record("LINK", 1));
    QCOMPARE(sim.record_of("LINK").value(0).section(' ', 3),
             QStringLiteral("imei=%1 result=%2").arg(imei, 15, 10, QLatin1Char('0')).arg(result));
}

void tst_Sim_exchange::device_linked_elsewhere_is_busy_until_released() {
    Sim_process sim;
    START(sim, "port 0\ndevice 350000000000001\n");
    QTcpSocket first, second;
    OPEN(first, sim);
    OPEN(second, sim);
    Frame a;
    ASK(first, sim_frames::link(350000000000001), a);
    QCOMPARE(a.payload, one_byte(0));
    ASK(second, sim_frames::link(350000000000001), a);
    QCOMPARE(a.payload, one_byte(3));
    first.disconnectFromHost();
    QVERIFY(sim.wait_record("close", 1));
    ASK(second, sim_frames::link(350000000000001), a);
    QCOMPARE(a.payload, one_byte(0));
}

void tst_Sim_exchange::auth_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QByteArray>("pin");
    QTest::addColumn<int>("payload_size");
    QTest::addColumn<int>("status");
    QTest::newRow("a four-character PIN is accepted") << "pin=1234" << QByteArray("1234") << 5 << 1;
    QTest::newRow("a five-character PIN travels in 17 bytes")
        << "pin=12345" << QByteArray("12345") << 17 << 1;
    QTest::newRow("a sixteen-character PIN is accepted")
        << "pin=ABCDEFGHIJKLMNOP" << QByteArray("ABCDEFGHIJKLMNOP") << 17 << 1;
    QTest::newRow("a PIN with a blank is accepted")
        << "pin=\"12 34\"" << QByteArray("12 34") << 17 << 1;
    QTest::newRow("a wrong PIN is rejected") << "pin=1234" << QByteArray("4321") << 5 << 0;
    QTest::newRow("a prefix of the PIN is rejected") << "pin=12345" << QByteArray("1234") << 5 << 0;
    QTest::newRow("an empty PIN is accepted by a device without one")
        << "pin=\"\"" << QByteArray() << 5 << 1;
    QTest::newRow("any PIN is accepted when none is given") << "" << QByteArray("zz") << 5 << 1;
    QTest::newRow("a configured status code is sent for a right PIN")
        << "pin=1234 auth=7" << QByteArray("1234") << 5 << 7;
}

void tst_Sim_exchange::auth() {
    QFETCH(QString, keys);
    QFETCH(QByteArray, pin);
    QFETCH(int, payload_size);
    QFETCH(int, status);
    Sim_process sim;
    START(sim, "port 0\ndevice 350000000000001 " + keys + "\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame a;
    ASK(s, sim_frames::link(350000000000001), a);
    QCOMPARE(a.payload, one_byte(0));
    const QByteArray request = sim_frames::auth(pin);
    QCOMPARE(request.size(), payload_size + 7);
    ASK(s, request, a);
    QCOMPARE(a.wire, frame(0x06, one_byte(status)));
    QVERIFY(sim.wait_record("AUTH", 1));
    QString word;
    for (const char c : pin)
        word += c == ' ' ? QStringLiteral("\\x20") : QString(QLatin1Char(c));
    QCOMPARE(sim.record_of("AUTH").value(0).section(' ', 3),
             QStringLiteral("imei=350000000000001 pin=%1 len=%2 status=%3")
                 .arg(pin.isEmpty() ? QStringLiteral("\"\"") : word)
                 .arg(payload_size)
                 .arg(status));
}

void tst_Sim_exchange::upload_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("true_sum");
    QTest::addColumn<QByteArray>("echoed");
    QTest::addColumn<int>("result");
    const QByteArray fw("FIRMWARE\0\0", 10);
    QTest::newRow("a sound file is accepted and its name echoed")
        << "" << fw << 4096 << true << fw << 0;
    QTest::newRow("a wrong declared checksum is a checksum error")
        << "" << fw << 4096 << false << fw << 4;
    QTest::newRow("an empty file needs no bytes behind the frame")
        << "" << QByteArray("SETTINGS\0\0", 10) << 0 << true << QByteArray("SETTINGS\0\0", 10) << 0;
    QTest::newRow("a ten-character name is echoed whole")
        << "" << QByteArray("ABCDEFGHIJ") << 10 << true << QByteArray("ABCDEFGHIJ") << 0;
    QTest::newRow("a configured memory error wins over a sound checksum")
        << "upload=1" << fw << 100 << true << fw << 1;
    QTest::newRow("an overridden name is echoed instead")
        << "upname=firmware" << fw << 100 << true << QByteArray("firmware\0\0", 10) << 0;
    QTest::newRow("a file of megabytes arrives in pieces")
        << "" << fw << 3 * 1024 * 1024 + 17 << true << fw << 0;
}

void tst_Sim_exchange::upload() {
    QFETCH(QString, keys);
    QFETCH(QByteArray, name);
    QFETCH(int, size);
    QFETCH(bool, true_sum);
    QFETCH(QByteArray, echoed);
    QFETCH(int, result);
    Sim_process sim;
    QTcpSocket s;
    Frame a;
    AUTHORISED(sim, s, keys, a);
    QCOMPARE(a.payload, one_byte(1));

    QByteArray file(size, '\0');
    QRandomGenerator rng(size);
    for (char& c : file)
        c = char(rng.bounded(256));
    const quint32 sum = crc32(file) ^ (true_sum ? 0u : 1u);
    s.write(upfile(name, quint32(size), sum));
    // Cut the file at random points so that frame and raw bytes share and split reads.
    for (int at = 0; at < file.size();) {
        const int piece = qMin(file.size() - at, 1 + int(rng.bounded(200000)));
        s.write(file.constData() + at, piece);
        s.waitForBytesWritten(5000);
        at += piece;
    }
    QString e;
    QVERIFY2(read_frame(s, a, 10000, &e), qPrintable(e));
    QCOMPARE(a.wire, frame(0x14, echoed + one_byte(result)));

    // The stream is back on frame boundaries after exactly `size` raw bytes.
    ASK(s, sim_frames::cmd(1), a);
    QCOMPARE(a.type, quint8(0x02));
    QVERIFY(sim.wait_record("UPFILE", 1));
    const QString shown =
        QString::fromLatin1(name.left(name.indexOf('\0') < 0 ? 10 : name.indexOf('\0')));
    QCOMPARE(sim.record_of("UPFILE").value(0).section(' ', 3),
             QStringLiteral("imei=350000000000001 name=%1 size=%2 crc=%3 got=%4 result=%5")
                 .arg(shown)
                 .arg(size)
                 .arg(sum, 8, 16, QLatin1Char('0'))
                 .arg(crc32(file), 8, 16, QLatin1Char('0'))
                 .arg(result));
}

void tst_Sim_exchange::getparam_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<quint32>("id");
    QTest::addColumn<int>("param");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("the built-in main firmware version")
        << "" << 0u << 2
        << u32(0) + QByteArray("\x01\x0b", 2) + u16(2) + QByteArray("\x08") + "FW 1.0.0";
    QTest::newRow("the identifier is echoed")
        << "" << 2u << 4
        << u32(2) + QByteArray("\x01\x0b", 2) + u16(4) + QByteArray("\x08") + "GNSS 1.0";
    QTest::newRow("a value with raw bytes is sent unchanged")
        << "p3=\"a\\\\b\\n\\x01\\xc0\\0tail\"" << 1u << 3
        << u32(1) + QByteArray("\x01\x0e", 2) + u16(3) + QByteArray("\x0b") +
               QByteArray("a\\b\n\x01\xc0\0tail", 11);
    // The argument length is one byte holding 3 + the value's length.
    QTest::newRow("a value of 252 bytes fills the largest answer")
        << "p2=" + QString(252, QLatin1Char('v')) << 0u << 2
        << u32(0) + QByteArray("\x01\xff\x02\x00\xfc", 5) + QByteArray(252, 'v');
    QTest::newRow("an empty value is a value of length 0")
        << "p2=\"\"" << 0u << 2 << u32(0) + QByteArray("\x01\x03\x02\x00\x00", 5);
    QTest::newRow("an unknown parameter answers 5 without arguments")
        << "" << 0u << 9 << u32(0) + QByteArray("\x05\x00", 2);
    QTest::newRow("params=none leaves every parameter unknown")
        << "params=none" << 0u << 2 << u32(0) + QByteArray("\x05\x00", 2);
    QTest::newRow("a configured execution error")
        << "getparam=4" << 1u << 3 << u32(1) + QByteArray("\x04\x00", 2);
}

void tst_Sim_exchange::getparam() {
    QFETCH(QString, keys);
    QFETCH(quint32, id);
    QFETCH(int, param);
    QFETCH(QByteArray, payload);
    Sim_process sim;
    QTcpSocket s;
    Frame a;
    AUTHORISED(sim, s, keys, a);
    ASK(s, sim_frames::getparam(id, quint16(param)), a);
    QCOMPARE(a.wire, frame(0x02, payload));
    QVERIFY(sim.wait_record("GETPARAM", 1));
    QCOMPARE(sim.record_of("GETPARAM").value(0).section(' ', 3),
             QStringLiteral("imei=350000000000001 id=%1 param=%2 result=%3")
                 .arg(id)
                 .arg(param)
                 .arg(int(quint8(payload[4]))));
}

void tst_Sim_exchange::cmd_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("result");
    QTest::newRow("a restart is done") << "" << 1 << 1;
    QTest::newRow("a GNSS cold start is done") << "" << 59 << 1;
    QTest::newRow("a command still being executed") << "cmd=2" << 5 << 2;
    QTest::newRow("an execution error") << "cmd=4" << 6 << 4;
    QTest::newRow("an unknown code is passed through") << "cmd=200" << 1 << 200;
}

void tst_Sim_exchange::cmd() {
    QFETCH(QString, keys);
    QFETCH(int, code);
    QFETCH(int, result);
    Sim_process sim;
    QTcpSocket s;
    Frame a;
    AUTHORISED(sim, s, keys, a);
    ASK(s, sim_frames::cmd(quint8(code)), a);
    QCOMPARE(a.wire, frame(0x02, u32(0) + one_byte(result) + one_byte(0)));
    QVERIFY(sim.wait_record("CMD", 1));
    QCOMPARE(sim.record_of("CMD").value(0).section(' ', 3),
             QStringLiteral("imei=350000000000001 id=0 code=%1 result=%2").arg(code).arg(result));
}

void tst_Sim_exchange::enumerate_data() {
    QTest::addColumn<int>("devices");
    QTest::addColumn<QList<int>>("frames");
    QTest::newRow("no devices give one empty frame") << 0 << QList<int>{0};
    QTest::newRow("one device") << 1 << QList<int>{1};
    QTest::newRow("999 devices fit one frame") << 999 << QList<int>{999};
    QTest::newRow("1000 devices are followed by an empty frame") << 1000 << QList<int>{1000, 0};
    QTest::newRow("2500 devices come in three frames") << 2500 << QList<int>{1000, 1000, 500};
}

void tst_Sim_exchange::enumerate() {
    QFETCH(int, devices);
    QFETCH(QList<int>, frames);
    // The first device is named and comes ahead of a range, so list order = fleet order.
    QString fleet = QStringLiteral("port 0\n");
    if (devices > 0)
        fleet += "device 7 name=\"first one\"\n";
    if (devices > 1)
        fleet += QStringLiteral("range 350000000000000 %1\n").arg(devices - 1);
    Sim_process sim;
    START(sim, fleet);
    QTcpSocket s;
    OPEN(s, sim);
    s.write(sim_frames::enumerate());
    int seen = 0;
    for (const int n : frames) {
        Frame a;
        QString e;
        QVERIFY2(read_frame(s, a, 5000, &e), qPrintable(e));
        QCOMPARE(a.type, quint8(0x0D));
        QCOMPARE(a.payload.size(), 2 + 57 * n);
        QCOMPARE(a.payload.left(2), u16(quint16(n)));
        for (int i = 0; i < n; ++i, ++seen) {
            const QByteArray entry = a.payload.mid(2 + 57 * i, 57);
            const quint64 imei = seen == 0 ? 7 : Q_UINT64_C(350000000000000) + quint64(seen - 1);
            QCOMPARE(entry.left(15), QByteArray::number(imei).rightJustified(15, '0'));
            QCOMPARE(entry.at(15), '\0');
            QCOMPARE(entry.mid(16, 40),
                     (seen == 0 ? QByteArray("first one") : QByteArray()).leftJustified(40, '\0'));
            QCOMPARE(entry.at(56), '\0');
        }
    }
    QCOMPARE(seen, devices);
    QVERIFY(stays_silent(s, 100));
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("enum_frames"), qint64(frames.size()));
}

void tst_Sim_exchange::whole_session_is_recorded_and_counted() {
    Sim_process sim;
    START(sim, "port 0\ndefault pin=0000\ndevice 350000000000001\ndevice 350000000000002\n");
    QTcpSocket s;
    OPEN(s, sim);
    Frame a;
    for (const quint64 imei : {Q_UINT64_C(350000000000001), Q_UINT64_C(350000000000002)}) {
        ASK(s, sim_frames::link(imei), a);
        ASK(s, sim_frames::auth("0000"), a);
        for (quint32 i = 0; i < 3; ++i)
            ASK(s, sim_frames::getparam(i, quint16(2 + i)), a);
        ASK(s, sim_frames::cmd(1), a);
    }
    s.disconnectFromHost();
    QVERIFY(sim.wait_record("close", 1));
    QVERIFY(sim.stop());
    const QStringList events = [&] {
        QStringList out;
        for (const QString& line : sim.record())
            out << line.section(' ', 2, 2);
        return out;
    }();
    QCOMPARE(events,
             QStringList({"open", "LINK", "AUTH", "GETPARAM", "GETPARAM", "GETPARAM", "CMD", "LINK",
                          "AUTH", "GETPARAM", "GETPARAM", "GETPARAM", "CMD", "close"}));
    QCOMPARE(sim.record_of("close").value(0).section(' ', 3), QStringLiteral("reason=peer"));
    QCOMPARE(sim.counter("connections"), 1);
    QCOMPARE(sim.counter("links"), 2);
    QCOMPARE(sim.counter("auths"), 2);
    QCOMPARE(sim.counter("getparams"), 6);
    QCOMPARE(sim.counter("cmds"), 2);
    QCOMPARE(sim.counter("frames_in"), 12);
    QCOMPARE(sim.counter("frames_out"), 12);
    QCOMPARE(sim.counter("violations"), 0);
}

QTEST_GUILESS_MAIN(tst_Sim_exchange)
#include "tst_sim_exchange.moc"
