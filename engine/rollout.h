#pragma once
// The driver of a rollout: the canary, the main pass and the retry passes, each one run of the
// Engine over the devices the policy selects, with the stops of the policy, every finished
// attempt written to the journal and the report. zelmo_batch and the exchange window both use
// it. Without any rollout setting it is one run over every device, as a plain run always was.
//
// Event-driven: the driver lives in the main thread and never blocks it. start() begins the
// first pass and returns; the passes follow one another on the Engine's run_ended signal, the
// delay before a retry pass is a single-shot timer, and a timer of tick_ms records the devices
// that have ended. A window therefore keeps its event loop running:
//
//     Rollout rollout(setup, this);
//     connect(&rollout, &Rollout::pass_started, this, [&](Engine* e) { /* its progress() */ });
//     connect(&rollout, &Rollout::phase_changed, this, &Dialog_exchange::show_phase);
//     connect(&rollout, &Rollout::finished, this, &Dialog_exchange::show_results);
//     rollout.start(); // throws Err when the journal or the report cannot be opened
//     ... the cancel button calls rollout.cancel() ...
//
// A front end without a window calls run(), which does the same inside a local event loop.
// The configuration's servers and devices belong to the running pass's worker thread while a
// pass runs; between passes (phase waiting) and after finished() they are the main thread's.

#include "engine/journal.h"
#include "engine/report.h"
#include "engine/rollout_policy.h"
#include "engine/version_check.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class Action;
class Engine;
class Params;
class QTimer;

struct Rollout_setup {
    const Action* action = nullptr; // outlives the rollout
    const Params* params = nullptr; // gather: a succeeded attempt's text is its values
    Journal_work work;              // names the work in the journal's head
    Rollout_policy policy;
    // Uploads only: the version that one parameter of make_version_params() must show. With
    // skip_current a device that shows it already takes no file; with verify the devices that
    // took it are read again verify_delay_ms after the last upload pass. A skipped or verified
    // device keeps the saying in its error_text although it succeeded.
    Version_check version;
    QString journal; // a new journal there (an existing file is replaced); empty: none
    QString resume;  // a journal to resume from and append to; empty: none
    QString report;  // the report: CSV when the name ends in ".csv", else JSON Lines; empty: none
    // When not empty, one entry per device row: rows with 0 are left out of every pass and of
    // the report, and keep the results they have (a retry of some of a run's failures).
    std::vector<unsigned char> only;
    // Puts a stop in words (see rollout_stop_text, the default when null). Called in the
    // worker thread too: it may only format.
    QString (*stop_text)(const Rollout_stop&) = nullptr;
    // Asked at every tick and at the end of every pass; true cancels the rollout as cancel()
    // does (zelmo_batch asks whether Ctrl-C was pressed). Null: never.
    bool (*cancel_requested)() = nullptr;
};

// waiting: before a retry pass or, when waiting_for_verify(), before the verification pass.
enum class Rollout_phase { idle, canary, main, waiting, retry, verify, finished };

struct Rollout_outcome {
    QString engine_error;     // the run could not be made
    bool interrupted = false; // cancelled by the user
    bool stopped = false;     // by the canary or a threshold
    Rollout_stop stop;        // why, when stopped
    QString stop_message; // "Работа остановлена, так как ...", when stopped
    QString file_error;   // the journal or the report could not be written
};

class Rollout : public QObject {
    Q_OBJECT

public:
    explicit Rollout(const Rollout_setup& setup, QObject* parent = nullptr);
    // Cancels a pass that still runs and waits for its thread.
    ~Rollout() override;

    // Opens the journal (reading the resumed one first) and the report, then begins the first
    // pass and returns. Throws Err, with nothing served, when a file cannot be read or opened.
    void start();
    // start() and a local event loop until finished(); for front ends without a window.
    Rollout_outcome run();
    // The user's cancel: the running pass is cancelled (or the waiting ends), no pass follows,
    // and the devices that no pass has taken get the cancellation text.
    void cancel();

