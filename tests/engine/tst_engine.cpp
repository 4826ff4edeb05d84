// Runs of the engine against the simulator: how many actors, which server each takes, what
// happens to unreachable and recovering servers, pings during an upload, cancelling, and the
// faults of a run that must not reach the user as a crash or a stale result.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/actor.h"
#include "engine/engine.h"
#include "foundation/err.h"
#include "protocol/frame.h"
#include "support/engine_cfg.h"
#include "support/engine_run.h"
#include "support/sim_process.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString restart_name = QStringLiteral("рестарт устройства");

// Port numbers of every "#n connect(...)" trace line of the log, per actor number.
QMap<int, QVector<int>> connects_by_actor(const QString& log) {
    QMap<int, QVector<int>> out;
    static const QRegularExpression re(QStringLiteral("#(\\d+) connect\\(\"[^\"]*\":(\\d+)\\)"));
    for (auto it = re.globalMatch(log); it.hasNext();) {
        const auto m = it.next();
        out[m.captured(1).toInt()].append(m.captured(2).toInt());
    }
    return out;
}

quint16 closed_port() {
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

} // namespace

class tst_Engine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void actors_never_outnumber_devices_data();
    void actors_never_outnumber_devices();
    void servers_are_taken_round_robin();
    void server_with_one_device_never_gets_a_second_actor();
    void parked_actors_return_when_a_reconnect_succeeds();
    void unreachable_server_fails_its_devices_after_five_attempts();
    void ping_during_upload_is_answered_after_the_last_byte();
    void progress_signals_are_spaced_and_the_last_has_the_final_counts();
    void cancel_interrupts_current_and_cancels_waiting_devices();
    void run_without_servers_reports_instead_of_crashing();
    void results_of_an_earlier_run_do_not_survive();
    void headless_runner_cancels_when_asked();

private:
    QTemporaryDir dir;
};

void tst_Engine::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
}

void tst_Engine::init() {
    trace_flags = 1;
    QFile::remove(dir.path() + QStringLiteral("/engine_test.log"));
}

void tst_Engine::actors_never_outnumber_devices_data() {
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("simultaneously");
    QTest::newRow("three devices get three actors of a hundred") << 3 << 100;
    QTest::newRow("five devices share two actors") << 5 << 2;
    QTest::newRow("one device, one actor") << 1 << 1;
}

void tst_Engine::actors_never_outnumber_devices() {
    QFETCH(int, devices);
    QFETCH(int, simultaneously);
    Sim_process sim;
    QVERIFY2(sim.start("port 0\nrange 350000000000001 10\n"), qPrintable(sim.error()));
    QVERIFY(
        load_cfg(QStringLiteral("simultaneously = %1\n").arg(simultaneously) +
                 cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, devices))));
    Action_cmd action(1, restart_name);
    const Run_result r = run_and_wait(action);
    QVERIFY(r.finished);
    const int actors = qMin(devices, simultaneously);
    QCOMPARE(r.actors, quint64(actors));
    QCOMPARE(r.success, quint32(devices));
    QVERIFY2(counters_problem(r, unsigned(devices)).isEmpty(),
             qPrintable(counters_problem(r, unsigned(devices))));
    QCOMPARE(r.linked, quint32(devices));
    QCOMPARE(r.authorized, quint32(devices));
    const auto connects = connects_by_actor(read_test_log());
    QCOMPARE(connects.keys().size(), actors);
    QCOMPARE(connects.firstKey(), 1);
    QCOMPARE(connects.lastKey(), actors);
}

void tst_Engine::servers_are_taken_round_robin() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\nrange 350000000000001 10\nport 0\nrange 350000000000101 10\n"),
             qPrintable(sim.error()));
    // Servers are ordered by port in the configuration.
    const quint16 first = qMin(sim.port(0), sim.port(1));
    const quint16 second = qMax(sim.port(0), sim.port(1));
    const quint64 first_imei = first == sim.port(0) ? 350000000000001ull : 350000000000101ull;
    const quint64 second_imei = first == sim.port(0) ? 350000000000101ull : 350000000000001ull;
    QVERIFY(load_cfg("simultaneously = 4\n" +
                     cfg_server("127.0.0.1", first, cfg_devices(first_imei, 10)) +
                     cfg_server("127.0.0.1", second, cfg_devices(second_imei, 10))));
    Action_cmd action(1, restart_name);
    const Run_result r = run_and_wait(action);
    QVERIFY(r.finished);
    QCOMPARE(r.success, 20u);
    QVERIFY(counters_problem(r, 20).isEmpty());
    const auto connects = connects_by_actor(read_test_log());
    QCOMPARE(connects.size(), 4);
    QCOMPARE(connects[1].first(), int(first));
    QCOMPARE(connects[2].first(), int(second));
    QCOMPARE(connects[3].first(), int(first));
    QCOMPARE(connects[4].first(), int(second));
}

