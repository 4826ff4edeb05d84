#pragma once
// zelmo_batch's side of a rollout: the policy of the configuration with the command line laid
// over it, the stop reasons in the command line's words, the progress line and Ctrl-C; the
// passes themselves are the core's driver (engine/rollout.h).

#include "cli/batch_args.h"
#include "engine/rollout.h"

class Action;
class Params;
class Progress_line;

// The configuration's rollout options (already loaded) overridden by the flags given.
Rollout_policy batch_rollout_policy(const Batch_args& args);

// Throws Err before anything is served when the journal or the report cannot be opened.
Rollout_outcome run_rollout(const Batch_args& args, const Action& action, const Journal_work& work,
                            const Params* params, Progress_line& progress);

void batch_rollout_clear_translation();