    Rollout_phase phase() const { return current_phase; }
    // The retry pass that runs or is waited for (1 to retry_passes), 0 before the first.
    unsigned retry_pass() const { return retry_number; }
    unsigned retry_passes() const { return run_setup.policy.retry_passes; }
    // While waiting: when the next pass begins (UTC milliseconds since the epoch).
    int64_t next_pass_ms() const { return next_pass_at_ms; }
    // The pass waited for is the verification pass (not a retry pass).
    bool waiting_for_verify() const {
        return current_phase == Rollout_phase::waiting && verify_next;
    }
    // The running pass's engine, for its counters and its progress() signal; null between
    // passes. Deleted when the pass ends.
    Engine* engine() const { return pass_engine.get(); }
    // Devices of the running pass.
    unsigned pass_devices() const { return pass_device_count; }
    // When the running pass began (UTC ms).
    int64_t pass_started_ms() const { return pass_start_ms; }
    bool is_finished() const { return current_phase == Rollout_phase::finished; }
    const Rollout_outcome& outcome() const { return out; }

    // Tallies of the recorded attempts (main thread; current as of the last tick): the last
    // attempt of each device counts, so a device that a retry brought is no longer a failure.
    unsigned failures_of(Fail_class cls) const;
    // Per server row of the configuration: devices finished, and failed of them.
    unsigned server_finished(unsigned server_row) const;
    unsigned server_failed(unsigned server_row) const;
    // Devices that the resumed journal records as succeeded, left out of every pass.
    unsigned skipped() const { return skipped_count; }
    // Attempts recorded so far.
    uint64_t attempts() const { return attempt_count; }
    // Devices that showed the expected version already and took no file, and devices whose
    // version the verification pass confirmed (main thread; as of the last tick).
    unsigned skipped_current() const { return skipped_current_count; }
    unsigned verified() const { return verified_count; }

    static constexpr int tick_ms = 100;

signals:
    void phase_changed(Rollout_phase phase);
    // A pass has begun over `engine` (already started).
    void pass_started(Engine* engine);
    // Every tick_ms while the rollout lasts, after the ended devices have been recorded.
    void tick();
    // The canary or a threshold stopped the run; the message as in outcome().stop_message.
    void stopped(const QString& message);
    // The rollout is over; outcome() says how, the devices hold their last results.
    void finished();

private slots:
    void on_pass_finished();
    void on_tick();
    void on_delay_over();

private:
    class Watch;
    void set_phase(Rollout_phase p);
    void begin_pass(Rollout_phase p, const unsigned char* rows, unsigned count, bool thresholds);
    void after_canary();
    void next_retry();
    void drain();
    void record(unsigned row);
    void leave_unserved(const QString& text);
    void stop_for(const Rollout_stop& s);
    void finish();
    bool left_out(unsigned row) const; // not in setup.only
    QString describe(const Rollout_stop& s) const;
    unsigned select_verify();

    Rollout_setup run_setup;
    const unsigned device_count;
    Rollout_phase current_phase = Rollout_phase::idle;
    unsigned retry_number = 0;
    int64_t next_pass_at_ms = 0;
    int64_t started_ms = 0;
    int64_t pass_start_ms = 0;
    unsigned pass_device_count = 0;
    bool cancelled = false;
    Rollout_outcome out;

    std::unique_ptr<Watch> watch;
    std::unique_ptr<Engine> pass_engine;
    QTimer* tick_timer;
    QTimer* delay_timer;

    std::vector<Row_state> row_states;
    std::vector<unsigned char> selected;
    std::vector<unsigned> draining;
    std::vector<unsigned> by_class;
    std::vector<unsigned> server_finished_count, server_failed_count;
    unsigned skipped_count = 0;
    unsigned skipped_current_count = 0, verified_count = 0;
    uint64_t attempt_count = 0;
    bool verify_next = false;
    // Uploads with a version check only.
    std::unique_ptr<Params> version_params;
    bool skip_current_on = false, verify_on = false;
    std::vector<unsigned char> took_file; // per row: the last attempt put the file on it
    QString version_text;

    Journal_writer journal;
    Report_file report;
    QByteArray line;
    Attempt attempt;
};

// The word of a version parameter in journals and on the command line: "main", "modem",
// "gnss" for 0, 1, 2; "" for another.
const char* version_param_word(unsigned param);

void rollout_clear_translation();
