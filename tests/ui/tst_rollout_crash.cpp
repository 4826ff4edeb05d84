// A desktop run killed halfway with SIGKILL, then continued with "Продолжить по журналу": the
// resumed run serves exactly the devices that the journal does not record as succeeded, so no
// device is served twice and none that failed is skipped; the simulator's record proves it.
//
// The killed run is this test program started again as a child process with "--run": it loads
// the configuration, presses the page's buttons and lets the exchange window run, as a user
// would. The process that dies is therefore a real desktop run, its windows and its journal
// included, and zelmo_upload itself needs no hook for the test.
#include "foundation/err.h"
#include "support/engine_cfg.h"
#include "support/modal.h"
#include "support/sim_process.h"
#include "ui/dialog_exchange.h"
#include "ui/page_cfg.h"
#include "ui/server_progress_model.h"

#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {

constexpr quint64 first_imei = 353000000000001ULL;
// The fleet in configuration order: a first half that ends at once (two of its devices are
// offline at their first link and fail), four devices whose link is answered only after a
// pause, and a second half. Four connections: while all four wait on the slow devices, the
// first half is over and journalled and the second half untouched, so the kill lands between
// them with no request in flight.
constexpr int first_half = 40;
constexpr int slow = 4;
constexpr int second_half = 40;
constexpr int device_count = first_half + slow + second_half;
const int offline[] = {6, 22};

QString imei(int offset) {
    return QString::number(first_imei + quint64(offset));
}

QString fleet_text() {
    QString t = QStringLiteral("port 0\ndefault pin=1234\n");
    for (int i = 0; i < device_count; ++i) {
        t += QStringLiteral("device ") + imei(i);
        if (i == offline[0] || i == offline[1])
            t += QStringLiteral(" offline_links=1");
        else if (i >= first_half && i < first_half + slow)
            t += QStringLiteral(" link_delay=2500");
        t += '\n';
    }
    return t;
}

QString config_text(quint16 port) {
    // The cap changes nothing for four connections, but shows the rollout view.
    return QStringLiteral("simultaneously = 4\nlink_timeout = 30000\nmax_per_server = 4\n") +
           cfg_server(QStringLiteral("127.0.0.1"), port, cfg_devices(first_imei, device_count));
}

bool write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray read_file(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The one journal in the folder, or empty.
QString journal_in(const QString& dir) {
    const QStringList names = QDir(dir).entryList({QStringLiteral("*.journal")}, QDir::Files);
    return names.size() == 1 ? QDir(dir).filePath(names[0]) : QString();
}

// IMEIs of the journal's attempt lines, of those that succeeded when `ok`.
QStringList journalled(const QString& path, bool ok) {
    QStringList out;
    for (const QByteArray& line : read_file(path).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains(QLatin1String("imei")) &&
            (!ok || o.value(QLatin1String("result")).toString() == QLatin1String("ok")))
            out << o.value(QLatin1String("imei")).toString();
    }
    return out;
}

// How often each device's IMEI occurs in the simulator's lines of `event`.
QVector<int> per_device(const Sim_process& sim, const QString& event) {
    QVector<int> out(device_count);
    for (const QString& line : sim.record_of(event)) {
        const int at = line.indexOf(QLatin1String("imei="));
        const int i = int(line.mid(at + 5, 15).toULongLong() - first_imei);
        if (at >= 0 && i >= 0 && i < device_count)
            ++out[i];
    }
    return out;
}

// The killed run: arguments "--run CONFIG LOG_DIR FILE", FILE "-" for the restart command.
int run_child(const QString& config, const QString& log_dir, const QString& file) {
    use_test_log(log_dir);
    if (!load_cfg(QString::fromUtf8(read_file(config))))
        return 2;
    Page_cfg page(nullptr);
    page.create_contents(false);
    Modal_script script(600000);
    script.let_be(QStringLiteral("Dialog_exchange"));
    if (file == QLatin1String("-")) {
        script.then([](QWidget* w) {
            if (auto* b = w->findChild<QPushButton*>(QStringLiteral("btn_restart")))
                b->click();
        });
        page.btn_commands->click();
    } else {
        script.choose_file(file);
        page.btn_upload->click();
    }
    return 3; // the run ended before the kill
}

} // namespace

class tst_Rollout_crash : public QObject {
    Q_OBJECT
private slots:
    void killed_run_resumed_data();
    void killed_run_resumed();
};

