#pragma once
// The decisions of a rollout as plain functions over plain data, apart from any engine, socket
// or window: which devices form the canary, whether a canary failure or a failure threshold
// stops the run, which failed devices a retry pass takes. The driver (engine/rollout.h) applies
// them; zelmo_batch and the desktop fill the same Rollout_policy, the desktop from the
// configuration's options, zelmo_batch from them and then from its command line.

#include "config/fail_class.h"

#include <QString>
#include <cstdint>

// Below this many finished devices a failure rate says too little to stop on.
constexpr unsigned rollout_rate_minimum = 50;

// The classes that a canary failure may have without stopping the run, and those retried, when
// nobody names others.
uint32_t default_canary_ignore();
uint32_t default_retry_classes();

struct Rollout_policy {
    unsigned max_per_server = 0; // connections at once to one server; 0: no cap
    unsigned canary = 0;         // devices of the trial group served first; 0: none
    uint32_t canary_ignore = default_canary_ignore(); // fail_bit()s that do not stop a canary
    unsigned stop_after_failures = 0;                 // failed devices that stop the run; 0: never
    double stop_rate = 0;           // per cent of failed devices that stops the run; 0: never
    unsigned retry_passes = 0;      // passes over the retryable failures; 0: none
    unsigned retry_delay_ms = 5000; // before each retry pass
    uint32_t retry_classes = default_retry_classes(); // fail_bit()s a retry pass takes

    // Anything beyond one plain pass over every device (the journal aside).
    bool any() const {
        return max_per_server || canary || stop_after_failures || stop_rate > 0 || retry_passes;
    }
};

// The policy that the options of the configuration state (options.h); the class lists keep
// their defaults.
Rollout_policy rollout_policy_from_options();

// What the policy needs to know of one device row of a rollout.
struct Row_state {
    bool skipped = false;        // succeeded in the journal that the run resumes: not served
    unsigned short attempts = 0; // attempts made so far by this rollout
    bool ok = false;             // the last attempt succeeded
    Fail_class cls = fail_none;  // the last attempt's class when it failed
};

// Each select_ function sets selected[i] to 1 for the rows it takes and 0 for the others, and
// returns how many it took.

// The canary: the first policy.canary rows, in configuration order, that are not skipped.
unsigned select_canary(const Rollout_policy& p, const Row_state* rows, unsigned count,
                       unsigned char* selected);
// The main pass: every row neither skipped nor attempted yet.
unsigned select_main(const Row_state* rows, unsigned count, unsigned char* selected);
// A retry pass: every attempted row whose last attempt failed with a class of retry_classes.
unsigned select_retry(const Rollout_policy& p, const Row_state* rows, unsigned count,
                      unsigned char* selected);

// Whether one canary device's result stops the run.
bool canary_failure_stops(const Rollout_policy& p, bool ok, Fail_class cls);
// The first row of the canary (`selected`) whose result stops the run, or -1.
int canary_breaker(const Rollout_policy& p, const Row_state* rows, unsigned count,
                   const unsigned char* selected);

enum class Stop_cause { none, canary, failures, rate };

// Whether `failures` failed devices out of `finished` reach a threshold: the count at once,
// the rate only from rollout_rate_minimum finished devices on. The count is looked at first.
Stop_cause threshold_reached(const Rollout_policy& p, unsigned finished, unsigned failures);

// Why a rollout stopped, for the front ends to put in their words.
struct Rollout_stop {
    Stop_cause cause = Stop_cause::none;
    unsigned canary = 0;        // canary: the size of the trial group
    uint64_t imei = 0;          // canary: the device that failed
    Fail_class cls = fail_none; // canary: its class
    unsigned failures = 0;      // thresholds: failed devices so far
    unsigned finished = 0;      // rate: finished devices so far
    unsigned stop_after = 0;    // failures: the threshold
    double stop_rate = 0;       // rate: the threshold in per cent
};

// The reason as a clause that follows "так как" ("устройство ... из пробной группы завершилось
// неудачей «тайм-аут»"), in the desktop's words: names of the options' captions and of the
// classes for people. Only formats, so the worker thread may call it.
QString rollout_stop_text(const Rollout_stop& s);

void rollout_policy_clear_translation();
