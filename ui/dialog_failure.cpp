#include "ui/dialog_failure.h"

#include "config/config.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/dialog_about.h"
#include "ui/result_list.h"
#include "ui/table_devices.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

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
// Filter field items: server, IMEI, notes, error message, all fields.
static const int filter_columns[] = {0, 1, 2, 3, -1};

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
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      collection(&collection) {
    const Result_list_texts texts{&title_failure, &caption_servers,
                                  &hint_close,    hint_copy_devices() + hint_copy_tail.tr(),
                                  &hint_write,    module};
    const Result_list list =
        build_result_list(*this, collection, texts, 4, 2,
                          {caption_field_server(), caption_field_imei(), caption_field_notes(),
                           caption_error_column.caption(), caption_field_all()});
    table_servers = list.servers;
    table_devices = list.devices;
    filter_text = list.filter_text;
    filter_field = list.filter_field;
    if (!connect(filter_text, &QLineEdit::textChanged, this,
                 &Dialog_failure::on_devices_filter_text_changed))
        log_debug(module << 8 | 1);
    if (!connect(filter_field, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                 &Dialog_failure::on_devices_filter_field_changed))
        log_debug(module << 8 | 2);
    if (!connect(list.btn_save, &QPushButton::clicked, this, &Dialog_failure::on_btn_save_clicked))
        log_debug(module << 8 | 3);
    if (!connect(list.btn_copy, &QPushButton::clicked, this,
                 &Dialog_failure::on_btn_copy_to_clipboard_clicked))
        log_debug(module << 8 | 6);
}

void Dialog_failure::on_devices_filter_text_changed(const QString& text) {
    update_random_number_generator(module << 8 | 1);
    set_result_filter(*table_devices, text);
}

void Dialog_failure::on_devices_filter_field_changed(int index) {
    update_random_number_generator(module << 8 | 2);
    int column;
    if (result_filter_column(filter_columns, 5, index, module << 8 | 5, column))
        set_result_filter_column(*table_devices, column);
}

void Dialog_failure::on_btn_copy_to_clipboard_clicked() {
    update_random_number_generator(module << 8 | 3);
    table_devices->copy_to_clipboard();
}

void Dialog_failure::on_btn_save_clicked() {
    update_random_number_generator(module << 8 | 4);
    bool complete = false;
    if (save_result_list(*table_devices, this, complete) && complete)
        saved = true;
}

void Dialog_failure::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        Dialog_about(this).exec();
        return;
    }
    QDialog::keyPressEvent(event);
}

void dialog_failure_clear_translation() {
    title_failure.clear();
    caption_servers.clear();
    hint_close.clear();
    hint_copy_tail.clear();
    hint_write.clear();
    caption_error_column.clear();
}
