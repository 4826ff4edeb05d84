#include "engine/epoll_dispatcher.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A thread on the epoll dispatcher that runs a body, or a plain event loop without one.
class Worker : public QThread {
public:
    explicit Worker(std::function<void()> body = {}) : body(std::move(body)) {
        setEventDispatcher(new Epoll_dispatcher);
    }
    ~Worker() override {
        quit();
        wait();
        // QThread::wait() orders the thread's end by a lock TSan cannot see; this shows it.
        done.load(std::memory_order_acquire);
    }
    std::atomic<bool> on_epoll{false};

protected:
    void run() override {
        on_epoll = qobject_cast<Epoll_dispatcher*>(QAbstractEventDispatcher::instance()) != nullptr;
        if (body)
            body();
        else
            exec();
        done.store(true, std::memory_order_release);
    }

private:
    std::function<void()> body;
    std::atomic<bool> done{false};
};

// Runs body in a worker and waits for it; false if the worker did not finish.
bool run_in_worker(const std::function<void()>& body, bool* on_epoll = nullptr) {
    Worker w(body);
    w.start();
    const bool finished = w.wait(10000);
    if (on_epoll)
        *on_epoll = w.on_epoll;
    return finished;
}

void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Pair {
    int fd[2] = {-1, -1};
    Pair() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fd); }
    ~Pair() {
        for (int f : fd)
            if (f >= 0)
                close(f);
    }
};

class Receiver : public QObject {
    Q_OBJECT

public:
    std::atomic<int> events{0};
    std::atomic<int> calls{0};
    std::atomic<bool> in_worker{true};
    QThread* worker = nullptr;
    // Counts posted QEvent::User events without reading them: the event crosses threads
    // under Qt's own lock, which TSan does not see.
    void customEvent(QEvent*) override { events.fetch_add(1, std::memory_order_relaxed); }

public slots:
    void queued_call() {
        if (QThread::currentThread() != worker)
            in_worker = false;
        calls.fetch_add(1, std::memory_order_relaxed);
    }
};

// A direct watcher that counts its reports and runs `on_ready` on each.
struct Direct : Fd_handler {
    int reports = 0;
    uint32_t seen = 0; // every bit reported
    std::function<void()> on_ready;
    void fd_ready(uint32_t what) override {
        ++reports;
        seen |= what;
        if (on_ready)
            on_ready();
    }
};

} // namespace

class tst_Epoll_dispatcher : public QObject {
    Q_OBJECT

private slots:
    void socket_notifiers_data();
    void socket_notifiers();
    void reused_descriptor_is_watched_again();
    void excluded_socket_notifiers_wait();
    void direct_watch_across_reconnects_data();
    void direct_watch_across_reconnects();
    void timers_data();
    void timers();
    void remaining_time();
    void posted_events_data();
    void posted_events();
    void wake_up_and_interrupt_data();
    void wake_up_and_interrupt();
    void quit_from_another_thread();
};

void tst_Epoll_dispatcher::socket_notifiers_data() {
    QTest::addColumn<bool>("watch_read");
    QTest::addColumn<bool>("watch_write");
    QTest::addColumn<bool>("drop_write");
    QTest::addColumn<bool>("disable_read");
    QTest::addColumn<QByteArray>("peer"); // "write", "close" or ""
    QTest::addColumn<bool>("want_read");
    QTest::addColumn<bool>("want_write");

    QTest::newRow("data from the peer fires read")
        << true << false << false << false << QByteArray("write") << true << false;
    QTest::newRow("a silent peer leaves read quiet")
        << true << false << false << false << QByteArray() << false << false;
    QTest::newRow("an empty send buffer fires write")
        << false << true << false << false << QByteArray() << false << true;
    QTest::newRow("read and write on one socket both fire")
        << true << true << false << false << QByteArray("write") << true << true;
    QTest::newRow("dropping write keeps read watched")
        << true << true << true << false << QByteArray("write") << true << false;
    QTest::newRow("a disabled read stays quiet")
        << true << false << false << true << QByteArray("write") << false << false;
    QTest::newRow("the peer closing fires read")
        << true << false << false << false << QByteArray("close") << true << false;
}

