#include "support/sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

Sim_process::Sim_process(const QString& program) : program_(program) {}

Sim_process::~Sim_process() {
    if (running())
        stop(5000);
}

bool Sim_process::running() const {
    return process_.state() != QProcess::NotRunning;
}

QString Sim_process::record_path() const {
    return dir_.filePath(QStringLiteral("record.txt"));
}

bool Sim_process::start(const QString& fleet, const QStringList& args, int timeout_ms) {
    error_.clear();
    ports_.clear();
    counters_.clear();
    stdout_.clear();
    stderr_.clear();
    if (program_.isEmpty()) {
        error_ = QStringLiteral("no simulator program (ZELMO_SERVER_SIM_PATH is not defined)");
        return false;
    }
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary directory");
        return false;
    }
    const QString fleet_path = dir_.filePath(QStringLiteral("fleet.txt"));
    QFile f(fleet_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(fleet.toUtf8()) < 0) {
        error_ = QStringLiteral("cannot write ") + fleet_path;
        return false;
    }
    f.close();
    QStringList all{QStringLiteral("--fleet"), fleet_path, QStringLiteral("--record"),
                    record_path(), QStringLiteral("--exit-with-parent")};
    all += args;
    process_.start(program_, all, QIODevice::ReadOnly);
    if (!process_.waitForStarted(timeout_ms)) {
        error_ = QStringLiteral("cannot start ") + program_ + QStringLiteral(": ") +
                 process_.errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        while (process_.canReadLine()) {
            const QByteArray line = process_.readLine().trimmed();
            const QList<QByteArray> words = line.split(' ');
            if (words.size() == 3 && words[0] == "listening")
                ports_.append(quint16(words[2].toUInt()));
            else if (line == "ready")
                return true;
        }
        const int left = timeout_ms - int(clock.elapsed());
        if (left <= 0 || process_.state() == QProcess::NotRunning) {
            process_.waitForFinished(100);
            stderr_ += QString::fromUtf8(process_.readAllStandardError());
            error_ = QStringLiteral("the simulator did not become ready: ") + stderr_.trimmed();
            if (running()) {
                process_.kill();
                process_.waitForFinished(timeout_ms);
            }
            return false;
        }
        process_.waitForReadyRead(qMin(left, 100));
    }
}

bool Sim_process::stop(int timeout_ms) {
    if (!running()) {
        error_ = QStringLiteral("the simulator is not running");
        return false;
    }
    process_.terminate(); // SIGTERM: the simulator prints its counters and exits
    if (!process_.waitForFinished(timeout_ms)) {
        process_.kill();
        process_.waitForFinished(timeout_ms);
        error_ = QStringLiteral("the simulator did not stop on SIGTERM");
        return false;
    }
    stderr_ += QString::fromUtf8(process_.readAllStandardError());
    const QList<QByteArray> lines = process_.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        if (!line.startsWith("counters "))
            continue;
        const QList<QByteArray> words = line.trimmed().split(' ');
        for (int i = 1; i < words.size(); ++i) {
            const int eq = words[i].indexOf('=');
            if (eq > 0)
                counters_.insert(QString::fromLatin1(words[i].left(eq)),
                                 words[i].mid(eq + 1).toLongLong());
        }
    }
    if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0) {
        error_ = QStringLiteral("the simulator exited with code %1: %2")
                     .arg(process_.exitCode())
                     .arg(stderr_.trimmed());
        return false;
    }
    if (counters_.isEmpty()) {
        error_ = QStringLiteral("the simulator printed no counters");
        return false;
    }
    return true;
}

QStringList Sim_process::record() const {
    QFile f(record_path());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList Sim_process::record_of(const QString& event) const {
    QStringList out;
    for (const QString& line : record())
        if (line.section(QLatin1Char(' '), 2, 2) == event)
            out.append(line);
    return out;
}

bool Sim_process::wait_record(const QString& event, int count, int timeout_ms) const {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (record_of(event).size() >= count)
            return true;
        if (clock.elapsed() > timeout_ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(5);
    }
}
