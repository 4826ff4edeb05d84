#include "engine/run_rate.h"

#include <QCoreApplication>

void Run_rate::add(int64_t ms, uint64_t finished) {
    // Forget what fell out of the window, but keep one sample behind it so that the rate
    // spans the whole window rather than only what is left inside.
    while (count > 1 && samples[(first + 1) % capacity].ms <= ms - window_ms) {
        first = (first + 1) % capacity;
        --count;
    }
    if (count == capacity) {
        first = (first + 1) % capacity;
        --count;
    }
    samples[(first + count) % capacity] = Sample{ms, finished};
    ++count;
}

double Run_rate::rate() const {
    if (count < 2)
        return 0.0;
    const Sample& a = samples[first];
    const Sample& b = samples[(first + count - 1) % capacity];
    const int64_t span = b.ms - a.ms;
    if (span < 100 || b.finished < a.finished)
        return 0.0;
    return double(b.finished - a.finished) * 1000.0 / double(span);
}

int64_t Run_rate::seconds_left(uint64_t remaining) const {
    if (remaining == 0)
        return 0;
    const double r = rate();
    if (r <= 0.0)
        return -1;
    const double s = double(remaining) / r;
    if (s > 359999.0) // 99:59:59
        return -1;
    return int64_t(s + 0.999);
}

QString format_rate(double per_second) {
    if (per_second < 100.0)
        return QString::number(per_second, 'f', 1);
    return QString::number(qint64(per_second + 0.5));
}

QString format_time_left(int64_t seconds) {
    if (seconds < 0)
        return QCoreApplication::translate("dialog_exchange", "—", nullptr, -1);
    const int64_t h = seconds / 3600;
    const int64_t m = seconds / 60 % 60;
    const int64_t s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

void run_rate_clear_translation() {}
