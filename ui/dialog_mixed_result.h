#pragma once
// The result window of a run in which at least one device failed: how many succeeded and
// how many failed, with a button for each list.

#include "ui/desktop_rollout.h"

#include <QDialog>

class Action;

class Dialog_mixed_result : public QDialog {
    Q_OBJECT

public:
    // s succeeded, f failed (at least 1); `stopped`, when not empty, says why a rollout
    // stopped before it had served every device; `version`, what the upload's version check
    // made of the devices, when it had one.
    Dialog_mixed_result(const Action& action, unsigned int s, unsigned int f, QWidget* parent,
                        const QString& stopped = QString(),
                        const Run_version& version = Run_version());

    const Action* action;
    const Run_version version;
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

// The expected version and how many devices had it already and were verified, one line each;
// for the result windows of an upload with a version check.
QString version_summary(const Run_version& version);

void dialog_mixed_result_clear_translation();
