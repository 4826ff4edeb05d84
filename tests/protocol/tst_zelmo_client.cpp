#include "config/config.h"
#include "foundation/err.h"
#include "protocol/frame.h"
#include "protocol/zelmo_client.h"
#include "support/harness/scripted_link.h"
#include "support/scripted_peer.h"

#include <QTemporaryDir>
#include <QTimerEvent>
#include <QtTest>
#include <algorithm>
#include <cstring>

namespace {

// A client with one kind of request (a CMD frame) and its answer, recording what happens.
// Its writes can be gated: the link then takes only a few bytes per write and hands them to
// the socket at release(), so a frame stays half-written as long as the test likes. Or it
// talks through a link of the test's own.
class Probe : public Zelmo_client {
public:
    explicit Probe(uint64_t max = 264) {
        init(buffer, max);
        number = 7;
        srv.address = QStringLiteral("127.0.0.1");
        server = &srv;
    }
    ~Probe() override { use_link(tcp_link); } // the gate goes before the client

    void start(quint16 port) {
        srv.port = port;
        connect(connected_step, unsolicited);
    }

    static Probe* p(Zelmo_client* c) { return static_cast<Probe*>(c); }

    static void connected_step(Zelmo_client* c) {
        p(c)->events << "connected";
        c->take_posted_step()(c);
        if (c->is_connected() && p(c)->request_on_connect)
            c->post(send_request);
    }
    static void send_request(Zelmo_client* c) {
        const QByteArray& r = p(c)->request;
        std::memcpy(c->payload(), r.constData(), size_t(r.size()));
        c->send(CMD, uint64_t(r.size()), request_sent, p(c)->request_timeout);
    }
    static void request_sent(Zelmo_client* c) {
        p(c)->events << "sent";
        c->expected_answer = answer;
        c->take_posted_step()(c);
    }
    static void answer(Zelmo_client* c) {
        p(c)->events << QStringLiteral("answer %1").arg(frame_type(c->buffer_start));
        c->expected_answer = c->unsolicited_handler;
        if (p(c)->answers_before_shutdown-- > 1)
            c->post(send_request);
        else if (p(c)->answers_before_shutdown >= 0)
            c->post(start_shutdown);
    }
    static void start_shutdown(Zelmo_client* c) { c->shutdown(shutdown_done); }
    static void shutdown_done(Zelmo_client* c) { p(c)->events << "shutdown_ok"; }
    static void unsolicited(Zelmo_client* c) {
        p(c)->events << QStringLiteral("unsolicited %1").arg(frame_type(c->buffer_start));
    }
    static void later(Zelmo_client* c) { p(c)->events << "later"; }
    static void anonymous_sent(Zelmo_client*) {}

    void on_rupture(const QString& text) override {
        ++reports;
        events << "rupture: " + text;
        if (reconnect_on_rupture) {
            reconnect_on_rupture = false;
            connect(connected_step, unsolicited);
        }
    }
    void on_crash(const QString& text) override {
        ++reports;
        events << "crash: " + text;
    }
    QString name_of_sending_frame(Step step, int& timeout) const override {
        if (step == request_sent) {
            timeout = request_timeout;
            return name_CMD.tr();
        }
        return Zelmo_client::name_of_sending_frame(step, timeout);
    }
    QString name_of_sent_command(Step step, int& timeout) const override {
        if (step == answer) {
            timeout = request_timeout;
            return name_CMD.tr();
        }
        return Zelmo_client::name_of_sent_command(step, timeout);
    }

    void gate(qint64 limit) {
        gated.accept_limit = limit;
        use_link(gated);
    }
    // Hands the held bytes to the socket and lets the write go on.
    void release() { gated.release(); }
    void report_disconnected() { on_disconnected(); }
    void link_readable() override {
        ++reads;
        Zelmo_client::link_readable();
    }
    QString last() const { return events.isEmpty() ? QString() : events.last(); }

