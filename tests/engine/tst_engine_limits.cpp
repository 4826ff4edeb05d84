// A run asked for more connections than the process may open: it serves every device over
// the connections the limit allows instead of failing devices with a misleading server error.
// Lowers the process's own hard limit, so it lives in a test program of its own.
#include "engine/actions.h"
#include "engine/engine.h"
#include "support/engine_cfg.h"
#include "support/engine_run.h"
#include "support/sim_process.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>

class tst_Engine_limits : public QObject {
    Q_OBJECT
private slots:
    void connections_are_capped_by_the_open_file_limit();
};

void tst_Engine_limits::connections_are_capped_by_the_open_file_limit() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
    Sim_process sim; // started before the limit is lowered, so it keeps its own
    QVERIFY2(sim.start("port 0\nrange 350000000000001 400\n"), qPrintable(sim.error()));
    QVERIFY(load_cfg("simultaneously = 65535\n" +
                     cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, 400))));

    const int open_now = QDir(QStringLiteral("/proc/self/fd"))
                             .entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)
                             .size();
    rlimit limit;
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlim_t wanted = rlim_t(open_now) + 64 + 40; // room for about 40 connections
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted)
        QSKIP("the hard limit is already lower than this test needs");
    limit.rlim_cur = limit.rlim_max = wanted;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &limit), 0);

    Action_cmd action(1, QStringLiteral("рестарт устройства"));
    const Run_result r = run_and_wait(action, 60000);
    QVERIFY(r.finished);
    QVERIFY(r.error.isEmpty());
    QVERIFY2(r.actors > 0 && r.actors < 400, qPrintable(QString::number(r.actors)));
    QCOMPARE(r.success, 400u);
    QVERIFY(counters_problem(r, 400).isEmpty());
    QVERIFY(read_test_log().contains(QStringLiteral("Предел числа открытых файлов процесса")));
}

QTEST_GUILESS_MAIN(tst_Engine_limits)
#include "tst_engine_limits.moc"