void tst_Epoll_dispatcher::socket_notifiers() {
    QFETCH(bool, watch_read);
    QFETCH(bool, watch_write);
    QFETCH(bool, drop_write);
    QFETCH(bool, disable_read);
    QFETCH(QByteArray, peer);
    QFETCH(bool, want_read);
    QFETCH(bool, want_write);

    Pair pair;
    QVERIFY(pair.fd[0] >= 0);
    int reads = 0, writes = 0;
    bool on_epoll = false, wrote = true;
    const bool finished = run_in_worker(
        [&] {
            QSocketNotifier* r = nullptr;
            QSocketNotifier* w = nullptr;
            if (watch_read) {
                r = new QSocketNotifier(pair.fd[0], QSocketNotifier::Read);
                QObject::connect(r, &QSocketNotifier::activated, [&] {
                    char buf[64];
                    if (read(pair.fd[0], buf, sizeof buf) <= 0)
                        r->setEnabled(false); // end of stream stays readable
                    ++reads;
                });
            }
            if (watch_write) {
                w = new QSocketNotifier(pair.fd[0], QSocketNotifier::Write);
                QObject::connect(w, &QSocketNotifier::activated, [&] {
                    ++writes;
                    w->setEnabled(false);
                });
            }
            if (drop_write)
                delete w;
            if (disable_read)
                r->setEnabled(false);
            if (peer == "write")
                wrote = write(pair.fd[1], "x", 1) == 1;
            else if (peer == "close") {
                close(pair.fd[1]);
                pair.fd[1] = -1;
            }
            spin(50);
            delete r;
            if (!drop_write)
                delete w;
        },
        &on_epoll);
    QVERIFY(finished);
    QVERIFY(on_epoll);
    QVERIFY(wrote);
    QCOMPARE(reads > 0, want_read);
    QCOMPARE(writes > 0, want_write);
}

void tst_Epoll_dispatcher::reused_descriptor_is_watched_again() {
    // A socket closed under a live notifier leaves the kernel's interest set on its own; a new
    // socket with the same number must still be watched.
    int writes = 0;
    int first = -1, second = -1;
    const bool finished = run_in_worker([&] {
        Pair old;
        first = old.fd[0];
        QSocketNotifier stale(old.fd[0], QSocketNotifier::Read);
        spin(5);
        close(old.fd[0]);
        old.fd[0] = -1;
        Pair fresh;
        second = fresh.fd[0];
        QSocketNotifier n(fresh.fd[0], QSocketNotifier::Write);
        QObject::connect(&n, &QSocketNotifier::activated, [&] {
            ++writes;
            n.setEnabled(false);
        });
        spin(50);
    });
    QVERIFY(finished);
    QCOMPARE(second, first);
    QCOMPARE(writes, 1);
}

void tst_Epoll_dispatcher::excluded_socket_notifiers_wait() {
    Pair pair;
    int reads_excluded = -1, reads_after = -1;
    const bool finished = run_in_worker([&] {
        Epoll_dispatcher* d = static_cast<Epoll_dispatcher*>(QAbstractEventDispatcher::instance());
        int reads = 0;
        QSocketNotifier n(pair.fd[0], QSocketNotifier::Read);
        QObject::connect(&n, &QSocketNotifier::activated, [&] {
            char buf[8];
            if (read(pair.fd[0], buf, sizeof buf) > 0)
                ++reads;
        });
        if (write(pair.fd[1], "z", 1) != 1)
            return;
        QTimer::singleShot(30, [] {});
        // Waits for the timer rather than waking on the ready socket.
        d->processEvents(QEventLoop::ExcludeSocketNotifiers | QEventLoop::WaitForMoreEvents);
        reads_excluded = reads;
        d->processEvents(QEventLoop::AllEvents);
        reads_after = reads;
    });
    QVERIFY(finished);
    QCOMPARE(reads_excluded, 0);
    QCOMPARE(reads_after, 1);
}

// A link closes its socket without taking it out of epoll (the close does that) and opens the
// next connection, which usually gets the same descriptor number: the new socket must be
// watched, and nothing of the old one may reach the new handler.
void tst_Epoll_dispatcher::direct_watch_across_reconnects_data() {
    QTest::addColumn<bool>("inside_report"); // reopened from the old socket's report
    QTest::addColumn<bool>("new_reads");     // the new socket is watched for reading, else writing

    QTest::newRow("reopened from the old socket's report, watched for writing") << true << false;
    QTest::newRow("reopened from the old socket's report, watched for reading") << true << true;
    QTest::newRow("reopened between turns of the loop, watched for reading") << false << true;
}