    unsigned char buffer[65535 + 7];
    Server srv;
    QStringList events;
    int reports = 0;
    int reads = 0;
    QByteArray request = QByteArray("0123456789");
    int request_timeout = 5000;
    bool request_on_connect = true;
    int answers_before_shutdown = 1; // below 1: stays connected and idle
    bool reconnect_on_rupture = false;
    Scripted_link gated{&tcp_link};
};

QByteArray request_frame() {
    return frame_bytes(CMD, "0123456789");
}
QByteArray answer_frame() {
    return frame_bytes(CMD_ANSWER, "ok");
}
QByteArray ping_frame() {
    return frame_bytes(PING, QByteArray(5, 'p'));
}
QString dbg(int place) {
    return debug_errtext(static_cast<unsigned short>(0x1200 + place));
}

} // namespace

class tst_Zelmo_client : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void exchange_is_exact_and_traced();
    void answer_arrives_in_pieces_data();
    void answer_arrives_in_pieces();
    void length_limit_data();
    void length_limit();
    void bad_checksum_is_rejected_before_the_type_data();
    void bad_checksum_is_rejected_before_the_type();
    void ping_while_request_is_written_data();
    void ping_while_request_is_written();
    void frame_starting_during_request_write_is_unsolicited();
    void ping_while_ping_answer_is_written_data();
    void ping_while_ping_answer_is_written();
    void partial_writes_resume_data();
    void partial_writes_resume();
    void timeouts_data();
    void timeouts();
    void connect_timeout();
    void shutdown_timeout();
    void refused_connection();
    void server_closes_data();
    void server_closes();
    void disconnected_signal_by_state_data();
    void disconnected_signal_by_state();
    void reconnect_right_after_rupture();
    void reconnect_right_after_timeout_data();
    void reconnect_right_after_timeout();
    void misuse_data();
    void misuse();
    void stray_timer_is_only_logged();
    void shutdown_drops_frames_and_pings();

private:
    QStringList log_lines() const;
    QTemporaryDir dir;
    QByteArray log_path;
};

void tst_Zelmo_client::initTestCase() {
    QVERIFY(dir.isValid());
    log_path = QFile::encodeName(dir.filePath("client.log"));
    log_file_name = log_path.constData();
}

void tst_Zelmo_client::init() {
    QFile::remove(QFile::decodeName(log_path));
    reset_options();
    trace_flags = 0;
}

void tst_Zelmo_client::cleanup() {
    trace_flags = 0;
}

