// The batch runner's command line and password files, called
// directly (the end-to-end runs are in tst_batch).
#include "cli/batch_args.h"
#include "cli/batch_config.h"
#include "config/config.h"
#include "foundation/err.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_Batch_args : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void password_file_data();
    void password_file();

private:
    QTemporaryDir dir;
    QByteArray log_name;
};

void tst_Batch_args::initTestCase() {
    // Every Err is logged when made; keep the log out of the working directory.
    QVERIFY(dir.isValid());
    log_name = QFile::encodeName(dir.filePath(QStringLiteral("batch.log")));
    log_file_name = log_name.constData();
}

// The fields that a parse set, as one comparable line.
static QString describe(const Batch_args& a) {
    if (a.outcome == Batch_args::help)
        return QStringLiteral("help");
    if (a.outcome == Batch_args::error)
        return QStringLiteral("error: ") + a.message;
    QStringList f;
    f << QLatin1String(batch_command_name(a.cmd));
    auto add = [&](const char* name, const QString& value) {
        if (!value.isEmpty())
            f << QLatin1String(name) + QLatin1Char('=') + value;
    };
    add("config", a.config);
    add("out", a.out);
    add("file", a.file);
    if (a.has_as)
        f << QStringLiteral("as=[") + a.as + QLatin1Char(']');
    add("device_command", a.device_command);
    add("host", a.host);
    if (a.cmd == Batch_args::enumerate)
        f << QStringLiteral("port=%1").arg(a.port);
    add("password_file", a.password_file);
    add("encrypt", a.encrypt_password_file);
    if (a.legacy_format)
        f << QStringLiteral("legacy");
    add("failed_out", a.failed_out);
    add("succeeded_out", a.succeeded_out);
    add("log", QString::fromUtf8(a.log_file));
    if (a.trace)
        f << QStringLiteral("trace");
    if (a.quiet)
        f << QStringLiteral("quiet");
    if (a.yes)
        f << QStringLiteral("yes");
    if (a.max_per_server)
        f << QStringLiteral("cap=%1").arg(a.max_per_server);
    if (a.canary)
        f << QStringLiteral("canary=%1 ignore=%2").arg(a.canary).arg(a.canary_ignore, 0, 16);
    if (a.stop_after_failures)
        f << QStringLiteral("stop_after=%1").arg(a.stop_after_failures);
    if (a.stop_rate > 0)
        f << QStringLiteral("stop_rate=%1").arg(a.stop_rate);
    if (a.retry)
        f << QStringLiteral("retry=%1 delay=%2 classes=%3")
                 .arg(a.retry)
                 .arg(a.retry_delay)
                 .arg(a.retry_classes, 0, 16);
    add("journal", a.journal);
    add("resume", a.resume);
    add("report", a.report);
    if (!a.expect_version.isEmpty())
        f << QStringLiteral("expect=[%1] param=%2%3%4 verify_delay=%5")
                 .arg(a.expect_version)
                 .arg(a.version_param)
                 .arg(a.skip_current ? " skip" : "", a.verify ? " verify" : "")
                 .arg(a.verify_delay_text.isEmpty() ? QStringLiteral("option")
                                                    : QString::number(a.verify_delay));
    return f.join(QLatin1Char(' '));
}

