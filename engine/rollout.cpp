#include "engine/rollout.h"

#include "config/config.h"
#include "engine/actor.h"
#include "engine/engine.h"
#include "engine/params.h"
#include "foundation/err.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>
#include <mutex>

static Tr errfmt_device_stopped("rollout",
                                "Устройство не обслужено: работа остановлена, так как %1.");
static Tr errfmt_run_stopped("rollout", "Работа остановлена, так как %1.");

void rollout_clear_translation() {
    errfmt_device_stopped.clear();
    errfmt_run_stopped.clear();
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
    : QObject(parent), setup_(setup), devices_(configuration.devices.count),
      tick_timer_(new QTimer(this)), delay_timer_(new QTimer(this)), rows_(devices_),
      selected_(devices_, 0), by_class_(fail_class_count, 0),
      server_finished_(configuration.servers.count, 0),
      server_failed_(configuration.servers.count, 0) {
    if (!setup_.stop_text)
        setup_.stop_text = rollout_stop_text;
    watch_ = std::make_unique<Watch>(devices_, setup_.policy, setup_.stop_text);
    draining_.reserve(devices_);
    tick_timer_->setInterval(tick_ms);
    delay_timer_->setSingleShot(true);
    if (!connect(tick_timer_, &QTimer::timeout, this, &Rollout::on_tick))
        log_debug(0x0A10);
    if (!connect(delay_timer_, &QTimer::timeout, this, &Rollout::on_delay_over))
        log_debug(0x0A10);
}

Rollout::~Rollout() {
    if (engine_) {
        engine_->user_cancel();
        engine_->wait();
    }
}

QString Rollout::describe(const Rollout_stop& s) const {
    return setup_.stop_text(s);
}

unsigned Rollout::failures_of(Fail_class cls) const {
    return cls < fail_class_count ? by_class_[cls] : 0;
}

unsigned Rollout::server_finished(unsigned row) const {
    return row < server_finished_.size() ? server_finished_[row] : 0;
}

unsigned Rollout::server_failed(unsigned row) const {
    return row < server_failed_.size() ? server_failed_[row] : 0;
}

void Rollout::set_phase(Rollout_phase p) {
    phase_ = p;
    emit phase_changed(p);
}

void Rollout::start() {
    started_ms_ = now_ms();
    if (!setup_.only.empty())
        for (unsigned i = 0; i < devices_; ++i)
            if (i >= setup_.only.size() || !setup_.only[i])
                rows_[i].skipped = true;
    if (!setup_.resume.isEmpty()) {
        const QSet<QString> done = load_journal(setup_.resume, setup_.work);
        const Devices& d = configuration.devices;
        const Servers& s = configuration.servers;
        for (unsigned i = 0; i < devices_; ++i) {
            const Server* server = s.rows[d.rows[i].server].server;
            if (!rows_[i].skipped && done.contains(journal_device_key(
                                         d.rows[i].device->imei, server->address, server->port))) {
                rows_[i].skipped = true;
                ++skipped_count_;
            }
        }
        journal_.open(setup_.resume, true, setup_.work, started_ms_);
    } else if (!setup_.journal.isEmpty()) {
        journal_.open(setup_.journal, false, setup_.work, started_ms_);
    }
    if (!setup_.report.isEmpty())
        report_.open(setup_.report);
    attempt_.action = setup_.work.action;
    tick_timer_->start();
    if (setup_.policy.canary) {
        const unsigned n = select_canary(setup_.policy, rows_.data(), devices_, selected_.data());
        if (n) {
            begin_pass(Rollout_phase::canary, selected_.data(), n, true);
            return;
        }
    }
    after_canary();
}

Rollout_outcome Rollout::run() {
    QEventLoop loop;
    if (!connect(this, &Rollout::finished, &loop, &QEventLoop::quit))
        log_debug(0x0A11);
    start();
    if (!is_finished())
        loop.exec();
    return out_;
}

void Rollout::cancel() {
    if (cancelled_ || phase_ == Rollout_phase::finished || phase_ == Rollout_phase::idle)
        return;
    cancelled_ = true;
    out_.interrupted = true;
    if (engine_) {
        engine_->user_cancel();
    } else if (phase_ == Rollout_phase::waiting) {
        delay_timer_->stop();
        finish();
    }
}

void Rollout::begin_pass(Rollout_phase p, const unsigned char* rows, unsigned count,
                         bool thresholds) {
    engine_ = std::make_unique<Engine>(*setup_.action);
    engine_->observer = watch_.get();
    engine_->max_per_server = setup_.policy.max_per_server;
    engine_->selected = rows;
    watch_->engine = engine_.get();
    watch_->thresholds = thresholds;
    pass_devices_ = count;
    pass_started_ms_ = now_ms();
    if (!connect(engine_.get(), &QThread::finished, this, &Rollout::on_pass_finished))
        log_debug(0x0A12);
    set_phase(p);
    engine_->start();
    emit pass_started(engine_.get());
}

void Rollout::on_pass_finished() {
    engine_->wait();
    engine_->results_ready();
    drain();
    watch_->engine = nullptr;
    const QString engine_error = engine_->error_text;
    engine_.reset();
    if (!cancelled_ && setup_.cancel_requested && setup_.cancel_requested()) {
        cancelled_ = true;
        out_.interrupted = true;
    }
    if (!engine_error.isEmpty()) {
        out_.engine_error = engine_error;
        finish();
        return;
    }
    if (watch_->stopped) {
        stop_for(watch_->stop);
        return;
    }
    if (out_.interrupted) {
        leave_unserved(text_device_cancelled());
        finish();
        return;
    }
    switch (phase_) {
    case Rollout_phase::canary:
        after_canary();
        break;
    case Rollout_phase::main:
    case Rollout_phase::retry:
        next_retry();
        break;
    default:
        finish();
    }
}

void Rollout::stop_for(const Rollout_stop& s) {
    const QString reason = describe(s);
    out_.stopped = true;
    out_.stop = s;
    out_.stop_message = errfmt_run_stopped.tr().arg(reason);
    leave_unserved(errfmt_device_stopped.tr().arg(reason));
    emit stopped(out_.stop_message);
    finish();
}

void Rollout::after_canary() {
    if (phase_ == Rollout_phase::canary) {
        const int bad = canary_breaker(setup_.policy, rows_.data(), devices_, selected_.data());
        if (bad >= 0) {
            Rollout_stop s;
            s.cause = Stop_cause::canary;
            s.canary = setup_.policy.canary;
            s.imei = configuration.devices.rows[bad].device->imei;
            s.cls = rows_[unsigned(bad)].cls;
            stop_for(s);
            return;
        }
    }
    const unsigned rest = select_main(rows_.data(), devices_, selected_.data());
    // A plain run takes every device as it always did.
    if (setup_.policy.canary == 0 && setup_.resume.isEmpty() && setup_.only.empty())
        begin_pass(Rollout_phase::main, nullptr, devices_, true);
    else if (rest)
        begin_pass(Rollout_phase::main, selected_.data(), rest, true);
    else
        next_retry();
}

void Rollout::next_retry() {
    if (retry_ >= setup_.policy.retry_passes ||
        select_retry(setup_.policy, rows_.data(), devices_, selected_.data()) == 0) {
        finish();
        return;
    }
    ++retry_;
    next_pass_ms_ = now_ms() + int64_t(setup_.policy.retry_delay_ms);
    set_phase(Rollout_phase::waiting);
    delay_timer_->start(int(setup_.policy.retry_delay_ms));
}

void Rollout::on_delay_over() {
    if (phase_ != Rollout_phase::waiting)
        return;
    if (!cancelled_ && setup_.cancel_requested && setup_.cancel_requested()) {
        cancelled_ = true;
        out_.interrupted = true;
        finish();
        return;
    }
    // Taken again: a device may have changed since the waiting began only by a cancel.
    const unsigned again = select_retry(setup_.policy, rows_.data(), devices_, selected_.data());
    begin_pass(Rollout_phase::retry, selected_.data(), again, false);
}

void Rollout::on_tick() {
    if (!cancelled_ && setup_.cancel_requested && setup_.cancel_requested())
        cancel();
    if (phase_ == Rollout_phase::finished)
        return;
    drain();
    emit tick();
}

void Rollout::record(unsigned row) {
    Row_state& st = rows_[row];
    const Device_row& r = configuration.devices.rows[row];
    Device* d = r.device;
    const bool ok = (d->run_flags & Device::succeeded) != 0;
    if (st.attempts == 0) {
        ++server_finished_[r.server];
    } else if (!st.ok) {
        --by_class_[st.cls];
        --server_failed_[r.server];
    }
    if (!ok) {
        ++by_class_[d->fail_class < fail_class_count ? d->fail_class : fail_internal];
        ++server_failed_[r.server];
    }
    ++st.attempts;
    st.ok = ok;
    st.cls = ok ? fail_none : d->fail_class;
    ++attempt_count_;
    if (!journal_.is_open() && !report_.is_open())
        return;
    const Server* server = configuration.servers.rows[r.server].server;
    Attempt& a = attempt_;
    a.imei = d->imei;
    a.address = server->address;
    a.port = server->port;
    a.ok = ok;
    a.fail_class = ok ? 0u : unsigned(d->fail_class);
    a.text.truncate(0);
    const Params* params = setup_.params;
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
    a.end_ms = watch_->end_ms[row];
    a.start_ms = d->run_start_ms ? d->run_start_ms : a.end_ms;
    a.attempt = st.attempts;
    if (journal_.is_open()) {
        line_.truncate(0);
        append_attempt_json(line_, a);
        journal_.add(line_);
    }
    if (report_.is_open())
        report_.add(a, journal_.is_open() ? &line_ : nullptr);
}

void Rollout::drain() {
    {
        std::lock_guard<std::mutex> lock(watch_->mutex);
        std::swap(watch_->ended, draining_);
    }
    for (unsigned row : draining_)
        record(row);
    draining_.clear();
    QString error;
    if (out_.file_error.isEmpty() && !journal_.flush(false, error))
        out_.file_error = error;
}

// Every device that no pass has taken yet gets the text, as cancelled.
void Rollout::leave_unserved(const QString& text) {
    const int64_t now = now_ms();
    for (unsigned i = 0; i < devices_; ++i) {
        if (rows_[i].skipped || rows_[i].attempts != 0)
            continue;
        Device* d = configuration.devices.rows[i].device;
        d->run_flags = 0;
        d->error_text = text;
        d->fail_class = fail_cancelled;
        d->run_start_ms = 0;
        watch_->end_ms[i] = now;
        record(i);
    }
}

bool Rollout::left_out(unsigned row) const {
    return !setup_.only.empty() && (row >= setup_.only.size() || !setup_.only[row]);
}

void Rollout::finish() {
    tick_timer_->stop();
    if (out_.interrupted)
        leave_unserved(text_device_cancelled());
    // Devices skipped by the resumed journal succeeded in the run it records.
    for (unsigned i = 0; i < devices_; ++i)
        if (rows_[i].skipped && !left_out(i)) {
            Device* d = configuration.devices.rows[i].device;
            d->run_flags = Device::succeeded;
            d->error_text.clear();
        }
    QString error;
    if (!journal_.close(error) && out_.file_error.isEmpty())
        out_.file_error = error;
    if (report_.is_open()) {
        Report_summary s;
        s.attempts = attempt_count_;
        for (unsigned i = 0; i < devices_; ++i) {
            const Device* d = configuration.devices.rows[i].device;
            if (left_out(i))
                continue;
            ++s.devices;
            if (rows_[i].skipped)
                ++s.skipped;
            else if (d->run_flags & Device::succeeded)
                ++s.ok;
            else {
                ++s.failed;
                ++s.by_class[d->fail_class < fail_class_count ? d->fail_class : fail_internal];
            }
        }
        s.wall_ms = now_ms() - started_ms_;
        s.stopped = out_.stop_message;
        if (!report_.commit(s, error) && out_.file_error.isEmpty())
            out_.file_error = error;
    }
    set_phase(Rollout_phase::finished);
    emit finished();
}
