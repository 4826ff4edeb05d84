#pragma once
// Edits the eleven numeric options of the open configuration and, in the group "Безопасный
// запуск", the six rollout options, each either defined (written to the configuration file) or
// left at its default, and the trace switch, which is never written. Returns Accepted only when an
// option changed: a change of the trace switch alone closes with Rejected, as the configuration
// itself is not modified.

#include "config/config.h"

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QIntValidator;
class QLabel;
class QLineEdit;
class QGroupBox;
class QPushButton;

class Dialog_options : public QDialog {
    Q_OBJECT
public:
    explicit Dialog_options(QWidget* parent);

    // One row per option, in the order of option_info; the rollout options' rows are in
    // group_rollout.
    QCheckBox* cbox_defined[option_count];
    QLabel* label_option[option_count];
    QLineEdit* ebox_option[option_count];
    QLabel* label_ms[option_count]; // the unit; null for an option without one
    QGroupBox* group_rollout;
    QGroupBox* group_trace;
    QCheckBox* cbox_trace;
    QIntValidator* validator; // shared by every field
    QDialogButtonBox* buttons;
    QPushButton* btn_ok;
    QPushButton* btn_cancel;

public slots:
    void accept() override;

private slots:
    void on_cbox_simultaneously_state_changed(int state);
    void on_cbox_connect_timeout_state_changed(int state);
    void on_cbox_disconnect_timeout_state_changed(int state);
    void on_cbox_link_timeout_state_changed(int state);
    void on_cbox_auth_timeout_state_changed(int state);
    void on_cbox_upfile_timeout_state_changed(int state);
    void on_cbox_getparam_timeout_state_changed(int state);
    void on_cbox_cmd_timeout_state_changed(int state);
    void on_cbox_enumerate_timeout_state_changed(int state);
    void on_cbox_ping_answer_timeout_state_changed(int state);
    void on_cbox_reconnect_delay_state_changed(int state);

private:
    void defined_state_changed(int option, int state);
};

void dialog_options_clear_translation();
