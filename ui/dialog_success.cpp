#include "ui/dialog_success.h"

#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/dialog_about.h"
#include "ui/result_list.h"
#include "ui/table_devices.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

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
// Filter field items: server, IMEI, notes, all fields.
static const int filter_columns[] = {0, 1, 2, -1};

Dialog_success::Dialog_success(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint) {
    collection.select_success(configuration);
    const Result_list_texts texts{&title_success,      &caption_servers, &hint_close,
                                  hint_copy_devices(), &hint_write,      module};
    const Result_list list = build_result_list(
        *this, collection, texts, 3, 2,
        {caption_field_server(), caption_field_imei(), caption_field_notes(), caption_field_all()});
    table_servers = list.servers;
    table_devices = list.devices;
    filter_text = list.filter_text;
    filter_field = list.filter_field;
    if (!connect(filter_text, &QLineEdit::textChanged, this,
                 &Dialog_success::on_devices_filter_text_changed))
        log_debug(module << 8 | 1);
    if (!connect(filter_field, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                 &Dialog_success::on_devices_filter_field_changed))
        log_debug(module << 8 | 2);
    if (!connect(list.btn_save, &QPushButton::clicked, this, &Dialog_success::on_btn_save_clicked))
        log_debug(module << 8 | 3);
    if (!connect(list.btn_copy, &QPushButton::clicked, this,
                 &Dialog_success::on_btn_copy_to_clipboard_clicked))
        log_debug(module << 8 | 6);
}

void Dialog_success::on_devices_filter_text_changed(const QString& text) {
    update_random_number_generator(module << 8 | 1);
    set_result_filter(*table_devices, text);
}

void Dialog_success::on_devices_filter_field_changed(int index) {
    update_random_number_generator(module << 8 | 2);
    int column;
    if (result_filter_column(filter_columns, 4, index, module << 8 | 5, column))
        set_result_filter_column(*table_devices, column);
}

void Dialog_success::on_btn_copy_to_clipboard_clicked() {
    update_random_number_generator(module << 8 | 3);
    table_devices->copy_to_clipboard();
}

void Dialog_success::on_btn_save_clicked() {
    update_random_number_generator(module << 8 | 4);
    bool complete = false;
    save_result_list(*table_devices, this, complete);
}

void Dialog_success::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        Dialog_about(this).exec();
        return;
    }
    QDialog::keyPressEvent(event);
}

void dialog_success_clear_translation() {
    title_success.clear();
    caption_servers.clear();
    hint_close.clear();
    hint_write.clear();
}
