// The engine against the simulator, next to a single-threaded epoll client of our own doing
// the same exchange against the same simulator in the same process: a device command to
// 100 000 devices on 10 servers with 100, 1000 and 10 000 connections, to 200 000 devices on
// 4 servers with 65 535 connections (or as many as the descriptor limit allows), and a 1 MiB
// file to 1000 devices with 100 connections. Reports devices and bytes per second, CPU
// seconds, the peak memory of the run and per connection, and the engine's ratio to the
// reference.
//
// Usage: bench_engine [devices-per-server-for-commands [scenario]] (default 10000, all five;
// the largest scenario has five times as many devices per server)
#include "config/config.h"
#include "engine/actions.h"
#include "engine/engine.h"
#include "foundation/err.h"
#include "protocol/frame.h"
#include "support/engine_sim.h"
#include "support/epoll_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

struct Measure {
    double seconds = 0, cpu = 0, sim_cpu = 0;
    double peak_mib = 0; // above the resident size before the run
    uint64_t ok = 0, failed = 0;
};

double process_cpu() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double child_cpu(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray s = f.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / 100.0;
}

// VmRSS or VmHWM in KiB.
double status_kib(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toDouble();
    return 0;
}

void reset_peak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

template <class F> Measure measure(qint64 sim_pid, F run) {
    Measure m;
    const double base = status_kib("VmRSS:");
    reset_peak();
    const double cpu0 = process_cpu(), sim0 = child_cpu(sim_pid);
    QElapsedTimer clock;
    clock.start();
    run(m);
    m.seconds = double(clock.nsecsElapsed()) / 1e9;
    m.cpu = process_cpu() - cpu0;
    m.sim_cpu = child_cpu(sim_pid) - sim0;
    m.peak_mib = (status_kib("VmHWM:") - base) / 1024.0;
    return m;
}

struct Scenario {
    const char* name;
    bool upload;
    int servers;
    int per_server;
    unsigned connections;
    uint32_t file_size;
};

// Bytes on the wire per device besides the file: LINK, AUTH and the request with answers.
uint64_t exchange_bytes(bool upload) {
    const uint64_t link = 64 + 8, auth = 12 + 8;
    return link + auth + (upload ? 25 + 18 : 13 + 13);
}

void report(const char* who, const Scenario& s, const Measure& m, unsigned connections) {
    const double devices = double(m.ok + m.failed);
    const double bytes = devices * double(exchange_bytes(s.upload) + s.file_size);
    std::printf("  %-9s %9.0f dev/s %8.1f MiB/s  cpu %6.2f s  sim cpu %6.2f s  wall %6.2f s  "
                "peak +%7.1f MiB (%6.1f KiB/conn)  ok %llu failed %llu\n",
                who, devices / m.seconds, bytes / m.seconds / 1048576.0, m.cpu, m.sim_cpu,
                m.seconds, m.peak_mib, m.peak_mib * 1024.0 / connections, (unsigned long long)m.ok,
                (unsigned long long)m.failed);
}

