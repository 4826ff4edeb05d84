#pragma once
// The three runs over every device of a configuration (upload, gather, command) and their
// report: one line per device on standard output, progress and a summary on standard error,
// the lists of failed and succeeded devices as configuration files.

#include "cli/batch_args.h"

// Each returns the process exit status: 0 every device succeeded, 1 some device failed or
// the run was cancelled with Ctrl-C, 2 a file or configuration error, 3 the run could not
// be made. Errors before the run are thrown as Err.
int run_upload(const Batch_args& args);
int run_gather(const Batch_args& args);
int run_command(const Batch_args& args);

void batch_run_clear_translation();
