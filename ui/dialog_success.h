#pragma once
// The list of devices that succeeded in the last run; it can be written as a configuration.

#include "config/config.h"
#include "ui/result_list.h"

class Dialog_success : public Dialog_result_list {
    Q_OBJECT

public:
    // Builds its own collection of the configuration's succeeded devices.
    explicit Dialog_success(QWidget* parent);

    Collection collection;
};

void dialog_success_clear_translation();