// Log entries without their time stamps.
QStringList tst_Zelmo_client::log_lines() const {
    QFile f(QFile::decodeName(log_path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    for (const QString& e : QString::fromUtf8(f.readAll()).split("\n\n", Qt::SkipEmptyParts))
        out << e.mid(e.indexOf("] ") + 2);
    return out;
}

void tst_Zelmo_client::exchange_is_exact_and_traced() {
    Scripted_peer peer;
    peer.when_received(request_frame().size(), answer_frame());
    Probe c;
    trace_flags = 1;
    c.start(peer.port());
    QTRY_COMPARE(c.last(), QStringLiteral("shutdown_ok"));
    QCOMPARE(c.events, QStringList({"connected", "sent", "answer 2", "shutdown_ok"}));
    QCOMPARE(peer.received.toHex(), request_frame().toHex());
    QVERIFY(!c.has_connection());
    QCOMPARE(c.timer, 0);

    const QString port = QString::number(peer.port());
    const QStringList expected = {
        "#7 connect(\"127.0.0.1\":" + port + ")",
        "#7 connected(local=" + QString::number(c.local_port) + ")",
        "#7 send: 0x{0A 00 01 30 31 32 33 34 35 36 37 38 39 " +
            request_frame().right(4).toHex(' ').toUpper() + "}",
        "#7 recv: 0x{" + answer_frame().toHex(' ').toUpper() + "}",
        "#7 shutdown",
        "#7 shutdown_ok",
    };
    QCOMPARE(log_lines(), expected);
}

void tst_Zelmo_client::answer_arrives_in_pieces_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QVector<int>>("cuts");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QByteArray>("replies"); // what the client sends after its request

    const QByteArray a = answer_frame();
    const QByteArray g = ping_frame();
    const QByteArray u = frame_bytes(UNLINK, "");
    const QStringList answered = {"connected", "sent", "answer 2", "shutdown_ok"};
    QVector<int> every;
    for (int i = 1; i < a.size(); ++i)
        every << i;
    QTest::newRow("whole frame in one read") << a << QVector<int>{} << answered << QByteArray();
    QTest::newRow("cut between the two length bytes")
        << a << QVector<int>{1} << answered << QByteArray();
    QTest::newRow("cut behind the type") << a << QVector<int>{3} << answered << QByteArray();
    QTest::newRow("cut before the last checksum byte")
        << a << QVector<int>{a.size() - 1} << answered << QByteArray();
    QTest::newRow("one byte per read") << a << every << answered << QByteArray();
    QTest::newRow("ping and answer in one read")
        << g + a << QVector<int>{} << answered << ping_answer_bytes();
    QTest::newRow("ping whole, answer's first byte with it")
        << g + a << QVector<int>{g.size() + 1} << answered << ping_answer_bytes();
    QTest::newRow("answer and an unsolicited frame in one read")
        << a + u << QVector<int>{} << QStringList{"connected", "sent", "answer 2", "unsolicited 16"}
        << QByteArray();
}

void tst_Zelmo_client::answer_arrives_in_pieces() {
    QFETCH(QByteArray, stream);
    QFETCH(QVector<int>, cuts);
    QFETCH(QStringList, events);
    QFETCH(QByteArray, replies);

    Scripted_peer peer;
    Probe c;
    if (events.last() != "shutdown_ok")
        c.answers_before_shutdown = 0; // stays connected, so the last frame is unsolicited
    trace_flags = 1;
    c.start(peer.port());
    QVERIFY(peer.wait_received(request_frame().size()));
    QTRY_VERIFY(c.events.contains("sent"));

    int from = 0;
    cuts << stream.size();
    for (int cut : cuts) {
        const int reads = c.reads;
        peer.send(stream.mid(from, cut - from));
        QTRY_VERIFY(c.reads > reads);
        from = cut;
    }
    QTRY_COMPARE(c.events, events);
    QTRY_COMPARE(peer.received.mid(request_frame().size(), replies.size()).toHex(),
                 replies.toHex());
    QCOMPARE(c.reports, 0);
    // One trace line per read, not per frame.
    QCOMPARE(log_lines().filter(QRegularExpression("^#7 recv: ")).size(), cuts.size());
}

void tst_Zelmo_client::length_limit_data() {
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("session limit itself is accepted") << 264 << 264 << true;
    QTest::newRow("one byte above the session limit is refused") << 264 << 265 << false;
    QTest::newRow("the largest length of all is refused by a session") << 264 << 65535 << false;
    QTest::newRow("the largest length is accepted by enumeration") << 65535 << 65535 << true;
}

void tst_Zelmo_client::length_limit() {
    QFETCH(int, max);
    QFETCH(int, length);
    QFETCH(bool, accepted);
    Scripted_peer peer;
    Probe c{uint64_t(max)};
    c.start(peer.port());
    QVERIFY(peer.wait_received(request_frame().size()));
    const QByteArray f = frame_bytes(CMD_ANSWER, QByteArray(length, 'x'));
    if (accepted) {
        peer.send(f);
        QTRY_COMPARE(c.last(), QStringLiteral("shutdown_ok"));
    } else {
        peer.send(f.left(2)); // refused before the rest is awaited
        QTRY_COMPARE(c.reports, 1);
        QCOMPARE(c.last(), "rupture: " + text_length_too_big(uint64_t(length)));
        QVERIFY(!c.has_connection());
    }
}

void tst_Zelmo_client::bad_checksum_is_rejected_before_the_type_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("ping") << frame_bytes_bad_crc(PING, "");
    QTest::newRow("the awaited answer") << frame_bytes_bad_crc(CMD_ANSWER, "ok");
    QTest::newRow("an unknown type") << frame_bytes_bad_crc(0x77, "zz");
}

void tst_Zelmo_client::bad_checksum_is_rejected_before_the_type() {
    QFETCH(QByteArray, frame);
    Scripted_peer peer;
    peer.when_received(request_frame().size(), frame);
    Probe c;
    c.start(peer.port());
    QTRY_COMPARE(c.reports, 1);
    const auto* p = reinterpret_cast<const unsigned char*>(frame.constData());
    const size_t covered = size_t(frame.size()) - 4;
    QCOMPARE(c.last(),
             "rupture: " + text_crc_mismatch(calculate_crc32(p, covered), get_u32(p + covered)));
    QCOMPARE(c.events, QStringList({"connected", "sent", c.last()}));
    QTest::qWait(20);
    QCOMPARE(peer.received.toHex(), request_frame().toHex()); // no ping answer
}

