#include "ui/dialog_success.h"

#include "engine/params.h"
#include "foundation/err.h"
#include "ui/result_list.h"

#include <memory>

static Tr title_success("success", "Список успешно обслуженных устройств");
static Tr_with_hint
    caption_servers("success", "Список «удачных» серверов",
                    "В этой рамке отображаются все сервера, через которые подключено\nхотя-бы одно "
                    "устройство, которое во время последней операции было\nобслужено успешно.");
static Tr hint_close("success", "Если вы нажмёте эту кнопку, окно «Список успешно обслуженных "
                                "устройств» будет закрыто, и вы вернётесь в предыдущее окно.");
static Tr hint_write(
    "success",
    "Если вы нажмёте эту кнопку, программа спросит у вас имя файла и\nзатем запишет в этот файл "
    "отображённый в данном окне список\nуспешно обслуженных устройств. Файл будет записан в том "
    "формате, в\nкотором хранится конфигурация данной программы. Вместе со списком\nустройств "
    "будет записан также соответствующий список серверов и\nпрочие параметры конфигурации - то "
    "есть, вы сможете позже открыть\nэтот файл данной программой и выполнить с этими "
    "устройствами ещё\nкакую-нибудь операцию.\n\nЕсли вы установили в этом окне фильтр, через "
    "который проходят не\nвсе устройства, будут записаны только те устройства, которые через\n"
    "него проходят. Сервера также будут записаны только те, через\nкоторые подключено хотя-бы "
    "одно устройство, прошедшее через фильтр.\nПрограмма предупредит вас о такой "
    "ситуации.\n\n");

static Tr_with_hint caption_version_column(
    "success", "Версия",
    "Версия, которую сообщает устройство: для устройства, на котором она\nуже была, - "
    "прочитанная до закачки, для проверенного после закачки\n- прочитанная при проверке.");
static Tr_with_hint caption_outcome_column(
    "success", "Итог проверки",
    "Чем закончилась проверка версии: версия уже была установлена\n(файл не закачивался), "
    "версия подтверждена после закачки или файл\nзакачан без проверки.");
static Tr text_unchecked("success", "Файл закачан, версия после закачки не проверялась.");

static const QColor color_version(0, 96, 0);
static constexpr unsigned short module = 13;

// The version column and the check's outcome for every listed device. The version shows for a
// skipped or verified device only: another one read it before the file changed it.
static void add_version_columns(Devices& d, const Version_check& check) {
    const std::unique_ptr<Params> params = make_version_params();
    const Param& param = *params->items[check.param < params->count ? check.param : 0];
    const int align = int(Qt::AlignLeft | Qt::AlignVCenter);
    d.value_columns = {Value_column{caption_version_column.caption(), caption_version_column.hint(),
                                    align, QBrush(color_version)},
                       Value_column{caption_outcome_column.caption(), caption_outcome_column.hint(),
                                    align, QBrush(color_version)}};
    d.value_count = 2;
    // The notes last, as in the gathered values' list: the long outcome must not be the last
    // column, which the view fits to the window.
    d.notes_position = 4;
    d.value_texts.fill(QString(), 2 * int(d.count));
    for (unsigned i = 0; i < d.count; ++i) {
        const Device& device = *d.rows[i].device;
        const bool current = device.run_flags & (Device::skipped_current | Device::verified);
        if (current && (device.run_flags & Device::version_read) &&
            uint64_t(device.values.size()) >= param.offset + param.size)
            d.value_texts[2 * int(i)] = param.show(
                reinterpret_cast<const unsigned char*>(device.values.constData()) + param.offset);
        d.value_texts[2 * int(i) + 1] =
            current || !device.error_text.isEmpty() ? device.error_text : text_unchecked.tr();
    }
}

Dialog_success::Dialog_success(QWidget* parent, const Run_version& version)
    : Dialog_result_list(parent) {
    collection.select_success(configuration);
    const Result_list_texts texts{&title_success,      &caption_servers, &hint_close,
                                  hint_copy_devices(), &hint_write,      module};
    if (!version.check.any()) {
        build(collection, texts, 3, 2,
              {caption_field_server(), caption_field_imei(), caption_field_notes(),
               caption_field_all()},
              {0, 1, 2, -1});
        return;
    }
    add_version_columns(collection.devices, version.check);
    build(collection, texts, 5, 4,
          {caption_field_server(), caption_field_imei(), caption_field_notes(),
           caption_version_column.caption(), caption_outcome_column.caption(), caption_field_all()},
          {0, 1, 4, 2, 3, -1});
}

void dialog_success_clear_translation() {
    title_success.clear();
    caption_servers.clear();
    hint_close.clear();
    hint_write.clear();
    caption_version_column.clear();
    caption_outcome_column.clear();
    text_unchecked.clear();
}
