#pragma once
// What the three result lists share: the window with its servers table, its filterable
// devices table and the copy, write and close buttons, and the writing of the shown devices.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QVector>

class Collection;
class QComboBox;
class QDialogButtonBox;
class QKeyEvent;
class QLineEdit;
class Table_devices;
class Table_servers;
class Tr;
class Tr_with_hint;

struct Result_list_texts {
    Tr* title;
    Tr_with_hint* servers; // group caption and its tooltip
    Tr* close_hint;
    QString copy_hint;
    Tr* write_hint;
    unsigned short module; // high byte of the window's debug codes
};

// The window shared by the three result lists; each list gives its texts, its collection
// and its columns through build().
class Dialog_result_list : public QDialog {
    Q_OBJECT

public:
    Table_servers* table_servers = nullptr;
    Table_devices* table_devices = nullptr;
    QLineEdit* filter_text = nullptr;
    QComboBox* filter_field = nullptr;

protected:
    explicit Dialog_result_list(QWidget* parent);

    // Builds the window's contents; `fields` are the filter field items, the last being "все
    // поля", the one selected at first; `columns` the column each item selects (-1 for all).
    void build(Collection& collection, const Result_list_texts& texts, int column_count,
               int notes_column, const QStringList& fields, const QVector<int>& columns);
    // After the shown devices were written; `complete` tells whether none was left out.
    virtual void list_written(bool complete);
    void keyPressEvent(QKeyEvent* event) override;
    QDialogButtonBox* button_box = nullptr; // a list may add buttons of its own

public slots:
    void on_devices_filter_text_changed(const QString& text);
    void on_devices_filter_field_changed(int index);
    void on_btn_copy_to_clipboard_clicked();
    void on_btn_save_clicked();
    void on_btn_report_clicked();

private:
    QVector<int> filter_columns;
    unsigned short debug_module = 0; // high byte of the debug codes
    // The debug code of a place in this window.
    unsigned short code(unsigned short place) const;
};

// The shared items of the filter field box and the tooltip of the copy button.
const QString& caption_field_server();
const QString& caption_field_imei();
const QString& caption_field_notes();
const QString& caption_field_all();
const QString& hint_copy_devices();

void result_list_clear_translation();