void tst_Batch_args::parse_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");

    const QString count_check =
        QStringLiteral("error: Неправильное количество параметров команды «check». Ожидается: "
                       "check CONFIG");
    QTest::newRow("no arguments name no command")
        << QStringList() << QStringLiteral("error: Не указана команда.");
    QTest::newRow("an unknown command is quoted")
        << QStringList{"frob", "a"} << QStringLiteral("error: Неизвестная команда: «frob».");
    QTest::newRow("help after a command")
        << QStringList{"check", "c", "-h"} << QStringLiteral("help");
    QTest::newRow("check takes one file")
        << QStringList{"check", "c.zelmo_upload"} << QStringLiteral("check config=c.zelmo_upload");
    QTest::newRow("check with two files is refused")
        << QStringList{"check", "a", "b"} << count_check;
    QTest::newRow("an empty configuration name is refused")
        << QStringList{"check", ""} << count_check;
    QTest::newRow("options may stand before the command")
        << QStringList{"--quiet", "--trace", "gather", "c"}
        << QStringLiteral("gather config=c trace quiet");
    QTest::newRow("a value option takes the next argument")
        << QStringList{"gather", "c", "--password-file", "pw", "--failed-out", "f"}
        << QStringLiteral("gather config=c password_file=pw failed_out=f");
    QTest::newRow("a value option takes its value after =")
        << QStringList{"gather", "--succeeded-out=s=1", "c"}
        << QStringLiteral("gather config=c succeeded_out=s=1");
    QTest::newRow("a value option at the end lacks its value")
        << QStringList{"gather", "c", "--failed-out"}
        << QStringLiteral("error: После опции «--failed-out» должно быть указано её значение.");
    QTest::newRow("an empty file name is refused")
        << QStringList{"gather", "c", "--failed-out="}
        << QStringLiteral("error: Значение опции «--failed-out» не должно быть пустым.");
    QTest::newRow("an option given twice is refused")
        << QStringList{"gather", "c", "--quiet", "--quiet"}
        << QStringLiteral("error: В командной строке дважды указана одна и та же опция: "
                          "«--quiet».");
    QTest::newRow("a flag takes no value")
        << QStringList{"gather", "c", "--quiet=1"}
        << QStringLiteral("error: Опция «--quiet» не имеет значения.");
    QTest::newRow("an unknown option is quoted as typed")
        << QStringList{"gather", "c", "--frob=2"}
        << QStringLiteral("error: Неизвестная опция командной строки: «--frob=2».");
    QTest::newRow("a file name after -- may start with a dash")
        << QStringList{"check", "--", "-c"} << QStringLiteral("check config=-c");

    const QString log_format = QStringLiteral(
        "error: Неправильный формат опции «--log». Ожидаемый формат: --log=\"имя файла журнала\".");
    QTest::newRow("--log names the log file") << QStringList{"check", "c", "--log=a b.log"}
                                              << QStringLiteral("check config=c log=a b.log");
    QTest::newRow("--log without = is malformed")
        << QStringList{"check", "c", "--log", "x"} << log_format;
    QTest::newRow("--logfile=x is malformed")
        << QStringList{"check", "c", "--logfile=x"} << log_format;
    QTest::newRow("--log twice is refused")
        << QStringList{"check", "c", "--log=a", "--log=b"}
        << QStringLiteral("error: В командной строке дважды указана одна и та же опция: «--log».");

    QTest::newRow("upload with an empty device file name")
        << QStringList{"upload", "c", "fw.bin", "--as="}
        << QStringLiteral("upload config=c file=fw.bin as=[]");
    QTest::newRow("upload without a file is refused")
        << QStringList{"upload", "c"}
        << QStringLiteral("error: Неправильное количество параметров команды «upload». "
                          "Ожидается: upload CONFIG FILE [--as firmware|settings|NAME]");
    QTest::newRow("--as belongs to upload only")
        << QStringList{"gather", "c", "--as", "firmware"}
        << QStringLiteral("error: Опция «--as» неприменима к команде «gather».");
    QTest::newRow("--yes belongs to command only")
        << QStringList{"upload", "c", "f", "--yes"}
        << QStringLiteral("error: Опция «--yes» неприменима к команде «upload».");
    QTest::newRow("the modern form is the default")
        << QStringList{"convert", "c", "o", "--encrypt-password-file", "pw", "--format", "modern"}
        << QStringLiteral("convert config=c out=o encrypt=pw");
    QTest::newRow("the older form on request")
        << QStringList{"convert", "c", "o", "--format=legacy", "--encrypt-password-file", "pw"}
        << QStringLiteral("convert config=c out=o encrypt=pw legacy");
    QTest::newRow("--format without a password file")
        << QStringList{"convert", "c", "o", "--format", "legacy"}
        << QStringLiteral("error: Опция «--format» действует только вместе с опцией "
                          "«--encrypt-password-file».");
    QTest::newRow("--format of another name")
        << QStringList{"convert", "c", "o", "--encrypt-password-file", "pw", "--format", "C"}
        << QStringLiteral("error: Неправильное значение опции «--format»: «C». Допустимы "
                          "значения modern и legacy.");
    QTest::newRow("--format belongs to convert only")
        << QStringList{"check", "c", "--format", "modern"}
        << QStringLiteral("error: Опция «--format» неприменима к команде «check».");
    QTest::newRow("--encrypt-password-file belongs to convert only")
        << QStringList{"check", "c", "--encrypt-password-file", "pw"}
        << QStringLiteral("error: Опция «--encrypt-password-file» неприменима к команде «check».");

    QTest::newRow("a device command with its confirmation")
        << QStringList{"command", "c", "factory", "--yes"}
        << QStringLiteral("command config=c device_command=factory yes");
    QTest::newRow("an unknown device command is refused")
        << QStringList{"command", "c", "reboot"}
        << QStringLiteral("error: Неизвестная команда устройствам: «reboot». Допустимы команды "
                          "restart, factory, dropbbox и cleargnss.");

    // Rollout controls. Class masks: bit 1 connect, 2 rupture, 3 timeout, 4 not_linked,
    // 5 auth, 6 device.
    QTest::newRow("the rollout controls with their defaults")
        << QStringList{"upload", "c",       "f", "--max-per-server", "4", "--canary",
                       "10",     "--retry", "2", "--journal",        "j", "--report",
                       "r.csv"}
        << QStringLiteral("upload config=c file=f cap=4 canary=10 ignore=12 retry=2 delay=5 "
                          "classes=1e journal=j report=r.csv");
    QTest::newRow("class lists replace the defaults")
        << QStringList{"gather",          "c",
                       "--canary",        "1",
                       "--canary-ignore", "device,timeout",
                       "--retry",         "1",
                       "--retry-classes", "auth",
                       "--retry-delay",   "0"}
        << QStringLiteral("gather config=c canary=1 ignore=48 retry=1 delay=0 classes=20");
    QTest::newRow("thresholds")
        << QStringList{"command", "c",
                       "restart", "--stop-after-failures",
                       "7",       "--stop-at-failure-rate",
                       "2.5"}
        << QStringLiteral("command config=c device_command=restart stop_after=7 stop_rate=2.5");
    const QString integer = QStringLiteral("error: Неправильное значение опции «%1»: «%2». "
                                           "Ожидается целое десятичное число от %3 до %4.");
    QTest::newRow("a cap of 0 is refused")
        << QStringList{"upload", "c", "f", "--max-per-server", "0"}
        << integer.arg("--max-per-server", "0", "1", "100000");
    QTest::newRow("a retry count with a sign is refused")
        << QStringList{"upload", "c", "f", "--retry", "+1"}
        << integer.arg("--retry", "+1", "1", "100");
    const QString percent = QStringLiteral("error: Неправильное значение опции "
                                           "«--stop-at-failure-rate»: «%1». Ожидается число "
                                           "процентов больше 0 и не больше 100 (например, 5 или "
                                           "2.5).");
    for (const char* bad : {"0", "100.5", "5%", "1e1", ".5", "-3"})
        QTest::newRow(qPrintable(QStringLiteral("failure rate %1").arg(QLatin1String(bad))))
            << QStringList{"upload", "c", "f", "--stop-at-failure-rate", QLatin1String(bad)}
            << percent.arg(QLatin1String(bad));
    QTest::newRow("an unknown class is named")
        << QStringList{"upload", "c", "f", "--canary", "1", "--canary-ignore", "connect,offline"}
        << QStringLiteral("error: Неизвестный класс неудачи «offline» в опции «--canary-ignore». "
                          "Допустимы классы connect, rupture, timeout, not_linked, auth, device, "
                          "cancelled и internal через запятую.");
    QTest::newRow("an empty class in a list is refused")
        << QStringList{"upload", "c", "f", "--retry", "1", "--retry-classes", "auth,"}
        << QStringLiteral("error: Неизвестный класс неудачи «» в опции «--retry-classes». "
                          "Допустимы классы connect, rupture, timeout, not_linked, auth, device, "
                          "cancelled и internal через запятую.");
    QTest::newRow("--canary-ignore needs --canary")
        << QStringList{"upload", "c", "f", "--canary-ignore", "device"}
        << QStringLiteral("error: Опция «--canary-ignore» действует только вместе с опцией "
                          "«--canary».");
    QTest::newRow("--retry-delay needs --retry")
        << QStringList{"upload", "c", "f", "--retry-delay", "1"}
        << QStringLiteral("error: Опция «--retry-delay» действует только вместе с опцией "
                          "«--retry».");
    QTest::newRow("--journal and --resume exclude each other")
        << QStringList{"upload", "c", "f", "--journal", "j", "--resume", "j"}
        << QStringLiteral("error: Опции «--journal» и «--resume» вместе не указываются: "
                          "--resume продолжает запись в журнал, который ему указан.");
    QTest::newRow("a version check with every option")
        << QStringList{"upload",   "c",
                       "f",        "--expect-version",
                       "FW 2.0",   "--version-param",
                       "gnss",     "--skip-current",
                       "--verify", "--verify-delay",
                       "0"}
        << QStringLiteral("upload config=c file=f expect=[FW 2.0] param=2 skip verify "
                          "verify_delay=0");
    QTest::newRow("the main version and the option's delay by default")
        << QStringList{"upload", "c", "f", "--skip-current", "--expect-version=1"}
        << QStringLiteral("upload config=c file=f expect=[1] param=0 skip verify_delay=option");
    QTest::newRow("--skip-current needs --expect-version")
        << QStringList{"upload", "c", "f", "--skip-current"}
        << QStringLiteral("error: Опция «--skip-current» действует только вместе с опцией "
                          "«--expect-version».");
    QTest::newRow("--verify needs --expect-version")
        << QStringList{"upload", "c", "f", "--verify", "--verify-delay", "5"}
        << QStringLiteral("error: Опция «--verify» действует только вместе с опцией "
                          "«--expect-version».");
    QTest::newRow("--expect-version alone checks nothing")
        << QStringList{"upload", "c", "f", "--expect-version", "2"}
        << QStringLiteral("error: Опция «--expect-version» действует только вместе с опцией "
                          "«--skip-current» или «--verify».");
    QTest::newRow("--verify-delay needs --verify")
        << QStringList{"upload",         "c", "f", "--expect-version", "2", "--skip-current",
                       "--verify-delay", "5"}
        << QStringLiteral("error: Опция «--verify-delay» действует только вместе с опцией "
                          "«--verify».");
    QTest::newRow("an unknown version parameter")
        << QStringList{"upload",          "c",   "f", "--expect-version", "2", "--verify",
                       "--version-param", "boot"}
        << QStringLiteral("error: Неправильное значение опции «--version-param»: «boot». "
                          "Допустимы значения main, modem и gnss.");
    QTest::newRow("a verify delay above a day")
        << QStringList{"upload",         "c",    "f", "--expect-version", "2", "--verify",
                       "--verify-delay", "86401"}
        << QStringLiteral("error: Неправильное значение опции «--verify-delay»: «86401». "
                          "Ожидается целое десятичное число от 0 до 86400.");
    QTest::newRow("an empty expected version is refused")
        << QStringList{"upload", "c", "f", "--expect-version", "", "--verify"}
        << QStringLiteral("error: Значение опции «--expect-version» не должно быть пустым.");
    QTest::newRow("the version check is for uploads only")
        << QStringList{"gather", "c", "--expect-version", "2", "--verify"}
        << QStringLiteral("error: Опция «--expect-version» неприменима к команде «gather».");
    QTest::newRow("rollout controls belong to the runs")
        << QStringList{"check", "c", "--report", "r"}
        << QStringLiteral("error: Опция «--report» неприменима к команде «check».");

    QTest::newRow("enumerate takes a host and a port")
        << QStringList{"enumerate", "srv.example", "65535"}
        << QStringLiteral("enumerate host=srv.example port=65535");
    const QString bad_port = QStringLiteral("error: Неправильный номер порта: «%1». Ожидается "
                                            "десятичное число от 0 до 65535.");
    QTest::newRow("a port above 65535 is refused")
        << QStringList{"enumerate", "h", "65536"} << bad_port.arg(QLatin1String("65536"));
    QTest::newRow("a port with a letter is refused")
        << QStringList{"enumerate", "h", "4o00"} << bad_port.arg(QLatin1String("4o00"));
}

