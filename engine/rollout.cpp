#include "engine/rollout.h"

#include "config/config.h"
#include "engine/actions.h"
#include "engine/actor.h"
#include "engine/engine.h"
#include "engine/params.h"
#include "engine/version_check.h"
#include "foundation/err.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>
#include <mutex>

// Debug codes of the rollout driver (the engine's source 10, after the engine's own).
enum Rollout_code : unsigned short {
    code_connect_tick = 0x0A10,
    code_connect_delay,
    code_connect_loop_quit,
    code_connect_pass_finished,
    code_version_param,
};

static Tr errfmt_device_stopped("rollout",
                                "Устройство не обслужено: работа остановлена, так как %1.");
static Tr errfmt_run_stopped("rollout", "Работа остановлена, так как %1.");
static Tr errfmt_version_current("engine", "Версия «%1» уже установлена, закачка не нужна.");
static Tr errfmt_version_verified("engine", "После закачки устройство сообщает ожидаемую версию "
                                            "«%1».");
static Tr errfmt_version_unread("engine", "Файл закачан, но версию прочитать не удалось: %1");

void rollout_clear_translation() {
    errfmt_device_stopped.clear();
    errfmt_run_stopped.clear();
    errfmt_version_current.clear();
    errfmt_version_verified.clear();
    errfmt_version_unread.clear();
}

const char* version_param_word(unsigned param) {
    static const char* const words[] = {"main", "modem", "gnss"};
    return param < 3 ? words[param] : "";
}

static int64_t now_ms() {
    return QDateTime::currentMSecsSinceEpoch();
}

// In the worker thread: takes the end time of every device, hands the device over to the
// main thread and stops the pass at a threshold.
class Rollout::Watch : public Device_observer {
public:
    Watch(unsigned devices, const Rollout_policy& p, QString (*text)(const Rollout_stop&))
        : end_ms(devices, 0), policy(p), stop_text(text) {
        ended.reserve(devices);
    }

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
        const Stop_cause cause = threshold_reached(policy, finished, failures);
        if (cause == Stop_cause::none)
            return;
        stop.cause = cause;
        stop.failures = failures;
        stop.finished = finished;
        stop.stop_after = policy.stop_after_failures;
        stop.stop_rate = policy.stop_rate;
        stopped = true;
        engine->stop_text = errfmt_device_stopped.tr().arg(stop_text(stop));
        engine->user_cancel();
    }

    // Written by the worker, read by the main thread once the device is handed over.
    std::vector<int64_t> end_ms;
    std::mutex mutex;
    std::vector<unsigned> ended; // rows; guarded by the mutex

    // The worker's alone while a pass runs; the main thread's between passes.
    const Rollout_policy policy;
    QString (*const stop_text)(const Rollout_stop&);
    Engine* engine = nullptr;
    bool thresholds = false;
    unsigned failures = 0, finished = 0;
    bool stopped = false;
    Rollout_stop stop;
};

Rollout::Rollout(const Rollout_setup& setup, QObject* parent)
    : QObject(parent), run_setup(setup), device_count(configuration.devices.count),
      tick_timer(new QTimer(this)), delay_timer(new QTimer(this)), row_states(device_count),
      selected(device_count, 0), by_class(fail_class_count, 0),
      server_finished_count(configuration.servers.count, 0),
      server_failed_count(configuration.servers.count, 0) {
    if (!run_setup.stop_text)
        run_setup.stop_text = rollout_stop_text;
    const Version_check& v = run_setup.version;
    const bool upload = run_setup.action && run_setup.action->kind <= Action::upload_other;
    if (upload && v.any()) {
        version_params = make_version_params();
        if (v.param >= version_params->count)
            throw Debug(code_version_param);
        // Another expected version is other work: a journal of one does not resume the other.
        run_setup.work.version =
            QStringLiteral("%1 %2").arg(QLatin1String(version_param_word(v.param)), v.expected);
        skip_current_on = v.skip_current;
        verify_on = v.verify;
        took_file.assign(device_count, 0);
    }
    watch = std::make_unique<Watch>(device_count, run_setup.policy, run_setup.stop_text);
    draining.reserve(device_count);
    tick_timer->setInterval(tick_ms);
    delay_timer->setSingleShot(true);
    if (!connect(tick_timer, &QTimer::timeout, this, &Rollout::on_tick))
        log_debug(code_connect_tick);
    if (!connect(delay_timer, &QTimer::timeout, this, &Rollout::on_delay_over))
        log_debug(code_connect_delay);
}

Rollout::~Rollout() {
    if (pass_engine) {
        pass_engine->user_cancel();
        pass_engine->wait();
        pass_engine->results_ready(); // the worker's writes before the engine is deleted
    }
}

