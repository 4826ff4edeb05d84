#include "cli/batch_signal.h"

#include <atomic>
#include <csignal>

static std::atomic<int> signal_flag{0};
static_assert(std::atomic<int>::is_always_lock_free, "the flag is set from a signal handler");

static const int handled[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void batch_on_signal(int number) {
    int none = 0;
    if (!signal_flag.compare_exchange_strong(none, number, std::memory_order_relaxed)) {
        // A second signal ends at once, even when two threads took the two at the same time:
        // it is delivered again, with its default action, as soon as this handler returns.
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    // A second signal must still be able to stop a process that does not react.
    for (int s : handled)
        std::signal(s, SIG_DFL);
}

bool sigint_received() {
    return signal_flag.load(std::memory_order_relaxed) != 0;
}

int signal_received() {
    return signal_flag.load(std::memory_order_relaxed);
}

void install_sigint_handler() {
    struct sigaction sa = {};
    sa.sa_handler = batch_on_signal;
    // The others wait while the handler runs, and then find the default action again.
    sigemptyset(&sa.sa_mask);
    for (int s : handled)
        sigaddset(&sa.sa_mask, s);
    sa.sa_flags = 0; // no SA_RESTART: a password prompt's read returns EINTR
    // Once one has arrived, the handlers stay off: the next signal ends the process.
    if (sigint_received())
        return;
    for (int s : handled)
        sigaction(s, &sa, nullptr);
}

void restore_sigint_handler() {
    for (int s : handled)
        std::signal(s, SIG_DFL);
}

const char* signal_name() {
    switch (signal_received()) {
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return nullptr;
    }
}
