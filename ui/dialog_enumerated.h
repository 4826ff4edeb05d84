#pragma once
// The list of devices a server reported, filterable and sortable; the IMEI the user picks
// leaves the window as `result`.

#include <QDialog>

class Enumerated;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class Table_enumerated;

class Dialog_enumerated : public QDialog {
    Q_OBJECT
public:
    Dialog_enumerated(Enumerated& model, QWidget* parent);

    QString result; // the chosen IMEI, 15 digits, after an accept
    QLabel* label_filter;
    QLineEdit* ebox_filter;
    Table_enumerated* table;
    QDialogButtonBox* buttons;
    QPushButton* btn_choose;
    QPushButton* btn_cancel;

public slots:
    void accept() override;
    void on_filter_text_changed(const QString& text);
    void on_table_double_click(const QModelIndex& index);
};

void dialog_enumerated_clear_translation();