void tst_Zelmo_client::ping_while_request_is_written_data() {
    QTest::addColumn<int>("pings");
    QTest::newRow("one ping is answered right behind the request") << 1;
    QTest::newRow("a second ping before the first is answered breaks the connection") << 2;
}

void tst_Zelmo_client::ping_while_request_is_written() {
    QFETCH(int, pings);
    Scripted_peer peer;
    Probe c;
    c.gate(3);
    c.start(peer.port());
    QTRY_COMPARE(c.gated.held.size(), 3);
    for (int i = 0; i < pings; ++i) {
        const int reads = c.reads;
        peer.send(ping_frame());
        QTRY_VERIFY(c.reads > reads);
    }
    if (pings == 2) {
        QCOMPARE(c.last(), QStringLiteral("rupture: Нарушение протокола сервером: новый ping "
                                          "пришёл до того, как мы успели ответить на старый."));
        return;
    }
    QVERIFY(c.posted_step == &Zelmo_client::send_ping_answer);
    QVERIFY(c.expected_answer == c.unsolicited_handler); // the request is not out yet
    c.gated.accept_limit = 100;
    c.release(); // the rest of the request is taken, then the ping answer right behind it
    QCOMPARE(c.events, QStringList({"connected", "sent"}));
    QVERIFY(c.sent_step == &Zelmo_client::unexpected_sent);
    QVERIFY(c.expected_answer == &Probe::answer);
    QCOMPARE(c.gated.held.size(), request_frame().size() - 3 + int(ping_answer_frame_size));
    c.release();
    QVERIFY(peer.wait_received(request_frame().size() + int(ping_answer_frame_size)));
    QCOMPARE(peer.received.toHex(), (request_frame() + ping_answer_bytes()).toHex());
    peer.send(answer_frame());
    QTRY_VERIFY(c.events.contains("answer 2"));
    QCOMPARE(c.reports, 0);
}

void tst_Zelmo_client::frame_starting_during_request_write_is_unsolicited() {
    Scripted_peer peer;
    Probe c;
    c.gate(3);
    c.start(peer.port());
    QTRY_COMPARE(c.gated.held.size(), 3);
    const QByteArray a = answer_frame();
    peer.send(a.left(1));
    QTRY_COMPARE(c.reads, 1);
    c.gated.accept_limit = 100;
    c.release();
    c.release();
    QVERIFY(c.expected_answer == &Probe::answer);
    peer.send(a.mid(1)); // bound at its first byte, so still unsolicited
    QTRY_COMPARE(c.events, QStringList({"connected", "sent", "unsolicited 2"}));
}

void tst_Zelmo_client::ping_while_ping_answer_is_written_data() {
    QTest::addColumn<bool>("post_behind");
    QTest::addColumn<bool>("second_ping");
    QTest::addColumn<bool>("release");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("answers"); // ping answers the server gets

    // Nothing is awaited, so the expiry is reported as an idle connection's.
    const QString timeout = "rupture: " + dbg(0x25);
    const QString on_ping = "rupture: Нарушение протокола сервером: новый ping пришёл до того, "
                            "как мы успели ответить на старый.";
    QTest::newRow("second ping with nothing posted is answered after the first")
        << false << true << true << QStringList{"connected"} << 2;
    QTest::newRow("a step posted behind the answer runs once it is handed over")
        << true << false << true << QStringList{"connected", "later"} << 1;
    QTest::newRow("a step posted behind the answer waits under the ping answer time-out")
        << true << false << false << QStringList{"connected", timeout} << 0;
    QTest::newRow("second ping while a step is posted breaks the connection")
        << true << true << false << QStringList{"connected", on_ping} << 0;
}

