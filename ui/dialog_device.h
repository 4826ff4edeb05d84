#pragma once
// What the add and edit device dialogs share: the server box, the IMEI field with its
// "Выбрать" button that picks an IMEI from the server's live device list, the PIN and notes
// fields with their labels, and the accept and cancel buttons.

#include "config/config.h"
#include "ui/dialog_form.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

// The head sentences of one dialog's tooltips and captions; the shared tails are added here.
struct Dialog_device_texts {
    QString title;
    QString hint_server, hint_imei, hint_pin, hint_notes; // heads (the server's is whole)
    QString caption_ok, hint_ok;                          // hint_ok without the save-later tail
    QString hint_cancel;
};

// Debug and random-generator codes that differ between the two dialogs.
struct Dialog_device_codes {
    Ok_cancel_codes connect_buttons;
    unsigned short connect_enumerate;
    unsigned short enumerate_random;
    unsigned short enumerate_debug; // a non-standard exception in the enumerate handler
};

class Dialog_device : public QDialog {
    Q_OBJECT
public:
    Configuration& cfg;

    QLabel* label_server;
    QComboBox* cbox_server; // "1", "2", ...: the configuration's servers in order
    QLabel* label_imei;
    QLineEdit* ebox_imei; // at most 15 characters
    QPushButton* btn_enumerate;
    QLabel* label_pin;
    QLineEdit* ebox_pin; // at most 16 characters
    QLabel* label_notes;
    QTextEdit* ebox_notes;
    QDialogButtonBox* buttons;
    QPushButton* btn_ok;
    QPushButton* btn_cancel;

public slots:
    // Asks the chosen server for its devices and puts the IMEI picked from the list into the
    // IMEI field; nothing else changes, and the IMEI is checked only on accept.
    void on_btn_enumerate_clicked();

protected:
    Dialog_device(Configuration& cfg, QWidget* parent, const Dialog_device_texts& texts,
                  const Dialog_device_codes& codes);
    struct Values {
        Device_address key;
        char pin[pin_size];
        QString notes;
    };
    // The four fields checked, in order; throws Err naming the first bad one.
    Values read_values() const;

    Dialog_device_codes codes;
};

void dialog_device_clear_translation();
