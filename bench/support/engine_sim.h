#pragma once
// Starts zelmo_server_sim for a benchmark: writes the fleet text, waits for the listening
// ports and "ready", and stops it with SIGTERM at the end.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

class Bench_sim {
public:
    Bench_sim() = default;
    Bench_sim(const Bench_sim&) = delete;
    Bench_sim& operator=(const Bench_sim&) = delete;
    ~Bench_sim();

    // False with error() when the simulator is missing or does not come up.
    bool start(const QString& fleet);
    void stop();
    const QVector<quint16>& ports() const { return ports_; }
    qint64 pid() const { return process_.processId(); }
    QString error() const { return error_; }

private:
    QProcess process_;
    QTemporaryDir dir_;
    QVector<quint16> ports_;
    QString error_;
};

// The benchmarks' fleet: `servers` simulator ports of `per_server` devices each, IMEI
// 350000000000000 + s * 1000000 + d, started, and the matching configuration read (PIN "1234",
// `head` in front of the servers). False with a message on standard error.
bool start_fleet(Bench_sim& sim, int servers, unsigned per_server, const QString& head = {});

// Devices of the configuration whose last run succeeded.
unsigned succeeded_devices();
