#pragma once
// A run of zelmo_batch over the devices of the configuration in one or more passes of the
// engine: the canary first, then the rest, then the retries; stops on a failed canary or
// at a failure threshold; every finished attempt goes to the journal and the report.
// Without any rollout option it is one pass over every device, as it always was.

#include "cli/batch_args.h"
#include "engine/journal.h"

#include <QString>

class Action;
class Params;
class Progress_line;

struct Rollout_outcome {
    QString engine_error; // the run could not be made
    bool interrupted = false;
    bool stopped = false; // by the canary or a threshold
    QString stop_message; // why, for standard error
    QString file_error;   // the journal or the report could not be written
};

// Throws Err before anything is served when the journal or the report cannot be opened.
Rollout_outcome run_rollout(const Batch_args& args, const Action& action, const Journal_work& work,
                            const Params* params, Progress_line& progress);

void batch_rollout_clear_translation();
