#include "ui/actions_gui.h"

#include "config/config.h"
#include "engine/actions.h"
#include "ui/desktop_rollout.h"
#include "ui/dialog_exchange.h"
#include "ui/dialog_gather_success.h"
#include "ui/dialog_success.h"

void dialog_success(const Action& action, QWidget* parent) {
    dialog_success(action, parent, Run_version());
}

void dialog_success(const Action& action, QWidget* parent, const Run_version& version) {
    if (action.kind == Action::gather) {
        const Params& params = *static_cast<const Action_gather&>(action).params;
        Collection values;
        select_success_with_values(values, params);
        Dialog_gather_success(values, params, parent).exec();
        return;
    }
    Dialog_success(parent, version).exec();
}

void perform_upload_firmware(QWidget* parent) {
    Action_upload_firmware action;
    Dialog_exchange(parent, action).exec();
}

void perform_upload_settings(QWidget* parent) {
    Action_upload_settings action;
    Dialog_exchange(parent, action).exec();
}

void perform_upload_other(QWidget* parent) {
    Action_upload_other action;
    Dialog_exchange(parent, action).exec();
}
