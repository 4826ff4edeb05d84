#include "engine/engine.h"

#include "config/config.h"
#include "config/fail_class.h"
#include "engine/actor.h"
#include "engine/epoll_dispatcher.h"
#include "foundation/random.h"

#include <QDateTime>
#include <QDir>
#include <QTimer>
#include <new>
#include <sys/resource.h>

// Debug codes of the engine (source 10).
enum Engine_code : unsigned short {
    code_no_server = 0x0A01,
    code_thread_exception, // anything but a standard exception left the run
    code_devices_left,     // devices still pending after a run that ended without a reason
};

static Tr errtext_no_mem("engine",
                         "Работа невозможна: не удалось создать блоки управления соединениями.");
static Tr errtext_not_served("engine", "Устройство не обслужено из-за внутренней ошибки "
                                       "программы (подробности записаны в журнал).");
static Tr errfmt_fd_limit("engine",
                          "Предел числа открытых файлов процесса (%1) не позволяет открыть %2 "
                          "соединений одновременно; работа идёт через %3 соединений.");

// Descriptors kept free for the log, the event loop and whatever else the process opens.
static constexpr uint64_t fd_reserve = 64;

QString text_device_not_served() {
    return errtext_not_served.tr();
}

Engine::Engine(const Action& action, QObject* parent) : QThread(parent), action(&action) {
    // Every starter of a run gets it: thousands of sockets in one thread want epoll.
    setEventDispatcher(new Epoll_dispatcher);
}

Engine::~Engine() {
    // A thread that finished has deleted its dispatcher; one never started still holds it.
    delete eventDispatcher();
}

void Engine::device_started(Device& d) {
    d.run_start_ms = QDateTime::currentMSecsSinceEpoch();
}

void Engine::device_ended(Device& d, Fail_class fail_class) {
    d.fail_class = fail_class;
    if (observer)
        observer->device_ended(d);
}

QString Engine::cancelled_text(bool in_progress) const {
    if (!stop_text.isEmpty())
        return stop_text;
    return in_progress ? text_device_interrupted() : text_device_cancelled();
}

void Engine::user_cancel() {
    update_random_number_generator(0x0A01);
    cancel.store(1, std::memory_order_release);
    quit();
}

// Walks both lists backwards so that every stack pops its devices in configuration order.
// Devices left out of a selective run keep their results.
void Engine::prepare_servers() {
    const Servers& servers = configuration.servers;
    const Devices& devices = configuration.devices;
    unsigned d = devices.count;
    for (unsigned s = servers.count; s-- > 0;) {
        Server* server = servers.rows[s].server;
        server->state_bits &=
            static_cast<unsigned char>(~(Server::last_connect_failed | Server::reconnect_pending));
        server->active_actors = 0;
        server->open_connections.store(0, std::memory_order_relaxed);
        server->consecutive_failures = 0;
        server->pending_count = 0;
        server->pending_devices.top = nullptr;
        while (d > 0 && devices.rows[d - 1].server == s) {
            Device* device = devices.rows[--d].device;
            if (selected && !selected[d])
                continue;
            device->run_flags = 0;
            device->error_text.clear(); // no reason may survive from an earlier run
            device->fail_class = fail_none;
            device->run_row = d;
            device->run_start_ms = 0;
            server->pending_devices.push(device);
            ++server->pending_count;
        }
    }
}

static uint64_t open_descriptors() {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const uint64_t n = fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size();
    return n;
}

// Raises the open-file limit as far as allowed and caps the connections to what it permits.
uint64_t Engine::allowed_connections(uint64_t wanted) {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return wanted;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY)
        return wanted;
    const uint64_t used = open_descriptors() + fd_reserve;
    const uint64_t free = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
    if (wanted <= free)
        return wanted;
    const uint64_t allowed = free > 0 ? free : 1;
    log(errfmt_fd_limit.tr().arg(qulonglong(limit.rlim_cur)).arg(wanted).arg(allowed));
    return allowed;
}

void Engine::run() {
    try {
        if (configuration.servers.count == 0)
            throw Debug(code_no_server);
        prepare_servers();
        // Connections that can be busy at once: one per device, and no more than the cap per
        // server.
        uint64_t useful = 0;
        for (unsigned s = 0; s < configuration.servers.count; ++s) {
            const unsigned n = configuration.servers.rows[s].server->pending_count;
            useful += max_per_server && n > max_per_server ? max_per_server : n;
        }
        uint64_t count = simultaneously;
        if (count > useful)
            count = useful;
        count = allowed_connections(count);
        Actor* actors =
            count ? static_cast<Actor*>(::operator new(sizeof(Actor) * count, std::nothrow))
                  : nullptr;
        if (count && !actors) {
            error_text = errtext_no_mem.tr();
            log(error_text);
        } else {
            run_actors(actors, count);
        }
    } catch (const std::exception& e) {
        // Nothing may leave the thread: the run's error text carries it to the window.
        error_text = is_err(e) ? static_cast<const Err&>(e).message : QString::fromUtf8(e.what());
        log_exception(e, "Engine::run");
    } catch (...) {
        error_text = debug_errtext(code_thread_exception);
        log(error_text);
    }
    finish_devices();
    // Whatever way the run ended, the window gets one last signal with the final counts.
    progress_pending.store(1, std::memory_order_release);
    emit progress();
    emit run_ended();
    done.store(true, std::memory_order_release);
}

