#pragma once
// Runs an action over the global configuration in an engine thread while the test's own
// event loop keeps running (so that in-process peers and timers of the test go on).

#include <QString>
#include <functional>

class Action;
class Engine;

struct Run_result {
    QString error;
    quint32 connecting = 0, connected = 0, linked = 0, authorized = 0, success = 0, failure = 0;
    quint64 actors = 0;
    bool finished = false;
};

// `poll` is called about every 5 ms in the test's thread while the run lasts (it may cancel
// the run through Engine::user_cancel). On a time-out the run is cancelled and waited for.
Run_result run_and_wait(const Action& action, int timeout_ms = 30000,
                        const std::function<void(Engine&)>& poll = {});

// Empty when the counters of a finished run are consistent: no connection left counted and
// every device counted once; otherwise what is wrong.
QString counters_problem(const Run_result& r, unsigned devices);