QString Rollout::describe(const Rollout_stop& s) const {
    return run_setup.stop_text(s);
}

unsigned Rollout::failures_of(Fail_class cls) const {
    return cls < fail_class_count ? by_class[cls] : 0;
}

unsigned Rollout::server_finished(unsigned row) const {
    return row < server_finished_count.size() ? server_finished_count[row] : 0;
}

unsigned Rollout::server_failed(unsigned row) const {
    return row < server_failed_count.size() ? server_failed_count[row] : 0;
}

void Rollout::set_phase(Rollout_phase p) {
    current_phase = p;
    emit phase_changed(p);
}

void Rollout::start() {
    started_ms = now_ms();
    if (!run_setup.only.empty())
        for (unsigned i = 0; i < device_count; ++i)
            if (i >= run_setup.only.size() || !run_setup.only[i])
                row_states[i].skipped = true;
    if (!run_setup.resume.isEmpty()) {
        const QSet<QString> done = load_journal(run_setup.resume, run_setup.work, verify_on);
        const Devices& d = configuration.devices;
        const Servers& s = configuration.servers;
        for (unsigned i = 0; i < device_count; ++i) {
            const Server* server = s.rows[d.rows[i].server].server;
            if (!row_states[i].skipped &&
                done.contains(
                    journal_device_key(d.rows[i].device->imei, server->address, server->port))) {
                row_states[i].skipped = true;
                ++skipped_count;
            }
        }
        journal.open(run_setup.resume, true, run_setup.work, started_ms);
    } else if (!run_setup.journal.isEmpty()) {
        journal.open(run_setup.journal, false, run_setup.work, started_ms);
    }
    if (!run_setup.report.isEmpty())
        report.open(run_setup.report);
    attempt.action = run_setup.work.action;
    tick_timer->start();
    if (run_setup.policy.canary) {
        const unsigned n =
            select_canary(run_setup.policy, row_states.data(), device_count, selected.data());
        if (n) {
            begin_pass(Rollout_phase::canary, selected.data(), n, true);
            return;
        }
    }
    after_canary();
}

Rollout_outcome Rollout::run() {
    QEventLoop loop;
    if (!connect(this, &Rollout::finished, &loop, &QEventLoop::quit))
        log_debug(code_connect_loop_quit);
    start();
    if (!is_finished())
        loop.exec();
    return out;
}

void Rollout::cancel() {
    if (cancelled || current_phase == Rollout_phase::finished ||
        current_phase == Rollout_phase::idle)
        return;
    cancelled = true;
    out.interrupted = true;
    if (pass_engine) {
        pass_engine->user_cancel();
    } else if (current_phase == Rollout_phase::waiting) {
        delay_timer->stop();
        finish();
    }
}

void Rollout::begin_pass(Rollout_phase p, const unsigned char* rows, unsigned count,
                         bool thresholds) {
    pass_engine = std::make_unique<Engine>(*run_setup.action);
    pass_engine->observer = watch.get();
    pass_engine->max_per_server = run_setup.policy.max_per_server;
    pass_engine->selected = rows;
    if (version_params) {
        pass_engine->version_pass = p == Rollout_phase::verify ? Engine::Version_pass::verify
                                    : skip_current_on          ? Engine::Version_pass::skip
                                                               : Engine::Version_pass::none;
        pass_engine->version_params = version_params.get();
        pass_engine->version = &run_setup.version;
        // Here rather than in the worker: no allocation per device on the exchange path.
        if (pass_engine->version_pass != Engine::Version_pass::none)
            for (unsigned i = 0; i < device_count; ++i)
                if (!rows || rows[i])
                    size_values(configuration.devices.rows[i].device->values, *version_params);
    }
    watch->engine = pass_engine.get();
    watch->thresholds = thresholds;
    pass_device_count = count;
    pass_start_ms = now_ms();
    if (!connect(pass_engine.get(), &Engine::run_ended, this, &Rollout::on_pass_finished))
        log_debug(code_connect_pass_finished);
    set_phase(p);
    pass_engine->start();
    emit pass_started(pass_engine.get());
}

void Rollout::on_pass_finished() {
    pass_engine->wait();
    pass_engine->results_ready();
    drain();
    watch->engine = nullptr;
    const QString engine_error = pass_engine->error_text;
    pass_engine.reset();
    if (!cancelled && run_setup.cancel_requested && run_setup.cancel_requested()) {
        cancelled = true;
        out.interrupted = true;
    }
    if (!engine_error.isEmpty()) {
        out.engine_error = engine_error;
        finish();
        return;
    }
    if (watch->stopped) {
        stop_for(watch->stop);
        return;
    }
    if (out.interrupted) {
        leave_unserved(text_device_cancelled());
        finish();
        return;
    }
    switch (current_phase) {
    case Rollout_phase::canary:
        after_canary();
        break;
    case Rollout_phase::main:
    case Rollout_phase::retry:
        next_retry();
        break;
    default: // the verification pass is the last
        finish();
    }
}

