#include "cli/batch_rollout.h"

#include "cli/batch_output.h"
#include "engine/report.h"
#include "cli/batch_signal.h"
#include "config/config.h"
#include "engine/actor.h"
#include "engine/engine.h"
#include "config/fail_class.h"
#include "engine/params.h"
#include "foundation/err.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <mutex>
#include <vector>

static Tr fmt_progress("batch", "TCP: устанавливается %1, установлено %2; подключено %3, "
                                "авторизовано %4, успешно %5, неудачно %6; готово %7 из %8");
static Tr fmt_rate("batch", "; %1 устр./с, осталось %2");
static Tr errfmt_canary_stop("batch", "устройство %2 из пробной группы (--canary %1) "
                                      "завершилось неудачей класса %3");
static Tr errfmt_failures_stop("batch", "неудачей завершились %1 устройств (порог "
                                        "--stop-after-failures %2)");
static Tr errfmt_rate_stop("batch", "неудачей завершились %1 из %2 устройств (порог "
                                    "--stop-at-failure-rate %3%)");
static Tr errfmt_device_stopped("batch",
                                "Устройство не обслужено: работа остановлена, так как %1.");
static Tr errfmt_run_stopped("batch", "Работа остановлена, так как %1.");
static Tr errfmt_report_write("batch", "Не удалось записать отчёт «%1»: %2");

void batch_rollout_clear_translation() {
    fmt_progress.clear();
    fmt_rate.clear();
    errfmt_canary_stop.clear();
    errfmt_failures_stop.clear();
    errfmt_rate_stop.clear();
    errfmt_device_stopped.clear();
    errfmt_run_stopped.clear();
    errfmt_report_write.clear();
}

namespace {

int64_t now_ms() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Below this many finished devices a failure rate says too little to stop on.
constexpr unsigned rate_minimum = 50;

QString progress_text(const Engine& e, unsigned total, int64_t started_ms) {
    const uint32_t success = e.success.load(std::memory_order_relaxed);
    const uint32_t failure = e.failure.load(std::memory_order_relaxed);
    const uint64_t done = uint64_t(success) + failure;
    QString text = fmt_progress.tr()
                       .arg(e.connecting.load(std::memory_order_relaxed))
                       .arg(e.connected.load(std::memory_order_relaxed))
                       .arg(e.linked.load(std::memory_order_relaxed))
                       .arg(e.authorized.load(std::memory_order_relaxed))
                       .arg(success)
                       .arg(failure)
                       .arg(done)
                       .arg(total);
    const double seconds = double(now_ms() - started_ms) / 1000.0;
    const double rate = seconds > 0 ? double(done) / seconds : 0;
    QString left = QStringLiteral("-");
    if (rate > 0 && done <= total) {
        const int64_t s = int64_t(double(total - done) / rate + 0.5);
        left = QStringLiteral("%1:%2:%3")
                   .arg(s / 3600)
                   .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                   .arg(s % 60, 2, 10, QLatin1Char('0'));
    }
    return text + fmt_rate.tr().arg(QString::number(rate, 'f', 1), left);
}

// In the worker thread: takes the end time of every device, hands the device over to the
// main thread and stops the run at a threshold.
class Observer : public Device_observer {
public:
    explicit Observer(unsigned devices) : end_ms(devices, 0) { ended.reserve(devices); }

    void device_ended(Device& d) override {
        end_ms[d.run_row] = now_ms();
        {
            std::lock_guard<std::mutex> lock(mutex);
            ended.push_back(d.run_row);
        }
        if (!thresholds || stopped || d.fail_class == fail_cancelled)
            return;
        ++finished;
        if (!(d.run_flags & Device::succeeded))
            ++failures;
        QString text;
        if (stop_after && failures >= stop_after)
            text = errfmt_failures_stop.tr().arg(failures).arg(stop_after);
        else if (stop_rate > 0 && finished >= rate_minimum &&
                 double(failures) * 100.0 >= stop_rate * double(finished))
            text = errfmt_rate_stop.tr().arg(failures).arg(finished).arg(
                QString::number(stop_rate, 'g', 6));
        if (text.isEmpty())
            return;
        stopped = true;
        stop_reason = text;
        engine->stop_text = errfmt_device_stopped.tr().arg(text);
        engine->user_cancel();
    }

