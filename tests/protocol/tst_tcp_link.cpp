#include "protocol/tcp_link.h"

#include "support/scripted_peer.h"

#include <QTcpServer>
#include <QtTest>
#include <vector>

namespace {

// Records the link's reports; every report must come from the event loop, never from inside
// a call into the link (`inside` is set around those calls).
class Recorder : public QObject, public Tcp_link::Owner {
public:
    Tcp_link link{*this, *this};
    QStringList events;
    bool inside = false;
    int nested = 0;
    QByteArray got;

    void link_connected() override { note("connected"); }
    void link_readable() override {
        note("");
        unsigned char buf[7];
        for (;;) {
            const qint64 n = link.read(buf, sizeof buf);
            if (n == 0)
                return;
            if (n < 0) {
                events << QStringLiteral("end %1 %2")
                              .arg(link.error())
                              .arg(link.error_text(link.error()));
                link.close();
                return;
            }
            got.append(reinterpret_cast<const char*>(buf), int(n));
        }
    }
    void link_room() override { note("room"); }
    void link_failed(int code) override {
        note(QStringLiteral("failed %1 %2").arg(code).arg(link.error_text(code)));
    }
    void note(const QString& e) {
        if (inside)
            ++nested;
        if (!e.isEmpty())
            events << e;
    }
    void open(const QString& host, quint16 port) {
        inside = true;
        link.open(host, port);
        inside = false;
    }
};

quint16 closed_port() {
    QTcpServer gone;
    if (!gone.listen(QHostAddress::LocalHost, 0))
        return 0;
    return gone.serverPort();
}

} // namespace

class tst_Tcp_link : public QObject {
    Q_OBJECT

private slots:
    void failures_data();
    void failures();
    void exchange_and_end_of_stream_data();
    void exchange_and_end_of_stream();
    void close_drops_a_report_on_its_way();
    void partial_write_waits_for_room();
};

void tst_Tcp_link::failures_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("event");
    QTest::newRow("refused, literal address")
        << "127.0.0.1"
        << "failed 0 в соединении отказано: по этому адресу и порту никто не принимает соединений";
    QTest::newRow("unknown name") << "no-such-host.invalid"
                                  << "failed 2 компьютер с таким именем не найден";
}

void tst_Tcp_link::failures() {
    QFETCH(QString, host);
    QFETCH(QString, event);
    Recorder r;
    r.open(host, closed_port());
    QTRY_COMPARE_WITH_TIMEOUT(r.events.size(), 1, 10000);
    QCOMPARE(r.events, QStringList{event});
    QCOMPARE(r.nested, 0);
    QVERIFY(!r.link.is_open());
    QCOMPARE(r.link.write(reinterpret_cast<const unsigned char*>("x"), 1), qint64(-1));
}

void tst_Tcp_link::exchange_and_end_of_stream_data() {
    QTest::addColumn<QString>("host");
    QTest::newRow("literal address") << "127.0.0.1";
    QTest::newRow("name") << "localhost";
}

// Bytes both ways, more than one read's room at once, then the peer's close as the end.
void tst_Tcp_link::exchange_and_end_of_stream() {
    QFETCH(QString, host);
    Scripted_peer peer;
    Recorder r;
    r.open(host, peer.port());
    QTRY_COMPARE(r.events, QStringList{"connected"});
    QVERIFY(r.link.local_port() != 0);
    const QByteArray hello("hello, server");
    r.inside = true;
    QCOMPARE(r.link.write(reinterpret_cast<const unsigned char*>(hello.constData()), hello.size()),
             qint64(hello.size()));
    r.inside = false;
    QTRY_COMPARE(peer.received, hello);
    peer.send("twenty bytes of text");
    QTRY_COMPARE(r.got, QByteArray("twenty bytes of text"));
    peer.close();
    QTRY_COMPARE(r.events.size(), 2);
    QCOMPARE(r.events.last(), QStringLiteral("end 1 сервер закрыл соединение"));
    QCOMPARE(r.nested, 0);
}

void tst_Tcp_link::close_drops_a_report_on_its_way() {
    Recorder r;
    r.open(QStringLiteral("127.0.0.1"), closed_port());
    r.link.close();
    Scripted_peer peer;
    r.open(QStringLiteral("127.0.0.1"), peer.port());
    QTRY_COMPARE(r.events, QStringList{"connected"});
    QTest::qWait(50);
    QCOMPARE(r.events, QStringList{"connected"});
}

// A peer that reads nothing: the kernel takes part of a large block and then reports room
// only once the peer reads again.
void tst_Tcp_link::partial_write_waits_for_room() {
    Scripted_peer peer;
    peer.stop_reading();
    Recorder r;
    r.open(QStringLiteral("127.0.0.1"), peer.port());
    QTRY_COMPARE(r.events, QStringList{"connected"});
    static const QByteArray block(64 << 20, 'b');
    const auto* p = reinterpret_cast<const unsigned char*>(block.constData());
    qint64 n = r.link.write(p, block.size());
    QVERIFY(n > 0 && n < block.size());
    // Acknowledgements still on their way may free or grow the send buffer a little: the
    // kernel is full once it takes nothing.
    qint64 more;
    while ((more = r.link.write(p + n, block.size() - n)) > 0)
        n += more;
    QCOMPARE(more, qint64(0));
    QVERIFY(n < block.size());
    QTest::qWait(50);
    QCOMPARE(r.events, QStringList{"connected"});
    r.link.close();
}

QTEST_GUILESS_MAIN(tst_Tcp_link)
#include "tst_tcp_link.moc"
