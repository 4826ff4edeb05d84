#include "support/engine_run.h"

#include "engine/engine.h"

#include <QElapsedTimer>
#include <QtTest>

Run_result run_and_wait(const Action& action, int timeout_ms,
                        const std::function<void(Engine&)>& poll) {
    Run_result r;
    Engine engine(action);
    engine.start();
    QElapsedTimer clock;
    clock.start();
    while (!engine.isFinished() && clock.elapsed() < timeout_ms) {
        QTest::qWait(5);
        if (poll && !engine.isFinished())
            poll(engine);
    }
    r.finished = engine.isFinished();
    if (!r.finished)
        engine.user_cancel();
    engine.wait();
    r.finished = r.finished && engine.results_ready();
    r.error = engine.error_text;
    r.connecting = engine.connecting.load();
    r.connected = engine.connected.load();
    r.linked = engine.linked.load();
    r.authorized = engine.authorized.load();
    r.success = engine.success.load();
    r.failure = engine.failure.load();
    r.actors = engine.actor_count.load();
    return r;
}

QString counters_problem(const Run_result& r, unsigned devices) {
    QString problem;
    if (r.connecting != 0)
        problem += QStringLiteral("connecting=%1 ").arg(r.connecting);
    if (r.connected != 0)
        problem += QStringLiteral("connected=%1 ").arg(r.connected);
    if (r.success + r.failure != devices)
        problem += QStringLiteral("success=%1 failure=%2 devices=%3 ")
                       .arg(r.success)
                       .arg(r.failure)
                       .arg(devices);
    return problem;
}
