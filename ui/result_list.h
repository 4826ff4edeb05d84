#pragma once
// What the three result lists share: the window with its servers table, its filterable
// devices table and the copy, write and close buttons, and the writing of the shown devices.

#include <QString>
#include <QStringList>

class Collection;
class QDialog;
class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;
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

struct Result_list {
    Table_servers* servers;
    Table_devices* devices;
    QLineEdit* filter_text;
    QComboBox* filter_field;
    QPushButton* btn_copy;
    QPushButton* btn_save;
    QPushButton* btn_close;
};

// Builds the window's contents; `fields` are the filter field items, the last being "все
// поля", the one selected at first.
Result_list build_result_list(QDialog& dialog, Collection& collection,
                              const Result_list_texts& texts, int column_count, int notes_column,
                              const QStringList& fields);

// The shared items of the filter field box and the tooltip of the copy button.
const QString& caption_field_server();
const QString& caption_field_imei();
const QString& caption_field_notes();
const QString& caption_field_all();
const QString& hint_copy_devices();

// The column a filter field item selects: `columns[index]`, -1 for "все поля"; false (with
// the debug code logged) for an index outside the items.
bool result_filter_column(const int* columns, int count, int index, unsigned short debug_code,
                          int& column);
void set_result_filter(Table_devices& table, const QString& text);
void set_result_filter_column(Table_devices& table, int column);

// Writes the devices that pass the filter, and their servers, as a configuration file.
// True when a file was written; `complete` tells whether no device was left out.
bool save_result_list(Table_devices& table, QWidget* parent, bool& complete);

void result_list_clear_translation();
