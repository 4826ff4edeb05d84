#include "cli/batch_output.h"

#include "foundation/err.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

static Tr errfmt_stdout("batch", "Не удалось записать результат на стандартный вывод: %1");

void batch_output_clear_translation() {
    errfmt_stdout.clear();
}

static int stdout_errno = 0;

static void note_stdout_failure() {
    if (stdout_errno == 0)
        stdout_errno = errno ? errno : EIO;
}

void write_stdout(const QByteArray& bytes) {
    if (stdout_errno != 0)
        return; // what follows a lost line would only mislead
    errno = 0;
    if (fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()))
        note_stdout_failure();
}

void print_line(FILE* f, const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes += '\n';
    if (f == stdout)
        write_stdout(bytes);
    else
        fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
}

int stdout_status() {
    errno = 0;
    if (stdout_errno == 0 && (fflush(stdout) != 0 || ferror(stdout)))
        note_stdout_failure();
    return stdout_errno;
}

bool stdout_closed() {
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        return false;
    pollfd p = {STDOUT_FILENO, POLLOUT, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

QString stdout_error_text(int error) {
    return errfmt_stdout.tr().arg(QString::fromLocal8Bit(strerror(error)));
}

Progress_line::Progress_line(bool enabled) : showing(enabled && isatty(STDERR_FILENO)) {}

Progress_line::~Progress_line() {
    clear();
}

void Progress_line::show(const QString& text) {
    if (!showing || text == shown)
        return;
    shown = text;
    // A line that wraps could no longer be redrawn in place with a carriage return.
    QString fitted = text;
    winsize ws;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 && fitted.size() >= ws.ws_col)
        fitted.truncate(ws.ws_col - 1);
    // Blanks over the tail of a longer line drawn before.
    QString line = QLatin1Char('\r') + fitted;
    const int width = fitted.size();
    if (width < line_width)
        line += QString(line_width - width, QLatin1Char(' '));
    line_width = width;
    const QByteArray bytes = line.toUtf8();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    fflush(stderr);
}

void Progress_line::clear() {
    if (!showing || line_width == 0)
        return;
    const QByteArray blank = '\r' + QByteArray(line_width, ' ') + '\r';
    fwrite(blank.constData(), 1, size_t(blank.size()), stderr);
    fflush(stderr);
    line_width = 0;
    shown.clear();
}

int finish_stdout() {
    const int error = stdout_status();
    if (error == 0)
        return 0;
    if (error == EPIPE)
        return 1;
    print_line(stderr, stdout_error_text(error));
    return 2;
}
