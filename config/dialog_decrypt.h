#pragma once
// The password dialog shown before an encrypted configuration file is read, and the
// pieces it shares with the encryption dialog.

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>

class QBoxLayout;
class QCheckBox;
class QPushButton;
class Tr_with_hint;

// A line edit about 40 characters wide: 40 decimal-digit widths of the large font.
class Ebox_with_size : public QLineEdit {
    Q_OBJECT
public:
    explicit Ebox_with_size(QWidget* parent);
    QSize sizeHint() const override;
};

// Both password dialogs: a title and the usual buttons of the title bar, nothing else.
const Qt::WindowFlags password_dialog_flags =
    Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

// A field whose characters start hidden, appended to `layout`.
Ebox_with_size* add_password_ebox(QWidget* parent, QBoxLayout* layout, const QString& name,
                                  const QString& hint);
// The "show the password" check box, appended to `layout`.
QCheckBox* add_show_cbox(QWidget* parent, QBoxLayout* layout, Tr_with_hint& text);
QPushButton* add_dialog_button(QDialogButtonBox* buttons, QDialogButtonBox::ButtonRole role,
                               const QString& name, const QString& caption, const QString& hint);

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
