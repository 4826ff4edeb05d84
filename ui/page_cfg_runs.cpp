// The page's runs: upload a file, gather the versions, send a command, each to every device
// of the configuration whatever the filter shows.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/params.h"
#include "engine/upload_setup.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/actions_gui.h"
#include "ui/dialog_commands.h"
#include "ui/dialog_exchange.h"
#include "ui/page_cfg.h"
#include "ui/page_cfg_codes.h"
#include "ui/table_devices.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <memory>

static Tr errtext_nowhere_to_upload(
    "page_cfg", "Некуда закачивать: в текущей конфигурации нет ни одного устройства.");
static Tr errtext_nowhere_to_ask(
    "page_cfg", "Неоткуда запрашивать: в текущей конфигурации нет ни одного устройства.");
static Tr errtext_nobody_to_command(
    "page_cfg", "Некому отправлять команду: в текущей конфигурации нет ни одного устройства.");

const Upload_function page_cfg_upload_functions[3] = {
    perform_upload_firmware, perform_upload_settings, perform_upload_other};

void Page_cfg::init_run_buttons() {
    btn_upload->setEnabled(true);
    btn_gather->setEnabled(true);
    btn_commands->setEnabled(true);
    btn_resume->setEnabled(true);
}

void Page_cfg::on_btn_upload_clicked() {
    update_random_number_generator(781);
    try {
        if (configuration.devices.count == 0) {
            show_error(errtext_nowhere_to_upload.tr(), this);
            return;
        }
        if (!table_devices->warn_if_filtered(this))
            return;
        QString title, filter;
        Upload_function upload = nullptr;
        try {
            req_values(title, filter, upload);
            req_version();
        } catch (const std::exception& e) {
            show_exception(e, this);
            return;
        }
        const QString name = QFileDialog::getOpenFileName(this, title, last_fw_fname, filter);
        if (name.isEmpty())
            return;
        last_fw_fname = name;
        // The file is needed only while its upload lasts; whatever ends the handler frees it.
        std::unique_ptr<Upload_file> file;
        try {
            file = std::make_unique<Upload_file>(name);
        } catch (const std::exception& e) {
            show_exception(e, this);
            return;
        } catch (...) {
            show_debug(code_load_file, this);
            return;
        }
        upload(this);
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_upload, this);
    }
}

void Page_cfg::on_btn_gather_clicked() {
    update_random_number_generator(782);
    try {
        if (configuration.devices.count == 0) {
            show_error(errtext_nowhere_to_ask.tr(), this);
            return;
        }
        if (!table_devices->warn_if_filtered(this))
            return;
        Action_gather action(*gather_params);
        Dialog_exchange(this, action).exec();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_gather, this);
    }
}

void Page_cfg::on_btn_commands_clicked() {
    update_random_number_generator(783);
    try {
        if (configuration.devices.count == 0) {
            show_error(errtext_nobody_to_command.tr(), this);
            return;
        }
        Dialog_commands(this, *table_devices).exec();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_commands, this);
    }
}

void page_cfg_runs_clear_translation() {
    errtext_nowhere_to_upload.clear();
    errtext_nowhere_to_ask.clear();
    errtext_nobody_to_command.clear();
}
