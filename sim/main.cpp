// zelmo_server_sim: a stand-in for zelmo_server on loopback ports, with a fleet of
// simulated devices and faults on request. See sim/README.md.
#include "sim/fleet.h"
#include "sim/record.h"
#include "sim/server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

const char usage[] =
    "Usage: zelmo_server_sim [--fleet FILE] [-e LINE]... [--ports P1,P2,...] [--record FILE]\n"
    "\n"
    "Plays zelmo_server on 127.0.0.1 with a fleet of simulated devices.\n"
    "\n"
    "  --fleet FILE     fleet text (ports, server faults, devices); see sim/README.md\n"
    "  -e LINE          one more fleet line; all -e lines together form a second fleet\n"
    "                   text read after FILE, e.g. -e 'port 0' -e 'range 350000000000000 5000'\n"
    "  --ports LIST     comma-separated port numbers replacing those of the fleet, in order\n"
    "  --record FILE    write one line per received frame, upload and connection event\n"
    "  --exit-with-parent  stop (as on SIGTERM) when the starting thread's process dies\n"
    "  --help           this text\n"
    "\n"
    "Fleet lines:\n"
    "  port N [server keys]            a listening port (0: ephemeral); starts a section\n"
    "  server KEY=VALUE...             more server keys for the current port\n"
    "  default KEY=VALUE...            device keys for the devices that follow\n"
    "  device IMEI [KEY=VALUE...]      one device\n"
    "  range FIRST COUNT [KEY=VALUE...] COUNT devices with consecutive IMEIs\n"
    "Server keys: ping=MS ping_len=N ping_always=1 close_after=BYTES bad_crc=NTH_FRAME\n"
    "  hello=TYPE[:HEX] stall=FRAMES stall_ms=MS refuse=N|all rate=BYTES_PER_S\n"
    "  unknown_link=CODE enum_delay=MS enum_type=T enum_payload=HEX enum_badcrc=1\n"
    "  enum_fault=bad_digit|imei_zero|name_zero|bad_length|too_many|short\n"
    "Device keys: pin=TEXT|* name=TEXT upname=TEXT pID=VALUE params=none delay=MS\n"
    "  and for STAGE in link auth upload getparam cmd: STAGE=CODE STAGE_delay=MS\n"
    "  STAGE_type=T STAGE_payload=HEX STAGE_unlink=before|instead|after STAGE_badcrc=1\n"
    "  STAGE_extra=TYPE[:HEX]\n"
    "\n"
    "Prints \"listening 127.0.0.1 PORT\" for every port in fleet order, then \"ready\".\n"
    "On SIGTERM or SIGINT prints one \"counters name=value ...\" line and exits 0.\n"
    "Exit codes: 0 done, 1 runtime failure, 2 bad command line or fleet.\n";

bool read_file(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + strerror(errno);
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

bool apply_ports(const std::string& list, std::vector<sim::Port>& ports, std::string& error) {
    size_t i = 0, pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find(',', pos);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = list.substr(pos, end - pos);
        char* tail = nullptr;
        const unsigned long v = strtoul(item.c_str(), &tail, 10);
        if (item.empty() || *tail || v > 65535) {
            error = "--ports: bad port \"" + item + "\"";
            return false;
        }
        if (i >= ports.size()) {
            error = "--ports names more ports than the fleet has";
            return false;
        }
        ports[i++].port = uint16_t(v);
        pos = end + 1;
    }
    return true;
}

void raise_fd_limit() {
    rlimit rl;
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string fleet_path, record_path, ports_list, lines;
    bool exit_with_parent = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& dst) {
            if (i + 1 >= argc) {
                fprintf(stderr, "zelmo_server_sim: %s needs a value\n%s", a.c_str(), usage);
                exit(2);
            }
            dst = argv[++i];
        };
        if (a == "--help" || a == "-h") {
            fputs(usage, stdout);
            return 0;
        } else if (a == "--fleet") {
            value(fleet_path);
        } else if (a == "--record") {
            value(record_path);
        } else if (a == "--ports") {
            value(ports_list);
        } else if (a == "--exit-with-parent") {
            exit_with_parent = true;
        } else if (a == "-e") {
            std::string line;
            value(line);
            lines += line + "\n";
        } else {
            fprintf(stderr, "zelmo_server_sim: unknown argument %s\n%s", a.c_str(), usage);
            return 2;
        }
    }

    std::vector<sim::Port> ports;
    std::string error, text;
    if (!fleet_path.empty() && (!read_file(fleet_path, text, error) ||
                                !sim::parse_fleet(text, fleet_path, ports, error))) {
        fprintf(stderr, "zelmo_server_sim: %s\n", error.c_str());
        return 2;
    }
    if (!lines.empty() && !sim::parse_fleet(lines, "-e", ports, error)) {
        fprintf(stderr, "zelmo_server_sim: %s\n", error.c_str());
        return 2;
    }
    if (ports.empty()) {
        fprintf(stderr, "zelmo_server_sim: the fleet has no port\n%s", usage);
        return 2;
    }
    if (!sim::finish_fleet(ports, error) ||
        (!ports_list.empty() && !apply_ports(ports_list, ports, error))) {
        fprintf(stderr, "zelmo_server_sim: %s\n", error.c_str());
        return 2;
    }

    // SIGTERM and SIGINT are taken through a signalfd inside the event loop.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // A test killed by its time-out must not leave its simulator behind.
    if (exit_with_parent && (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() == 1)) {
        fprintf(stderr, "zelmo_server_sim: the parent is gone\n");
        return 1;
    }
    raise_fd_limit();

    sim::Record record;
    if (!record_path.empty() && !record.open(record_path, error)) {
        fprintf(stderr, "zelmo_server_sim: %s\n", error.c_str());
        return 1;
    }
    sim::Server server(ports, record);
    if (!server.listen(error)) {
        fprintf(stderr, "zelmo_server_sim: %s\n", error.c_str());
        return 1;
    }
    for (const sim::Port& p : ports)
        printf("listening 127.0.0.1 %u\n", p.port);
    printf("ready\n");
    fflush(stdout);
    if (!server.run(error)) {
        fprintf(stderr, "zelmo_server_sim: %s\n", error.c_str());
        server.print_counters(stdout);
        return 1;
    }
    server.print_counters(stdout);
    fflush(stdout);
    return 0;
}
