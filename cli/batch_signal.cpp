#include "cli/batch_signal.h"

#include <atomic>
#include <csignal>

static std::atomic<int> sigint_flag{0};
static_assert(std::atomic<int>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void batch_on_sigint(int) {
    sigint_flag.store(1, std::memory_order_relaxed);
    // A second Ctrl-C must still be able to stop a process that does not react.
    std::signal(SIGINT, SIG_DFL);
}

bool sigint_received() {
    return sigint_flag.load(std::memory_order_relaxed) != 0;
}

void install_sigint_handler() {
    struct sigaction sa = {};
    sa.sa_handler = batch_on_sigint;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: a password prompt's read returns EINTR
    sigaction(SIGINT, &sa, nullptr);
}

void restore_sigint_handler() {
    std::signal(SIGINT, SIG_DFL);
}
