#pragma once
// Lines on standard output and standard error, always in UTF-8, and the progress line that
// is redrawn in place while a run goes on (only when standard error is a terminal).

#include <QString>
#include <cstdio>

// Writes the text and a line feed.
void print_line(FILE* f, const QString& text);

class Progress_line {
public:
    // Draws nothing unless enabled and standard error is a terminal.
    explicit Progress_line(bool enabled);
    ~Progress_line();
    Progress_line(const Progress_line&) = delete;
    Progress_line& operator=(const Progress_line&) = delete;

    bool active() const { return active_; }
    // Replaces the line shown; the same text is not drawn twice.
    void show(const QString& text);
    // Wipes the line so that ordinary output can follow.
    void clear();

private:
    bool active_;
    QString shown_;
    int width_ = 0; // characters drawn last time
};