void tst_Engine::server_with_one_device_never_gets_a_second_actor() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\nrange 350000000000001 6\nport 0\nrange 350000000000001 6\n"),
             qPrintable(sim.error()));
    const quint16 small = qMin(sim.port(0), sim.port(1)); // first in the configuration
    const quint16 big = qMax(sim.port(0), sim.port(1));
    QVERIFY(load_cfg("simultaneously = 3\n" +
                     cfg_server("127.0.0.1", small, cfg_devices(350000000000001ull, 1)) +
                     cfg_server("127.0.0.1", big, cfg_devices(350000000000001ull, 6))));
    Action_cmd action(1, restart_name);
    const Run_result r = run_and_wait(action);
    QVERIFY(r.finished);
    QCOMPARE(r.success, 7u);
    int to_small = 0;
    for (const QVector<int>& ports : connects_by_actor(read_test_log()))
        to_small += ports.count(int(small));
    QCOMPARE(to_small, 1);
}

void tst_Engine::parked_actors_return_when_a_reconnect_succeeds() {
    const quint16 port = closed_port();
    QVERIFY(port != 0);
    QVERIFY(load_cfg("simultaneously = 3\nreconnect_delay = 1500\n" +
                     cfg_server("127.0.0.1", port, cfg_devices(350000000000001ull, 6))));
    Action_cmd action(1, restart_name);
    Sim_process sim;
    bool started = false;
    QString problem;
    const Run_result r = run_and_wait(action, 30000, [&](Engine&) {
        // All three attempts have failed: one actor waits to reconnect, two are parked.
        if (started || read_test_log().count(QStringLiteral("not_connected")) < 3)
            return;
        started = true;
        if (!sim.start("port 0\nrange 350000000000001 6\n",
                       {QStringLiteral("--ports"), QString::number(port)}))
            problem = sim.error();
    });
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(started);
    QVERIFY(r.finished);
    QCOMPARE(r.success, 6u);
    QVERIFY(counters_problem(r, 6).isEmpty());
    const auto connects = connects_by_actor(read_test_log());
    QCOMPARE(connects.size(), 3);
    for (const QVector<int>& ports : connects)
        QCOMPARE(ports.size(), 2); // every actor came back for a second attempt
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("connections"), 3);
}

void tst_Engine::unreachable_server_fails_its_devices_after_five_attempts() {
    const quint16 port = closed_port();
    QVERIFY(port != 0);
    QVERIFY(load_cfg("simultaneously = 1\nreconnect_delay = 20\n" +
                     cfg_server("127.0.0.1", port, cfg_devices(350000000000001ull, 7))));
    Action_cmd action(1, restart_name);
    const Run_result r = run_and_wait(action);
    QVERIFY(r.finished);
    QCOMPARE(r.failure, 7u);
    QVERIFY(counters_problem(r, 7).isEmpty());
    QCOMPARE(connects_by_actor(read_test_log())[1].size(), 5);
    const QVector<Device_result> results = device_results();
    const QString unavailable = QStringLiteral("Сервер недоступен (после 5 неудачных попыток "
                                               "подряд более не пытаемся установить соединение).");
    for (int i = 0; i < 5; ++i) {
        QVERIFY2(results[i].error_text.startsWith(
                     QStringLiteral("Не удалось установить TCP-соединение с сервером.")) ||
                     results[i].error_text ==
                         QStringLiteral("Не удалось установить соединение с сервером."),
                 qPrintable(results[i].error_text));
    }
    QCOMPARE(results[5].error_text, unavailable);
    QCOMPARE(results[6].error_text, unavailable);
}

void tst_Engine::ping_during_upload_is_answered_after_the_last_byte() {
    Sim_process sim;
    // The server reads slowly, so the file takes about half a second and pings come meanwhile.
    QVERIFY2(sim.start("port 0 ping=30 rate=400000\nrange 350000000000001 2\n"),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(QStringLiteral("simultaneously = 1\n") +
                     cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, 2))));
    firmware = QByteArray(100000, 'q');
    for (int i = 0; i < firmware.size(); ++i)
        firmware[i] = char(i * 7);
    firmware_sum = calculate_crc32(firmware.constData(), size_t(firmware.size()));
    Action_upload_firmware action;
    const Run_result r = run_and_wait(action);
    QVERIFY(r.finished);
    QCOMPARE(r.success, 2u);
    QVERIFY(sim.stop());
    QVERIFY(sim.counter("pings") >= 1);
    QCOMPARE(sim.counter("ping_answers"), sim.counter("pings"));
    QCOMPARE(sim.counter("upload_crc_errors"), 0);
    QCOMPARE(sim.counter("violations"), 0);
    // The first answer follows the first file: an answer inside the file would spoil it.
    const QStringList record = sim.record();
    int upload = -1, answer = -1;
    for (int i = 0; i < record.size(); ++i) {
        if (upload < 0 && record[i].contains(QStringLiteral(" UPFILE ")))
            upload = i;
        if (answer < 0 && record[i].contains(QStringLiteral(" PING_ANSWER")))
            answer = i;
    }
    QVERIFY(upload >= 0 && answer > upload);
}

