#pragma once
// What the add and edit server dialogs share: the address, port and notes fields with their
// labels, and the accept and cancel buttons.

#include "ui/dialog_form.h"

#include <QDialog>

class Configuration;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

// The head sentences of one dialog's tooltips and captions; the shared tails are added here.
struct Dialog_server_texts {
    QString title;
    QString hint_address, hint_port, hint_notes; // heads
    QString caption_ok, hint_ok;                 // hint_ok without the save-later tail
    QString hint_cancel;
};

class Dialog_server : public QDialog {
    Q_OBJECT
public:
    Configuration& cfg;

    QLabel* label_address;
    QLineEdit* ebox_address;
    QLabel* label_port;
    QLineEdit* ebox_port; // at most 5 characters
    QLabel* label_notes;
    QTextEdit* ebox_notes;
    QDialogButtonBox* buttons;
    QPushButton* btn_ok;
    QPushButton* btn_cancel;

protected:
    Dialog_server(Configuration& cfg, QWidget* parent, const Dialog_server_texts& texts,
                  Ok_cancel_codes connect_codes);
    struct Values {
        QString address;
        unsigned short port;
        QString notes;
    };
    // The three fields checked, in order; throws Err naming the first bad one.
    Values read_values() const;
};

void dialog_server_clear_translation();
