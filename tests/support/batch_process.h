#pragma once
// Running the zelmo_batch executable from a test: its exit code and both outputs.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

struct Batch_outcome {
    int code = -1; // -2: it crashed or was killed
    QByteArray out;
    QString err;
    // Standard output split into lines, without the empty one after the last line break.
    QStringList lines() const;
};

// Runs `program` with `args` in `dir` (where its default log then lands), or, with `started`,
// waits for a process the test has already started. One that does not finish within a minute
// is killed and reported in `err`.
Batch_outcome run_batch(const QString& program, const QString& dir, const QStringList& args,
                        QProcess* started = nullptr);

// Writes `bytes` to `path`, replacing the file; a failure fails the calling test.
void write_file(const QString& path, const QByteArray& bytes);