void tst_Epoll_dispatcher::direct_watch_across_reconnects() {
    QFETCH(bool, inside_report);
    QFETCH(bool, new_reads);

    Direct old_handler, new_handler;
    int first = -1, second = -1;
    bool on_poller = false, wrote = false;
    const bool finished = run_in_worker([&] {
        Fd_poller* poller = Fd_poller::current();
        on_poller = poller != nullptr;
        if (!poller)
            return;
        Pair old_pair;
        Pair* fresh = nullptr;
        first = old_pair.fd[0];
        const auto reopen = [&] {
            if (fresh)
                return;
            poller->closing(old_pair.fd[0]);
            close(old_pair.fd[0]);
            old_pair.fd[0] = -1;
            fresh = new Pair;
            second = fresh->fd[0];
            // Data waits on the new socket too: a report of it may only go to the new handler.
            wrote = write(fresh->fd[1], "n", 1) == 1;
            poller->watch(fresh->fd[0], new_reads, !new_reads, &new_handler);
        };
        // Watched for writing, it goes on to reading; once it has read its data it is done.
        new_handler.on_ready = [&] {
            if (!new_reads && new_handler.reports == 1) {
                poller->watch(fresh->fd[0], true, false, &new_handler);
                return;
            }
            char buf[8];
            if (read(fresh->fd[0], buf, sizeof buf) != 1)
                new_handler.seen |= 0x100; // reported readable with nothing to read
            poller->watch(fresh->fd[0], false, false, &new_handler);
        };
        // The old socket stays readable (nobody reads it): level-triggered, it would be
        // reported on every turn if it were still watched.
        if (write(old_pair.fd[1], "o", 1) != 1)
            return;
        if (inside_report)
            old_handler.on_ready = reopen;
        poller->watch(old_pair.fd[0], true, false, &old_handler);
        if (!inside_report) {
            spin(5);
            reopen();
        }
        spin(50);
        if (fresh) {
            poller->closing(fresh->fd[0]);
            delete fresh;
        }
    });
    QVERIFY(finished);
    QVERIFY(on_poller);
    QVERIFY(wrote);
    QCOMPARE(second, first);
    QVERIFY(old_handler.reports > 0);
    if (inside_report)
        QCOMPARE(old_handler.reports, 1);
    QCOMPARE(new_handler.reports, new_reads ? 1 : 2);
    QCOMPARE(new_handler.seen & ~Fd_handler::hang_up,
             new_reads ? Fd_handler::readable : Fd_handler::readable | Fd_handler::writable);
}

void tst_Epoll_dispatcher::timers_data() {
    QTest::addColumn<QList<int>>("intervals"); // single-shot timers, numbered from 0
    QTest::addColumn<QList<int>>("kills");     // pairs: timer i kills timer j when it fires
    QTest::addColumn<QList<int>>("expected");  // order of firing

    QTest::newRow("timers fire in order of their deadlines")
        << QList<int>{30, 10, 20, 0} << QList<int>{} << QList<int>{3, 1, 2, 0};
    QTest::newRow("a killed timer never fires")
        << QList<int>{10, 20, 30} << QList<int>{0, 1} << QList<int>{0, 2};
    QTest::newRow("a zero-interval timer can kill a later one")
        << QList<int>{0, 10} << QList<int>{0, 1} << QList<int>{0};
    QTest::newRow("timers due together fire in the order they were made")
        << QList<int>{5, 5, 5} << QList<int>{} << QList<int>{0, 1, 2};
}

void tst_Epoll_dispatcher::timers() {
    QFETCH(QList<int>, intervals);
    QFETCH(QList<int>, kills);
    QFETCH(QList<int>, expected);

    QList<int> order;
    const bool finished = run_in_worker([&] {
        QObject owner;
        QVector<int> ids(intervals.size());
        QEventLoop loop;
        struct Killer : QObject {
            std::function<void(int)> fire;
            void timerEvent(QTimerEvent* e) override { fire(e->timerId()); }
        } killer;
        killer.fire = [&](int id) {
            const int i = ids.indexOf(id);
            killer.killTimer(id);
            order.append(i);
            for (int k = 0; k + 1 < kills.size(); k += 2)
                if (kills[k] == i)
                    killer.killTimer(ids[kills[k + 1]]);
        };
        for (int i = 0; i < intervals.size(); ++i)
            ids[i] = killer.startTimer(intervals[i], Qt::PreciseTimer);
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    });
    QVERIFY(finished);
    QCOMPARE(order, expected);
}

