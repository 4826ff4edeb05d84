#include "ui/dialog_success.h"

#include "foundation/err.h"
#include "ui/result_list.h"

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

static constexpr unsigned short module = 13;

Dialog_success::Dialog_success(QWidget* parent) : Dialog_result_list(parent) {
    collection.select_success(configuration);
    const Result_list_texts texts{&title_success,      &caption_servers, &hint_close,
                                  hint_copy_devices(), &hint_write,      module};
    build(
        collection, texts, 3, 2,
        {caption_field_server(), caption_field_imei(), caption_field_notes(), caption_field_all()},
        {0, 1, 2, -1});
}

void dialog_success_clear_translation() {
    title_success.clear();
    caption_servers.clear();
    hint_close.clear();
    hint_write.clear();
}
