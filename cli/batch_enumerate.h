#pragma once
// The device list of one server: its IMEIs on standard output, one per line.

#include "cli/batch_args.h"

// Returns the exit status: 0 the list was received (perhaps empty), 1 the request failed
// (its message on standard error) or was interrupted with Ctrl-C.
int run_enumerate(const Batch_args& args);

void batch_enumerate_clear_translation();
