#pragma once
// How the desktop sets up a rollout for an action: the policy from the configuration's
// options, the work named in the journal, and the journal itself, which every desktop run
// writes beside the log file.

#include "engine/rollout.h"

class Action;
class QDateTime;

// The version check of the next upload as the configuration page sets it (no check while
// `expected` is empty); every upload rollout of the desktop takes it, with the delay of the
// option verify_delay.
extern Version_check desktop_version_check;

// What a run's version check did, for the result windows; check.any() false: the run had none.
struct Run_version {
    Version_check check;
    unsigned skipped = 0;  // showed the expected version already and took no file
    unsigned verified = 0; // showed it when read again after the upload
};

// The work of the action as zelmo_batch names it: "upload" with the device file name and the
// file's CRC-32, "gather", or "command restart" and the like.
Journal_work desktop_work(const Action& action);

// The journal of a run begun at `start` (local time): zelmo_upload-YYYYMMDD-HHMMSS.journal in
// the log file's folder.
QString desktop_journal_name(const QDateTime& start);

// A rollout of the action with the configuration's policy and a new journal; `resume`, when
// given, is a journal to continue instead.
Rollout_setup desktop_rollout_setup(const Action& action, const QString& resume = QString());
