#pragma once
// zelmo_batch import: devices from a list file added to a configuration, written to a new
// plain configuration file, with the same checks and messages as a paste into the table.

#include "cli/batch_args.h"

// 0: every row added or there already; 1: some rows refused (OUT holds the good ones);
// usage and file errors are thrown as Err (exit 2).
int run_import(const Batch_args& args);

void batch_import_clear_translation();
