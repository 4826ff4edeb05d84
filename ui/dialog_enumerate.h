#pragma once
// The small progress window of a device list request: opening it starts the request,
// the outcome closes it (accepted only for a non-empty list), and closing it earlier aborts.

#include "protocol/enumerate.h"

#include <QDialog>

class QDialogButtonBox;
class QPushButton;
class Server;

class Dialog_enumerate : public QDialog, public Enumerate_report {
    Q_OBJECT
public:
    Dialog_enumerate(QWidget* parent, Server& server, Enumerated& model);
    ~Dialog_enumerate() override;

    enum : unsigned char { reported = 0x01 };

    Enumerate enumerate;
    unsigned char done_flags = 0;
    QDialogButtonBox* buttons;
    QPushButton* btn_abort;

    void success() override;
    void failure(const QString& text) override;
    void empty_success() override;

    void done(int result) override;

private:
    // Closes with the result, also when the outcome came before the window runs.
    void finish(int result);
    bool closed = false;
};

void dialog_enumerate_clear_translation();
