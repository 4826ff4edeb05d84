#pragma once
// Lines on standard output and standard error, always in UTF-8, and the progress line that
// is redrawn in place while a run goes on (only when standard error is a terminal).

#include <QString>
#include <cstdio>

// Writes the text and a line feed. On standard output the first failure is kept for
// stdout_status().
void print_line(FILE* f, const QString& text);
void write_stdout(const QByteArray& bytes);

// Flushes standard output and tells whether everything written to it so far arrived: 0, or
// the errno of the first failure (EPIPE when its reader went away).
int stdout_status();
// True when standard output is a pipe or socket whose reader has gone away, which a run
// takes as a request to stop; asks without writing.
bool stdout_closed();
// The message for a failure of standard output other than EPIPE.
QString stdout_error_text(int error);
// The exit status of a command whose only result is its standard output: 0 when it all
// arrived, 1 when the reader went away, 2 (with the message on standard error) otherwise.
int finish_stdout();

void batch_output_clear_translation();

class Progress_line {
public:
    // Draws nothing unless enabled and standard error is a terminal.
    explicit Progress_line(bool enabled);
    ~Progress_line();
    Progress_line(const Progress_line&) = delete;
    Progress_line& operator=(const Progress_line&) = delete;

    bool active() const { return showing; }
    // Replaces the line shown; the same text is not drawn twice.
    void show(const QString& text);
    // Wipes the line so that ordinary output can follow.
    void clear();

private:
    bool showing;
    QString shown;
    int line_width = 0; // characters drawn last time
};
