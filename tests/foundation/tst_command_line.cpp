#include "foundation/command_line.h"
#include "foundation/err.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <vector>

class tst_Command_line : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void log_value_points_into_the_argument();
    void help_text_names_the_options_and_default_log();
    void platform_facts();
    void executable_data();
    void executable();

private:
    QTemporaryDir dir;
};

static const char* const duplicate =
    "В командной строке дважды указана одна и та же опция: «--log».";
static const char* const malformed =
    "Неправильный формат опции «--log». Ожидаемый формат: --log=\"имя файла журнала\".";

static QString unknown(const char* arg) {
    return QString::fromUtf8("Неизвестная опция командной строки: «%1». Для получения справки "
                             "по опциям командной строки запустите программу с опцией «-h».")
        .arg(QString::fromUtf8(arg));
}

static QString help_with_others(const char* arg) {
    return QString::fromUtf8("Если в командной строке определена опция «%1», в ней не должно "
                             "быть никаких других опций или параметров.")
        .arg(QString::fromUtf8(arg));
}

void tst_Command_line::initTestCase() {
    QVERIFY(dir.isValid());
    static QByteArray log_name;
    log_name = dir.filePath(QStringLiteral("test.log")).toUtf8();
    log_file_name = log_name.constData();
}

void tst_Command_line::parse_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("log_file");
    QTest::addColumn<QString>("message");
    const int run = Command_line::run, help = Command_line::help, error = Command_line::error;

    QTest::newRow("no arguments run with the default log")
        << QStringList() << run << QString() << QString();
    QTest::newRow("--log names the log file")
        << QStringList{"--log=a.log"} << run << "a.log" << QString();
    QTest::newRow("--log keeps everything after the equals sign")
        << QStringList{"--log=dir/x=y ж.log"} << run << "dir/x=y ж.log" << QString();
    QTest::newRow("--log twice is a duplicate")
        << QStringList{"--log=a.log", "--log=b.log"} << error << QString() << duplicate;
    QTest::newRow("--log without a value is malformed")
        << QStringList{"--log"} << error << QString() << malformed;
    QTest::newRow("--log= with an empty value is malformed")
        << QStringList{"--log="} << error << QString() << malformed;
    QTest::newRow("--logfile=x is malformed, not unknown")
        << QStringList{"--logfile=x"} << error << QString() << malformed;
    QTest::newRow("--logx=1 is malformed")
        << QStringList{"--logx=1"} << error << QString() << malformed;
    QTest::newRow("malformed after a good --log is still malformed")
        << QStringList{"--log=a", "--log"} << error << QString() << malformed;
    QTest::newRow("-log is not the log option")
        << QStringList{"-log=a"} << error << QString() << unknown("-log=a");

    for (const char* h : {"-h", "--h", "/h", "-help", "--help", "/help", "-H", "/HELP", "-HELP",
                          "-Help", "--Help", "/?", "-?", "--?"})
        QTest::newRow(qPrintable(QStringLiteral("%1 alone shows help").arg(h)))
            << QStringList{h} << help << QString() << QString();

    for (const char* u : {"-hElp", "/x", "x", "---h", "-", "/", "--", "-hh", "/h ", ""})
        QTest::newRow(qPrintable(QStringLiteral("«%1» is unknown").arg(u)))
            << QStringList{u} << error << QString() << unknown(u);

    QTest::newRow("help after --log quotes the help argument")
        << QStringList{"--log=a.log", "-h"} << error << QString() << help_with_others("-h");
    QTest::newRow("help before --log quotes the help argument")
        << QStringList{"-h", "--log=a.log"} << error << QString() << help_with_others("-h");
    QTest::newRow("two help forms quote the first")
        << QStringList{"/?", "--help"} << error << QString() << help_with_others("/?");
    QTest::newRow("an unknown argument before help is reported first")
        << QStringList{"x", "-h"} << error << QString() << unknown("x");
    QTest::newRow("help before an unknown argument is reported first")
        << QStringList{"-h", "x"} << error << QString() << help_with_others("-h");
}

void tst_Command_line::parse() {
    QFETCH(QStringList, args);
    QFETCH(int, outcome);
    QFETCH(QString, log_file);
    QFETCH(QString, message);

    std::vector<QByteArray> storage{QByteArray("zelmo_upload")};
    for (const QString& a : args)
        storage.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const Command_line r = parse_command_line(int(storage.size()), argv.data());
    QCOMPARE(int(r.outcome), outcome);
    QCOMPARE(r.message, message);
    if (log_file.isNull())
        QVERIFY(!r.log_file || outcome == Command_line::error);
    else
        QCOMPARE(QString::fromUtf8(r.log_file), log_file);
}

void tst_Command_line::log_value_points_into_the_argument() {
    char prog[] = "zelmo_upload";
    char arg[] = "--log=a.log";
    char* argv[] = {prog, arg, nullptr};
    const Command_line r = parse_command_line(2, argv);
    QCOMPARE(r.log_file, static_cast<const char*>(arg + 6));
}

