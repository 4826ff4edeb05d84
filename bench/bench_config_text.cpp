// Reading and writing a configuration of 999 999 devices under 999 servers, against reading
// the same data written as JSON with RapidJSON into plain structs, in the same run.
//
// Usage: bench_config_text [repetitions]   (default 3; the best time of each is reported)

#include "config/config.h"
#include "support/fleet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#if __has_include(<rapidjson/document.h>)
#include <rapidjson/document.h>
#define HAVE_RAPIDJSON 1
#endif

namespace {

constexpr unsigned n_servers = fleet_servers;
constexpr unsigned n_devices = fleet_devices;

// Every device has a PIN, one in ten has notes, servers have notes.
void device_fields(Fleet_gen& g, unsigned i, uint64_t& imei, unsigned& pin, std::string& notes) {
    imei = fleet_imei(g, i);
    pin = fleet_pin(g);
    notes.clear();
    if (i % 10 == 0)
        notes = "car " + std::to_string(i) + ", depot \xD0\xA1\xD0\xB5\xD0\xB2\xD0\xB5\xD1\x80";
}

QByteArray make_text() {
    QByteArray t;
    t.reserve(64 << 20);
    t += "simultaneously = 500\nupfile_timeout = 1200000\n";
    Fleet_gen g;
    uint64_t imei;
    unsigned pin;
    std::string notes;
    unsigned d = 0;
    for (unsigned s = 0; s < n_servers; ++s) {
        t += '\n' + fleet_server(s, true) + "\n{\n";
        for (const unsigned end = fleet_end(s); d < end; ++d) {
            device_fields(g, d, imei, pin, notes);
            append_device_head(t, imei, pin);
            if (!notes.empty()) {
                t += ", notes \"";
                t += notes.c_str();
                t += '"';
            }
            t += ")\n";
        }
        t += "}\n";
    }
    return t;
}

#ifdef HAVE_RAPIDJSON
std::string make_json() {
    std::string t;
    t.reserve(96 << 20);
    t += "{\"simultaneously\":500,\"upfile_timeout\":1200000,\"servers\":[";
    Fleet_gen g;
    uint64_t imei;
    unsigned pin;
    std::string notes;
    unsigned d = 0;
    for (unsigned s = 0; s < n_servers; ++s) {
        if (s)
            t += ',';
        char name[8];
        std::snprintf(name, sizeof name, "%03u", s);
        t += std::string("{\"address\":\"srv") + name +
             ".example.net\",\"port\":" + std::to_string(4000 + s % 7) + ",\"notes\":\"site " +
             std::to_string(s) + "\",\"devices\":[";
        const unsigned end = fleet_end(s);
        for (bool first = true; d < end; ++d, first = false) {
            device_fields(g, d, imei, pin, notes);
            if (!first)
                t += ',';
            t += "{\"imei\":" + std::to_string(imei) + ",\"pin\":\"" + std::to_string(pin) + '"';
            if (!notes.empty())
                t += ",\"notes\":\"" + notes + '"';
            t += '}';
        }
        t += "]}";
    }
    t += "]}";
    return t;
}

struct J_device {
    uint64_t imei;
    char pin[16];
    std::string notes;
};
struct J_server {
    std::string address;
    unsigned short port;
    std::string notes;
    std::vector<J_device> devices;
};
struct J_config {
    unsigned simultaneously = 0, upfile_timeout = 0;
    std::vector<J_server> servers;
};

// DOM parse, then copy into plain structs (what a configuration loader would have to do).
size_t parse_json(const std::string& text, J_config& out) {
    rapidjson::Document doc;
    doc.Parse(text.c_str(), text.size());
    if (doc.HasParseError())
        return 0;
    out.simultaneously = doc["simultaneously"].GetUint();
    out.upfile_timeout = doc["upfile_timeout"].GetUint();
    const auto& servers = doc["servers"].GetArray();
    out.servers.clear();
    out.servers.reserve(servers.Size());
    size_t devices = 0;
    for (const auto& s : servers) {
        J_server js;
        js.address = s["address"].GetString();
        js.port = static_cast<unsigned short>(s["port"].GetUint());
        js.notes = s["notes"].GetString();
        const auto& ds = s["devices"].GetArray();
        js.devices.reserve(ds.Size());
        for (const auto& d : ds) {
            J_device jd;
            jd.imei = d["imei"].GetUint64();
            std::memset(jd.pin, 0, sizeof jd.pin);
            const auto& p = d["pin"];
            std::memcpy(jd.pin, p.GetString(), std::min<size_t>(p.GetStringLength(), 16));
            const auto n = d.FindMember("notes");
            if (n != d.MemberEnd())
                jd.notes = n->value.GetString();
            js.devices.push_back(std::move(jd));
        }
        devices += js.devices.size();
        out.servers.push_back(std::move(js));
    }
    return devices;
}
#endif

double mb_per_s(size_t bytes, double seconds) {
    return bytes / 1e6 / seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    log_file_name = "bench_config_text.log";

    const QByteArray text = make_text();
    std::printf("configuration text: %d bytes, %u servers, %u devices\n", text.size(), n_servers,
                n_devices);

    // Memory is measured in child processes whose heap has seen no earlier load, so that
    // neither reader reuses memory the other has freed.
    const bool peak_ok = reset_peak();
    if (!peak_ok)
        std::printf("peak cannot be reset: memory figures are upper bounds\n");
    std::fflush(stdout);
    if (fork() == 0) {
        const long long rss_before = proc_status("VmRSS:");
        reset_peak();
        Utf8_text_parser parser;
        parser.init(text);
        parse_cfg(parser, configuration);
        const long long peak = proc_status("VmHWM:");
        const long long rss_loaded = proc_status("VmRSS:");
        std::printf("memory: peak %.1f bytes/device, kept %.1f bytes/device beyond the text\n",
                    double(peak - rss_before) / n_devices,
                    double(rss_loaded - rss_before) / n_devices);
        std::fflush(stdout);
        _exit(configuration.devices.count == n_devices ? 0 : 1);
    }
    int status = 0;
    wait(&status);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("the measured load failed\n");
        return 1;
    }
#ifdef HAVE_RAPIDJSON
    if (fork() == 0) {
        const std::string json = make_json();
        const long long rss_before = proc_status("VmRSS:");
        reset_peak();
        J_config c;
        const size_t n = parse_json(json, c);
        const long long peak = proc_status("VmHWM:");
        const long long rss_loaded = proc_status("VmRSS:");
        std::printf("RapidJSON memory: peak %.1f bytes/device, kept %.1f bytes/device beyond the "
                    "text\n",
                    double(peak - rss_before) / n_devices,
                    double(rss_loaded - rss_before) / n_devices);
        std::fflush(stdout);
        _exit(n == n_devices ? 0 : 1);
    }
    wait(&status);
#endif

