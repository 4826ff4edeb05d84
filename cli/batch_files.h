#pragma once
// The files a command names, checked before anything is read or sent: inputs must be
// regular files, outputs must be creatable, and no output may be an input or another output
// (the same device and inode after following links, or the same absolute path for a file
// that does not exist yet). Only convert may write onto its own configuration: it replaces
// the file whole, which is its purpose.

#include "cli/batch_args.h"

// Throws Err naming the file and both options.
void check_batch_files(const Batch_args& args);

void batch_files_clear_translation();
