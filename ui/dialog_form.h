#pragma once
// The pieces the server and device editing dialogs build their forms from.

#include <QString>

class QBoxLayout;
class QDialog;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QWidget;

// The caption of a field in column 0 of a grid row, its buddy set; label and field share the
// tooltip, and the field shows its value in the big font. The field itself is not placed.
QLabel* add_field_label(QWidget* parent, QGridLayout* grid, int row, const QString& caption,
                        QWidget* field, const QString& hint);

// The debug codes logged when the accept or the reject connection fails.
struct Ok_cancel_codes {
    unsigned short accepted, rejected;
};

// The accept and "Отмена" buttons under the form, wired to accept and reject; the accept
// tooltip ends with the note on saving.
QDialogButtonBox* add_ok_cancel(QDialog* dialog, QBoxLayout* layout, const QString& caption_ok,
                                const QString& hint_ok, const QString& hint_cancel,
                                Ok_cancel_codes codes, QPushButton*& ok, QPushButton*& cancel);
