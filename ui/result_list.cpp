#include "ui/result_list.h"

#include "config/config.h"
#include "config/devices_proxy.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/config_files_gui.h"
#include "ui/dialog_about.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/run_report.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

static Tr caption_copy("clipboard", "Копировать");
static Tr caption_write("write", "Записать в виде конфигурации");
static Tr caption_devices("dialog", "Список устройств");
static Tr caption_filter("common", "Фильтр");
static Tr caption_by_field("common", "по полю");
static Tr field_server("common", "Сервер");
static Tr field_imei("common", "IMEI");
static Tr field_notes("common", "Комментарий");
static Tr field_all("common", "все поля");
static Tr hint_filter_text(
    "common",
    "Здесь вы можете ввести текст, по которому будут отфильтрованы строки\nтаблицы устройств: "
    "в таблице останутся только те строки, в которых\nвыбранный справа столбец содержит этот "
    "текст (в любом месте, не\nобязательно в начале).\n\nФильтр ограничивает также то, что "
    "будет записано в файл (программа\nпредупредит вас об этом).");
static Tr hint_filter_field(
    "common", "Здесь вы можете выбрать столбец таблицы устройств, в котором надо\nбудет искать "
              "текст, введённый вами в поле «Фильтр».\n\nЕсли вы выберете вариант «все поля», в "
              "таблице будут отображаться\nвсе строки, у которых введённый текст присутствует "
              "хотя-бы в одном\nиз столбцов.");
const QString& caption_field_server() {
    return field_server.tr();
}
const QString& caption_field_imei() {
    return field_imei.tr();
}
const QString& caption_field_notes() {
    return field_notes.tr();
}
const QString& caption_field_all() {
    return field_all.tr();
}
const QString& hint_copy_devices() {
    return hint_copy_devices_to_clipboard.tr();
}

// The places of the list windows' debug codes; each window's module is the high byte.
enum Result_list_place : unsigned short {
    place_connect_filter_text = 1,
    place_connect_filter_field,
    place_connect_save,
    place_connect_rejected,
    place_filter_field, // an index the filter field box does not have
    place_connect_copy,
    place_connect_report,
    place_report, // stirred by the report button
};

unsigned short Dialog_result_list::code(unsigned short place) const {
    return static_cast<unsigned short>(debug_module << 8 | place);
}

Dialog_result_list::Dialog_result_list(QWidget* parent)
    : QDialog(parent, dialog_flags | Qt::WindowMaximizeButtonHint) {}

