#include "cli/batch_output.h"

#include <sys/ioctl.h>
#include <unistd.h>

void print_line(FILE* f, const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes += '\n';
    fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
}

Progress_line::Progress_line(bool enabled) : active_(enabled && isatty(STDERR_FILENO)) {}

Progress_line::~Progress_line() {
    clear();
}

void Progress_line::show(const QString& text) {
    if (!active_ || text == shown_)
        return;
    shown_ = text;
    // A line that wraps could no longer be redrawn in place with a carriage return.
    QString fitted = text;
    winsize ws;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 && fitted.size() >= ws.ws_col)
        fitted.truncate(ws.ws_col - 1);
    // Blanks over the tail of a longer line drawn before.
    QString line = QLatin1Char('\r') + fitted;
    const int width = fitted.size();
    if (width < width_)
        line += QString(width_ - width, QLatin1Char(' '));
    width_ = width;
    const QByteArray bytes = line.toUtf8();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    fflush(stderr);
}

void Progress_line::clear() {
    if (!active_ || width_ == 0)
        return;
    const QByteArray blank = '\r' + QByteArray(width_, ' ') + '\r';
    fwrite(blank.constData(), 1, size_t(blank.size()), stderr);
    fflush(stderr);
    width_ = 0;
    shown_.clear();
}