bool run_scenario(const Scenario& s) {
    Bench_sim sim;
    if (!start_fleet(sim, s.servers, unsigned(s.per_server),
                     QStringLiteral("simultaneously = %1\n").arg(s.connections)))
        return false;
    // The reference client serves the same devices of the same ports.
    std::vector<Reference_server> ref_servers;
    for (int i = 0; i < s.servers; ++i) {
        Reference_server rs;
        rs.port = sim.ports()[i];
        for (int d = 0; d < s.per_server; ++d)
            rs.imeis.push_back(350000000000000ull + quint64(i) * 1000000 + quint64(d));
        ref_servers.push_back(std::move(rs));
    }

    firmware = QByteArray(int(s.file_size), '\0');
    for (int i = 0; i < firmware.size(); ++i)
        firmware[i] = char((i * 131) >> 3);
    firmware_sum = calculate_crc32(firmware.constData(), size_t(firmware.size()));
    Reference_job job;
    job.upload = s.upload;
    job.file = reinterpret_cast<const unsigned char*>(firmware.constData());
    job.file_size = s.file_size;
    job.file_crc = firmware_sum;

    const uint64_t devices = uint64_t(s.servers) * uint64_t(s.per_server);
    std::printf("%s: %llu devices on %d servers, %u connections%s\n", s.name,
                (unsigned long long)devices, s.servers, s.connections,
                s.upload ? QStringLiteral(", %1 bytes each").arg(s.file_size).toUtf8().constData()
                         : "");
    const Measure ref = measure(sim.pid(), [&](Measure& m) {
        const Reference_result r = run_reference(ref_servers, s.connections, job);
        m.ok = r.succeeded;
        m.failed = r.failed + (r.ok ? 0 : 1);
    });
    report("reference", s, ref, s.connections);

    std::unique_ptr<Action> action;
    if (s.upload)
        action.reset(new Action_upload_firmware);
    else
        action.reset(new Action_cmd(1, QStringLiteral("рестарт устройства")));
    QString error;
    uint64_t actors = 0;
    const Measure eng = measure(sim.pid(), [&](Measure& m) {
        error = run_engine(
            *action,
            [&](const Engine& e) {
                actors = e.actor_count;
                return true;
            },
            50);
        m.ok = 0;
        for (unsigned i = 0; i < configuration.devices.count; ++i)
            (configuration.devices.rows[i].device->run_flags & Device::succeeded) ? ++m.ok
                                                                                  : ++m.failed;
    });
    if (!error.isEmpty())
        std::printf("  engine error: %s\n", qPrintable(error));
    {
        QFile log(QString::fromUtf8(log_file_name));
        const QByteArray text = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        const int broken = text.count("broken("), refused = text.count("not_connected(");
        if (broken || refused) {
            std::printf("  engine log: %d broken connections, %d failed connection attempts\n",
                        broken, refused);
            const int at = std::max(text.indexOf("broken("), text.indexOf("not_connected("));
            std::printf("  first: %s\n", text.mid(at, text.indexOf('\n', at) - at).constData());
        }
        log.remove();
    }
    report("engine", s, eng, s.connections);
    std::printf("  ratio engine/reference: throughput %.2fx, cpu %.2fx\n\n",
                ref.seconds / eng.seconds, eng.cpu / (ref.cpu > 0 ? ref.cpu : 1e-9));
    sim.stop();
    return eng.failed == 0 && ref.failed == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QByteArray log_path = QFile::encodeName(dir.filePath(QStringLiteral("bench.log")));
    log_file_name = log_path.constData();
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    const int per_server = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    // Both clients and the simulator need a descriptor per connection; keep some for the rest.
    unsigned most = 65535;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < most + 200) {
        most = unsigned(limit.rlim_cur > 400 ? limit.rlim_cur - 200 : 200);
        std::printf("descriptor limit %llu: the largest run uses %u connections, not 65535\n\n",
                    (unsigned long long)limit.rlim_cur, most);
    }
    const Scenario scenarios[] = {
        {"command, 100 connections", false, 10, per_server, 100, 0},
        {"command, 1000 connections", false, 10, per_server, 1000, 0},
        {"upload of 1 MiB, 100 connections", true, 10, 100, 100, 1048576},
        {"command, 10000 connections", false, 10, per_server, 10000, 0},
        {"command, most connections", false, 4, per_server * 5, most, 0},
    };
    const int only = argc > 2 ? atoi(argv[2]) : -1;
    bool all_ok = true;
    for (int i = 0; i < 5; ++i)
        if (only < 0 || only == i)
            all_ok = run_scenario(scenarios[i]) && all_ok;
    if (!all_ok)
        std::printf("some devices failed; see %s\n", log_path.constData());
    return all_ok ? 0 : 1;
}
