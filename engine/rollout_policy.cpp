#include "engine/rollout_policy.h"

#include "config/collection.h"
#include "config/options.h"
#include "foundation/err.h"

static Tr fmt_canary_stop("rollout", "устройство %1 из пробной группы (%2 устр.) завершилось "
                                     "неудачей «%3»");
static Tr fmt_failures_stop("rollout", "неудачей завершились %1 устройств (порог %2)");
static Tr fmt_rate_stop("rollout", "неудачей завершились %1 из %2 устройств (порог %3%)");

void rollout_policy_clear_translation() {
    fmt_canary_stop.clear();
    fmt_failures_stop.clear();
    fmt_rate_stop.clear();
}

uint32_t default_canary_ignore() {
    return fail_bit(fail_connect) | fail_bit(fail_not_linked);
}

uint32_t default_retry_classes() {
    return fail_bit(fail_connect) | fail_bit(fail_rupture) | fail_bit(fail_timeout) |
           fail_bit(fail_not_linked);
}

Rollout_policy rollout_policy_from_options() {
    Rollout_policy p;
    p.max_per_server = max_per_server_defined ? max_per_server : 0;
    p.canary = canary_defined ? canary : 0;
    p.stop_after_failures = stop_after_failures_defined ? stop_after_failures : 0;
    p.stop_rate = stop_at_failure_rate_defined ? double(stop_at_failure_rate) : 0;
    p.retry_passes = retry_passes_defined ? retry_passes : 0;
    p.retry_delay_ms = retry_delay;
    return p;
}

unsigned select_canary(const Rollout_policy& p, const Row_state* rows, unsigned count,
                       unsigned char* selected) {
    unsigned taken = 0;
    for (unsigned i = 0; i < count; ++i) {
        selected[i] = !rows[i].skipped && taken < p.canary;
        taken += selected[i];
    }
    return taken;
}

unsigned select_main(const Row_state* rows, unsigned count, unsigned char* selected) {
    unsigned taken = 0;
    for (unsigned i = 0; i < count; ++i) {
        selected[i] = !rows[i].skipped && rows[i].attempts == 0;
        taken += selected[i];
    }
    return taken;
}

unsigned select_retry(const Rollout_policy& p, const Row_state* rows, unsigned count,
                      unsigned char* selected) {
    unsigned taken = 0;
    for (unsigned i = 0; i < count; ++i) {
        const Row_state& r = rows[i];
        selected[i] = r.attempts != 0 && !r.ok && (fail_bit(r.cls) & p.retry_classes) != 0;
        taken += selected[i];
    }
    return taken;
}

bool canary_failure_stops(const Rollout_policy& p, bool ok, Fail_class cls) {
    return !ok && (fail_bit(cls) & p.canary_ignore) == 0;
}

int canary_breaker(const Rollout_policy& p, const Row_state* rows, unsigned count,
                   const unsigned char* selected) {
    for (unsigned i = 0; i < count; ++i)
        if (selected[i] && canary_failure_stops(p, rows[i].ok, rows[i].cls))
            return int(i);
    return -1;
}

Stop_cause threshold_reached(const Rollout_policy& p, unsigned finished, unsigned failures) {
    if (p.stop_after_failures && failures >= p.stop_after_failures)
        return Stop_cause::failures;
    if (p.stop_rate > 0 && finished >= rollout_rate_minimum &&
        double(failures) * 100.0 >= p.stop_rate * double(finished))
        return Stop_cause::rate;
    return Stop_cause::none;
}

QString rollout_stop_text(const Rollout_stop& s) {
    switch (s.cause) {
    case Stop_cause::canary:
        return fmt_canary_stop.tr()
            .arg(imei_to_str(s.imei))
            .arg(s.canary)
            .arg(fail_class_display(s.cls));
    case Stop_cause::failures:
        return fmt_failures_stop.tr().arg(s.failures).arg(s.stop_after);
    case Stop_cause::rate:
        return fmt_rate_stop.tr()
            .arg(s.failures)
            .arg(s.finished)
            .arg(QString::number(s.stop_rate, 'g', 6));
    case Stop_cause::none:
        break;
    }
    return QString();
}