void tst_Zelmo_client::ping_while_ping_answer_is_written() {
    QFETCH(bool, post_behind);
    QFETCH(bool, second_ping);
    QFETCH(bool, release);
    QFETCH(QStringList, events);
    QFETCH(int, answers);
    set_option(opt_ping_answer_timeout, 150);
    Scripted_peer peer;
    Probe c;
    c.request_on_connect = false;
    c.gate(5);
    c.start(peer.port());
    QTRY_COMPARE(c.events, QStringList{"connected"});
    peer.send(ping_frame());
    QTRY_COMPARE(c.gated.held.size(), 5);
    if (post_behind)
        c.post(Probe::later);
    if (second_ping) {
        peer.send(ping_frame());
        QTRY_COMPARE(c.reads, 2);
    }
    c.gated.accept_limit = 100;
    while (release && !c.gated.held.isEmpty())
        c.release();
    QTRY_COMPARE(c.events, events);
    QVERIFY(peer.wait_received(answers * int(ping_answer_frame_size), 200) || answers == 0);
    QTest::qWait(20);
    QCOMPARE(peer.received.size(), answers * int(ping_answer_frame_size));
    if (answers)
        QCOMPARE(peer.received.left(28).toHex(), ping_answer_bytes().toHex());
}

void tst_Zelmo_client::partial_writes_resume_data() {
    QTest::addColumn<int>("limit");
    QTest::newRow("one byte per write") << 1;
    QTest::newRow("four bytes per write") << 4;
    QTest::newRow("all but the last byte first") << 16;
}

void tst_Zelmo_client::partial_writes_resume() {
    QFETCH(int, limit);
    Scripted_peer peer;
    Probe c;
    c.gate(limit);
    trace_flags = 1;
    c.start(peer.port());
    const QByteArray req = request_frame();
    QTRY_COMPARE(c.gated.held.size(), limit);
    int pieces = 1;
    while (c.bytes_left > 0) {
        QVERIFY(!c.events.contains("sent"));
        c.release();
        ++pieces;
    }
    QCOMPARE(pieces, (req.size() + limit - 1) / limit);
    QCOMPARE(c.events, QStringList({"connected", "sent"}));
    c.release();
    QCOMPARE(c.bytes_left, 0);
    QVERIFY(peer.wait_received(req.size()));
    QCOMPARE(peer.received.toHex(), req.toHex());
    // Each accepted piece is traced as it goes.
    const QStringList sends = log_lines().filter(QRegularExpression("^#7 send: "));
    QCOMPARE(sends.size(), pieces);
    QCOMPARE(sends.first(), "#7 send: 0x{" + req.left(limit).toHex(' ').toUpper() + "}");
}

void tst_Zelmo_client::timeouts_data() {
    QTest::addColumn<QByteArray>("server_part"); // sent once the request is in
    QTest::addColumn<int>("gate");               // 0: writes go through
    QTest::addColumn<bool>("request");
    QTest::addColumn<int>("answers");
    QTest::addColumn<QString>("text");
    const QString receive = "Тайм-аут ожидания ответа на сообщение «команда» (с момента начала "
                            "передачи сообщения прошло более 100 миллисекунд).";
    QTest::newRow("no answer to the first request") << QByteArray() << 0 << true << 1 << receive;
    QTest::newRow("answer stops half way") << answer_frame().left(5) << 0 << true << 1 << receive;
    QTest::newRow("no answer to a later request") << answer_frame() << 0 << true << 2 << receive;
    QTest::newRow("request stuck in the socket")
        << QByteArray() << 2 << true << 1
        << "Тайм-аут передачи серверу сообщения «команда» (ждали 100 миллисекунд).";
    QTest::newRow("connected and nothing asked")
        << QByteArray() << 0 << false << 1 << debug_errtext(0x1225);
}

void tst_Zelmo_client::timeouts() {
    QFETCH(QByteArray, server_part);
    QFETCH(int, gate);
    QFETCH(bool, request);
    QFETCH(int, answers);
    QFETCH(QString, text);
    set_option(opt_connect_timeout, 100);
    Scripted_peer peer;
    peer.when_received(request_frame().size(), server_part);
    Probe c;
    c.request_timeout = 100;
    c.request_on_connect = request;
    c.answers_before_shutdown = answers;
    if (gate)
        c.gate(gate);
    c.start(peer.port());
    QTRY_COMPARE(c.reports, 1);
    QCOMPARE(c.last(), "rupture: " + text);
    QVERIFY(!c.has_connection());
    QCOMPARE(c.timer, 0);
}

