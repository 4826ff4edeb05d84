#include "support/fleet.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

uint64_t fleet_imei(Fleet_gen& g, unsigned d) {
    return 350000000000000ULL + uint64_t(d) * 7 + g.next() % 7;
}

unsigned fleet_pin(Fleet_gen& g) {
    return unsigned(1000 + g.next() % 9000);
}

QByteArray fleet_server(unsigned s, bool with_notes) {
    QByteArray t = "server(address \"srv" + QByteArray::number(s).rightJustified(3, '0') +
                   ".example.net\", port " + QByteArray::number(4000 + s % 7);
    if (with_notes)
        t += ", notes \"site " + QByteArray::number(s) + '"';
    return t + ')';
}

void append_device_head(QByteArray& t, uint64_t imei, unsigned pin) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%015llu", static_cast<unsigned long long>(imei));
    t += " device(imei ";
    t += digits;
    t += ", pin \"" + QByteArray::number(pin) + '"';
}

long long proc_status(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(f, line))
        if (line.compare(0, n, field) == 0)
            return std::atoll(line.c_str() + n + 1) * 1024;
    return -1;
}

bool reset_peak() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f)
        return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}
