// The configuration page's runs with the devices: upload, gather and commands.
#include "ui/page_cfg.h"

#include <QAbstractButton>

// Not wired to the exchange windows yet: the buttons stay disabled and the slots do nothing.
const Upload_function page_cfg_upload_functions[3] = {nullptr, nullptr, nullptr};

void Page_cfg::init_run_buttons() {
    btn_upload->setEnabled(false);
    btn_gather->setEnabled(false);
    btn_commands->setEnabled(false);
}

void Page_cfg::on_btn_upload_clicked() {}

void Page_cfg::on_btn_gather_clicked() {}

void Page_cfg::on_btn_commands_clicked() {}
