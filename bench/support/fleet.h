#pragma once
// The large configuration the table and text benchmarks measure: 999 999 devices under 999
// servers, drawn from one deterministic generator so that every run sees the same data, and
// the process memory figures both report.

#include <QByteArray>
#include <cstdint>

constexpr unsigned fleet_servers = 999;
constexpr unsigned fleet_devices = 999999;

// One past the last device of server s: the devices are spread evenly over the servers.
constexpr unsigned fleet_end(unsigned s) {
    return (s + 1) * fleet_devices / fleet_servers;
}

struct Fleet_gen {
    uint64_t x = 0x9E3779B97F4A7C15ULL;
    uint64_t next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    }
};

// The IMEI of device d, then its PIN: each draws one number, in this order.
uint64_t fleet_imei(Fleet_gen& g, unsigned d);
unsigned fleet_pin(Fleet_gen& g);

// `server(address "srvNNN.example.net", port P` with `, notes "site N"` when asked, then `)`.
QByteArray fleet_server(unsigned s, bool with_notes);

// ` device(imei DDDDDDDDDDDDDDD, pin "PPPP"`, left open for more fields.
void append_device_head(QByteArray& t, uint64_t imei, unsigned pin);

// A field of /proc/self/status ("VmRSS:", "VmHWM:") in bytes, -1 when missing.
long long proc_status(const char* field);

// Lets the next peak reading start from the present RSS.
bool reset_peak();
