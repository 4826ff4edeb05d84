#pragma once
// Ctrl-C, SIGTERM and SIGHUP during a run or a prompt: the first one is only noted (the run
// is then cancelled as the exchange window's abort does), a second one ends the process at
// once. A standard output whose reader went away cancels a run the same way.

// True once one of the three signals has arrived while our handler was installed.
bool sigint_received();
// The signal that arrived first (SIGINT, SIGTERM or SIGHUP); 0 for none.
int signal_received();
// From now on the three signals only raise the flag, and interrupt blocking reads (no
// restart).
void install_sigint_handler();
// The three signals end the process again.
void restore_sigint_handler();
// "SIGTERM" or "SIGHUP" when that signal came first; null for Ctrl-C or none.
const char* signal_name();
