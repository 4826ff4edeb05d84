// The demo: scripts/demo.sh starts the simulator and writes a configuration that the
// program reads, whose servers are the simulator's ports and whose devices the demo
// fleet knows.
#include "config/config.h"
#include "support/sim_frames.h"

#include <QDir>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

using namespace sim_frames;

class tst_Sim_demo : public QObject {
    Q_OBJECT
private slots:
    void demo_configuration_matches_the_simulator();
};

namespace {

// Stops the background simulator however the test ends.
struct Background_process {
    qint64 pid = 0;
    ~Background_process() {
        if (pid > 0)
            ::kill(pid_t(pid), SIGTERM);
    }
};

} // namespace

void tst_Sim_demo::demo_configuration_matches_the_simulator() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess script;
    script.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZELMO_SERVER_SIM"), QStringLiteral(ZELMO_SERVER_SIM_PATH));
    env.insert(QStringLiteral("ZELMO_DEMO_PORT"), QStringLiteral("0"));
    script.setProcessEnvironment(env);
    script.start(QStringLiteral("bash"),
                 {QDir::cleanPath(QStringLiteral(ZELMO_TEST_DATA "/../../scripts/demo.sh"))});
    QVERIFY(script.waitForFinished(30000));
    const QByteArray err = script.readAllStandardError();
    QVERIFY2(script.exitCode() == 0, err.constData());
    Background_process sim;
    bool ok = false;
    sim.pid = script.readAllStandardOutput().trimmed().toLongLong(&ok);
    QVERIFY(ok && sim.pid > 0);

    QFile file(dir.filePath(QStringLiteral("demo.zelmo_upload")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    try {
        parse_cfg(QString::fromUtf8(bytes));
    } catch (const std::exception& e) {
        QFAIL(e.what());
    }
    QCOMPARE(int(configuration.servers.count), 3);
    QCOMPARE(int(configuration.devices.count), 20);

    // Every device noted as a success links and accepts its PIN.
    int successes = 0;
    for (unsigned i = 0; i < configuration.devices.count; ++i) {
        const Device_row& row = configuration.devices.rows[i];
        const Server& server = *configuration.servers.rows[row.server].server;
        if (server.notes.contains(QStringLiteral("отвергает"))) {
            QTcpSocket s;
            s.connectToHost(server.address, server.port);
            QVERIFY(!s.waitForConnected(5000));
            continue;
        }
        if (!row.device->notes.startsWith(QStringLiteral("успех")))
            continue;
        QTcpSocket s;
        s.connectToHost(server.address, server.port);
        QVERIFY2(s.waitForConnected(5000), qPrintable(s.errorString()));
        Frame f;
        QString e;
        s.write(sim_frames::link(row.device->imei));
        QVERIFY2(read_frame(s, f, 5000, &e), qPrintable(e));
        if (f.type == 0x0A) { // a ping came first
            s.write(ping_answer());
            QVERIFY2(read_frame(s, f, 5000, &e), qPrintable(e));
        }
        QCOMPARE(f.wire, frame(0x0F, QByteArray(1, '\0')));
        s.write(auth(QByteArray(row.device->pin, int(qstrnlen(row.device->pin, pin_size)))));
        QVERIFY2(read_frame(s, f, 5000, &e), qPrintable(e));
        if (f.type == 0x0A) {
            s.write(ping_answer());
            QVERIFY2(read_frame(s, f, 5000, &e), qPrintable(e));
        }
        QCOMPARE(f.wire, frame(0x06, QByteArray(1, '\1')));
        ++successes;
    }
    QCOMPARE(successes, 5);
}

QTEST_GUILESS_MAIN(tst_Sim_demo)
#include "tst_sim_demo.moc"
