#pragma once
// The password dialog shown before a configuration file is written: an empty password
// means the file is written as plain text.

#include "config/container.h"

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class Ebox_with_size;

class Dialog_encrypt : public QDialog {
    Q_OBJECT
public:
    explicit Dialog_encrypt(QWidget* parent);

    QString password; // set on accept, as typed (spaces count)
    // Set on accept from the compatibility box: legacy when the file must open in older
    // versions of the program.
    Container_form form = Container_form::modern;
    Ebox_with_size* ebox_password;
    QLabel* label_confirm;
    Ebox_with_size* ebox_confirm;
    QCheckBox* cbox_show;
    QCheckBox* cbox_compatible;
    QDialogButtonBox* buttons;

public slots:
    void accept() override;
private slots:
    void on_cbox_show_state_changed(int state);
};

void dialog_encrypt_clear_translation();
