#pragma once
// The worker thread of a run: it gives every server a stack of its devices, creates the
// actors (one connection each), hands out servers round robin, parks actors that find no
// work and ends when no actor has anything left to do or the user cancels.

#include "config/fail_class.h"

#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>

class Action;
class Actor;
class Params;
struct Version_check;
class Device;
class Server;
class QTimer;

// Told of every device that a run ends, in the worker thread, once its result (succeeded
// bit or error text and failure class) is final for this run. Must not block.
class Device_observer {
public:
    virtual ~Device_observer() = default;
    virtual void device_ended(Device& device) = 0;
};

class Engine : public QThread {
    Q_OBJECT

public:
    explicit Engine(const Action& action, QObject* parent = nullptr);
    ~Engine() override;

    // Called by the actors, in the worker thread.
    Server* get_next_server();
    void to_depot(Actor& actor);
    void from_depot();
    void to_trash(Actor& actor);
    // Emits progress() unless a signal is already on its way, at most every
    // progress_interval_ms while the run lasts: a change within the interval goes out at its
    // end. Every wake-up of the window's thread costs a context switch on a busy machine.
    void signal_progress();
    static constexpr int progress_interval_ms = 50;

    const Action* action;
    QString error_text; // why the run could not be done; read after the thread has finished

    // Set before start(); the defaults make an ordinary run over every device.
    Device_observer* observer = nullptr;
    unsigned max_per_server = 0;             // connections at once to one server; 0: no cap
    const unsigned char* selected = nullptr; // per device row, non-zero: serve it; null: all
    // An upload with a version check reads the version parameter of version_params before the
    // file (skip: a device that shows version->expected takes none) or in its place (verify:
    // the pass after the upload). Set by the rollout driver; none: the upload as it always was.
    enum class Version_pass : unsigned char { none, skip, verify };
    Version_pass version_pass = Version_pass::none;
    const Params* version_params = nullptr;
    const Version_check* version = nullptr;
    // The text of the devices that a cancel leaves unserved, in place of the user's cancel;
    // set in the worker thread right before it calls user_cancel() to stop the run.
    QString stop_text;

    // Called by the actors when a device begins and when it ends with its class.
    static void device_started(Device& d);
    void device_ended(Device& d, Fail_class fail_class);
    // The text for a device that a cancel interrupted (`in_progress`) or left unserved.
    QString cancelled_text(bool in_progress) const;
    // A stop was decided in the worker thread: no actor takes another device.
    bool stopping() const { return !stop_text.isEmpty(); }

    // Changed by the actors, read by the exchange window while the run lasts.
    std::atomic<uint32_t> connecting{0};
    std::atomic<uint32_t> connected{0};
    std::atomic<uint32_t> linked{0};
    std::atomic<uint32_t> authorized{0};
    std::atomic<uint32_t> success{0};
    std::atomic<uint32_t> failure{0};
    std::atomic<unsigned char> progress_pending{0};
    std::atomic<unsigned char> cancel{0};

    unsigned server_cursor = 0; // row of the server chosen last
    uint64_t working = 0;       // actors neither parked nor retired
    Actor* depot = nullptr;
    std::atomic<uint64_t> actor_count{0}; // of the current run

    // True once run() has ended. Whoever reads the error text or the devices' results after
    // the thread has finished asks this first: it orders those reads after the thread's
    // writes in a way that every checker of the memory model sees.
    bool results_ready() const { return done.load(std::memory_order_acquire); }

signals:
    void progress();
    // Emitted in the worker at the end of run(), right before results_ready() turns true; the
    // thread finishes just after. A receiver in another thread wait()s and asks results_ready(),
    // which orders the worker's writes, this signal's queued call included, before whatever it
    // does next. QThread::finished comes after that point, its queued calls ordered by Qt's own
    // lock alone, which TSan cannot see: a driver that deletes the engine listens to this one.
    void run_ended();

public slots:
    void user_cancel();

    // The two ends of run(), public for harnesses that drive an actor without the thread:
    // give every server the stack of its devices and clear the devices' results; give every
    // device still on a stack its text.
    void prepare_servers();
    void finish_devices();

protected:
    void run() override;

private:
    std::atomic<bool> done{false};
    // Worker thread only: the run's coalescing timer (null outside run()) and the time of the
    // last signal.
    QTimer* progress_timer = nullptr;
    QElapsedTimer progress_clock;
    qint64 last_progress_ms = 0;
    void emit_progress();
    uint64_t allowed_connections(uint64_t wanted);
    void run_actors(Actor* actors, uint64_t count);
};

// The text of a device that the run could not reach because of an internal error.
QString text_device_not_served();

// Runs the action over the configuration in an engine thread and returns when the thread has
// finished, without any window. `poll` is called in the calling thread about every poll_ms
// milliseconds while the run lasts; returning false cancels the run. Returns the engine's
// error text (empty when the run could be made); the results are in the devices.
QString run_engine(const Action& action, const std::function<bool(const Engine&)>& poll,
                   unsigned long poll_ms = 100);

void engine_clear_translation();