// The window is woken at most every 50 ms while the run lasts, and the last wake-up shows
// every device counted. The slot is a direct one, run in the worker at each emit and
// clearing the pending flag at once, as the quickest possible window would.
void tst_Engine::progress_signals_are_spaced_and_the_last_has_the_final_counts() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\nrange 350000000000001 400 delay=2\n"), qPrintable(sim.error()));
    QVERIFY(load_cfg(QStringLiteral("simultaneously = 4\n") +
                     cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, 400))));
    Action_cmd action(1, restart_name);
    Engine engine(action);
    QVector<qint64> times; // written by the worker only, read after it has ended
    quint32 last_done = 0;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&engine, &Engine::progress, [&] {
        engine.progress_pending.store(0);
        times << clock.nsecsElapsed() / 1000000;
        last_done = engine.success.load() + engine.failure.load();
    });
    engine.start();
    QVERIFY(engine.wait(30000));
    QVERIFY(engine.results_ready());
    QCOMPARE(last_done, 400u);
    QVERIFY(times.size() >= 3);
    // Every gap but the last (the run's end) spans the interval; a millisecond of slack for
    // the clocks' rounding.
    for (int i = 1; i + 1 < times.size(); ++i)
        QVERIFY2(times[i] - times[i - 1] >= Engine::progress_interval_ms - 1,
                 qPrintable(QStringLiteral("signals %1 and %2 at %3 and %4 ms")
                                .arg(i - 1)
                                .arg(i)
                                .arg(times[i - 1])
                                .arg(times[i])));
}

void tst_Engine::cancel_interrupts_current_and_cancels_waiting_devices() {
    Sim_process sim;
    // Devices 1 to 4 answer after two seconds; they sit on the first server.
    const char* port_text = "port 0\nrange 350000000000001 4 delay=2000\nrange 350000000000101 3\n";
    QVERIFY2(sim.start(QString::fromLatin1(port_text) + QString::fromLatin1(port_text)),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(QStringLiteral("simultaneously = 1\n") +
                     cfg_server("127.0.0.1", qMin(sim.port(0), sim.port(1)),
                                cfg_devices(350000000000001ull, 4)) +
                     cfg_server("127.0.0.1", qMax(sim.port(0), sim.port(1)),
                                cfg_devices(350000000000101ull, 3))));
    Action_cmd action(1, restart_name);
    bool cancelled = false;
    const Run_result r = run_and_wait(action, 20000, [&](Engine& e) {
        if (!cancelled && sim.record_of(QStringLiteral("LINK")).size() >= 1) {
            e.user_cancel();
            cancelled = true;
        }
    });
    QVERIFY(cancelled);
    QVERIFY(r.finished);
    QVERIFY2(counters_problem(r, 7).isEmpty(), qPrintable(counters_problem(r, 7)));
    QCOMPARE(r.success, 0u);
    const QVector<Device_result> results = device_results();
    QCOMPARE(results[0].error_text, QStringLiteral("Работа с устройством прервана пользователем."));
    for (int i = 1; i < 7; ++i) // the rest of its server, and the server nobody reached
        QCOMPARE(results[i].error_text,
                 QStringLiteral("Работа с устройством отменена пользователем."));
}

void tst_Engine::run_without_servers_reports_instead_of_crashing() {
    QVERIFY(load_cfg(QString()));
    Action_cmd action(1, restart_name);
    const Run_result r = run_and_wait(action);
    QVERIFY(r.finished);
    QCOMPARE(r.error, QStringLiteral("Неожиданная ошибка №10.1."));
}

void tst_Engine::results_of_an_earlier_run_do_not_survive() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\nrange 350000000000001 2\n"), qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, 2))));
    Device* first = configuration.devices.rows[0].device;
    first->error_text = QStringLiteral("old reason");
    Device* second = configuration.devices.rows[1].device;
    second->run_flags = Device::succeeded;
    Action_cmd action(1, restart_name);
    QVERIFY(run_and_wait(action).finished);
    QVERIFY(first->error_text.isEmpty());
    QVERIFY(first->run_flags & Device::succeeded);

    QVERIFY(sim.stop()); // second run: nobody answers
    QVERIFY(load_cfg("reconnect_delay = 1\n" +
                     cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, 2))));
    configuration.devices.rows[1].device->run_flags = Device::succeeded;
    const Run_result r = run_and_wait(action);
    QVERIFY(r.finished);
    for (const Device_result& d : device_results()) {
        QVERIFY(!d.succeeded);
        QVERIFY(!d.error_text.isEmpty());
    }
}

void tst_Engine::headless_runner_cancels_when_asked() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\nrange 350000000000001 3 delay=5000\n"), qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, 3))));
    Action_cmd action(1, restart_name);
    int polls = 0;
    QElapsedTimer clock;
    clock.start();
    const QString error = run_engine(
        action, [&](const Engine&) { return ++polls < 3; }, 20);
    QVERIFY(error.isEmpty());
    QVERIFY(polls >= 3);
    QVERIFY(clock.elapsed() < 4000); // did not wait for the slow answers
    for (const Device_result& d : device_results())
        QVERIFY(d.error_text == QStringLiteral("Работа с устройством прервана пользователем.") ||
                d.error_text == QStringLiteral("Работа с устройством отменена пользователем."));
}

QTEST_GUILESS_MAIN(tst_Engine)
#include "tst_engine.moc"
