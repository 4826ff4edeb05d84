#include "support/engine_sim.h"

#include "config/config.h"

#include <QFile>
#include <csignal>
#include <cstdio>

Bench_sim::~Bench_sim() {
    stop();
}

bool Bench_sim::start(const QString& fleet) {
#ifdef ZELMO_SERVER_SIM_PATH
    const QString program = QStringLiteral(ZELMO_SERVER_SIM_PATH);
#else
    const QString program;
#endif
    if (program.isEmpty()) {
        error_ = QStringLiteral("zelmo_server_sim was not built");
        return false;
    }
    const QString path = dir_.filePath(QStringLiteral("fleet.txt"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(fleet.toUtf8()) < 0) {
        error_ = QStringLiteral("cannot write ") + path;
        return false;
    }
    f.close();
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, {QStringLiteral("--fleet"), path});
    if (!process_.waitForStarted(10000)) {
        error_ = process_.errorString();
        return false;
    }
    QByteArray out;
    while (!out.contains("ready\n")) {
        if (!process_.waitForReadyRead(20000)) {
            error_ = QStringLiteral("the simulator did not get ready");
            return false;
        }
        out += process_.readAllStandardOutput();
    }
    for (const QByteArray& line : out.split('\n'))
        if (line.startsWith("listening "))
            ports_.append(quint16(line.split(' ').value(2).toUInt()));
    return !ports_.isEmpty();
}

void Bench_sim::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(10000))
        process_.kill();
    process_.waitForFinished(1000);
}

bool start_fleet(Bench_sim& sim, int servers, unsigned per_server, const QString& head) {
    QString fleet;
    for (int i = 0; i < servers; ++i)
        fleet += QStringLiteral("port 0\nrange %1 %2\n")
                     .arg(350000000000000ull + quint64(i) * 1000000)
                     .arg(per_server);
    if (!sim.start(fleet)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.error()));
        return false;
    }
    QString cfg = head;
    for (int i = 0; i < servers; ++i) {
        cfg += QStringLiteral("server(address \"127.0.0.1\", port %1)\n{\n").arg(sim.ports()[i]);
        for (unsigned d = 0; d < per_server; ++d)
            cfg += QStringLiteral(" device(imei %1, pin \"1234\")\n")
                       .arg(350000000000000ull + quint64(i) * 1000000 + d);
        cfg += QStringLiteral("}\n");
    }
    clear_cfg();
    parse_cfg(cfg);
    return true;
}

unsigned succeeded_devices() {
    unsigned n = 0;
    for (unsigned i = 0; i < configuration.devices.count; ++i)
        n += configuration.devices.rows[i].device->run_flags & Device::succeeded ? 1 : 0;
    return n;
}
