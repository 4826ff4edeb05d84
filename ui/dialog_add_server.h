#pragma once
// Adds a server to a configuration; accepted only once the server is in it.

#include "ui/dialog_server.h"

class Dialog_add_server : public Dialog_server {
    Q_OBJECT
public:
    Dialog_add_server(Configuration& cfg, QWidget* parent);

    int row = -1; // the new server's row after an accept

public slots:
    void accept() override;
};

void dialog_add_server_clear_translation();
