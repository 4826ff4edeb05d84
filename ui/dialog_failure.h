#pragma once
// The list of devices that failed in the last run, each with its reason; it can be written
// as a configuration of just those devices and their servers, to try them again.

#include <QDialog>

class Collection;
class Table_servers;
class Table_devices;
class QComboBox;
class QLineEdit;

class Dialog_failure : public QDialog {
    Q_OBJECT

public:
    // The collection holds the failed devices with the error-message column (borrowed).
    Dialog_failure(Collection& collection, QWidget* parent);

    Collection* collection;
    Table_servers* table_servers;
    Table_devices* table_devices;
    QLineEdit* filter_text;
    QComboBox* filter_field;
    bool saved = false; // the whole list was written to a file

protected:
    void keyPressEvent(QKeyEvent* event) override;

public slots:
    void on_devices_filter_text_changed(const QString& text);
    void on_devices_filter_field_changed(int index);
    void on_btn_copy_to_clipboard_clicked();
    void on_btn_save_clicked();
};

// The failed devices of the configuration with the error-message column, as the mixed
// result window hands them to Dialog_failure.
void select_failure_with_errors(Collection& out);

void dialog_failure_clear_translation();
