#include "support/batch_process.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

QStringList Batch_outcome::lines() const {
    QStringList l = QString::fromUtf8(out).split(QLatin1Char('\n'));
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

Batch_outcome run_batch(const QString& program, const QString& dir, const QStringList& args,
                        QProcess* started) {
    QProcess local;
    QProcess& p = started ? *started : local;
    if (!started) {
        p.setWorkingDirectory(dir);
        p.start(program, args);
    }
    Batch_outcome o;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        o.err = QStringLiteral("zelmo_batch did not finish");
        return o;
    }
    o.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    o.out = p.readAllStandardOutput();
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

void write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}