    double read_best = 1e9, write_best = 1e9, text_best = 1e9;
    QString written;
    QByteArray written_utf8;
    for (int r = 0; r < reps; ++r) {
        clear_cfg();
        QElapsedTimer t;
        t.start();
        Utf8_text_parser parser;
        parser.init(text);
        parse_cfg(parser, configuration);
        read_best = std::min(read_best, t.nsecsElapsed() / 1e9);

        t.start();
        write_cfg_text(written, configuration, nullptr, 0, false);
        const double text_time = t.nsecsElapsed() / 1e9;
        written_utf8 = written.toUtf8();
        write_best = std::min(write_best, t.nsecsElapsed() / 1e9);
        text_best = std::min(text_best, text_time);
    }
    // The written text must carry the same entries (its preamble differs from the input).
    const int body = text.indexOf("simultaneously");
    const int wbody = written_utf8.indexOf("simultaneously");
    const bool same = body >= 0 && wbody >= 0 && text.mid(body) == written_utf8.mid(wbody);
    std::printf("read  (parse_cfg + set): %.3f s, %.1f MB/s\n", read_best,
                mb_per_s(size_t(text.size()), read_best));
    std::printf("write (text + UTF-8):    %.3f s, %.1f MB/s (of it the text %.3f s)%s\n",
                write_best, mb_per_s(size_t(written_utf8.size()), write_best), text_best,
                same ? "" : "  [written text differs from the input]");

#ifdef HAVE_RAPIDJSON
    std::string json = make_json();
    double json_best = 1e9;
    size_t json_devices = 0;
    for (int r = 0; r < reps; ++r) {
        J_config c;
        QElapsedTimer t;
        t.start();
        json_devices = parse_json(json, c);
        json_best = std::min(json_best, t.nsecsElapsed() / 1e9);
    }
    if (json_devices != n_devices) {
        std::printf("RapidJSON read %zu devices\n", json_devices);
        return 1;
    }
    std::printf("RapidJSON (DOM + structs): %.3f s, %.1f MB/s, %zu bytes of JSON\n", json_best,
                mb_per_s(json.size(), json_best), json.size());
    std::printf("ratio read / RapidJSON: %.2f\n", read_best / json_best);
#else
    std::printf("RapidJSON headers not found: no reference run\n");
#endif
    return same ? 0 : 1;
}