void tst_Zelmo_client::connect_timeout() {
    Stalled_listener stalled;
    QVERIFY(stalled.ok());
    set_option(opt_connect_timeout, 200);
    Probe c;
    c.start(stalled.port);
    QTRY_COMPARE(c.reports, 1);
    const QString text = "Тайм-аут установления соединения с сервером (ждали 200 миллисекунд).";
    QCOMPARE(c.events, QStringList({"rupture: " + text}));
    QCOMPARE(log_lines().last(),
             QStringLiteral("not_connected(\"127.0.0.1\":%1): %2").arg(stalled.port).arg(text));
}

void tst_Zelmo_client::shutdown_timeout() {
    // To a server that reads nothing the end of the stream never comes through: the orderly
    // close waits for the server's close until its time-out.
    set_option(opt_disconnect_timeout, 200);
    Scripted_peer peer;
    peer.stop_reading();
    Probe c;
    c.request_on_connect = false;
    c.start(peer.port());
    QTRY_COMPARE(c.events, QStringList{"connected"});
    static QByteArray block(1000, 'b');
    c.write_position = reinterpret_cast<const unsigned char*>(block.constData());
    c.sent_step = Probe::start_shutdown;
    c.write_to_socket(block.size());
    QVERIFY(c.state & Zelmo_client::st_shutting_down);
    QTRY_COMPARE(c.reports, 1);
    QCOMPARE(c.last(), QStringLiteral("rupture: Тайм-аут процедуры корректного завершения "
                                      "соединения с сервером (ждали 200 миллисекунд)."));
}

void tst_Zelmo_client::refused_connection() {
    quint16 port;
    {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
        port = gone.serverPort();
    }
    Probe c;
    c.start(port);
    QTRY_COMPARE(c.reports, 1);
    QCOMPARE(
        c.last(),
        QStringLiteral(
            "rupture: Не удалось установить TCP-соединение с "
            "сервером. Код ошибки = 0 («"
            "в соединении отказано: по этому адресу и порту никто не принимает соединений»)."));
    // The client can connect again at once.
    Scripted_peer peer;
    c.start(peer.port());
    QVERIFY(peer.wait_accepted(1));
    QTRY_VERIFY(c.events.contains("sent"));
}

void tst_Zelmo_client::server_closes_data() {
    QTest::addColumn<QString>("stage");
    QTest::addColumn<QString>("text");
    const QString lost = "Произошёл разрыв TCP-соединения с сервером во время ";
    const QString code = " Код ошибки = 1 («сервер закрыл соединение»).";
    QTest::newRow("while the request is written")
        << "writing"
        << "rupture: " + lost + "передачи на сервер сообщения «команда»." + code;
    QTest::newRow("while an answer arrives")
        << "receiving"
        << "rupture: " + lost +
               "приёма сообщения от сервера (ожидался ответ на посланное нами сообщение "
               "«команда»)." +
               code;
    QTest::newRow("while the answer is awaited")
        << "waiting"
        << "rupture: " + lost + "ожидания ответа на посланное нами сообщение «команда»." + code;
    QTest::newRow("while nothing is awaited") << "idle"
                                              << "crash: " + dbg(0x1E);
}

void tst_Zelmo_client::server_closes() {
    QFETCH(QString, stage);
    QFETCH(QString, text);
    Scripted_peer peer;
    Probe c;
    c.request_on_connect = stage != "idle";
    if (stage == "writing")
        c.gate(3);
    if (stage == "receiving")
        peer.when_received(request_frame().size(), answer_frame().left(4));
    c.start(peer.port());
    QVERIFY(peer.wait_accepted(1));
    QTRY_VERIFY(c.events.contains(stage == "idle" || stage == "writing" ? "connected" : "sent"));
    if (stage == "receiving")
        QTRY_COMPARE(c.reads, 1);
    else if (stage == "writing")
        QTRY_COMPARE(c.gated.held.size(), 3);
    else
        QVERIFY(peer.wait_received(stage == "idle" ? 0 : request_frame().size()));
    peer.close();
    QTRY_COMPARE(c.reports, 1);
    QCOMPARE(c.last(), text);
    QTest::qWait(30);
    QCOMPARE(c.reports, 1); // the trailing disconnected signal is absorbed
}

