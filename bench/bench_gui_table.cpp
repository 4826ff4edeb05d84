// The device and server tables over a configuration of 999 999 devices under 999 servers,
// shown offscreen in one process: filtering as the user types, sorting, rendering the text
// to save, and the memory the tables add to what the core holds. Every time is also given as
// a ratio to the core writer on the same configuration, measured first in the same run.
// The last rows open a 44 MB configuration file in the main window, against reading and
// parsing it alone, and switch to the text page and back (at once, once the text is all in,
// and after an edit): the time until the page is shown, until the whole text is in the
// editor, the longest the event loop waited meanwhile, and the process's peak memory with the
// text page against its peak with the configuration page; then the peak through the way back,
// where the new configuration is built while the page still holds its text.
//
// Usage: bench_gui_table [repetitions]   (default 3; the best time of each row is reported)
// Offscreen unless QT_QPA_PLATFORM says otherwise (bench_gui_text_a11y.sh runs it on a
// virtual display with the accessibility bus).
//
// Each figure is one step in `steps` below; a new row is one more function and one line there.
// ZELMO_BENCH_STEPS="open,text page" runs only the steps named.

#include "config/config.h"
#include "config/container.h"
#include "config/devices_proxy.h"
#include "foundation/err.h"
#include "support/fleet.h"
#include "ui/config_files_gui.h"
#include "ui/main_window.h"
#include "ui/page_cfg.h"
#include "ui/page_text.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>

namespace {

constexpr unsigned n_servers = fleet_servers;
constexpr unsigned n_devices = fleet_devices;

// Notes as people write them: a few words from a small vocabulary and a number, so that many
// share their first letters; one device in eight has none.
const char* const words[] = {"машина", "автобус", "склад", "car",    "truck",   "депо",
                             "Север",  "Юг",      "north", "резерв", "trailer", "кран"};

QByteArray make_text() {
    QByteArray t;
    t.reserve(80 << 20);
    t += "simultaneously = 500\n";
    Fleet_gen g;
    unsigned d = 0;
    for (unsigned s = 0; s < n_servers; ++s) {
        t += '\n' + fleet_server(s, true) + "\n{\n";
        for (const unsigned end = fleet_end(s); d < end; ++d) {
            const uint64_t imei = fleet_imei(g, d);
            append_device_head(t, imei, fleet_pin(g));
            if (g.next() % 8) {
                t += ", notes \"";
                t += words[g.next() % 12];
                t += ' ';
                t += words[g.next() % 12];
                t += " №" + QByteArray::number(int(g.next() % 100000)) + '"';
            }
            t += ")\n";
        }
        t += "}\n";
    }
    return t;
}

// Wall and CPU time together: on a shared machine the wall time also counts other programs.
struct Clock {
    QElapsedTimer wall;
    double cpu0 = 0;
    static double cpu_ms() {
        timespec t;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
    }
    Clock() {
        wall.start();
        cpu0 = cpu_ms();
    }
    double wall_ms() const { return wall.nsecsElapsed() / 1e6; }
    double cpu() const { return cpu_ms() - cpu0; }
};

struct Time {
    double wall = 1e300, cpu = 1e300;
    void keep_best(const Clock& c) {
        wall = std::min(wall, c.wall_ms());
        cpu = std::min(cpu, c.cpu());
    }
    void keep_worst(const Clock& c) {
        wall = wall == 1e300 ? c.wall_ms() : std::max(wall, c.wall_ms());
        cpu = cpu == 1e300 ? c.cpu() : std::max(cpu, c.cpu());
    }
};

struct Bench {
    int reps = 3;
    Time baseline;            // the core writer, whole configuration
    long long rss_core = 0;   // the whole process with the configuration loaded
    long long core_bytes = 0; // what loading the configuration added
    QWidget* window = nullptr;
    QLineEdit* filter = nullptr;
    Table_servers* servers = nullptr;
    Table_devices* devices = nullptr;
};

void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// One line per figure: wall and CPU time, and the CPU time as a ratio to the core writer's.
void report(const Bench& b, const char* what, const Time& t, const char* goal) {
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu %6.2fx core writer  (goal %s)\n", what, t.wall,
                t.cpu, t.cpu / b.baseline.cpu, goal);
    std::fflush(stdout);
}

template <class F> Time best_of(int reps, F&& f) {
    Time best;
    for (int i = 0; i < reps; ++i) {
        Clock c;
        f();
        best.keep_best(c);
    }
    return best;
}