    // Written by the worker, read by the main thread once the device is handed over.
    std::vector<int64_t> end_ms;
    std::mutex mutex;
    std::vector<unsigned> ended; // rows; guarded by the mutex

    // The worker's alone while a pass runs; the main thread reads them between passes.
    Engine* engine = nullptr;
    bool thresholds = false;
    unsigned stop_after = 0;
    double stop_rate = 0;
    unsigned failures = 0, finished = 0;
    bool stopped = false;
    QString stop_reason;
};

class Rollout {
public:
    Rollout(const Batch_args& a, const Action& act, const Journal_work& w, const Params* p,
            Progress_line& pl)
        : args(a), action(act), work(w), params(p), progress(pl),
          devices(configuration.devices.count), observer(devices), selected(devices, 0),
          attempts(devices, 0), skipped(devices, 0) {
        draining.reserve(devices);
        observer.stop_after = args.stop_after_failures;
        observer.stop_rate = args.stop_rate;
    }

    Rollout_outcome run();

private:
    void open_files();
    // One engine run over the selected rows (null: every device); false when the run may
    // not go on (an error, Ctrl-C or a stop).
    bool pass(const unsigned char* rows, unsigned count, bool thresholds);
    void drain();
    void record(unsigned row);
    // Gives every device that no pass has taken yet the text, as cancelled.
    void leave_unserved(const QString& text);
    bool wait_retry_delay();
    void finish_files();

    const Batch_args& args;
    const Action& action;
    const Journal_work& work;
    const Params* params;
    Progress_line& progress;
    const unsigned devices;
    Observer observer;
    std::vector<unsigned char> selected;
    std::vector<unsigned short> attempts;
    std::vector<unsigned char> skipped; // succeeded in the resumed journal
    std::vector<unsigned> draining;
    Rollout_outcome out;

