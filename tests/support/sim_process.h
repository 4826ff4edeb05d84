// Sim_process runs zelmo_server_sim for a test or a benchmark.
//
//     Sim_process sim;
//     QVERIFY2(sim.start("port 0\ndevice 350000000000001 pin=1234\n"), qPrintable(sim.error()));
//     ... connect to 127.0.0.1 : sim.port() ...
//     QVERIFY(sim.stop());
//     QCOMPARE(sim.counter("links"), 1);
//     QCOMPARE(sim.record_of("LINK").size(), 1);
//
// start() writes the fleet text (format in sim/README.md) to a temporary file, starts
// the simulator with a record file beside it, and waits for its "ready" line; use
// "port 0" in the fleet so that parallel tests never collide. stop() sends SIGTERM and
// reads the counters that the simulator prints on its way out. The destructor stops a
// simulator that still runs, and a simulator whose test process dies (a crash, a
// time-out kill) stops by itself; as that is tied to the starting thread, call start()
// from a thread that outlives the simulator, normally the main thread. Qt Core only,
// no event loop needed (waits poll).
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#ifdef ZELMO_SERVER_SIM_PATH
#define ZELMO_SIM_DEFAULT_PROGRAM QStringLiteral(ZELMO_SERVER_SIM_PATH)
#else
#define ZELMO_SIM_DEFAULT_PROGRAM QString()
#endif

class Sim_process {
public:
    explicit Sim_process(const QString& program = ZELMO_SIM_DEFAULT_PROGRAM);
    Sim_process(const Sim_process&) = delete;
    Sim_process& operator=(const Sim_process&) = delete;
    ~Sim_process();

    // Starts the simulator on the fleet text with extra command-line arguments and
    // waits up to timeout_ms for it to listen. False with error() on failure.
    bool start(const QString& fleet, const QStringList& args = {}, int timeout_ms = 10000);
    // Sends SIGTERM, waits for the exit and parses the counters line.
    bool stop(int timeout_ms = 10000);
    bool running() const;

    // Listening ports in fleet order (a "port 0" gets its ephemeral number here).
    const QVector<quint16>& ports() const { return ports_; }
    quint16 port(int i = 0) const { return i < ports_.size() ? ports_[i] : 0; }
    qint64 pid() const { return process_.processId(); }

    // Counters printed at exit ("connections", "links", "uploads", ...); -1 when unknown.
    qint64 counter(const QString& name) const { return counters_.value(name, -1); }
    const QMap<QString, qint64>& counters() const { return counters_; }

    // The record as written so far (the simulator flushes it after each burst of
    // events), one entry per line: "<connection> <port> <EVENT> key=value ...".
    QStringList record() const;
    // Only the lines whose event word is `event` ("LINK", "UPFILE", "close", ...).
    QStringList record_of(const QString& event) const;
    // Polls (processing events meanwhile) until the record holds at least `count`
    // lines of `event`; false after timeout_ms.
    bool wait_record(const QString& event, int count, int timeout_ms = 5000) const;
    QString record_path() const;

    // Everything the simulator wrote to stderr, and the last failure of start/stop.
    QString stderr_text() const { return stderr_; }
    QString error() const { return error_; }

private:
    QString program_;
    QProcess process_;
    QTemporaryDir dir_;
    QVector<quint16> ports_;
    QMap<QString, qint64> counters_;
    QByteArray stdout_;
    QString stderr_;
    QString error_;
};
