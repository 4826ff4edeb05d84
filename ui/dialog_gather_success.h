#pragma once
// The devices from which every parameter was read, with the values read.

#include "ui/result_list.h"

class Collection;
class Params;

class Dialog_gather_success : public Dialog_result_list {
    Q_OBJECT

public:
    // The collection carries one value column per parameter; it must outlive the window.
    Dialog_gather_success(Collection& collection, const Params& params, QWidget* parent);
};

// The succeeded devices of the configuration with one value column per parameter.
void select_success_with_values(Collection& out, const Params& params);

void dialog_gather_success_clear_translation();
