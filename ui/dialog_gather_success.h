#pragma once
// The devices from which every parameter was read, with the values read.

#include <QDialog>

class Collection;
class Params;
class Table_servers;
class Table_devices;
class QComboBox;
class QLineEdit;

class Dialog_gather_success : public QDialog {
    Q_OBJECT

public:
    // The collection carries one value column per parameter (borrowed).
    Dialog_gather_success(Collection& collection, const Params& params, QWidget* parent);

    Collection* collection;
    const Params* params;
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

// The succeeded devices of the configuration with one value column per parameter.
void select_success_with_values(Collection& out, const Params& params);

void dialog_gather_success_clear_translation();
