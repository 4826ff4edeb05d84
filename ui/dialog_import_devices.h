#pragma once
// The preview of a device paste: what will be added, what is there already, every refused
// row with its line and reason. "Добавить" adds the good rows in one step, "Отмена" nothing.

#include <QDialog>

struct Device_import;
class QPlainTextEdit;
class QPushButton;

class Dialog_import_devices : public QDialog {
    Q_OBJECT
public:
    Dialog_import_devices(const Device_import& import, QWidget* parent);

    QPlainTextEdit* list;
    QPushButton* btn_add;
    QPushButton* btn_cancel;
};

// The text of the preview, one line each, in the order the window shows them.
QString import_preview_text(const Device_import& import);

void dialog_import_devices_clear_translation();
