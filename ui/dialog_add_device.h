#pragma once
// Adds a device to a configuration that has at least one server; accepted only once the
// device is in it.

#include "ui/dialog_device.h"

class Dialog_add_device : public Dialog_device {
    Q_OBJECT
public:
    Dialog_add_device(Configuration& cfg, QWidget* parent);

    int row = -1; // the new device's row after an accept

public slots:
    void accept() override;
};

void dialog_add_device_clear_translation();
