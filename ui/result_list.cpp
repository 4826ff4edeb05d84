#include "ui/result_list.h"

#include "config/config.h"
#include "config/config_files_gui.h"
#include "config/devices_proxy.h"
#include "foundation/err.h"
#include "ui/interface.h"
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

Result_list build_result_list(QDialog& dialog, Collection& collection,
                              const Result_list_texts& texts, int column_count, int notes_column,
                              const QStringList& fields) {
    Result_list out;
    init_fonts(dialog);
    dialog.setWindowTitle(texts.title->tr());
    auto* layout = new QVBoxLayout(&dialog);

    auto* servers_box = new QGroupBox(texts.servers->caption(), &dialog);
    servers_box->setToolTip(texts.servers->hint());
    auto* servers_layout = new QVBoxLayout(servers_box);
    out.servers = new Table_servers(collection, servers_box);
    out.servers->setObjectName(QStringLiteral("table_servers"));
    // Never squeezed below its own height: a short dialog hid the third server of three.
    out.servers->setMinimumHeight(out.servers->sizeHint().height());
    servers_layout->addWidget(out.servers);
    layout->addWidget(servers_box, 1);

    auto* devices_box = new QGroupBox(caption_devices.tr(), &dialog);
    auto* devices_layout = new QVBoxLayout(devices_box);
    out.devices = new Table_devices(collection, column_count, notes_column, devices_box);
    out.devices->setObjectName(QStringLiteral("table_devices"));
    out.devices->create_contents();
    devices_layout->addWidget(out.devices);
    auto* filter_row = new QHBoxLayout;
    auto* filter_label = new QLabel(caption_filter.tr(), devices_box);
    filter_label->setToolTip(hint_filter_text.tr());
    out.filter_text = new QLineEdit(devices_box);
    out.filter_text->setObjectName(QStringLiteral("devices_filter"));
    out.filter_text->setMaxLength(15);
    out.filter_text->setFont(font_value_big);
    out.filter_text->setToolTip(hint_filter_text.tr());
    filter_label->setBuddy(out.filter_text);
    auto* field_label = new QLabel(caption_by_field.tr(), devices_box);
    field_label->setToolTip(hint_filter_field.tr());
    out.filter_field = new QComboBox(devices_box);
    out.filter_field->setObjectName(QStringLiteral("cbox_filter_field"));
    out.filter_field->setToolTip(hint_filter_field.tr());
    out.filter_field->addItems(fields);
    out.filter_field->setCurrentIndex(fields.size() - 1);
    field_label->setBuddy(out.filter_field);
    filter_row->addWidget(filter_label);
    filter_row->addWidget(out.filter_text);
    filter_row->addWidget(field_label);
    filter_row->addWidget(out.filter_field);
    filter_row->addStretch(1);
    devices_layout->addLayout(filter_row);
    layout->addWidget(devices_box, 3);

    auto* buttons = new QDialogButtonBox(Qt::Horizontal, &dialog);
    out.btn_copy = buttons->addButton(caption_copy.tr(), QDialogButtonBox::ActionRole);
    out.btn_copy->setObjectName(QStringLiteral("btn_copy_to_clipboard"));
    out.btn_copy->setToolTip(texts.copy_hint);
    out.btn_save = buttons->addButton(caption_write.tr(), QDialogButtonBox::ActionRole);
    out.btn_save->setObjectName(QStringLiteral("btn_save"));
    out.btn_save->setToolTip(texts.write_hint->tr());
    out.btn_close = buttons->addButton(close_caption(), QDialogButtonBox::RejectRole);
    out.btn_close->setObjectName(QStringLiteral("btn_close"));
    out.btn_close->setToolTip(texts.close_hint->tr());
    layout->addWidget(buttons, 0);
    if (!QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject))
        log_debug(static_cast<unsigned short>(texts.module << 8 | 4));
    return out;
}

bool result_filter_column(const int* columns, int count, int index, unsigned short debug_code,
                          int& column) {
    if (index < 0 || index >= count) {
        log_debug(debug_code);
        return false;
    }
    column = columns[index];
    return true;
}

void set_result_filter(Table_devices& table, const QString& text) {
    table.proxy->setFilterFixedString(text);
}

void set_result_filter_column(Table_devices& table, int column) {
    table.proxy->setFilterKeyColumn(column);
}

bool save_result_list(Table_devices& table, QWidget* parent, bool& complete) {
    QString text;
    complete = false;
    if (!table.save(text, Save_mode::subset, parent, complete))
        return false;
    return save_to_file(parent, text);
}

void result_list_clear_translation() {
    Tr* texts[] = {&caption_copy,     &caption_write,    &caption_devices,  &caption_filter,
                   &caption_by_field, &field_server,     &field_imei,       &field_notes,
                   &field_all,        &hint_filter_text, &hint_filter_field};
    for (Tr* t : texts)
        t->clear();
}
