#pragma once
// The list of devices that succeeded in the last run; it can be written as a configuration.

#include "config/config.h"

#include <QDialog>

class Table_servers;
class Table_devices;
class QComboBox;
class QLineEdit;

class Dialog_success : public QDialog {
    Q_OBJECT

public:
    // Builds its own collection of the configuration's succeeded devices.
    explicit Dialog_success(QWidget* parent);

    Collection collection;
    Table_servers* table_servers;
    Table_devices* table_devices;
    QLineEdit* filter_text;
    QComboBox* filter_field;

protected:
    void keyPressEvent(QKeyEvent* event) override;

public slots:
    void on_devices_filter_text_changed(const QString& text);
    void on_devices_filter_field_changed(int index);
    void on_btn_copy_to_clipboard_clicked();
    void on_btn_save_clicked();
};

void dialog_success_clear_translation();