void tst_Rollout_crash::killed_run_resumed_data() {
    QTest::addColumn<QString>("served"); // the simulator's event of a served device
    QTest::addColumn<bool>("upload");
    QTest::newRow("restart command") << "CMD" << false;
    QTest::newRow("upload of a file") << "UPFILE" << true;
}

void tst_Rollout_crash::killed_run_resumed() {
    QFETCH(QString, served);
    QFETCH(bool, upload);
    QTemporaryDir dir, log_dir;
    QVERIFY(dir.isValid() && log_dir.isValid());
    Sim_process sim;
    QVERIFY2(sim.start(fleet_text()), qPrintable(sim.error()));
    const QString config = dir.filePath(QStringLiteral("fleet.cfg"));
    QVERIFY(write_file(config, config_text(sim.port()).toUtf8()));
    const QString fw_path = dir.filePath(QStringLiteral("new.fwz"));
    QVERIFY(write_file(fw_path, QByteArray(2000, 'c')));

    // The desktop run, killed while its four connections wait on the slow devices.
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--run"), config, log_dir.path(), upload ? fw_path : QStringLiteral("-")});
    QVERIFY(child.waitForStarted());
    QString journal;
    QElapsedTimer waited;
    waited.start();
    auto slow_linked = [&] {
        const QVector<int> links = per_device(sim, QStringLiteral("LINK"));
        return std::count(links.begin() + first_half, links.begin() + first_half + slow, 1);
    };
    while (child.state() == QProcess::Running && waited.elapsed() < 120000) {
        if (journal.isEmpty())
            journal = journal_in(log_dir.path());
        if (!journal.isEmpty() && journalled(journal, false).size() == first_half &&
            slow_linked() == slow)
            break;
        QTest::qWait(20);
    }
    QVERIFY2(child.state() == QProcess::Running, "the run ended before it could be killed");
    QVERIFY2(!journal.isEmpty() && slow_linked() == slow, "the run never got halfway");
    QCOMPARE(::kill(pid_t(child.processId()), SIGKILL), 0);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    // What the killed run left: the first half in the journal, the second half untouched, and
    // nothing served that the journal does not record as succeeded.
    const QStringList ok_before = journalled(journal, true);
    QCOMPARE(ok_before.size(), first_half - 2);
    const QVector<int> links_before = per_device(sim, QStringLiteral("LINK"));
    QCOMPARE(std::count(links_before.begin() + first_half + slow, links_before.end(), 0),
             qint64(second_half));
    const QVector<int> served_before = per_device(sim, served);
    for (int i = 0; i < device_count; ++i)
        QCOMPARE(served_before[i], int(ok_before.contains(imei(i))));

    // "Продолжить по журналу" in this process, through the page.
    use_test_log(log_dir.path());
    QVERIFY(load_cfg(QString::fromUtf8(read_file(config))));
    Page_cfg page(nullptr);
    page.create_contents(false);
    Modal_script script(120000);
    script.choose_file(journal);
    if (upload)
        script.choose_file(fw_path);
    script.let_be(QStringLiteral("Dialog_exchange")).press(close_caption());
    // While the four connections wait on the slow devices again, the window's view per server
    // shows them open.
    int open_seen = -1;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        auto* ex = qobject_cast<Dialog_exchange*>(QApplication::activeModalWidget());
        const QVector<int> links = per_device(sim, QStringLiteral("LINK"));
        if (open_seen < 0 && ex && ex->server_model &&
            std::count(links.begin() + first_half, links.begin() + first_half + slow, 2) == slow)
            open_seen = ex->server_model->index(0, Server_progress_model::col_open).data().toInt();
    });
    watch.start(20);
    page.btn_resume->click();
    watch.stop();
    QCOMPARE(open_seen, slow);
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n') + " pending " +
                                               QString::number(script.pending())));
    QVERIFY(sim.stop());

    // Every device served exactly once over both runs; the two that failed, linked again.
    const QVector<int> served_all = per_device(sim, served);
    const QVector<int> links_all = per_device(sim, QStringLiteral("LINK"));
    for (int i = 0; i < device_count; ++i) {
        QVERIFY2(served_all[i] == 1, qPrintable(imei(i)));
        const bool again =
            i == offline[0] || i == offline[1] || (i >= first_half && i < first_half + slow);
        QVERIFY2(links_all[i] == (again ? 2 : 1), qPrintable(imei(i)));
    }
    QCOMPARE(journalled(journal, true).size(), device_count);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--run") == 0)
        return run_child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QString::fromLocal8Bit(argv[4]));
    tst_Rollout_crash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rollout_crash.moc"