void tst_Command_line::help_text_names_the_options_and_default_log() {
    const QString text = help_text(QStringLiteral("ABOUT"));
    QCOMPARE(text, QString::fromUtf8("ABOUT\n\nОпции командной строки:\n--help, -?, -h, -help, "
                                     "/?, /h, /help и т.п. - выдать этот текст и выйти\n"
                                     "--log=\"файл\" - использовать указанный файл журнала "
                                     "(если опция не указана, используется файл "
                                     "«zelmo_upload.log»)\n"));
    // An About text with placeholders of its own must come through untouched.
    QVERIFY(help_text(QStringLiteral("%2 %1")).startsWith(QLatin1String("%2 %1\n\n")));
}

void tst_Command_line::platform_facts() {
    QVERIFY(is_little_endian());
    QVERIFY(!is_big_endian());
    QVERIFY(is_2complement());
}

// Drives the real executable on Qt's VNC platform: the test connects as a VNC viewer and
// presses Esc, which is the only way to answer the program's boxes from outside.
namespace {

bool read_exact(QTcpSocket& s, int n, QByteArray* out = nullptr) {
    QByteArray buf;
    while (buf.size() < n) {
        if (!s.bytesAvailable() && !s.waitForReadyRead(5000))
            return false;
        buf += s.read(n - buf.size());
    }
    if (out)
        *out = buf;
    return true;
}

// Handshake as a viewer without authentication; true when the server has sent its init.
bool vnc_connect(QTcpSocket& s, quint16 port) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(1000))
            break;
        s.abort();
        if (t.elapsed() > 15000)
            return false;
        QThread::msleep(100);
    }
    QByteArray version;
    if (!read_exact(s, 12, &version) || !version.startsWith("RFB "))
        return false;
    s.write(version);
    const int minor = version.mid(8, 3).toInt();
    if (minor < 7) {
        QByteArray type;
        if (!read_exact(s, 4, &type) || type != QByteArray("\0\0\0\1", 4))
            return false;
    } else {
        QByteArray count, types;
        if (!read_exact(s, 1, &count) || !read_exact(s, quint8(count[0]), &types) ||
            !types.contains('\1'))
            return false;
        s.write("\1", 1);
        if (minor >= 8 && !read_exact(s, 4))
            return false;
    }
    s.write("\1", 1); // shared session
    QByteArray init;
    if (!read_exact(s, 24, &init))
        return false;
    const quint32 name_len = (quint8(init[20]) << 24) | (quint8(init[21]) << 16) |
                             (quint8(init[22]) << 8) | quint8(init[23]);
    return read_exact(s, int(name_len));
}

void vnc_key(QTcpSocket& s, quint32 keysym) {
    for (char down : {1, 0}) {
        const char msg[8] = {
            4, down, 0, 0, char(keysym >> 24), char(keysym >> 16), char(keysym >> 8), char(keysym)};
        s.write(msg, 8);
    }
    s.flush();
}

quint16 free_port() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

void tst_Command_line::executable_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit_code");
    QTest::newRow("help alone exits 0") << QStringList{"-h"} << 0;
    QTest::newRow("Qt's own options are not ours: -platform before /? still means help")
        << QStringList{"-platform", "vnc:port=%1", "/?"} << 0;
    QTest::newRow("unknown option exits 2") << QStringList{"/x"} << 2;
    QTest::newRow("duplicate --log exits 2") << QStringList{"--log=a.log", "--log=b.log"} << 2;
    QTest::newRow("help with --log exits 2") << QStringList{"-h", "--log=a.log"} << 2;
}

void tst_Command_line::executable() {
#ifndef ZELMO_UPLOAD_PATH
    QSKIP("zelmo_upload is not built");
#else
    QFETCH(QStringList, args);
    QFETCH(int, exit_code);
    const quint16 port = free_port();
    QVERIFY(port != 0);
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("vnc:port=%1").arg(port));
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(dir.path());
    proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    for (QString& a : args)
        a.replace(QLatin1String("%1"), QString::number(port));
    proc.start(QStringLiteral(ZELMO_UPLOAD_PATH), args);
    QVERIFY(proc.waitForStarted());
    QTcpSocket viewer;
    const bool connected = vnc_connect(viewer, port);
    if (!connected)
        proc.kill();
    QVERIFY(connected);
    // The box waits for an answer.
    QVERIFY(!proc.waitForFinished(300));
    // Keep pressing Esc until the box is up and takes it.
    for (int i = 0; i < 50 && proc.state() != QProcess::NotRunning; ++i) {
        vnc_key(viewer, 0xff1b);
        proc.waitForFinished(200);
    }
    if (proc.state() != QProcess::NotRunning) {
        proc.kill();
        proc.waitForFinished();
        QFAIL("the box did not close on Esc");
    }
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), exit_code);
    // Boxes write nothing to the log; only errors made as Err do.
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("a.log"))));
#endif
}

QTEST_GUILESS_MAIN(tst_Command_line)
#include "tst_command_line.moc"