void step_baseline(Bench& b) {
    QString text;
    b.baseline = best_of(b.reps, [&] { write_cfg_text(text, configuration, nullptr, 0, false); });
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu  (%d characters)\n",
                "baseline: core writer, whole configuration", b.baseline.wall, b.baseline.cpu,
                text.size());
}

void step_show_tables(Bench& b) {
    reset_peak();
    Clock c;
    b.window = new QWidget;
    auto* layout = new QVBoxLayout(b.window);
    b.servers = new Table_servers(configuration, b.window);
    b.devices = new Table_devices(configuration, 3, 2, b.window);
    b.filter = new QLineEdit(b.window);
    QObject::connect(b.filter, &QLineEdit::textChanged, b.devices->proxy,
                     &Devices_proxy::setFilterFixedString);
    layout->addWidget(b.servers);
    layout->addWidget(b.devices);
    layout->addWidget(b.filter);
    b.window->resize(1200, 900);
    b.window->show();
    settle();
    Time t;
    t.keep_best(c);
    report(b, "tables built and shown", t, "none");
    const long long peak = proc_status("VmHWM:");
    const long long rss = proc_status("VmRSS:");
    std::printf("%-46s %8.1f B/device above the core, %.1f at rest (core alone %.1f; goal "
                "<=300 above)\n",
                "memory: peak with the tables shown", double(peak - b.rss_core) / n_devices,
                double(rss - b.rss_core) / n_devices, double(b.core_bytes) / n_devices);
}

void step_filter(Bench& b) {
    b.filter->setFocus();
    Time worst, total{0, 0};
    const char* digits = "3517";
    auto key = [&](char c) {
        Clock t;
        if (c)
            QTest::keyClick(b.filter, c);
        else
            QTest::keyClick(b.filter, Qt::Key_Backspace);
        settle();
        if (qEnvironmentVariableIsSet("ZELMO_BENCH_VERBOSE"))
            std::printf("  [key %c: %.1f ms wall, %.1f ms cpu, %d rows]\n", c ? c : '<',
                        t.wall_ms(), t.cpu(), b.devices->proxy->rowCount());
        worst.keep_worst(t);
        total.wall += t.wall_ms();
        total.cpu += t.cpu();
    };
    for (int r = 0; r < b.reps; ++r) {
        for (const char* k = digits; *k; ++k)
            key(*k);
        const int left = b.devices->proxy->rowCount();
        for (int i = 0; i < 4; ++i)
            key(0);
        if (r == 0)
            std::printf("filter \"%s\" on all columns leaves %d rows; emptied, %d again\n", digits,
                        left, b.devices->proxy->rowCount());
    }
    report(b, "filter: worst keystroke (4 digits, 4 deletes)", worst, "<=200 ms");
    total.wall /= 8 * b.reps;
    total.cpu /= 8 * b.reps;
    report(b, "filter: mean keystroke", total, "none");
}

void step_sort(Bench& b, int column, const char* what) {
    Time best;
    for (int i = 0; i < b.reps; ++i) {
        b.devices->sortByColumn(Devices::col_server, Qt::AscendingOrder);
        settle();
        Clock c;
        b.devices->sortByColumn(column, Qt::DescendingOrder);
        settle();
        best.keep_best(c);
    }
    report(b, what, best, "<=1000 ms");
}

// The core writer again before each save, best of each: on a shared machine a baseline taken
// minutes earlier is no baseline.
void step_save(Bench& b, const char* what) {
    QString text;
    bool complete = false;
    Time t, writer;
    for (int i = 0; i < b.reps; ++i) {
        {
            Clock c;
            write_cfg_text(text, configuration, nullptr, 0, false);
            writer.keep_best(c);
        }
        text.clear();
        Clock c;
        b.devices->save(text, Save_mode::whole, b.window, complete);
        t.keep_best(c);
    }
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu %6.2fx core writer alongside (%.1f ms cpu)\n",
                what, t.wall, t.cpu, t.cpu / writer.cpu, writer.cpu);
    report(b, "  the same against the first baseline", t, "<=1.5x core writer");
    if (!complete || text.isEmpty())
        std::printf("  the text is incomplete\n");
}

void step_memory_after(Bench& b) {
    std::printf("%-46s %8.1f B/device above the core (the saved text alone is about 130)\n",
                "memory: peak after saving, filtering, sorting",
                double(proc_status("VmHWM:") - b.rss_core) / n_devices);
}

// ---- The main window: opening a file, and the text page and back ------------------------

