#pragma once
// The list of devices that failed in the last run, each with its reason; it can be written
// as a configuration of just those devices and their servers, to try them again.

#include "ui/result_list.h"

class Action;
class Collection;

class Dialog_failure : public Dialog_result_list {
    Q_OBJECT

public:
    // The collection holds the failed devices with the error-message column; it must outlive
    // the window. With the run's action the window can run it again for the shown devices
    // (the action, and an upload's file, must outlive the window too).
    Dialog_failure(Collection& collection, QWidget* parent, const Action* action = nullptr);

    bool saved = false;   // the whole list was written to a file
    bool retried = false; // the shown devices were served again: the list is out of date

public slots:
    void on_btn_retry_clicked();

protected:
    void list_written(bool complete) override;

private:
    Collection* collection;
    const Action* action;
};

// The failed devices of the configuration with the error-message column, as the mixed
// result window hands them to Dialog_failure.
void select_failure_with_errors(Collection& out);

void dialog_failure_clear_translation();