void Rollout::stop_for(const Rollout_stop& s) {
    const QString reason = describe(s);
    out.stopped = true;
    out.stop = s;
    out.stop_message = errfmt_run_stopped.tr().arg(reason);
    leave_unserved(errfmt_device_stopped.tr().arg(reason));
    emit stopped(out.stop_message);
    finish();
}

void Rollout::after_canary() {
    if (current_phase == Rollout_phase::canary) {
        const int bad =
            canary_breaker(run_setup.policy, row_states.data(), device_count, selected.data());
        if (bad >= 0) {
            Rollout_stop s;
            s.cause = Stop_cause::canary;
            s.canary = run_setup.policy.canary;
            s.imei = configuration.devices.rows[bad].device->imei;
            s.cls = row_states[unsigned(bad)].cls;
            stop_for(s);
            return;
        }
    }
    const unsigned rest = select_main(row_states.data(), device_count, selected.data());
    // A plain run takes every device as it always did.
    if (run_setup.policy.canary == 0 && run_setup.resume.isEmpty() && run_setup.only.empty())
        begin_pass(Rollout_phase::main, nullptr, device_count, true);
    else if (rest)
        begin_pass(Rollout_phase::main, selected.data(), rest, true);
    else
        next_retry();
}

// The devices whose last attempt of this rollout put the file on them.
unsigned Rollout::select_verify() {
    unsigned n = 0;
    for (unsigned i = 0; i < device_count; ++i) {
        selected[i] = took_file[i];
        n += took_file[i];
    }
    return n;
}

void Rollout::next_retry() {
    if (retry_number >= run_setup.policy.retry_passes ||
        select_retry(run_setup.policy, row_states.data(), device_count, selected.data()) == 0) {
        if (verify_on && select_verify() != 0) {
            verify_next = true;
            const unsigned delay = run_setup.version.verify_delay_ms;
            next_pass_at_ms = now_ms() + int64_t(delay);
            set_phase(Rollout_phase::waiting);
            delay_timer->start(int(delay));
            return;
        }
        finish();
        return;
    }
    ++retry_number;
    next_pass_at_ms = now_ms() + int64_t(run_setup.policy.retry_delay_ms);
    set_phase(Rollout_phase::waiting);
    delay_timer->start(int(run_setup.policy.retry_delay_ms));
}

void Rollout::on_delay_over() {
    if (current_phase != Rollout_phase::waiting)
        return;
    if (!cancelled && run_setup.cancel_requested && run_setup.cancel_requested()) {
        cancelled = true;
        out.interrupted = true;
        finish();
        return;
    }
    if (verify_next) {
        const unsigned n = select_verify();
        verify_next = false;
        begin_pass(Rollout_phase::verify, selected.data(), n, false);
        return;
    }
    // Taken again: a device may have changed since the waiting began only by a cancel.
    const unsigned again =
        select_retry(run_setup.policy, row_states.data(), device_count, selected.data());
    begin_pass(Rollout_phase::retry, selected.data(), again, false);
}

void Rollout::on_tick() {
    if (!cancelled && run_setup.cancel_requested && run_setup.cancel_requested())
        cancel();
    if (current_phase == Rollout_phase::finished)
        return;
    drain();
    emit tick();
}

