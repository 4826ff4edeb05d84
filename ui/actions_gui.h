#pragma once
// The windows an action opens, kept out of the core so that it stays free of widgets.

class Action;
class QWidget;
struct Run_version;

// Shows the devices that succeeded in the last run, modally: the success list for uploads
// and commands, the values list for a gather. An upload's list shows the version check's
// outcome per device when `version` had one.
void dialog_success(const Action& action, QWidget* parent);
void dialog_success(const Action& action, QWidget* parent, const Run_version& version);

// Each builds its upload action over `firmware`, `firmware_sum` and `devfname`, runs the
// exchange window over it and returns when that window and its result windows have closed.
void perform_upload_firmware(QWidget* parent);
void perform_upload_settings(QWidget* parent);
void perform_upload_other(QWidget* parent);
