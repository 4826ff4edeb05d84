#include "ui/dialog_failure.h"

#include "config/config.h"
#include "foundation/err.h"
#include "ui/result_list.h"

static Tr title_failure("failure", "Список неудачно обслуженных устройств");
static Tr_with_hint caption_servers(
    "failure", "Список «неудачных» серверов",
    "Здесь отображаются все сервера, через которые подключено хотя-бы\nодно устройство, "
    "работа с которым во время последней операции\nзавершилась неудачно.");
static Tr hint_close("failure", "Если вы нажмёте эту кнопку, окно «Список неудачно обслуженных "
                                "устройств» будет закрыто, и вы вернётесь в предыдущее окно.");
static Tr hint_copy_tail("clipboard", "\n\nСообщения об ошибках будут скопированы.");
static Tr hint_write(
    "failure",
    "Если вы нажмёте эту кнопку, программа спросит у вас имя файла и\nзатем запишет в этот файл "
    "отображённый в данном окне список\nнеудачно обслуженных устройств.\n\nФайл будет записан "
    "в том формате, в котором хранится конфигурация\nданной программы. Вместе со списком "
    "устройств будет записан также\nсоответствующий список серверов и прочие параметры "
    "конфигурации -\nто есть, вы сможете позже открыть этот файл данной программой и ещё\nраз "
    "попытаться сделать всё, что вы хотели.\n\nЕсли вы установили в этом окне фильтр, через "
    "который проходят не\nвсе устройства, будут записаны только те устройства, которые через\n"
    "него проходят. Сервера также будут записаны только те, через\nкоторые подключено хотя-бы "
    "одно устройство, прошедшее через фильтр.\nПрограмма предупредит вас о такой "
    "ситуации.\n\nСообщения об ошибках записаны в файл не будут.");
static Tr_with_hint caption_error_column(
    "failure", "Сообщение об ошибке",
    "В этом столбце отображается причина, по которой работа с\nсоответствующим устройством "
    "завершилась неудачно.");

static const QColor color_error(128, 0, 0);
static constexpr unsigned short module = 14;

void select_failure_with_errors(Collection& out) {
    out.select_failure(configuration);
    Devices& d = out.devices;
    d.value_columns = {Value_column{caption_error_column.caption(), caption_error_column.hint(),
                                    int(Qt::AlignLeft | Qt::AlignVCenter)}};
    d.value_count = 1;
    d.notes_position = 2;
    d.value_texts.resize(int(d.count));
    d.value_brushes.fill(QBrush(color_error), int(d.count));
    for (unsigned i = 0; i < d.count; ++i)
        d.value_texts[int(i)] = d.rows[i].device->error_text;
}

Dialog_failure::Dialog_failure(Collection& collection, QWidget* parent)
    : Dialog_result_list(parent) {
    const Result_list_texts texts{&title_failure, &caption_servers,
                                  &hint_close,    hint_copy_devices() + hint_copy_tail.tr(),
                                  &hint_write,    module};
    build(collection, texts, 4, 2,
          {caption_field_server(), caption_field_imei(), caption_field_notes(),
           caption_error_column.caption(), caption_field_all()},
          {0, 1, 2, 3, -1});
}

// Only a list written whole may count as saved: a filtered one leaves failures unwritten.
void Dialog_failure::list_written(bool complete) {
    if (complete)
        saved = true;
}

void dialog_failure_clear_translation() {
    title_failure.clear();
    caption_servers.clear();
    hint_close.clear();
    hint_copy_tail.clear();
    hint_write.clear();
    caption_error_column.clear();
}