void tst_Epoll_dispatcher::remaining_time() {
    int remaining = -2, after_kill = -2, repeats = 0;
    const bool finished = run_in_worker([&] {
        QTimer slow;
        slow.start(1000);
        QTimer fast;
        QObject::connect(&fast, &QTimer::timeout, [&] { ++repeats; });
        fast.start(5);
        spin(60);
        remaining = slow.remainingTime();
        slow.stop();
        after_kill = slow.remainingTime();
    });
    QVERIFY(finished);
    QVERIFY2(remaining > 800 && remaining <= 1000, qPrintable(QString::number(remaining)));
    QCOMPARE(after_kill, -1);
    QVERIFY2(repeats >= 3, qPrintable(QString::number(repeats))); // a repeating timer repeats
}

void tst_Epoll_dispatcher::posted_events_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("one post wakes the sleeping loop") << 1;
    QTest::newRow("a burst of events is delivered whole") << 20000;
}

void tst_Epoll_dispatcher::posted_events() {
    QFETCH(int, count);
#ifdef __SANITIZE_THREAD__
    // A burst meets the worker inside sendPostedEvents(), where the event crosses threads
    // under Qt's own lock, which TSan does not see.
    if (count > 1)
        QSKIP("posts to a running loop are ordered by a lock TSan cannot see");
#endif
    auto* receiver = new Receiver;
    // The receiver dies in the worker after quit(): an event posted to end the thread could
    // find the dispatcher gone before postEvent() has finished waking it.
    Worker worker([receiver] {
        QEventLoop loop;
        loop.exec();
        // Takes quit()'s wake-up, which shows TSan that the main thread's last look at the
        // receiver came first (QThread's own lock is invisible to it).
        QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents);
        delete receiver;
    });
    receiver->moveToThread(&worker);
    receiver->worker = &worker;
    worker.start();
    QTRY_VERIFY(worker.on_epoll);
    QTest::qWait(20); // let it fall asleep
    for (int i = 0; i < count; ++i)
        QCoreApplication::postEvent(receiver, new QEvent(QEvent::User));
    QTRY_COMPARE_WITH_TIMEOUT(receiver->events.load(), count, 10000);
    for (int i = 0; i < count; ++i)
        QMetaObject::invokeMethod(receiver, &Receiver::queued_call, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->calls.load(), count, 10000);
    QVERIFY(receiver->in_worker);
    QVERIFY(worker.on_epoll);
    worker.quit();
    QVERIFY(worker.wait(5000));
}

void tst_Epoll_dispatcher::wake_up_and_interrupt_data() {
    QTest::addColumn<bool>("interrupt");
    QTest::newRow("wakeUp from another thread ends a wait") << false;
    QTest::newRow("interrupt from another thread ends a wait") << true;
}

void tst_Epoll_dispatcher::wake_up_and_interrupt() {
    QFETCH(bool, interrupt);
    std::atomic<Epoll_dispatcher*> dispatcher{nullptr};
    std::atomic<bool> returned{false};
    Worker worker([&] {
        auto* d = static_cast<Epoll_dispatcher*>(QAbstractEventDispatcher::instance());
        dispatcher = d;
        d->processEvents(QEventLoop::WaitForMoreEvents); // nothing to do: sleeps
        returned = true;
    });
    worker.start();
    QTRY_VERIFY(dispatcher.load() != nullptr);
    QTest::qWait(30);
    QVERIFY(!returned);
    if (interrupt)
        dispatcher.load()->interrupt();
    else
        dispatcher.load()->wakeUp();
    QVERIFY(worker.wait(5000));
    QVERIFY(returned);
}

void tst_Epoll_dispatcher::quit_from_another_thread() {
    Worker worker;
    worker.start();
    QTest::qWait(20); // let it fall asleep in the loop
    QVERIFY(worker.isRunning());
    worker.quit();
    QVERIFY(worker.wait(5000));
    QVERIFY(worker.on_epoll);
}

QTEST_GUILESS_MAIN(tst_Epoll_dispatcher)
#include "tst_epoll_dispatcher.moc"
