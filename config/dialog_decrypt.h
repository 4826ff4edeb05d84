#pragma once
// The password dialog shown before an encrypted configuration file is read, and the
// password field shared with the encryption dialog.

#include <QDialog>
#include <QLineEdit>

class QCheckBox;
class QDialogButtonBox;

// A line edit about 40 characters wide: 40 decimal-digit widths of the large font.
class Ebox_with_size : public QLineEdit {
    Q_OBJECT
public:
    explicit Ebox_with_size(QWidget* parent);
    QSize sizeHint() const override;
};

class Dialog_decrypt : public QDialog {
    Q_OBJECT
public:
    Dialog_decrypt(QWidget* parent, const QString& title);

    QString password; // set on accept, as typed
    Ebox_with_size* ebox_password;
    QCheckBox* cbox_show;
    QDialogButtonBox* buttons;

public slots:
    void accept() override;
private slots:
    void on_cbox_show_state_changed(int state);
};

void dialog_decrypt_clear_translation();
