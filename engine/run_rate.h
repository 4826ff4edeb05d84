#pragma once
// The pace of a run as the exchange window shows it: finished devices per second over the
// last few seconds, and the time left at that pace.

#include <QString>
#include <cstdint>

class Run_rate {
public:
    // Samples older than this are forgotten; the rate is measured over what is left.
    static constexpr int64_t window_ms = 5000;
    static constexpr int capacity = 64;

    void clear() { count = 0; }
    // `finished` devices at `ms` milliseconds since the run began; times never go back.
    void add(int64_t ms, uint64_t finished);
    // Devices per second over the window; 0 until two samples lie at least 100 ms apart.
    double rate() const;
    // Seconds left for `remaining` devices at the current rate; -1 when unknown.
    int64_t seconds_left(uint64_t remaining) const;

private:
    struct Sample {
        int64_t ms;
        uint64_t finished;
    };
    Sample samples[capacity];
    int first = 0;
    int count = 0;
};

// "12.5": one decimal with one digit for rates under 100, whole numbers above.
QString format_rate(double per_second);
// "1:02:03" or "2:03"; "—" for unknown.
QString format_time_left(int64_t seconds);

// The one text is translated where it is shown; nothing is cached.
void run_rate_clear_translation();
