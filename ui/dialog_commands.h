#pragma once
// The window behind the page's "Команды" button: four device commands, each sent to every
// device of the configuration through the exchange window.

#include <QDialog>

class Table_devices;
class Tr;

class Dialog_commands : public QDialog {
    Q_OBJECT

public:
    // The table is the configuration page's, used only to warn about its filter.
    Dialog_commands(QWidget* parent, Table_devices& devices);

    Table_devices* devices;

public slots:
    void on_btn_restart_clicked();
    void on_btn_factory_clicked();
    void on_btn_dropbbox_clicked();
    void on_btn_cleargnss_clicked();

private:
    // Returns after the run and its result windows are over; false when the user refused.
    bool run_command(unsigned char code, Tr& name, const QString* question,
                     const QString& yes_hint);
};

void dialog_commands_clear_translation();
