// A paste of 100 000 device rows (IMEI, PIN, notes, tab-separated as a spreadsheet copies
// them) into a configuration that holds 100 000 devices already: reading and checking the
// rows, then adding them in one step. The bound is 2 s for both.
//
// Usage: bench_device_import [repetitions]   (default 3; the best time is reported)

#include "config/config.h"
#include "config/device_import.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

constexpr unsigned rows = 100000;

void fill_base(Configuration& cfg) {
    clear_cfg();
    QString text = QStringLiteral("server(address \"a.example\", port 4000) {\n");
    for (unsigned i = 0; i < rows; ++i)
        text +=
            QStringLiteral(" device(imei %1, pin \"%2\")\n").arg(350000000000000ULL + 2 * i).arg(i);
    text += QStringLiteral("}\n");
    const QByteArray utf8 = text.toUtf8();
    Utf8_text_parser parser;
    parser.init(utf8);
    parse_cfg(parser, cfg);
}

QString paste_text() {
    QString t = QStringLiteral("IMEI\tPIN\tКомментарий\n");
    for (unsigned i = 0; i < rows; ++i)
        t +=
            QStringLiteral("%1\tp%2\tcar %2, depot North\n").arg(350000000000001ULL + 2 * i).arg(i);
    return t;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QString text = paste_text();
    qint64 best_read = -1, best_add = -1;
    for (int r = 0; r < reps; ++r) {
        Configuration cfg;
        fill_base(cfg);
        QElapsedTimer t;
        t.start();
        const Device_import imp = read_device_list(text, cfg, 0);
        const qint64 read_ms = t.elapsed();
        t.restart();
        add_imported_devices(cfg, imp);
        const qint64 add_ms = t.elapsed();
        if (imp.added.size() != int(rows) || cfg.devices.count != 2 * rows) {
            std::fprintf(stderr, "wrong result: %d added, %u devices\n", imp.added.size(),
                         cfg.devices.count);
            return 1;
        }
        if (best_read < 0 || read_ms + add_ms < best_read + best_add) {
            best_read = read_ms;
            best_add = add_ms;
        }
    }
    std::printf("paste of %u rows into %u devices: read and check %lld ms, add %lld ms, "
                "total %lld ms (bound 2000 ms, %.2f of it)\n",
                rows, rows, (long long)best_read, (long long)best_add,
                (long long)(best_read + best_add), double(best_read + best_add) / 2000.0);
    return 0;
}