void Dialog_result_list::build(Collection& collection, const Result_list_texts& texts,
                               int column_count, int notes_column, const QStringList& fields,
                               const QVector<int>& columns) {
    debug_module = texts.module;
    filter_columns = columns;
    init_fonts(*this);
    setWindowTitle(texts.title->tr());
    auto* layout = new QVBoxLayout(this);

    auto* servers_box = new QGroupBox(texts.servers->caption(), this);
    servers_box->setToolTip(texts.servers->hint());
    auto* servers_layout = new QVBoxLayout(servers_box);
    table_servers = new Table_servers(collection, servers_box);
    table_servers->setObjectName(QStringLiteral("table_servers"));
    // Never squeezed below its own height: a short dialog hid the third server of three.
    table_servers->setMinimumHeight(table_servers->sizeHint().height());
    servers_layout->addWidget(table_servers);
    layout->addWidget(servers_box, 1);

    auto* devices_box = new QGroupBox(caption_devices.tr(), this);
    auto* devices_layout = new QVBoxLayout(devices_box);
    table_devices = new Table_devices(collection, column_count, notes_column, devices_box);
    table_devices->setObjectName(QStringLiteral("table_devices"));
    table_devices->create_contents();
    devices_layout->addWidget(table_devices);
    auto* filter_row = new QHBoxLayout;
    auto* filter_label = new QLabel(caption_filter.tr(), devices_box);
    filter_label->setToolTip(hint_filter_text.tr());
    filter_text = new QLineEdit(devices_box);
    filter_text->setObjectName(QStringLiteral("devices_filter"));
    filter_text->setMaxLength(15);
    filter_text->setFont(font_value_big);
    filter_text->setToolTip(hint_filter_text.tr());
    filter_label->setBuddy(filter_text);
    auto* field_label = new QLabel(caption_by_field.tr(), devices_box);
    field_label->setToolTip(hint_filter_field.tr());
    filter_field = new QComboBox(devices_box);
    filter_field->setObjectName(QStringLiteral("cbox_filter_field"));
    filter_field->setToolTip(hint_filter_field.tr());
    filter_field->addItems(fields);
    filter_field->setCurrentIndex(fields.size() - 1);
    field_label->setBuddy(filter_field);
    filter_row->addWidget(filter_label);
    filter_row->addWidget(filter_text);
    filter_row->addWidget(field_label);
    filter_row->addWidget(filter_field);
    filter_row->addStretch(1);
    devices_layout->addLayout(filter_row);
    layout->addWidget(devices_box, 3);

    auto* buttons = new QDialogButtonBox(Qt::Horizontal, this);
    button_box = buttons;
    QPushButton* btn_copy = buttons->addButton(caption_copy.tr(), QDialogButtonBox::ActionRole);
    btn_copy->setObjectName(QStringLiteral("btn_copy_to_clipboard"));
    btn_copy->setToolTip(texts.copy_hint);
    QPushButton* btn_save = buttons->addButton(caption_write.tr(), QDialogButtonBox::ActionRole);
    btn_save->setObjectName(QStringLiteral("btn_save"));
    btn_save->setToolTip(texts.write_hint->tr());
    QPushButton* btn_report = new_report_button(this);
    buttons->addButton(btn_report, QDialogButtonBox::ActionRole);
    QPushButton* btn_close = buttons->addButton(close_caption(), QDialogButtonBox::RejectRole);
    btn_close->setObjectName(QStringLiteral("btn_close"));
    btn_close->setToolTip(texts.close_hint->tr());
    layout->addWidget(buttons, 0);
    if (!connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(code(place_connect_rejected));
    if (!connect(filter_text, &QLineEdit::textChanged, this,
                 &Dialog_result_list::on_devices_filter_text_changed))
        log_debug(code(place_connect_filter_text));
    if (!connect(filter_field, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                 &Dialog_result_list::on_devices_filter_field_changed))
        log_debug(code(place_connect_filter_field));
    if (!connect(btn_save, &QPushButton::clicked, this, &Dialog_result_list::on_btn_save_clicked))
        log_debug(code(place_connect_save));
    if (!connect(btn_copy, &QPushButton::clicked, this,
                 &Dialog_result_list::on_btn_copy_to_clipboard_clicked))
        log_debug(code(place_connect_copy));
    if (!connect(btn_report, &QPushButton::clicked, this,
                 &Dialog_result_list::on_btn_report_clicked))
        log_debug(code(place_connect_report));
}

void Dialog_result_list::on_btn_report_clicked() {
    update_random_number_generator(code(place_report));
    write_run_report(this);
}

void Dialog_result_list::on_devices_filter_text_changed(const QString& text) {
    update_random_number_generator(debug_module << 8 | 1);
    table_devices->proxy->setFilterFixedString(text);
}

void Dialog_result_list::on_devices_filter_field_changed(int index) {
    update_random_number_generator(debug_module << 8 | 2);
    if (index < 0 || index >= filter_columns.size()) {
        log_debug(code(place_filter_field));
        return;
    }
    table_devices->proxy->setFilterKeyColumn(filter_columns[index]);
}

void Dialog_result_list::on_btn_copy_to_clipboard_clicked() {
    update_random_number_generator(debug_module << 8 | 3);
    table_devices->copy_to_clipboard();
}

// Writes the devices that pass the filter, and their servers, as a configuration file.
void Dialog_result_list::on_btn_save_clicked() {
    update_random_number_generator(debug_module << 8 | 4);
    QString text;
    bool complete = false;
    if (table_devices->save(text, Save_mode::subset, this, complete) && save_to_file(this, text))
        list_written(complete);
}

void Dialog_result_list::list_written(bool) {}

void Dialog_result_list::keyPressEvent(QKeyEvent* event) {
    if (about_on_f1(event, this))
        return;
    QDialog::keyPressEvent(event);
}

void result_list_clear_translation() {
    Tr* texts[] = {&caption_copy,     &caption_write,    &caption_devices,  &caption_filter,
                   &caption_by_field, &field_server,     &field_imei,       &field_notes,
                   &field_all,        &hint_filter_text, &hint_filter_field};
    for (Tr* t : texts)
        t->clear();
}