void Engine::emit_progress() {
    if (progress_timer)
        last_progress_ms = progress_clock.elapsed();
    if (progress_pending.exchange(1, std::memory_order_acq_rel) == 0)
        emit progress();
}

void Engine::signal_progress() {
    if (!progress_timer) {
        emit_progress();
        return;
    }
    if (progress_timer->isActive())
        return; // the change goes out with the signal that is due anyway
    const qint64 since = progress_clock.elapsed() - last_progress_ms;
    if (since >= progress_interval_ms)
        emit_progress();
    else
        progress_timer->start(int(progress_interval_ms - since));
}

void Engine::run_actors(Actor* actors, uint64_t count) {
    actor_count.store(count, std::memory_order_relaxed);
    QTimer tick;
    tick.setSingleShot(true);
    tick.setTimerType(Qt::PreciseTimer); // a coarse one may come a little early
    QObject::connect(&tick, &QTimer::timeout, &tick, [this] { emit_progress(); });
    progress_clock.start();
    last_progress_ms = -progress_interval_ms;
    progress_timer = &tick;
    struct Forget_timer {
        Engine* e;
        ~Forget_timer() { e->progress_timer = nullptr; }
    } forget_timer{this};
    uint64_t made = 0;
    try {
        for (; made < count; ++made)
            new (actors + made) Actor();
        depot = nullptr;
        server_cursor = configuration.servers.count - 1;
        working = count;
        for (uint64_t i = 0; i < count; ++i)
            actors[i].start(*this, i + 1);
        if (working != 0)
            exec();
    } catch (...) {
        for (uint64_t i = 0; i < made; ++i)
            actors[i].stop();
        while (made > 0)
            actors[--made].~Actor();
        ::operator delete(actors);
        throw;
    }
    for (uint64_t i = 0; i < count; ++i)
        actors[i].stop();
    while (made > 0)
        actors[--made].~Actor();
    ::operator delete(actors);
}

// Every device ends the run with its succeeded bit or a text of this run.
void Engine::finish_devices() {
    const Servers& servers = configuration.servers;
    const bool cancelled = cancel.load(std::memory_order_acquire) != 0;
    QString text;
    Fail_class fail_class = fail_internal;
    if (!error_text.isEmpty()) {
        text = error_text;
    } else if (cancelled) {
        text = cancelled_text(false);
        fail_class = fail_cancelled;
    } else {
        text = errtext_not_served.tr();
    }
    bool logged = false;
    for (unsigned s = 0; s < servers.count; ++s) {
        Server* server = servers.rows[s].server;
        while (Device* d = server->pending_devices.pop()) {
            if (!cancelled && error_text.isEmpty() && !logged) {
                log_debug(code_devices_left);
                logged = true;
            }
            --server->pending_count;
            d->error_text = text;
            failure.fetch_add(1, std::memory_order_relaxed);
            device_ended(*d, fail_class);
        }
    }
}

Server* Engine::get_next_server() {
    const Servers& servers = configuration.servers;
    const unsigned n = servers.count;
    Server* fallback = nullptr;
    unsigned fallback_row = 0;
    unsigned row = server_cursor;
    for (unsigned i = 0; i < n; ++i) {
        row = row + 1 < n ? row + 1 : 0;
        Server* s = servers.rows[row].server;
        if (s->pending_count <= s->active_actors)
            continue;
        if (max_per_server && s->active_actors >= max_per_server)
            continue;
        const unsigned char bits = s->state_bits;
        if (!(bits & (Server::last_connect_failed | Server::reconnect_pending))) {
            server_cursor = row;
            return s;
        }
        if (!(bits & Server::reconnect_pending) && !fallback) {
            fallback = s;
            fallback_row = row;
        }
    }
    if (fallback)
        server_cursor = fallback_row;
    return fallback;
}

void Engine::to_depot(Actor& actor) {
    actor.on_duty = false;
    actor.depot_next = depot;
    depot = &actor;
    if (--working == 0)
        quit();
}

void Engine::to_trash(Actor& actor) {
    actor.on_duty = false;
    --working;
    // Under a cap, parked actors may wait for the place this one leaves at its server.
    if (max_per_server && depot)
        from_depot();
    if (working == 0)
        quit();
}

void Engine::from_depot() {
    while (Actor* actor = depot) {
        depot = actor->depot_next;
        actor->depot_next = nullptr;
        actor->on_duty = true;
        const uint64_t before = working++;
        actor->dispatch();
        if (working <= before)
            break;
    }
}

QString run_engine(const Action& action, const std::function<bool(const Engine&)>& poll,
                   unsigned long poll_ms) {
    Engine engine(action);
    engine.start();
    bool cancelled = false;
    while (!engine.wait(poll_ms)) {
        if (!cancelled && poll && !poll(engine)) {
            engine.user_cancel();
            cancelled = true;
        }
    }
    engine.results_ready();
    return engine.error_text;
}

void engine_clear_translation() {
    errtext_no_mem.clear();
    errtext_not_served.clear();
    errfmt_fd_limit.clear();
}
