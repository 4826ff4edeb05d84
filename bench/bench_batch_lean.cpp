// The whole zelmo_batch process against the lean client (bench/lean): both are started as
// processes against the same lean server, in turns, several rounds, and the best of each is
// compared. Scenarios: a restart command and a gather of the three version parameters, each
// to 20 000 devices on 10 servers with 100, 1000 and 10 000 connections, and a 1 MiB upload to
// 1000 devices on 10 servers with 100 connections.
// zelmo_batch's time includes its start-up, reading the configuration and printing the
// results, as a user would see it. Reports the wall time, the user and system CPU seconds of
// each process (from wait4) and the ratios: speed lean/batch (above 1: zelmo_batch is faster)
// and user CPU per device batch/lean; and the same against the lean client closing each
// connection in order, as the program must, which shows what that close costs.
//
// Usage: [ZELMO_BATCH=path] bench_batch_lean [rounds [scenario]] (default 3 rounds, all seven
// scenarios; a
//        scenario by its number from 0 in the order above)
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "lean/lean_wire.h"

extern char** environ;

namespace {

constexpr unsigned servers = 10;
constexpr uint64_t first_imei = 350000000000000ull;

struct Run {
    double wall = 1e9, user = 1e9, sys = 1e9;
    bool ok = true;
};

double now_s() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Runs a program to its end with standard output into `out`; keeps the best figures in `best`.
void run_process(const std::vector<std::string>& args, const std::string& out, Run& best) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const double t0 = now_s();
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        best.ok = false;
        return;
    }
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    rusage u{};
    wait4(pid, &status, 0, &u);
    const double wall = now_s() - t0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s exited with %d\n", argv[0], status);
        best.ok = false;
    }
    const double user = double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) / 1e6;
    const double sys = double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) / 1e6;
    best.wall = std::min(best.wall, wall);
    best.user = std::min(best.user, user);
    best.sys = std::min(best.sys, sys);
}

struct Server_process {
    pid_t pid = -1;
    std::vector<std::string> ports;

    bool start(uint64_t per_server) {
        int pipe_fd[2];
        if (pipe(pipe_fd) != 0)
            return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, pipe_fd[1], 1);
        posix_spawn_file_actions_addclose(&fa, pipe_fd[0]);
        const std::string n = std::to_string(servers), per = std::to_string(per_server),
                          first = std::to_string(first_imei);
        char* argv[] = {const_cast<char*>(LEAN_SERVER_PATH), const_cast<char*>(n.c_str()),
                        const_cast<char*>(per.c_str()), const_cast<char*>(first.c_str()), nullptr};
        const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(pipe_fd[1]);
        if (rc != 0) {
            ::close(pipe_fd[0]);
            return false;
        }
        FILE* f = fdopen(pipe_fd[0], "r");
        char line[128];
        while (f && fgets(line, sizeof line, f)) {
            if (std::string(line) == "ready\n")
                break;
            unsigned port;
            if (std::sscanf(line, "port %u", &port) == 1)
                ports.push_back(std::to_string(port));
        }
        if (f)
            fclose(f);
        return ports.size() == servers;
    }

    ~Server_process() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

void print_load() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (f.open(QIODevice::ReadOnly))
        std::printf("load average: %s", f.readAll().constData());
}

struct Scenario {
    const char* name;
    unsigned connections;
    uint64_t per_server;
    uint64_t file_size;
    bool gather = false;
};

