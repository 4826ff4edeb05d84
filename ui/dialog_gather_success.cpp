#include "ui/dialog_gather_success.h"

#include "config/config.h"
#include "engine/params.h"
#include "foundation/err.h"
#include "ui/result_list.h"

static Tr title_gather("success", "Собранная с устройств информация");
static Tr_with_hint caption_servers(
    "success", "Список «удачных» серверов",
    "В этой рамке отображаются все сервера, через которые подключено\nхотя-бы одно "
    "устройство, с которого во время последней операции\nудалось собрать всю требуемую "
    "информацию.");
static Tr hint_close("success", "Если вы нажмёте эту кнопку, окно «Собранная с устройств "
                                "информация»\nбудет закрыто.");
static Tr hint_copy_tail("clipboard", "\n\nСобранная с устройств информация будет скопирована.");
static Tr hint_write(
    "success",
    "Если вы нажмёте эту кнопку, программа спросит у вас имя файла и\nзатем запишет в этот файл "
    "отображённый в данном окне список\nустройств, с которых успешно удалось собрать "
    "информацию.\n\nФайл будет записан в том формате, в котором хранится конфигурация\nданной "
    "программы. Вместе со списком устройств будет записан также\nсоответствующий список "
    "серверов и прочие параметры конфигурации -\nто есть, вы сможете позже открыть этот файл "
    "данной программой и\nвыполнить с перечисленными устройствами ещё какую-нибудь\nоперацию."
    "\n\nЕсли вы установили в этом окне фильтр, через который проходят не\nвсе устройства, "
    "будут записаны только те устройства, которые через\nнего проходят. Сервера также будут "
    "записаны только те, через\nкоторые подключено хотя-бы одно устройство, прошедшее через "
    "фильтр.\nПрограмма предупредит вас о такой ситуации.\n\nСама собранная с устройств "
    "информация записана в файл не будет.");

static const QColor color_param(64, 0, 128);
static constexpr unsigned short module = 22;

void select_success_with_values(Collection& out, const Params& params) {
    out.select_success(configuration);
    Devices& d = out.devices;
    const int n = int(params.count);
    d.value_columns.clear();
    for (int p = 0; p < n; ++p)
        d.value_columns.append(Value_column{params.items[p]->name, QString(),
                                            int(Qt::AlignRight | Qt::AlignVCenter),
                                            QBrush(color_param)});
    d.value_count = static_cast<unsigned char>(n);
    d.notes_position = static_cast<unsigned char>(2 + n);
    d.value_texts.resize(int(d.count) * n);
    for (unsigned i = 0; i < d.count; ++i) {
        const QByteArray& values = d.rows[i].device->values;
        for (int p = 0; p < n; ++p) {
            const Param& param = *params.items[p];
            // A succeeded device holds every value; a short buffer would be a fault elsewhere.
            if (uint64_t(values.size()) >= param.offset + param.size)
                d.value_texts[int(i) * n + p] = param.show(
                    reinterpret_cast<const unsigned char*>(values.constData()) + param.offset);
        }
    }
}

Dialog_gather_success::Dialog_gather_success(Collection& collection, const Params& params,
                                             QWidget* parent)
    : Dialog_result_list(parent) {
    const int n = int(params.count);
    const Result_list_texts texts{&title_gather, &caption_servers,
                                  &hint_close,   hint_copy_devices() + hint_copy_tail.tr(),
                                  &hint_write,   module};
    // The notes item is the notes column's real place, after the parameters.
    build(
        collection, texts, n + 3, n + 2,
        {caption_field_server(), caption_field_imei(), caption_field_notes(), caption_field_all()},
        {0, 1, n + 2, -1});
}

void dialog_gather_success_clear_translation() {
    title_gather.clear();
    caption_servers.clear();
    hint_close.clear();
    hint_copy_tail.clear();
    hint_write.clear();
}