// The same servers and devices with short PINs and few notes: about 44 MB of text, the size
// at which the switch to the text page and back is judged.
QByteArray make_text_44mb() {
    QByteArray t;
    t.reserve(46 << 20);
    Fleet_gen g;
    unsigned d = 0;
    for (unsigned s = 0; s < n_servers; ++s) {
        t += fleet_server(s, false) + "\n{\n";
        for (const unsigned end = fleet_end(s); d < end; ++d) {
            const uint64_t imei = fleet_imei(g, d);
            append_device_head(t, imei, fleet_pin(g));
            if (g.next() % 10 == 0)
                t += ", notes \"" + QByteArray(words[g.next() % 12]) + '"';
            t += ")\n";
        }
        t += "}\n";
    }
    return t;
}

struct Pages {
    QTemporaryDir dir;
    QString file;
    Main_window* window = nullptr;
    Time parse;             // load + parse alone, the baseline of the open row
    long long peak_cfg = 0; // the process's peak while opening and showing the tables
};
Pages pages;

void load_and_parse() {
    QByteArray bytes;
    if (!load_from_file(nullptr, pages.file, bytes))
        qFatal("cannot load the configuration file");
    Utf8_file_parser parser(pages.file, bytes);
    parse_cfg(parser, configuration);
}

void close_cfg() {
    pages.window->page_cfg->destroy_contents();
    clear_cfg();
    pages.window->stack->setCurrentIndex(Main_window::page_index_start);
    settle();
}

// Reading a file as the start page does, against reading and parsing alone.
void step_open(Bench& b) {
    delete b.window; // the tables of the earlier rows
    b.window = nullptr;
    clear_cfg();
    pages.file = pages.dir.filePath(QStringLiteral("bench.zelmo_upload"));
    {
        const QByteArray text = make_text_44mb();
        QFile f(pages.file);
        if (!f.open(QIODevice::WriteOnly) || f.write(encode_plain(text)) < 0 || !f.flush())
            qFatal("cannot write the configuration file");
        std::printf("%-46s %8.1f MB\n", "configuration file for the main window",
                    text.size() / 1e6);
    }
    pages.window = new Main_window;
    pages.window->resize(1200, 900);
    pages.window->show();
    settle();
    reset_peak();
    Time open;
    for (int i = 0; i < b.reps; ++i) {
        {
            Clock c;
            load_and_parse();
            pages.parse.keep_best(c);
        }
        clear_cfg();
        Clock c;
        load_and_parse();
        pages.window->page_cfg->create_contents(false);
        pages.window->stack->setCurrentIndex(Main_window::page_index_cfg);
        pages.window->repaint();
        open.keep_best(c);
        if (i + 1 < b.reps)
            close_cfg();
    }
    pages.peak_cfg = proc_status("VmHWM:");
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu\n", "baseline: load + parse", pages.parse.wall,
                pages.parse.cpu);
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu %6.2fx load + parse  (goal 1.5x)\n",
                "open: + create_contents + first paint", open.wall, open.cpu,
                open.cpu / pages.parse.cpu);
    std::fflush(stdout);
}