bool write_config(const QString& path, const Server_process& server, const Scenario& s) {
    QByteArray t = "\xef\xbb\xbf";
    t += "simultaneously = " + QByteArray::number(s.connections) + "\n";
    for (unsigned i = 0; i < servers; ++i) {
        t += "server(address \"127.0.0.1\", port " + QByteArray(server.ports[i].c_str()) + ")\n{\n";
        for (uint64_t d = 0; d < s.per_server; ++d)
            t += " device(imei " + QByteArray::number(first_imei + i * 1000000ull + d) +
                 ", pin \"1234\")\n";
        t += "}\n";
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(t) == t.size();
}

bool run_scenario(const Scenario& s, const Server_process& server, const QTemporaryDir& dir,
                  int rounds) {
    const std::string cfg = dir.filePath(QStringLiteral("fleet.zelmo_upload")).toStdString();
    const std::string file = dir.filePath(QStringLiteral("file.bin")).toStdString();
    const std::string out = dir.filePath(QStringLiteral("out.txt")).toStdString();
    const std::string log = "--log=" + dir.filePath(QStringLiteral("batch.log")).toStdString();
    if (!write_config(QString::fromStdString(cfg), server, s))
        return false;
    // ZELMO_BATCH names another build's zelmo_batch, for a before-and-after against one client.
    const char* other = std::getenv("ZELMO_BATCH");
    std::vector<std::string> batch = {other && *other ? other : ZELMO_BATCH_PATH};
    if (s.file_size) {
        QByteArray bytes(int(s.file_size), '\0');
        for (uint64_t i = 0; i < s.file_size; ++i)
            bytes[int(i)] = char(lean::file_byte(i));
        QFile f(QString::fromStdString(file));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
        batch.insert(batch.end(), {"upload", cfg, file, "--as", "firmware"});
    } else if (s.gather) {
        batch.insert(batch.end(), {"gather", cfg});
    } else {
        batch.insert(batch.end(), {"command", cfg, "restart"});
    }
    batch.insert(batch.end(), {"--quiet", log});
    std::vector<std::string> lean_args = {LEAN_CLIENT_PATH, std::to_string(s.connections),
                                          std::to_string(first_imei), std::to_string(s.per_server),
                                          s.gather ? "gather" : std::to_string(s.file_size)};
    lean_args.insert(lean_args.end(), server.ports.begin(), server.ports.end());

    const double devices = double(servers * s.per_server);
    std::printf("%s: %.0f devices on %u servers\n", s.name, devices, servers);
    Run lean, ours, orderly;
    // The lean client again, closing its connections in order as zelmo_batch must: what that
    // close costs, apart from the rest.
    const auto run_orderly = [&] {
        setenv("LEAN_ORDERLY_CLOSE", "1", 1);
        run_process(lean_args, out, orderly);
        unsetenv("LEAN_ORDERLY_CLOSE");
    };
    for (int r = 0; r < rounds; ++r) {
        // In turns first, so that neither always meets the warmer server.
        if (r % 2 == 0) {
            run_process(lean_args, out, lean);
            run_process(batch, out, ours);
            run_orderly();
        } else {
            run_orderly();
            run_process(batch, out, ours);
            run_process(lean_args, out, lean);
        }
    }
    const auto line = [&](const char* who, const Run& m) {
        std::printf("  %-11s %8.0f dev/s  wall %6.3f s  user %6.3f s (%5.2f us/dev)  sys %6.3f s\n",
                    who, devices / m.wall, m.wall, m.user, m.user / devices * 1e6, m.sys);
    };
    line("lean client", lean);
    line("lean orderly", orderly);
    line("zelmo_batch", ours);
    std::printf("  ratio zelmo_batch/lean: speed %.2fx, user CPU per device %.2fx, system CPU "
                "%.2fx\n",
                lean.wall / ours.wall, ours.user / std::max(lean.user, 1e-6),
                ours.sys / std::max(lean.sys, 1e-6));
    std::printf("  ratio zelmo_batch/lean closing in order: speed %.2fx, user CPU per device "
                "%.2fx, system CPU %.2fx\n\n",
                orderly.wall / ours.wall, ours.user / std::max(orderly.user, 1e-6),
                ours.sys / std::max(orderly.sys, 1e-6));
    std::fflush(stdout);
    return lean.ok && ours.ok;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int only = argc > 2 ? std::atoi(argv[2]) : -1;
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    QTemporaryDir dir;
    Server_process server;
    if (!dir.isValid() || !server.start(2000)) {
        std::fprintf(stderr, "the lean server did not come up\n");
        return 1;
    }
    print_load();
    const Scenario scenarios[] = {
        {"command, 100 connections", 100, 2000, 0},
        {"command, 1000 connections", 1000, 2000, 0},
        {"command, 10000 connections", 10000, 2000, 0},
        {"gather, 100 connections", 100, 2000, 0, true},
        {"gather, 1000 connections", 1000, 2000, 0, true},
        {"gather, 10000 connections", 10000, 2000, 0, true},
        {"upload of 1 MiB, 100 connections", 100, 100, 1048576},
    };
    bool ok = true;
    for (int i = 0; i < int(std::size(scenarios)); ++i)
        if (only < 0 || only == i)
            ok = run_scenario(scenarios[i], server, dir, rounds) && ok;
    print_load();
    return ok ? 0 : 1;
}
