#pragma once
// Shows one server of a configuration and changes it; an accept without a change is refused
// so that the configuration is never marked modified for nothing.

#include "ui/dialog_server.h"

class Dialog_edit_server : public Dialog_server {
    Q_OBJECT
public:
    Dialog_edit_server(Configuration& cfg, unsigned short server_row, QWidget* parent);

    unsigned short server_row; // the server shown; after an accept, its row in the new order

public slots:
    void accept() override;
};

void dialog_edit_server_clear_translation();