void tst_Zelmo_client::disconnected_signal_by_state_data() {
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("activity"); // 0 none, 1 writing, 2 receiving, 3 waiting,
    // 4 writing a ping answer, 5 through a link after our own close
    QTest::addColumn<QString>("text");
    const QString lost = "rupture: Произошёл разрыв TCP-соединения с сервером во время ";
    QTest::newRow("writing") << 0x02 << 1 << lost + "передачи на сервер сообщения «команда».";
    QTest::newRow("writing a ping answer")
        << 0x02 << 4 << lost + "передачи на сервер сообщения «ответ клиента на пинг».";
    QTest::newRow("receiving")
        << 0x02 << 2
        << lost + "приёма сообщения от сервера (ожидался ответ на посланное нами сообщение "
                  "«команда»).";
    QTest::newRow("waiting") << 0x02 << 3
                             << lost + "ожидания ответа на посланное нами сообщение «команда».";
    QTest::newRow("connected with nothing awaited") << 0x02 << 0 << "crash: " + dbg(0x19);
    QTest::newRow("connecting") << 0x01 << 0
                                << "rupture: Не удалось установить соединение с сервером.";
    QTest::newRow("after our own close") << 0x00 << 5 << QString();
    QTest::newRow("a second one after our own close") << 0x00 << 0 << "rupture: " + dbg(0x1A);
}

void tst_Zelmo_client::disconnected_signal_by_state() {
    QFETCH(int, bits);
    QFETCH(int, activity);
    QFETCH(QString, text);
    Scripted_link link; // outlives the client
    Probe c;
    if (activity == 5) {
        c.use_link(link);
        c.start(1);
        link.report_connected();
        c.close_connection();
        c.events.clear();
        link.report_peer_close();
        QCOMPARE(c.last(), text);
        return;
    }
    c.state = static_cast<unsigned char>(bits);
    c.unsolicited_handler = c.expected_answer = c.current_frame_handler = Probe::unsolicited;
    if (activity == 1)
        c.sent_step = Probe::request_sent;
    if (activity == 4)
        c.sent_step = &Zelmo_client::ping_answer_sent;
    if (activity == 2)
        c.current_frame_handler = Probe::answer;
    if (activity == 3)
        c.expected_answer = Probe::answer;
    c.report_disconnected();
    QCOMPARE(c.last(), text);
}

void tst_Zelmo_client::reconnect_right_after_rupture() {
    Scripted_peer peer;
    peer.when_received(request_frame().size(), QByteArray::fromHex("ffff"), 1);
    peer.when_received(request_frame().size(), answer_frame(), 2);
    Probe c;
    c.reconnect_on_rupture = true;
    c.start(peer.port());
    QTRY_COMPARE(c.last(), QStringLiteral("shutdown_ok"));
    QCOMPARE(c.events, QStringList({"connected", "sent", "rupture: " + text_length_too_big(65535),
                                    "connected", "sent", "answer 2", "shutdown_ok"}));
    QCOMPARE(peer.accepted, 2);
}

void tst_Zelmo_client::reconnect_right_after_timeout_data() {
    QTest::addColumn<bool>("stalled_connect");
    QTest::newRow("after a connect time-out") << true;
    QTest::newRow("after a send time-out with bytes still unsent") << false;
}

// A time-out leaves the socket connecting, or with bytes it cannot send; the client must
// still be able to connect again at once.
void tst_Zelmo_client::reconnect_right_after_timeout() {
    QFETCH(bool, stalled_connect);
    set_option(opt_connect_timeout, 200);
    Stalled_listener stalled;
    QVERIFY(stalled.ok());
    Scripted_peer peer;
    peer.stop_reading();
    Probe c;
    c.request_timeout = 200;
    c.request_on_connect = false;
    c.reconnect_on_rupture = true;
    if (stalled_connect) {
        c.start(stalled.port);
        QTRY_COMPARE(c.reports, 2);
        const QString text = "rupture: Тайм-аут установления соединения с сервером (ждали 200 "
                             "миллисекунд).";
        QCOMPARE(c.events, QStringList({text, text}));
        return;
    }
    c.start(peer.port());
    QTRY_COMPARE(c.events, QStringList{"connected"});
    static QByteArray block(32 << 20, 'b');
    c.write_position = reinterpret_cast<const unsigned char*>(block.constData());
    c.sent_step = Probe::request_sent;
    c.write_to_socket(block.size());
    QTRY_COMPARE(c.reports, 1);
    // The kernel holds only part of the block: the frame is still being written.
    QTRY_COMPARE(c.events.size(), 3);
    QCOMPARE(c.events.mid(1), QStringList({"rupture: Тайм-аут передачи серверу сообщения "
                                           "«команда» (ждали 200 миллисекунд).",
                                           "connected"}));
    QVERIFY(peer.wait_accepted(2));
}

