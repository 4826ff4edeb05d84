#pragma once
// Shows one device of a configuration and changes it; an accept without a change is refused.

#include "ui/dialog_device.h"

class Dialog_edit_device : public Dialog_device {
    Q_OBJECT
public:
    Dialog_edit_device(Configuration& cfg, unsigned device_row, QWidget* parent);

    unsigned device_row; // the device shown; after an accept, its row in the new order

public slots:
    void accept() override;
};

void dialog_edit_device_clear_translation();
