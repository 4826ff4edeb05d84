#pragma once
// The list of devices that succeeded in the last run; it can be written as a configuration.

#include "config/config.h"
#include "ui/desktop_rollout.h"
#include "ui/result_list.h"

class Dialog_success : public Dialog_result_list {
    Q_OBJECT

public:
    // Builds its own collection of the configuration's succeeded devices; after an upload with
    // a version check, with the version each device shows and what came of the check.
    explicit Dialog_success(QWidget* parent, const Run_version& version = Run_version());

    Collection collection;
};

void dialog_success_clear_translation();
