// zelmo_batch and the files it is given: no output may destroy an input or another output,
// results are written privately, inputs that are not regular files are refused at once,
// standard output that fails and the end signals are handled. The real executable against a
// real zelmo_server_sim, with real FIFOs, /dev/full and signals.
#include "config/container.h"
#include "foundation/err.h"
#include "support/batch_process.h"
#include "support/sim_process.h"
#include "support/sim_session.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#ifndef ZELMO_BATCH_PATH
#error "the tests need the zelmo_batch executable"
#endif

class tst_Batch_files : public QObject {
    Q_OBJECT

private slots:
    void flows_data();
    void flows();
};

namespace {

// The fleet of every row: twenty devices that answer a command slowly, so that a signal or a
// closed pipe meets a run in progress.
const char fleet[] = "port 0\nrange 350000000000001 20 cmd_delay=150\n";

QByteArray config_text(quint16 port, int devices) {
    QString t =
        QStringLiteral("simultaneously = 1\nserver(address \"127.0.0.1\", port %1) {\n").arg(port);
    for (int i = 1; i <= devices; ++i)
        t += QStringLiteral(" device(imei %1, pin \"\")\n").arg(350000000000000ULL + i);
    return (t + QStringLiteral("}\n")).toUtf8();
}

unsigned file_mode(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

void tst_Batch_files::flows_data() {
    QTest::addColumn<QStringList>("before"); // "cfg N [DEVICES]", "text N T", "fifo N", ...
    QTest::addColumn<QStringList>("args");   // {D}: the temporary folder
    QTest::addColumn<QString>("stdout_to");  // "", "/dev/full", "closed", "SIGTERM", ...
    QTest::addColumn<int>("code");           // -2: ended by a signal
    QTest::addColumn<QString>("message");    // a part of standard error; {D} as above
    QTest::addColumn<QStringList>("after");  // "same N", "mode N 600", "missing N", "has N T"
    QTest::addColumn<bool>("served");        // the simulator saw a connection

    const QStringList cfg{"cfg c.zu"};
    const QString clash = QStringLiteral("Файл «%1» указан и %2, и %3: запись результата "
                                         "уничтожила бы прочитанный файл.");
    const QString not_input = QStringLiteral("Файл «%1», указанный %2, не является обычным "
                                             "файлом (это папка, канал или устройство); "
                                             "прочитать его нельзя.");
    const QString not_output = QStringLiteral("Файл «%1», указанный %2, не является обычным "
                                              "файлом (это папка, канал или устройство); записать "
                                              "в него нельзя.");

    // Outputs onto inputs and onto each other.
    QTest::newRow("--journal onto the configuration")
        << QStringList{"cfg c.zu", "text fw.bin x"}
        << QStringList{"upload", "{D}/c.zu", "{D}/fw.bin", "--journal", "{D}/c.zu"} << "" << 2
        << clash.arg("{D}/c.zu", "в опции «--journal»", "в параметре CONFIG")
        << QStringList{"same c.zu"} << false;
    QTest::newRow("--report through a link onto the configuration")
        << QStringList{"cfg c.zu", "link r.json c.zu"}
        << QStringList{"command", "{D}/c.zu", "restart", "--report", "{D}/r.json"} << "" << 2
        << clash.arg("{D}/r.json", "в опции «--report»", "в параметре CONFIG")
        << QStringList{"same c.zu", "same r.json"} << false;
    QTest::newRow("--failed-out onto the password file")
        << QStringList{"cfg c.zu", "text pw secret"}
        << QStringList{"gather", "{D}/c.zu", "--password-file", "{D}/pw", "--failed-out", "{D}/pw"}
        << "" << 2 << clash.arg("{D}/pw", "в опции «--failed-out»", "в опции «--password-file»")
        << QStringList{"same pw"} << false;
    QTest::newRow("--succeeded-out onto the file to upload")
        << QStringList{"cfg c.zu", "text fw.bin x"}
        << QStringList{"upload", "{D}/c.zu", "{D}/fw.bin", "--succeeded-out", "{D}/fw.bin"} << ""
        << 2 << clash.arg("{D}/fw.bin", "в опции «--succeeded-out»", "в параметре FILE")
        << QStringList{"same fw.bin"} << false;
    QTest::newRow("--report onto the journal being resumed")
        << QStringList{"cfg c.zu", "text j.jsonl {}"}
        << QStringList{"gather", "{D}/c.zu", "--resume", "{D}/j.jsonl", "--report", "{D}/j.jsonl"}
        << "" << 2 << clash.arg("{D}/j.jsonl", "в опции «--report»", "в опции «--resume»")
        << QStringList{"same j.jsonl"} << false;
    QTest::newRow("--log onto the configuration")
        << cfg << QStringList{"check", "{D}/c.zu", "--log={D}/c.zu"} << "" << 2
        << clash.arg("{D}/c.zu", "в опции «--log»", "в параметре CONFIG")
        << QStringList{"same c.zu"} << false;
    QTest::newRow("two lists into one new file, spelt differently")
        << cfg << QStringList{"gather",   "{D}/c.zu",        "--failed-out",
                              "{D}/l.zu", "--succeeded-out", "{D}/./l.zu"}
        << "" << 2
        << QStringLiteral("Файл «{D}/./l.zu» указан и в опции «--failed-out», и в опции "
                          "«--succeeded-out»: одна запись уничтожила бы другую.")
        << QStringList{"missing l.zu"} << false;
    QTest::newRow("convert onto its password file")
        << QStringList{"cfg c.zu", "text pw secret"}
        << QStringList{"convert", "{D}/c.zu", "{D}/pw", "--encrypt-password-file", "{D}/pw"} << ""
        << 2 << clash.arg("{D}/pw", "в параметре OUT", "в опции «--encrypt-password-file»")
        << QStringList{"same pw"} << false;
    QTest::newRow("convert onto its own input replaces it and keeps its mode")
        << QStringList{"cfg c.zu", "chmod c.zu 644"}
        << QStringList{"convert", "{D}/c.zu", "{D}/c.zu"} << "" << 0 << ""
        << QStringList{"mode c.zu 644", "has c.zu \xEF\xBB\xBF#"} << false;

    // Every output checked before a device is served.
    QTest::newRow("--failed-out to a folder")
        << QStringList{"cfg c.zu", "dir d"}
        << QStringList{"command", "{D}/c.zu", "restart", "--failed-out", "{D}/d"} << "" << 2
        << not_output.arg("{D}/d", "в опции «--failed-out»") << QStringList() << false;
    QTest::newRow("--succeeded-out into a missing folder")
        << cfg << QStringList{"command", "{D}/c.zu", "restart", "--succeeded-out", "{D}/none/s.zu"}
        << "" << 2
        << QStringLiteral("Файл «{D}/none/s.zu», указанный в опции «--succeeded-out», не может "
                          "быть создан: нет папки «{D}/none».")
        << QStringList() << false;
    QTest::newRow("--report onto a FIFO")
        << QStringList{"cfg c.zu", "fifo f"}
        << QStringList{"command", "{D}/c.zu", "restart", "--report", "{D}/f"} << "" << 2
        << not_output.arg("{D}/f", "в опции «--report»") << QStringList() << false;

    // Only regular files are read.
    QTest::newRow("a FIFO as the configuration")
        << QStringList{"fifo f"} << QStringList{"check", "{D}/f"} << "" << 2
        << not_input.arg("{D}/f", "в параметре CONFIG") << QStringList() << false;
    QTest::newRow("a FIFO as the password file")
        << QStringList{"cfg c.zu", "fifo f"}
        << QStringList{"check", "{D}/c.zu", "--password-file", "{D}/f"} << "" << 2
        << not_input.arg("{D}/f", "в опции «--password-file»") << QStringList() << false;
    QTest::newRow("a FIFO as the file to upload")
        << QStringList{"cfg c.zu", "fifo f"} << QStringList{"upload", "{D}/c.zu", "{D}/f"} << ""
        << 2 << not_input.arg("{D}/f", "в параметре FILE") << QStringList() << false;
    QTest::newRow("a folder as the journal to resume")
        << QStringList{"cfg c.zu", "dir d"}
        << QStringList{"gather", "{D}/c.zu", "--resume", "{D}/d"} << "" << 2
        << not_input.arg("{D}/d", "в опции «--resume»") << QStringList() << false;
    QTest::newRow("a journal to resume above 64 MiB")
        << QStringList{"cfg c.zu", "big j.jsonl"}
        << QStringList{"gather", "{D}/c.zu", "--resume", "{D}/j.jsonl"} << "" << 2
        << QStringLiteral("Файл «{D}/j.jsonl» слишком большой") << QStringList() << false;

    // Damage and emptiness.
    QTest::newRow("a damaged encrypted configuration")
        << QStringList{"damaged c.zu", "text pw secret"}
        << QStringList{"check", "{D}/c.zu", "--password-file", "{D}/pw"} << "" << 2
        << QStringLiteral("Пароль из файла «{D}/pw» не подходит к зашифрованному файлу "
                          "«{D}/c.zu», или этот файл повреждён.")
        << QStringList{"same c.zu"} << false;
    QTest::newRow("an empty file to upload")
        << QStringList{"cfg c.zu", "text fw.bin "}
        << QStringList{"upload", "{D}/c.zu", "{D}/fw.bin"} << "" << 2
        << QStringLiteral("Файл «{D}/fw.bin» пуст: закачивать нечего.") << QStringList() << false;
    QTest::newRow("an empty --as")
        << QStringList{"cfg c.zu", "text fw.bin x"}
        << QStringList{"upload", "{D}/c.zu", "{D}/fw.bin", "--as="} << "" << 2
        << QStringLiteral("Значение опции «--as» не должно быть пустым") << QStringList() << false;

    // Secrets stay private; an existing file keeps its mode.
    QTest::newRow("new lists, plain configuration and log are private")
        << QStringList{"cfg c.zu 1", "text s.zu old", "chmod s.zu 640"}
        << QStringList{"command",      "{D}/c.zu",          "restart",
                       "--failed-out", "{D}/f.zu",          "--succeeded-out",
                       "{D}/s.zu",     "--log={D}/new.log", "--trace"}
        << "" << 0 << ""
        << QStringList{"mode f.zu 600", "mode s.zu 640", "mode new.log 600",
                       "has s.zu 350000000000001"}
        << true;
    QTest::newRow("a plain configuration written by convert is private")
        << cfg << QStringList{"convert", "{D}/c.zu", "{D}/plain.zu"} << "" << 0 << ""
        << QStringList{"mode plain.zu 600"} << false;

    // Standard output that fails, and the end signals.
    QTest::newRow("check onto a full disk")
        << cfg << QStringList{"check", "{D}/c.zu"} << "/dev/full" << 2
        << QStringLiteral("Не удалось записать результат на стандартный вывод: ") << QStringList()
        << false;
    QTest::newRow("a run onto a full disk still writes its lists")
        << QStringList{"cfg c.zu 1"}
        << QStringList{"command", "{D}/c.zu", "restart", "--succeeded-out", "{D}/s.zu"}
        << "/dev/full" << 2
        << QStringLiteral("Не удалось записать результат на стандартный вывод: ")
        << QStringList{"has s.zu 350000000000001"} << true;
    const QStringList run_args{"command",   "{D}/c.zu",    "restart",  "--failed-out", "{D}/f.zu",
                               "--journal", "{D}/j.jsonl", "--report", "{D}/r.csv"};
    const QStringList written{"has f.zu 350000000000020", "has j.jsonl \"cancelled\"",
                              "has r.csv cancelled", "mode f.zu 600"};
    QTest::newRow("a closed pipe stops the run as Ctrl-C does")
        << QStringList{"cfg c.zu 20"} << run_args << "closed" << 1
        << QStringLiteral("Работа прервана: стандартный вывод закрыт.") << written << true;
    QTest::newRow("SIGTERM stops the run as Ctrl-C does")
        << QStringList{"cfg c.zu 20"} << run_args << "SIGTERM" << 1
        << QStringLiteral("Работа прервана (сигнал SIGTERM).") << written << true;
    QTest::newRow("SIGHUP stops the run as Ctrl-C does")
        << QStringList{"cfg c.zu 20"} << run_args << "SIGHUP" << 1
        << QStringLiteral("Работа прервана (сигнал SIGHUP).") << written << true;
    QTest::newRow("a second signal ends at once")
        << QStringList{"cfg c.zu 20"} << run_args << "SIGHUP SIGTERM" << -2 << ""
        << QStringList{"missing f.zu", "missing r.csv"} << true;
}

void tst_Batch_files::flows() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, args);
    QFETCH(QString, stdout_to);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QStringList, after);
    QFETCH(bool, served);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto at = [&](const QString& name) { return dir.filePath(name); };
    Sim_process sim;
    START(sim, fleet);

    for (const QString& step : before) {
        const QString kind = step.section(QLatin1Char(' '), 0, 0);
        const QString name = at(step.section(QLatin1Char(' '), 1, 1));
        const QString arg = step.section(QLatin1Char(' '), 2);
        if (kind == QLatin1String("cfg")) {
            write_file(name, config_text(sim.port(), arg.isEmpty() ? 1 : arg.toInt()));
        } else if (kind == QLatin1String("text")) {
            write_file(name, arg.toUtf8());
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
        } else if (kind == QLatin1String("dir")) {
            QVERIFY(QDir().mkpath(name));
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(at(arg), name));
        } else if (kind == QLatin1String("chmod")) {
            QCOMPARE(::chmod(QFile::encodeName(name).constData(), arg.toUInt(nullptr, 8)), 0);
        } else if (kind == QLatin1String("big")) {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(max_file_size + 1));
        } else if (kind == QLatin1String("damaged")) {
            QByteArray b = encode_container(config_text(sim.port(), 1), QStringLiteral("secret"),
                                            draw_container_nonce());
            b[b.size() - 1] = char(b[b.size() - 1] ^ 1);
            write_file(name, b);
        } else {
            QFAIL(qPrintable(step));
        }
    }
    QMap<QString, QByteArray> kept;
    for (const QString& check : after)
        if (check.startsWith(QLatin1String("same ")))
            kept[check.mid(5)] = contents(at(check.mid(5)));

    for (QString& a : args)
        a.replace(QLatin1String("{D}"), dir.path());
    message.replace(QLatin1String("{D}"), dir.path());

    QProcess p;
    p.setWorkingDirectory(dir.path());
    // A pipe of our own for standard output, whose reading end the test closes (not
    // inherited: zelmo_batch would hold it open itself).
    int reader = -1;
    if (stdout_to == QLatin1String("closed")) {
        const QByteArray fifo = QFile::encodeName(at(QStringLiteral("stdout")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
        p.setStandardOutputFile(at(QStringLiteral("stdout")));
    } else if (stdout_to.startsWith(QLatin1Char('/'))) {
        p.setStandardOutputFile(stdout_to);
    }
    p.start(QStringLiteral(ZELMO_BATCH_PATH), args);
    QVERIFY(p.waitForStarted());
    if (!stdout_to.isEmpty() && !stdout_to.startsWith(QLatin1Char('/'))) {
        // Some devices served, most still waiting.
        QVERIFY(sim.wait_record(QStringLiteral("CMD"), 3, 20000));
        if (reader >= 0)
            ::close(reader);
        for (const QString& s : stdout_to.split(QLatin1Char(' ')))
            if (s.startsWith(QLatin1String("SIG")))
                QCOMPARE(
                    ::kill(pid_t(p.processId()), s == QLatin1String("SIGTERM") ? SIGTERM : SIGHUP),
                    0);
    }
    const Batch_outcome o = run_batch(QString(), QString(), {}, &p);
    QVERIFY(sim.stop());

    QVERIFY2(o.code == code, qPrintable(QStringLiteral("%1: %2").arg(o.code).arg(o.err)));
    QVERIFY2(o.err.contains(message), qPrintable(o.err));
    QCOMPARE(sim.counter(QStringLiteral("connections")) > 0, served);
    if (!served && code == 2)
        QVERIFY(o.out.isEmpty());
    if (stdout_to.startsWith(QLatin1String("SIG")) && code == 1)
        QCOMPARE(o.lines().size(), 20); // every device has its line

    for (const QString& check : after) {
        const QString kind = check.section(QLatin1Char(' '), 0, 0);
        const QString name = check.section(QLatin1Char(' '), 1, 1);
        const QString arg = check.section(QLatin1Char(' '), 2);
        if (kind == QLatin1String("same"))
            QCOMPARE(contents(at(name)), kept.value(name));
        else if (kind == QLatin1String("mode"))
            QCOMPARE(QString::number(file_mode(at(name)), 8), arg);
        else if (kind == QLatin1String("missing"))
            QVERIFY2(!QFile::exists(at(name)), qPrintable(name));
        else if (kind == QLatin1String("has"))
            QVERIFY2(contents(at(name)).contains(arg.toUtf8()), qPrintable(check));
        else
            QFAIL(qPrintable(check));
    }
}

QTEST_GUILESS_MAIN(tst_Batch_files)
#include "tst_batch_files.moc"