void tst_Batch_args::parse() {
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QCOMPARE(describe(parse_batch_args(args)), expected);
}

void tst_Batch_args::password_file_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("password");

    QTest::newRow("the line feed is not part of the password")
        << QByteArray("secret\n") << QStringLiteral("secret");
    QTest::newRow("CR LF is not part of the password")
        << QByteArray("secret\r\n") << QStringLiteral("secret");
    QTest::newRow("a file without a line end is the password")
        << QByteArray("secret") << QStringLiteral("secret");
    QTest::newRow("only the first line counts")
        << QByteArray("first\r\nsecond\n") << QStringLiteral("first");
    QTest::newRow("a CR inside the line is kept") << QByteArray("a\rb\n") << QStringLiteral("a\rb");
    QTest::newRow("an empty first line is an empty password")
        << QByteArray("\nsecret\n") << QString();
    QTest::newRow("a file that is not UTF-8 is refused")
        << QByteArray("\xff\xfe\n") << QStringLiteral("error");
}

void tst_Batch_args::password_file() {
    QFETCH(QByteArray, contents);
    QFETCH(QString, password);
    const QString path = dir.filePath(QStringLiteral("pw"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(contents);
    f.close();
    try {
        const QString got = read_password_file(path);
        QVERIFY2(password != QLatin1String("error"), "accepted a file that must be refused");
        QCOMPARE(got, password);
    } catch (const Err& e) {
        QCOMPARE(password, QStringLiteral("error"));
        QVERIFY(e.message.contains(path));
    }
}

QTEST_GUILESS_MAIN(tst_Batch_args)
#include "tst_batch_args.moc"
