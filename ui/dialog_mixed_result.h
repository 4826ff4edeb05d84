#pragma once
// The result window of a run in which at least one device failed: how many succeeded and
// how many failed, with a button for each list.

#include <QDialog>

class Action;

class Dialog_mixed_result : public QDialog {
    Q_OBJECT

public:
    // s succeeded, f failed (at least 1); `stopped`, when not empty, says why a rollout
    // stopped before it had served every device.
    Dialog_mixed_result(const Action& action, unsigned int s, unsigned int f, QWidget* parent,
                        const QString& stopped = QString());

    const Action* action;
    // Some devices succeeded, some failed, and the failure list has not been saved yet.
    bool unsaved_failures = false;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public slots:
    void on_btn_show_success_clicked();
    void on_btn_show_failure_clicked();
    void on_btn_about_clicked();
};

void dialog_mixed_result_clear_translation();