void Rollout::record(unsigned row) {
    Row_state& st = row_states[row];
    const Device_row& r = configuration.devices.rows[row];
    Device* d = r.device;
    const bool ok = (d->run_flags & Device::succeeded) != 0;
    if (st.attempts == 0) {
        ++server_finished_count[r.server];
    } else if (!st.ok) {
        --by_class[st.cls];
        --server_failed_count[r.server];
    }
    if (!ok) {
        ++by_class[d->fail_class < fail_class_count ? d->fail_class : fail_internal];
        ++server_failed_count[r.server];
    }
    ++st.attempts;
    st.ok = ok;
    st.cls = ok ? fail_none : d->fail_class;
    ++attempt_count;
    const bool verifying = current_phase == Rollout_phase::verify;
    QString& version = version_text;
    version.truncate(0);
    const bool version_known = version_params && (d->run_flags & Device::version_read) &&
                               uint64_t(d->values.size()) >= version_params->total_size;
    if (version_known) {
        const Param& param = *version_params->items[run_setup.version.param];
        param.append_shown(version, reinterpret_cast<const unsigned char*>(d->values.constData()) +
                                        param.offset);
    }
    const bool skipped = ok && (d->run_flags & Device::skipped_current);
    if (version_params) {
        took_file[row] = ok && !skipped && !verifying;
        // A succeeded device keeps the saying in its error text, for the lists to show.
        if (skipped) {
            ++skipped_current_count;
            d->error_text = errfmt_version_current.tr().arg(version);
        } else if (ok && (d->run_flags & Device::verified)) {
            ++verified_count;
            d->error_text = errfmt_version_verified.tr().arg(version);
        } else if (verifying && !ok && d->fail_class != fail_verify) {
            d->error_text = errfmt_version_unread.tr().arg(d->error_text);
        }
    }
    if (!journal.is_open() && !report.is_open())
        return;
    const Server* server = configuration.servers.rows[r.server].server;
    Attempt& a = attempt;
    a.imei = d->imei;
    a.address = server->address;
    a.port = server->port;
    a.ok = ok;
    a.fail_class = ok ? 0u : unsigned(d->fail_class);
    a.text.truncate(0);
    const Params* params = run_setup.params;
    a.skipped = skipped;
    a.version_before.truncate(0);
    a.version_after.truncate(0);
    if (version_known) {
        if (!verifying)
            a.version_before = version;
        if (verifying || skipped)
            a.version_after = version;
    }
    if (!a.ok || (version_params && !d->error_text.isEmpty())) {
        a.text = d->error_text;
    } else if (params && uint64_t(d->values.size()) >= params->total_size) {
        const auto* values = reinterpret_cast<const unsigned char*>(d->values.constData());
        for (uint64_t p = 0; p < params->count; ++p) {
            if (p)
                a.text += QLatin1Char('\t');
            params->items[p]->append_shown(a.text, values + params->items[p]->offset);
        }
    }
    a.end_ms = watch->end_ms[row];
    a.start_ms = d->run_start_ms ? d->run_start_ms : a.end_ms;
    a.attempt = st.attempts;
    if (journal.is_open()) {
        line.truncate(0);
        append_attempt_json(line, a);
        journal.add(line);
    }
    if (report.is_open())
        report.add(a, journal.is_open() ? &line : nullptr);
}

void Rollout::drain() {
    {
        std::lock_guard<std::mutex> lock(watch->mutex);
        std::swap(watch->ended, draining);
    }
    for (unsigned row : draining)
        record(row);
    draining.clear();
    QString error;
    if (out.file_error.isEmpty() && !journal.flush(false, error))
        out.file_error = error;
}

// Every device that no pass has taken yet gets the text, as cancelled.
void Rollout::leave_unserved(const QString& text) {
    const int64_t now = now_ms();
    for (unsigned i = 0; i < device_count; ++i) {
        if (row_states[i].skipped || row_states[i].attempts != 0)
            continue;
        Device* d = configuration.devices.rows[i].device;
        d->run_flags = 0;
        d->error_text = text;
        d->fail_class = fail_cancelled;
        d->run_start_ms = 0;
        watch->end_ms[i] = now;
        record(i);
    }
}

bool Rollout::left_out(unsigned row) const {
    return !run_setup.only.empty() && (row >= run_setup.only.size() || !run_setup.only[row]);
}

void Rollout::finish() {
    tick_timer->stop();
    if (out.interrupted)
        leave_unserved(text_device_cancelled());
    // Devices skipped by the resumed journal succeeded in the run it records.
    for (unsigned i = 0; i < device_count; ++i)
        if (row_states[i].skipped && !left_out(i)) {
            Device* d = configuration.devices.rows[i].device;
            d->run_flags = Device::succeeded;
            d->error_text.clear();
        }
    QString error;
    if (!journal.close(error) && out.file_error.isEmpty())
        out.file_error = error;
    if (report.is_open()) {
        Report_summary s;
        s.attempts = attempt_count;
        for (unsigned i = 0; i < device_count; ++i) {
            const Device* d = configuration.devices.rows[i].device;
            if (left_out(i))
                continue;
            ++s.devices;
            if (row_states[i].skipped)
                ++s.skipped;
            else if (d->run_flags & Device::succeeded)
                ++s.ok;
            else {
                ++s.failed;
                ++s.by_class[d->fail_class < fail_class_count ? d->fail_class : fail_internal];
            }
        }
        s.version_check = version_params != nullptr;
        s.skipped_current = skipped_current_count;
        s.verified = verified_count;
        s.wall_ms = now_ms() - started_ms;
        s.stopped = out.stop_message;
        if (!report.commit(s, error) && out.file_error.isEmpty())
            out.file_error = error;
    }
    set_phase(Rollout_phase::finished);
    emit finished();
}