// The switch to the text page and back with the file's configuration open: back at once, and
// back once the whole text is in the editor.
void step_text_page(Bench& b) {
    Main_window& w = *pages.window;
    Time to_text, filled, back_at_once, back, back_edited;
    double longest_turn = 0;
    long long peak_text = 0;
    long long peak_back = 0; // through the way back too: the document and the new configuration
    for (int i = 0; i < 3 * b.reps; ++i) {
        const bool wait = i % 3 != 0;
        const bool edit = i % 3 == 2;
        reset_peak();
        Clock shown;
        {
            w.on_btn_switch_to_text_clicked();
            w.repaint();
            to_text.keep_best(shown);
        }
        if (w.stack->currentIndex() != Main_window::page_index_text)
            qFatal("the switch to the text page failed");
        if (qEnvironmentVariableIsSet("ZELMO_BENCH_VERBOSE"))
            std::printf("  [shown: rss %lld MB, peak %lld MB]\n", proc_status("VmRSS:") >> 20,
                        proc_status("VmHWM:") >> 20);
        // The window's event loop meanwhile: the longest turn is the longest the user waits.
        while (wait && w.page_text->filling()) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents();
            longest_turn = std::max(longest_turn, turn.nsecsElapsed() / 1e6);
            if (qEnvironmentVariableIsSet("ZELMO_BENCH_VERBOSE") && turn.nsecsElapsed() > 50e6)
                std::printf("  [turn of %.1f ms at %.1f ms, rss %lld MB]\n",
                            turn.nsecsElapsed() / 1e6, shown.wall_ms(),
                            proc_status("VmRSS:") >> 20);
        }
        if (wait && qEnvironmentVariableIsSet("ZELMO_BENCH_VERBOSE"))
            std::printf("  [filled: rss %lld MB, peak %lld MB]\n", proc_status("VmRSS:") >> 20,
                        proc_status("VmHWM:") >> 20);
        if (wait) {
            filled.keep_best(shown);
            w.repaint();
            peak_text = std::max(peak_text, proc_status("VmHWM:"));
        }
        if (edit) {
            // A line added at the end, as a user would type or paste it.
            QTextCursor end(w.page_text->editor->document());
            end.movePosition(QTextCursor::End);
            end.insertText(QStringLiteral("# edited\n"));
        }
        Clock c;
        w.on_btn_parse_text_clicked();
        w.repaint();
        (edit ? back_edited : wait ? back : back_at_once).keep_best(c);
        peak_back = std::max(peak_back, proc_status("VmHWM:"));
        if (w.stack->currentIndex() != Main_window::page_index_cfg)
            qFatal("the switch back from the text page failed");
    }
    std::printf("accessibility %s\n", QAccessible::isActive() ? "active" : "not active");
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu %6.2fx load + parse  (goal 1 s)\n",
                "switch to the text page (44 MB)", to_text.wall, to_text.cpu,
                to_text.cpu / pages.parse.cpu);
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu %6.2fx load + parse  (longest turn of the "
                "event loop %.1f ms)\n",
                "  the whole text in the editor", filled.wall, filled.cpu,
                filled.cpu / pages.parse.cpu, longest_turn);
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu %6.2fx load + parse  (goal 1 s)\n",
                "switch back: parse the text page", back.wall, back.cpu,
                back.cpu / pages.parse.cpu);
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu %6.2fx load + parse  (goal 1 s)\n",
                "switch back: the text edited", back_edited.wall, back_edited.cpu,
                back_edited.cpu / pages.parse.cpu);
    std::printf("%-46s %8.1f ms wall %8.1f ms cpu %6.2fx load + parse  (goal 1 s)\n",
                "switch back before the text is all in", back_at_once.wall, back_at_once.cpu,
                back_at_once.cpu / pages.parse.cpu);
    std::printf("%-46s %8.1f MB, %.2fx the configuration page's %.1f MB  (goal 2x)\n",
                "memory: peak with the text page", peak_text / 1e6,
                double(peak_text) / pages.peak_cfg, pages.peak_cfg / 1e6);
    std::printf("%-46s %8.1f MB, %.2fx the configuration page's\n",
                "memory: peak through the way back", peak_back / 1e6,
                double(peak_back) / pages.peak_cfg);
    std::fflush(stdout);
    close_cfg();
    delete pages.window;
    pages.window = nullptr;
}

struct Step {
    const char* name;
    std::function<void(Bench&)> run;
};

const Step steps[] = {
    {"baseline", step_baseline},
    {"show", step_show_tables},
    {"save unsorted", [](Bench& b) { step_save(b, "save whole: table order"); }},
    {"filter", step_filter},
    {"sort imei", [](Bench& b) { step_sort(b, Devices::col_imei, "sort by IMEI, descending"); }},
    {"save sorted", [](Bench& b) { step_save(b, "save whole: sorted by IMEI"); }},
    {"sort notes", [](Bench& b) { step_sort(b, Devices::col_notes, "sort by notes, descending"); }},
    {"save sorted by notes", [](Bench& b) { step_save(b, "save whole: sorted by notes"); }},
    {"memory", step_memory_after},
    {"open", step_open},
    {"text page", step_text_page},
};

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    log_file_name = "bench_gui_table.log";
    Bench b;
    b.reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    {
        const long long before = proc_status("VmRSS:");
        QByteArray text = make_text();
        parse_cfg(QString::fromUtf8(text));
        text.clear();
        text.squeeze();
        b.core_bytes = proc_status("VmRSS:") - before;
        std::printf("configuration: %u servers, %u devices\n", configuration.servers.count,
                    configuration.devices.count);
    }
    b.rss_core = proc_status("VmRSS:");
    const bool verbose = qEnvironmentVariableIsSet("ZELMO_BENCH_VERBOSE");
    // ZELMO_BENCH_STEPS="open,text page" runs only the named steps (the text page needs open).
    const QStringList only = QString::fromLocal8Bit(qgetenv("ZELMO_BENCH_STEPS"))
                                 .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const Step& s : steps) {
        if (!only.isEmpty() && !only.contains(QString::fromLatin1(s.name)))
            continue;
        s.run(b);
        if (verbose)
            std::printf("  [%s: peak %.1f B/device above the core]\n", s.name,
                        double(proc_status("VmHWM:") - b.rss_core) / n_devices);
    }
    delete b.window;
    return 0;
}