void tst_Zelmo_client::misuse_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("post while a request is written") << 0 << "rupture: " + dbg(0x09);
    QTest::newRow("post twice behind a ping answer") << 1 << "rupture: " + dbg(0x0A);
    QTest::newRow("room reported after the frame went whole") << 2 << "crash: " + dbg(0x0F);
    QTest::newRow("room reported with nothing written") << 3 << "crash: " + dbg(0x0F);
    QTest::newRow("socket refuses a named frame")
        << 4
        << "rupture: Ошибка при записи в сокет сообщения «команда». Код ошибки = -1 («неизвестная "
           "ошибка»).";
    QTest::newRow("socket refuses a frame without a name") << 5 << "rupture: " + dbg(0x0C);
    QTest::newRow("socket takes nothing: the frame waits for room") << 6 << QString();
    QTest::newRow("socket takes more than offered") << 7 << "rupture: " + dbg(0x0E);
}

void tst_Zelmo_client::misuse() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    Scripted_peer peer;
    Probe c;
    c.request_on_connect = false;
    c.gate(3);
    c.start(peer.port());
    QTRY_COMPARE(c.events, QStringList{"connected"});
    switch (kind) {
    case 0:
        Probe::send_request(&c);
        c.post(Probe::later);
        break;
    case 1:
        Zelmo_client::send_ping_answer(&c);
        c.post(Probe::later);
        c.post(Probe::later);
        break;
    case 2:
    case 3:
        c.gated.accept_limit = 100;
        if (kind == 2)
            Probe::send_request(&c);
        c.gated.report_room();
        break;
    case 6:
        c.gated.accept_limit = 0;
        Probe::send_request(&c);
        QCOMPARE(c.bytes_left, qint64(request_frame().size()));
        c.gated.accept_limit = 100;
        c.release();
        QCOMPARE(c.events, QStringList({"connected", "sent"}));
        QCOMPARE(c.reports, 0);
        return;
    default:
        c.gated.fault = kind == 7 ? Scripted_link::write_too_much : Scripted_link::write_refused;
        if (kind == 5) {
            c.sent_step = Probe::anonymous_sent;
            c.write_position = c.transmit_frame;
            c.write_to_socket(5);
        } else {
            Probe::send_request(&c);
        }
    }
    QCOMPARE(c.last(), text);
    QCOMPARE(c.reports, 1);
    QVERIFY(!c.has_connection());
}

void tst_Zelmo_client::stray_timer_is_only_logged() {
    Probe c;
    QTimerEvent e(123456);
    QCoreApplication::sendEvent(&c, &e);
    QCOMPARE(c.reports, 0);
    QCOMPARE(log_lines(), QStringList{dbg(0x21)});
}

void tst_Zelmo_client::shutdown_drops_frames_and_pings() {
    Scripted_link link; // outlives the client
    Probe c;
    c.request_on_connect = false;
    c.use_link(link);
    c.start(1);
    link.report_connected();
    Probe::start_shutdown(&c);
    QVERIFY(link.write_closed);
    c.events.clear();
    link.deliver(answer_frame() + ping_frame() + answer_frame());
    QCOMPARE(c.events, QStringList());
    QVERIFY(link.written.isEmpty()); // no ping answer
    QVERIFY(c.sent_step == Probe::shutdown_done);
    QVERIFY(c.state & Zelmo_client::st_shutting_down);
}

QTEST_GUILESS_MAIN(tst_Zelmo_client)
#include "tst_zelmo_client.moc"