    Journal_writer journal;
    QSaveFile report;
    bool report_csv = false;
    QByteArray line;
    Attempt attempt;
    int64_t started_ms = 0;
    uint64_t attempt_count = 0;
};

void Rollout::open_files() {
    started_ms = now_ms();
    if (!args.resume.isEmpty()) {
        const QSet<QString> done = load_journal(args.resume, work);
        const Devices& d = configuration.devices;
        const Servers& s = configuration.servers;
        for (unsigned i = 0; i < devices; ++i) {
            const Server* server = s.rows[d.rows[i].server].server;
            if (done.contains(
                    journal_device_key(d.rows[i].device->imei, server->address, server->port)))
                skipped[i] = 1;
        }
        journal.open(args.resume, true, work, started_ms);
    } else if (!args.journal.isEmpty()) {
        journal.open(args.journal, false, work, started_ms);
    }
    if (!args.report.isEmpty()) {
        report.setFileName(args.report);
        if (!report.open(QIODevice::WriteOnly))
            throw Err(errfmt_report_write.tr().arg(args.report, report.errorString()));
        report_csv = args.report.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
        if (report_csv) {
            line.truncate(0);
            append_csv_header(line);
            report.write(line);
        }
    }
}

void Rollout::record(unsigned row) {
    ++attempts[row];
    ++attempt_count;
    if (!journal.is_open() && !report.isOpen())
        return;
    const Device_row& r = configuration.devices.rows[row];
    Device* d = r.device;
    const Server* server = configuration.servers.rows[r.server].server;
    Attempt& a = attempt;
    a.imei = d->imei;
    a.address = server->address;
    a.port = server->port;
    a.ok = (d->run_flags & Device::succeeded) != 0;
    a.fail_class = a.ok ? 0u : unsigned(d->fail_class);
    a.text.truncate(0);
    if (!a.ok) {
        a.text = d->error_text;
    } else if (params && uint64_t(d->values.size()) >= params->total_size) {
        const auto* values = reinterpret_cast<const unsigned char*>(d->values.constData());
        for (uint64_t p = 0; p < params->count; ++p) {
            if (p)
                a.text += QLatin1Char('\t');
            a.text += params->items[p]->show(values + params->items[p]->offset);
        }
    }
    a.end_ms = observer.end_ms[row];
    a.start_ms = d->run_start_ms ? d->run_start_ms : a.end_ms;
    a.attempt = attempts[row];
    if (journal.is_open()) {
        line.truncate(0);
        append_attempt_json(line, a);
        journal.add(line);
    }
    if (report.isOpen()) {
        if (!report_csv && journal.is_open()) {
            report.write(line);
        } else {
            line.truncate(0);
            if (report_csv)
                append_attempt_csv(line, a);
            else
                append_attempt_json(line, a);
            report.write(line);
        }
    }
}

void Rollout::drain() {
    {
        std::lock_guard<std::mutex> lock(observer.mutex);
        std::swap(observer.ended, draining);
    }
    for (unsigned row : draining)
        record(row);
    draining.clear();
    QString error;
    if (out.file_error.isEmpty() && !journal.flush(false, error))
        out.file_error = error;
}

bool Rollout::pass(const unsigned char* rows, unsigned count, bool thresholds) {
    Engine engine(action);
    engine.observer = &observer;
    engine.max_per_server = args.max_per_server;
    engine.selected = rows;
    observer.engine = &engine;
    observer.thresholds = thresholds;
    const int64_t pass_start = now_ms();
    engine.start();
    bool cancelled = false;
    while (!engine.wait(100)) {
        if (!cancelled && sigint_received()) {
            out.interrupted = true;
            engine.user_cancel();
            cancelled = true;
        }
        progress.show(progress_text(engine, count, pass_start));
        drain();
    }
    engine.results_ready();
    drain();
    observer.engine = nullptr;
    out.interrupted = out.interrupted || sigint_received();
    if (!engine.error_text.isEmpty()) {
        out.engine_error = engine.error_text;
        return false;
    }
    if (observer.stopped) {
        out.stopped = true;
        out.stop_message = errfmt_run_stopped.tr().arg(observer.stop_reason);
        leave_unserved(errfmt_device_stopped.tr().arg(observer.stop_reason));
        return false;
    }
    if (out.interrupted) {
        leave_unserved(text_device_cancelled());
        return false;
    }
    return true;
}

void Rollout::leave_unserved(const QString& text) {
    const int64_t now = now_ms();
    for (unsigned i = 0; i < devices; ++i) {
        if (skipped[i] || attempts[i] != 0)
            continue;
        Device* d = configuration.devices.rows[i].device;
        d->run_flags = 0;
        d->error_text = text;
        d->fail_class = fail_cancelled;
        d->run_start_ms = 0;
        observer.end_ms[i] = now;
        record(i);
    }
}

bool Rollout::wait_retry_delay() {
    const int64_t until = now_ms() + int64_t(args.retry_delay) * 1000;
    while (now_ms() < until) {
        if (sigint_received()) {
            out.interrupted = true;
            return false;
        }
        QThread::msleep(50);
        drain();
    }
    return true;
}

void Rollout::finish_files() {
    QString error;
    if (!journal.close(error) && out.file_error.isEmpty())
        out.file_error = error;
    if (!report.isOpen())
        return;
    if (!report_csv) {
        unsigned ok = 0, failed = 0, skipped_count = 0;
        unsigned by_class[fail_class_count] = {};
        for (unsigned i = 0; i < devices; ++i) {
            const Device* d = configuration.devices.rows[i].device;
            if (skipped[i])
                ++skipped_count;
            else if (d->run_flags & Device::succeeded)
                ++ok;
            else {
                ++failed;
                ++by_class[d->fail_class < fail_class_count ? unsigned(d->fail_class)
                                                            : unsigned(fail_internal)];
            }
        }
        const int64_t wall = now_ms() - started_ms;
        QByteArray s = "{\"summary\":{\"devices\":" + QByteArray::number(devices) +
                       ",\"skipped\":" + QByteArray::number(skipped_count) +
                       ",\"attempts\":" + QByteArray::number(qulonglong(attempt_count)) +
                       ",\"results\":{\"ok\":" + QByteArray::number(ok) +
                       ",\"failed\":" + QByteArray::number(failed) + "},\"classes\":{";
        for (unsigned c = 1; c < fail_class_count; ++c) {
            if (c > 1)
                s += ',';
            s += '"';
            s += fail_class_name(c);
            s += "\":" + QByteArray::number(by_class[c]);
        }
        const double per_second = wall > 0 ? double(ok + failed) * 1000.0 / double(wall) : 0;
        s += "},\"devices_per_second\":" + QByteArray::number(per_second, 'f', 1) +
             ",\"wall_ms\":" + QByteArray::number(qlonglong(wall)) + ",\"stopped\":";
        append_json_string(s, out.stop_message);
        s += "}}\n";
        report.write(s);
    }
    if (!report.commit() && out.file_error.isEmpty())
        out.file_error = errfmt_report_write.tr().arg(args.report, report.errorString());
}

Rollout_outcome Rollout::run() {
    open_files();
    attempt.action = work.action;
    const bool plain = args.canary == 0 && args.resume.isEmpty();
    unsigned canary_rows = 0;
    bool go_on = true;
    if (args.canary) {
        for (unsigned i = 0; i < devices && canary_rows < args.canary; ++i)
            if (!skipped[i]) {
                selected[i] = 1;
                ++canary_rows;
            }
        if (canary_rows)
            go_on = pass(selected.data(), canary_rows, true);
        for (unsigned i = 0; go_on && i < devices; ++i) {
            const Device* d = configuration.devices.rows[i].device;
            if (!selected[i] || (d->run_flags & Device::succeeded) ||
                (fail_bit(d->fail_class) & args.canary_ignore))
                continue;
            const QString reason =
                errfmt_canary_stop.tr()
                    .arg(args.canary)
                    .arg(imei_to_str(d->imei), QLatin1String(fail_class_name(d->fail_class)));
            out.stopped = true;
            out.stop_message = errfmt_run_stopped.tr().arg(reason);
            leave_unserved(errfmt_device_stopped.tr().arg(reason));
            go_on = false;
        }
    }
    if (go_on) {
        unsigned rest = 0;
        for (unsigned i = 0; i < devices; ++i) {
            selected[i] = !skipped[i] && attempts[i] == 0;
            rest += selected[i];
        }
        if (plain)
            go_on = pass(nullptr, devices, true);
        else if (rest)
            go_on = pass(selected.data(), rest, true);
    }
    for (unsigned r = 0; go_on && r < args.retry; ++r) {
        unsigned again = 0;
        for (unsigned i = 0; i < devices; ++i) {
            const Device* d = configuration.devices.rows[i].device;
            selected[i] = attempts[i] != 0 && !(d->run_flags & Device::succeeded) &&
                          (fail_bit(d->fail_class) & args.retry_classes) != 0;
            again += selected[i];
        }
        if (again == 0)
            break;
        go_on = wait_retry_delay() && pass(selected.data(), again, false);
    }
    progress.clear();
    if (out.interrupted)
        leave_unserved(text_device_cancelled());
    // Devices skipped by the resumed journal succeeded in the run it records.
    for (unsigned i = 0; i < devices; ++i)
        if (skipped[i]) {
            Device* d = configuration.devices.rows[i].device;
            d->run_flags = Device::succeeded;
            d->error_text.clear();
        }
    finish_files();
    return out;
}

} // namespace

Rollout_outcome run_rollout(const Batch_args& args, const Action& action, const Journal_work& work,
                            const Params* params, Progress_line& progress) {
    Rollout r(args, action, work, params, progress);
    return r.run();
}
