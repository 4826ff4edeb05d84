#include "foundation/err.h"
#include "protocol/client_timer.h"
#include "protocol/zelmo_client.h"

#include <QElapsedTimer>
#include <QTimerEvent>
#include <QtTest>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Records the timer events it gets; optionally acts on them.
class Watch : public Zelmo_client {
public:
    explicit Watch(QStringList& log, const char* name) : log(log), name(name) {
        init(buffer, 1);
        expected_answer = current_frame_handler = unsolicited_handler = not_send;
    }
    void on_rupture(const QString&) override {}
    void on_crash(const QString&) override {}
    void timerEvent(QTimerEvent* e) override {
        log << QStringLiteral("%1:%2").arg(QLatin1String(name)).arg(e->timerId() == timer);
        if (on_fire)
            on_fire(this);
    }
    void arm(int ms) { timer = timers->start(this, ms); }
    void disarm() {
        timers->stop(this);
        timer = 0;
    }

    QStringList& log;
    const char* name;
    std::function<void(Watch*)> on_fire;
    unsigned char buffer[8];
};

} // namespace

class tst_Client_timer : public QObject {
    Q_OBJECT
private slots:
    void expiries_come_in_deadline_order();
    void restart_postpones_and_stop_cancels();
    void timer_repeats_until_stopped();
    void client_destroyed_by_its_own_expiry();
    void one_heap_per_thread_until_the_last_client_goes();
};

void tst_Client_timer::expiries_come_in_deadline_order() {
    QStringList log;
    std::vector<std::unique_ptr<Watch>> w;
    const char* names[] = {"a", "b", "c", "d", "e"};
    const int ms[] = {120, 30, 90, 60, 150};
    for (int i = 0; i < 5; ++i) {
        w.emplace_back(new Watch(log, names[i]));
        w.back()->arm(ms[i]);
        w.back()->on_fire = [](Watch* x) { x->disarm(); };
    }
    QTRY_COMPARE(log.size(), 5);
    QCOMPARE(log, QStringList({"b:1", "d:1", "c:1", "a:1", "e:1"}));
}

void tst_Client_timer::restart_postpones_and_stop_cancels() {
    QStringList log;
    Watch a(log, "a"), b(log, "b"), c(log, "c");
    a.on_fire = b.on_fire = c.on_fire = [](Watch* x) { x->disarm(); };
    a.arm(40);
    b.arm(60);
    c.arm(80);
    QTest::qWait(20);
    a.arm(100); // restarted: now the last, with a new id
    c.disarm();
    QTRY_COMPARE(log.size(), 2);
    QCOMPARE(log, QStringList({"b:1", "a:1"}));
    QTest::qWait(120);
    QCOMPARE(log.size(), 2);
}

void tst_Client_timer::timer_repeats_until_stopped() {
    QStringList log;
    Watch a(log, "a");
    a.on_fire = [](Watch* x) {
        if (x->log.size() == 3)
            x->disarm();
    };
    QElapsedTimer t;
    t.start();
    a.arm(20);
    QTRY_COMPARE(log.size(), 3);
    QVERIFY(t.elapsed() >= 60);
    QTest::qWait(60);
    QCOMPARE(log.size(), 3);
}

void tst_Client_timer::client_destroyed_by_its_own_expiry() {
    QStringList log;
    auto* doomed = new Watch(log, "doomed");
    Watch other(log, "other");
    other.on_fire = [](Watch* x) { x->disarm(); };
    doomed->on_fire = [](Watch* x) { delete x; };
    doomed->arm(10);
    other.arm(10);
    QTRY_COMPARE(log.size(), 2);
    QVERIFY(log.contains("doomed:1") && log.contains("other:1"));
}

void tst_Client_timer::one_heap_per_thread_until_the_last_client_goes() {
    QStringList log;
    auto first = std::make_unique<Watch>(log, "first");
    auto second = std::make_unique<Watch>(log, "second");
    QCOMPARE(first->timers, second->timers);
    first->arm(1000);
    second->arm(1000);
    QCOMPARE(first->timers->pending(), size_t(2));
    first.reset(); // takes its pending deadline with it
    QCOMPARE(second->timers->pending(), size_t(1));
}

QTEST_GUILESS_MAIN(tst_Client_timer)
#include "tst_client_timer.moc"
