// The page's resumed run: a journal of earlier work names the action, and the work runs again
// for the devices of the configuration that the journal does not record as succeeded,
// appending to the same journal.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/journal.h"
#include "engine/upload_setup.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "protocol/frame.h"
#include "ui/desktop_rollout.h"
#include "ui/dialog_exchange.h"
#include "ui/page_cfg.h"
#include "ui/page_cfg_codes.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <memory>

static Tr_with_hint caption_resume_button(
    "page_cfg", "Продолжить по журналу",
    "Если вы нажмёте эту кнопку, программа спросит у вас файл журнала\nпрерванной работы "
    "(zelmo_upload-....journal) и выполнит ту же работу\nтолько для тех устройств текущей "
    "конфигурации, которые в журнале\nне записаны как успешно обслуженные. Результаты будут "
    "дописаны в\nтот же журнал.\n\nДля закачки программа спросит также закачиваемый файл и "
    "проверит,\nчто это тот же файл (по контрольной сумме CRC-32), что и в журнале.");
static Tr title_journal("page_cfg", "Какую работу продолжить?");
static Tr filter_journal("page_cfg", "Журналы работы (*.journal);;Все файлы (*.*)");
static Tr errtext_nothing_to_resume(
    "page_cfg", "Нечего продолжать: в текущей конфигурации нет ни одного устройства.");
static Tr errfmt_unknown_work("page_cfg", "Журнал «%1» записан для работы «%2», которую эта "
                                          "программа продолжить не может.");

Tr_with_hint& caption_resume() {
    return caption_resume_button;
}

// The command a journal names as "command WORD" (the words zelmo_batch uses), or 0.
static unsigned char command_of(const QString& action, Tr*& name) {
    static const struct {
        const char* word;
        unsigned char code;
        Tr* name;
    } commands[] = {{"command restart", 1, &name_RESTART},
                    {"command factory", 5, &name_FACTORY},
                    {"command dropbbox", 6, &name_DROPBBOX},
                    {"command cleargnss", 59, &name_CLEARGNSS}};
    for (const auto& c : commands)
        if (action == QLatin1String(c.word)) {
            name = c.name;
            return c.code;
        }
    return 0;
}

void Page_cfg::on_btn_resume_clicked() {
    update_random_number_generator(code_resume);
    try {
        if (configuration.devices.count == 0) {
            show_error(errtext_nothing_to_resume.tr(), this);
            return;
        }
        const QString journal =
            QFileDialog::getOpenFileName(this, title_journal.tr(), QString(), filter_journal.tr());
        if (journal.isEmpty())
            return;
        const Journal_work work = journal_first_work(journal);
        // The file of an upload is held until the result windows close.
        std::unique_ptr<Upload_file> file;
        std::unique_ptr<Action> action;
        Tr* name = nullptr;
        if (work.action == QLatin1String("upload")) {
            QString title, filter;
            Upload_function upload = nullptr;
            req_values(title, filter, upload);
            req_version();
            const QString path = QFileDialog::getOpenFileName(this, title, last_fw_fname, filter);
            if (path.isEmpty())
                return;
            last_fw_fname = path;
            file = std::make_unique<Upload_file>(path);
            action = make_upload_action(upload_purpose_of(devfname));
        } else if (work.action == QLatin1String("gather")) {
            action = std::make_unique<Action_gather>(*gather_params);
        } else if (const unsigned char code = command_of(work.action, name)) {
            action = std::make_unique<Action_cmd>(code, name->tr());
        } else {
            show_error(errfmt_unknown_work.tr().arg(journal, work.action), this);
            return;
        }
        // Another work's journal is refused here, with nothing served.
        Dialog_exchange(this, *action, desktop_rollout_setup(*action, journal)).exec();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_resume, this);
    }
}

void page_cfg_resume_clear_translation() {
    caption_resume_button.clear();
    title_journal.clear();
    filter_journal.clear();
    errtext_nothing_to_resume.clear();
    errfmt_unknown_work.clear();
}
