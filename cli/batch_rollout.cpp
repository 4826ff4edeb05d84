#include "cli/batch_rollout.h"

#include "cli/batch_output.h"
#include "cli/batch_signal.h"
#include "config/config.h"
#include "engine/engine.h"
#include "foundation/err.h"

#include <QDateTime>

static Tr fmt_progress("batch", "TCP: устанавливается %1, установлено %2; подключено %3, "
                                "авторизовано %4, успешно %5, неудачно %6; готово %7 из %8");
static Tr fmt_rate("batch", "; %1 устр./с, осталось %2");
static Tr fmt_verify_wait("batch", "Проверка версии начнётся через %1 с.");
static Tr errfmt_canary_stop("batch", "устройство %2 из пробной группы (--canary %1) "
                                      "завершилось неудачей класса %3");
static Tr errfmt_failures_stop("batch", "неудачей завершились %1 устройств (порог "
                                        "--stop-after-failures %2)");
static Tr errfmt_rate_stop("batch", "неудачей завершились %1 из %2 устройств (порог "
                                    "--stop-at-failure-rate %3%)");

void batch_rollout_clear_translation() {
    fmt_progress.clear();
    fmt_rate.clear();
    fmt_verify_wait.clear();
    errfmt_canary_stop.clear();
    errfmt_failures_stop.clear();
    errfmt_rate_stop.clear();
}

namespace {

int64_t now_ms() {
    return QDateTime::currentMSecsSinceEpoch();
}

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

// The reasons name the flags that set the limits.
QString stop_text(const Rollout_stop& s) {
    switch (s.cause) {
    case Stop_cause::canary:
        return errfmt_canary_stop.tr().arg(s.canary).arg(imei_to_str(s.imei),
                                                         QLatin1String(fail_class_name(s.cls)));
    case Stop_cause::failures:
        return errfmt_failures_stop.tr().arg(s.failures).arg(s.stop_after);
    case Stop_cause::rate:
        return errfmt_rate_stop.tr()
            .arg(s.failures)
            .arg(s.finished)
            .arg(QString::number(s.stop_rate, 'g', 6));
    case Stop_cause::none:
        break;
    }
    return QString();
}

} // namespace

Rollout_policy batch_rollout_policy(const Batch_args& a) {
    Rollout_policy p = rollout_policy_from_options();
    if (!a.max_per_server_text.isEmpty())
        p.max_per_server = a.max_per_server;
    if (!a.canary_text.isEmpty())
        p.canary = a.canary;
    if (!a.canary_ignore_text.isEmpty())
        p.canary_ignore = a.canary_ignore;
    if (!a.stop_after_failures_text.isEmpty())
        p.stop_after_failures = a.stop_after_failures;
    if (!a.stop_rate_text.isEmpty())
        p.stop_rate = a.stop_rate;
    if (!a.retry_text.isEmpty())
        p.retry_passes = a.retry;
    if (!a.retry_delay_text.isEmpty())
        p.retry_delay_ms = a.retry_delay * 1000u;
    if (!a.retry_classes_text.isEmpty())
        p.retry_classes = a.retry_classes;
    return p;
}

Rollout_outcome run_rollout(const Batch_args& args, const Action& action, const Journal_work& work,
                            const Params* params, Progress_line& progress) {
    Rollout_setup setup;
    setup.action = &action;
    setup.params = params;
    setup.work = work;
    setup.policy = batch_rollout_policy(args);
    setup.version.expected = args.expect_version;
    setup.version.param = args.version_param;
    setup.version.skip_current = args.skip_current;
    setup.version.verify = args.verify;
    setup.version.verify_delay_ms =
        args.verify_delay_text.isEmpty() ? verify_delay : args.verify_delay * 1000u;
    setup.journal = args.journal;
    setup.resume = args.resume;
    setup.report = args.report;
    setup.stop_text = stop_text;
    // A reader that went away stops the run as Ctrl-C does: the files are still written.
    setup.cancel_requested = [] { return sigint_received() || stdout_closed(); };
    Rollout rollout(setup);
    QObject::connect(&rollout, &Rollout::tick, [&] {
        if (const Engine* e = rollout.engine()) {
            progress.show(progress_text(*e, rollout.pass_devices(), rollout.pass_started_ms()));
        } else if (rollout.waiting_for_verify()) {
            const int64_t left = rollout.next_pass_ms() - now_ms();
            progress.show(fmt_verify_wait.tr().arg(left > 0 ? (left + 999) / 1000 : 0));
        }
    });
    const Rollout_outcome out = rollout.run();
    progress.clear();
    return out;
}
