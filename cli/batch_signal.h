#pragma once
// Ctrl-C during a run or a prompt: the first one is only noted (the run is then cancelled
// as the exchange window's abort does), a second one ends the process at once.

// True once SIGINT has arrived while our handler was installed.
bool sigint_received();
// From now on SIGINT only raises the flag, and interrupts blocking reads (no restart).
void install_sigint_handler();
// SIGINT ends the process again.
void restore_sigint_handler();
