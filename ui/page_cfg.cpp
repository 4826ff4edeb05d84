#include "ui/page_cfg.h"
#include "ui/page_cfg_codes.h"

#include "config/config.h"
#include "engine/params.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/config_files_gui.h"
#include "ui/device_paste.h"
#include "ui/dialog_add_device.h"
#include "ui/dialog_add_server.h"
#include "ui/dialog_edit_device.h"
#include "ui/dialog_edit_server.h"
#include "ui/dialog_options.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/page_buttons.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"
#include "ui/validators_gui.h"

#include "config/devices_proxy.h"
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

QString last_fw_fname;

// The purposes with a fixed device file name, in the order of the purpose box.
struct Devfname_purpose {
    char name[16];
    Tr caption;
    Tr upload_caption;
    Tr title;
    Tr filter;
};
static Devfname_purpose devfnames[2] = {
    {"FIRMWARE",
     {"devfname", "прошивка"},
     {"devfname", "Закачать прошивку"},
     {"devfname", "Какую прошивку закачивать?"},
     {"devfname", "Файлы прошивки (*.fwz);;Все файлы (*.*)"}},
    {"SETTINGS",
     {"devfname", "файл настроек"},
     {"devfname", "Закачать файл настроек"},
     {"devfname", "Какой файл настроек закачивать?"},
     {"devfname", "Файлы настроек (*.stz);;Все файлы (*.*)"}},
};
static Tr caption_other("devfname", "другое");
static Tr upload_caption_other("devfname", "Закачать файл");
static Tr title_other("devfname", "Какой файл закачивать?");
static Tr filter_other("devfname",
                       "Все файлы (*.*);;Файлы прошивки (*.fwz);;Файлы настроек (*.stz)");
constexpr int purpose_other = 2;

static Tr title_servers("page_cfg", "Список серверов");
static Tr title_devices("dialog", "Список устройств");
static Tr_with_hint
    caption_add_server("server_or_device", "Добавить",
                       "Если вы нажмёте эту кнопку, откроется окно, в котором вы сможете\n"
                       "добавить в конфигурацию новый сервер «zelmo_server».");
static Tr_with_hint
    caption_delete_server("server_or_device", "Удалить",
                          "Если вы нажмёте эту кнопку, выбранный в таблице сервер будет удалён\n"
                          "из конфигурации (программа сначала попросит подтверждения). Сервер,\n"
                          "через который подключено хотя-бы одно устройство, удалить нельзя.");
static Tr_with_hint
    caption_edit_server("server_or_device", "Изменить",
                        "Если вы нажмёте эту кнопку, откроется окно, в котором вы сможете\n"
                        "изменить параметры выбранного в таблице сервера.\n\n"
                        "Это окно можно открыть также двойным щелчком по строчке таблицы.");
static Tr_with_hint
    caption_add_device("server_or_device", "Добавить",
                       "Если вы нажмёте эту кнопку, откроется окно, в котором вы сможете\n"
                       "добавить в конфигурацию новое устройство.");
static Tr_with_hint
    caption_delete_device("server_or_device", "Удалить",
                          "Если вы нажмёте эту кнопку, выбранное в таблице устройство будет\n"
                          "удалено из конфигурации (программа сначала попросит подтверждения).");
static Tr_with_hint
    caption_edit_device("server_or_device", "Изменить",
                        "Если вы нажмёте эту кнопку, откроется окно, в котором вы сможете\n"
                        "изменить параметры выбранного в таблице устройства.\n\n"
                        "Это окно можно открыть также двойным щелчком по строчке таблицы.");

static Tr caption_filter("common", "Фильтр");
static Tr caption_filter_field("common", "по полю");
static Tr hint_filter("page_cfg",
                      "Если здесь введён текст, в таблице устройств будут показаны только\n"
                      "те строчки, в которых выбранное правее поле содержит этот текст (в\n"
                      "любом месте, не обязательно в начале; большие и маленькие буквы не\n"
                      "различаются).\n\n"
                      "Фильтр ограничивает и то, что будет записано в файл кнопкой\n"
                      "«Записать конфигурацию в файл» (программа предупредит об этом).\n\n"
                      "На то, с какими устройствами будут выполняться операции (закачка,\n"
                      "сбор информации, команды), фильтр не влияет: они выполняются со\n"
                      "всеми устройствами конфигурации.");
static Tr hint_filter_field("page_cfg",
                            "Здесь выбирается поле таблицы устройств, по которому работает\n"
                            "фильтр, или все поля сразу.");
static Tr filter_field_server("page_cfg", "Сервер");
static Tr filter_field_imei("page_cfg", "IMEI");
static Tr filter_field_notes("page_cfg", "Комментарий");
static Tr filter_field_all("page_cfg", "все поля");
constexpr int filter_field_count = 4;

static Tr_with_hint
    caption_purpose("page_cfg", "Назначение файла",
                    "Здесь выбирается, чем будет на устройствах файл, который вы укажете\n"
                    "при закачке: основной прошивкой, прошивкой CAN-сопроцессора, GSM-\n"
                    "модема или GPS-приёмника, конфигурацией модулей и так далее.");
static Tr_with_hint
    caption_devfname("page_cfg", "Имя файла на устройстве",
                     "Программа не может предусмотреть все файлы, которые бывают на\n"
                     "устройствах. С помощью этого параметра вы можете указать назначение,\n"
                     "которого нет в списке; для этого надо знать, как файл называется на\n"
                     "устройстве.\n\n"
                     "Идентификаторы файлов не длиннее 10 символов; основная прошивка\n"
                     "называется «FIRMWARE», файл настроек - «SETTINGS».");

static Tr hint_upload("page_cfg",
                      "Если вы нажмёте эту кнопку, программа спросит у вас, какой файл\n"
                      "закачивать, и закачает его на все устройства конфигурации.\n\n"
                      "Обычно закачка занимает от 5 до 10 минут, но при большом количестве\n"
                      "устройств и малом количестве одновременных закачек может длиться\n"
                      "часами.");
static Tr_with_hint
    caption_gather("page_cfg", "Собрать информацию",
                   "Если вы нажмёте эту кнопку, программа запросит у всех устройств\n"
                   "конфигурации версии их программного обеспечения (основной\n"
                   "прошивки, прошивки модема, прошивки навигационного приёмника) и\n"
                   "покажет их вам.");
static Tr_with_hint
    caption_commands("commands", "Команды",
                     "Если вы нажмёте эту кнопку, откроется окно, из которого можно\n"
                     "отправить всем устройствам конфигурации одну из поддерживаемых\n"
                     "команд.");
static Tr_with_hint
    caption_options("page_cfg", "Тонкая настройка",
                    "Если вы нажмёте эту кнопку, откроется окно с параметрами, которые\n"
                    "лучше оставить такими, как они установлены по умолчанию.");
static Tr_with_hint
    caption_switch_to_text("page_cfg", "Текст конфигурации",
                           "Если вы нажмёте эту кнопку, программа переключится на текстовое\n"
                           "представление конфигурации, в котором её можно редактировать как\n"
                           "текст.");
static Tr caption_save_cfg("write", "Записать конфигурацию в файл");
static Tr hint_save_cfg("page_cfg",
                        "Если вы нажмёте эту кнопку, программа спросит у вас имя файла и\n"
                        "запишет в него конфигурацию (устройства, сервера и второстепенные\n"
                        "параметры).\n\n"
                        "Если фильтр скрывает часть устройств, будут записаны только\n"
                        "показанные устройства (программа предупредит об этом).");

static Tr errfmt_too_many_servers("page_cfg", "В конфигурации не может быть более %1 серверов.");
static Tr errtext_no_server_for_device(
    "page_cfg", "Прежде чем добавлять устройство, надо добавить в конфигурацию сервер, через "
                "который будет осуществляться доступ к этому устройству.");
static Tr errfmt_too_many_devices(
    "page_cfg", "Невозможно добавить устройство: в текущей конфигурации уже есть %1 "
                "устройств, и это является предельным количеством устройств в конфигурации.");
static Tr errfmt_server_has_devices(
    "page_cfg", "Через указанный вами сервер в текущей конфигурации подключено %1 устройств. "
                "Прежде, чем удалять сервер, надо удалить все подключенные через него "
                "устройства.");
static Tr
    question_delete_server("page_cfg",
                           "Удалить сервер №%1 с адресом «%2» и портом %3 из списка серверов?");
static Tr
    hint_delete_server_yes("page_cfg",
                           "Если вы нажмёте эту кнопку, указанный вами сервер будет удалён из\n"
                           "редактируемой в данный момент конфигурации. Через этот сервер не\n"
                           "подключено ни одно устройство, так что в остальном конфигурация не\n"
                           "пострадает.");
static Tr
    hint_delete_server_no("page_cfg",
                          "Если вы нажмёте эту кнопку, сервер не будет удалён из конфигурации\n"
                          "(всё будет так, как если бы вы не нажимали кнопку «Удалить» в окне\n"
                          "со списком серверов).");
static Tr question_delete_device(
    "page_cfg", "Удалить устройство с IMEI=%1 из списка устройств, подключенных через сервер "
                "с адресом «%2» и номером порта %3?");
static Tr
    hint_delete_device_yes("page_cfg",
                           "Если вы нажмёте эту кнопку, указанное вами устройство будет удалено\n"
                           "из редактируемой в данный момент конфигурации.");
static Tr hint_delete_device_no("page_cfg",
                                "Если вы нажмёте эту кнопку, устройство не будет удалено из\n"
                                "конфигурации (всё будет так, как если бы вы не нажимали кнопку\n"
                                "«Удалить» в окне со списком устройств).");

void page_cfg_clear_translation() {
    for (Devfname_purpose& p : devfnames) {
        p.caption.clear();
        p.upload_caption.clear();
        p.title.clear();
        p.filter.clear();
    }
    for (Tr* t : {&caption_other,
                  &upload_caption_other,
                  &title_other,
                  &filter_other,
                  &title_servers,
                  &title_devices,
                  &caption_filter,
                  &caption_filter_field,
                  &hint_filter,
                  &hint_filter_field,
                  &filter_field_server,
                  &filter_field_imei,
                  &filter_field_notes,
                  &filter_field_all,
                  &hint_upload,
                  &caption_save_cfg,
                  &hint_save_cfg,
                  &errfmt_too_many_servers,
                  &errtext_no_server_for_device,
                  &errfmt_too_many_devices,
                  &errfmt_server_has_devices,
                  &question_delete_server,
                  &hint_delete_server_yes,
                  &hint_delete_server_no,
                  &question_delete_device,
                  &hint_delete_device_yes,
                  &hint_delete_device_no})
        t->clear();
    for (Tr_with_hint* t :
         {&caption_add_server, &caption_delete_server, &caption_edit_server, &caption_add_device,
          &caption_delete_device, &caption_edit_device, &caption_purpose, &caption_devfname,
          &caption_gather, &caption_commands, &caption_options, &caption_switch_to_text})
        t->clear();
}

// A column of buttons beside a table; their tooltips end with the note on saving.
static QAbstractButton* add_column_button(QVBoxLayout* column, QWidget* parent, const char* name,
                                          Tr_with_hint& text) {
    auto* button = new QPushButton(text.caption(), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(text.hint() + hint_save_later());
    button->setAutoDefault(false);
    column->addWidget(button, 0, Qt::AlignLeft | Qt::AlignTop);
    return button;
}

static QLabel* blank_label(QWidget* parent) {
    return new QLabel(QStringLiteral(" "), parent);
}

Page_cfg::Page_cfg(QWidget* parent) : QWidget(parent) {
    gather_params = make_version_params();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(build_servers_group(), 1);
    layout->addWidget(build_devices_group(), 3);
    layout->addLayout(build_purpose_rows());
    build_buttons(layout);
    connect_signals();
    init_run_buttons();
}

QGroupBox* Page_cfg::build_servers_group() {
    auto* group = new QGroupBox(title_servers.tr(), this);
    auto* row = new QHBoxLayout(group);
    table_servers = new Table_servers(configuration, group);
    table_servers->setObjectName(QStringLiteral("table_servers"));
    row->addWidget(table_servers);
    auto* column = new QVBoxLayout;
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    btn_add_server = add_column_button(column, group, "btn_add_server", caption_add_server);
    btn_delete_server =
        add_column_button(column, group, "btn_delete_server", caption_delete_server);
    btn_edit_server = add_column_button(column, group, "btn_edit_server", caption_edit_server);
    row->addLayout(column);
    return group;
}

// The device table with its buttons and, at the bottom of the button column, the filter.
QGroupBox* Page_cfg::build_devices_group() {
    auto* group = new QGroupBox(title_devices.tr(), this);
    auto* row = new QHBoxLayout(group);
    table_devices = new Table_devices(configuration, 3, 2, group);
    table_devices->setObjectName(QStringLiteral("table_devices"));
    row->addWidget(table_devices);
    auto* column = new QVBoxLayout;
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    btn_add_device = add_column_button(column, group, "btn_add_device", caption_add_device);
    btn_delete_device =
        add_column_button(column, group, "btn_delete_device", caption_delete_device);
    btn_edit_device = add_column_button(column, group, "btn_edit_device", caption_edit_device);
    column->addStretch(1);
    auto* label_filter = new QLabel(caption_filter.tr(), group);
    label_filter->setToolTip(hint_filter.tr());
    devices_filter = new QLineEdit(group);
    devices_filter->setObjectName(QStringLiteral("devices_filter"));
    devices_filter->setMaxLength(15);
    devices_filter->setFont(font_value_big);
    devices_filter->setToolTip(hint_filter.tr());
    label_filter->setBuddy(devices_filter);
    auto* label_filter_field = new QLabel(caption_filter_field.tr(), group);
    label_filter_field->setToolTip(hint_filter_field.tr());
    cbox_filter_field = new QComboBox(group);
    cbox_filter_field->setObjectName(QStringLiteral("cbox_filter_field"));
    cbox_filter_field->setToolTip(hint_filter_field.tr());
    for (Tr* item :
         {&filter_field_server, &filter_field_imei, &filter_field_notes, &filter_field_all})
        cbox_filter_field->addItem(item->tr());
    cbox_filter_field->setCurrentIndex(filter_field_count - 1);
    label_filter_field->setBuddy(cbox_filter_field);
    for (QWidget* w :
         {static_cast<QWidget*>(label_filter), static_cast<QWidget*>(devices_filter),
          static_cast<QWidget*>(label_filter_field), static_cast<QWidget*>(cbox_filter_field)})
        column->addWidget(w, 0, Qt::AlignLeft | Qt::AlignBottom);
    row->addLayout(column);
    return group;
}

// The purpose of the next upload; the device file name's label and field show only for
// "другое", a blank stands in for them otherwise. Below it the version check, its label under
// the purpose's.
QGridLayout* Page_cfg::build_purpose_rows() {
    auto* grid = new QGridLayout;
    auto* label_purpose = new QLabel(caption_purpose.caption(), this);
    label_purpose->setToolTip(caption_purpose.hint());
    cbox_devfname = new QComboBox(this);
    cbox_devfname->setObjectName(QStringLiteral("cbox_devfname"));
    cbox_devfname->setFont(font_value_big);
    cbox_devfname->setToolTip(caption_purpose.hint());
    for (Devfname_purpose& p : devfnames)
        cbox_devfname->addItem(p.caption.tr());
    cbox_devfname->addItem(caption_other.tr());
    label_purpose->setBuddy(cbox_devfname);
    grid->addWidget(label_purpose, 0, 0);
    grid->addWidget(cbox_devfname, 0, 1);

    auto* label_holder = new QWidget(this);
    stack_devfname_label = new QStackedLayout(label_holder);
    stack_devfname_label->addWidget(blank_label(label_holder));
    auto* label_devfname = new QLabel(caption_devfname.caption(), label_holder);
    label_devfname->setObjectName(QStringLiteral("label_devfname"));
    label_devfname->setToolTip(caption_devfname.hint());
    stack_devfname_label->addWidget(label_devfname);
    auto* ebox_holder = new QWidget(this);
    stack_devfname_ebox = new QStackedLayout(ebox_holder);
    stack_devfname_ebox->addWidget(blank_label(ebox_holder));
    ebox_devfname = new QLineEdit(ebox_holder);
    ebox_devfname->setObjectName(QStringLiteral("ebox_devfname"));
    ebox_devfname->setMaxLength(devfname_max);
    ebox_devfname->setFont(font_value_big);
    ebox_devfname->setToolTip(caption_devfname.hint());
    ebox_devfname->setMinimumWidth((devfname_max + 2) * w_dec_big);
    stack_devfname_ebox->addWidget(ebox_devfname);
    label_devfname->setBuddy(ebox_devfname);
    grid->addWidget(label_holder, 0, 2);
    grid->addWidget(ebox_holder, 0, 3, Qt::AlignLeft);
    add_version_rows(grid, 1);
    grid->setColumnStretch(4, 1);
    return grid;
}

// Two button boxes at the bottom right: the runs and options, then the page's own.
void Page_cfg::build_buttons(QVBoxLayout* layout) {
    auto* run_buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_upload = add_page_button(run_buttons, QDialogButtonBox::ActionRole, "btn_upload",
                                 devfnames[0].upload_caption.tr(), hint_upload.tr());
    btn_gather = add_page_button(run_buttons, QDialogButtonBox::ActionRole, "btn_gather",
                                 caption_gather.caption(), caption_gather.hint());
    btn_commands = add_page_button(run_buttons, QDialogButtonBox::ActionRole, "btn_commands",
                                   caption_commands.caption(), caption_commands.hint());
    btn_resume = add_page_button(run_buttons, QDialogButtonBox::ActionRole, "btn_resume",
                                 caption_resume().caption(), caption_resume().hint());
    btn_options = add_page_button(run_buttons, QDialogButtonBox::ActionRole, "btn_options",
                                  caption_options.caption(), caption_options.hint());
    layout->addWidget(run_buttons, 0, Qt::AlignRight | Qt::AlignBottom);

    auto* page_buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_switch_to_text =
        add_page_button(page_buttons, QDialogButtonBox::ActionRole, "btn_switch_to_text",
                        caption_switch_to_text.caption(), caption_switch_to_text.hint());
    btn_save = add_page_button(page_buttons, QDialogButtonBox::ActionRole, "btn_save",
                               caption_save_cfg.tr(), hint_save_cfg.tr());
    btn_close = add_close_cfg_button(page_buttons);
    btn_about = add_about_button(page_buttons);
    btn_exit = add_exit_safe_button(page_buttons);
    layout->addWidget(page_buttons, 0, Qt::AlignRight | Qt::AlignBottom);
}

// Every connection is checked; a failed one is logged with its own code and the page is
// built all the same.
void Page_cfg::connect_signals() {
    const auto clicked = &QAbstractButton::clicked;
    struct Link {
        QAbstractButton* button;
        void (Page_cfg::*slot)();
        Page_cfg_code code;
    };
    const Link links[] = {
        {btn_add_server, &Page_cfg::on_btn_add_server_clicked, code_connect_add_server},
        {btn_delete_server, &Page_cfg::on_btn_delete_server_clicked, code_connect_delete_server},
        {btn_edit_server, &Page_cfg::on_btn_edit_server_clicked, code_connect_edit_server},
        {btn_add_device, &Page_cfg::on_btn_add_device_clicked, code_connect_add_device},
        {btn_delete_device, &Page_cfg::on_btn_delete_device_clicked, code_connect_delete_device},
        {btn_edit_device, &Page_cfg::on_btn_edit_device_clicked, code_connect_edit_device},
        {btn_options, &Page_cfg::on_btn_options_clicked, code_connect_options},
        {btn_upload, &Page_cfg::on_btn_upload_clicked, code_connect_upload},
        {btn_gather, &Page_cfg::on_btn_gather_clicked, code_connect_gather},
        {btn_commands, &Page_cfg::on_btn_commands_clicked, code_connect_commands},
        {btn_resume, &Page_cfg::on_btn_resume_clicked, code_connect_resume},
        {btn_save, &Page_cfg::on_btn_save_clicked, code_connect_save},
    };
    for (const Link& l : links) {
        if (!connect(l.button, clicked, this, l.slot))
            log_debug(l.code);
    }
    if (!connect(table_servers, &QAbstractItemView::doubleClicked, this,
                 &Page_cfg::on_table_servers_double_click))
        log_debug(code_connect_servers_double_click);
    if (!connect(table_devices, &QAbstractItemView::doubleClicked, this,
                 &Page_cfg::on_table_devices_double_click))
        log_debug(code_connect_devices_double_click);
    if (!connect(devices_filter, &QLineEdit::textChanged, this,
                 &Page_cfg::on_devices_filter_text_changed))
        log_debug(code_connect_filter_text);
    if (!connect(cbox_filter_field, qOverload<int>(&QComboBox::currentIndexChanged), this,
                 &Page_cfg::on_devices_filter_field_changed))
        log_debug(code_connect_filter_field);
    if (!connect(cbox_devfname, qOverload<int>(&QComboBox::currentIndexChanged), this,
                 &Page_cfg::on_devfname_changed))
        log_debug(code_connect_devfname);
    if (!connect(ebox_version, &QLineEdit::textChanged, this, &Page_cfg::on_version_changed))
        log_debug(code_connect_version);
    install_device_paste(*table_devices, *table_servers, [this] { modified = true; });
}

Page_cfg::~Page_cfg() = default;

bool Page_cfg::is_modified() const {
    return modified || ebox_devfname->isModified();
}

void Page_cfg::create_contents(bool modified_at_start) {
    table_servers->create_contents();
    table_devices->create_contents();
    int purpose = purpose_other;
    for (int i = 0; i < 2; ++i)
        if (std::strncmp(devfname, devfnames[i].name, devfname_max + 1) == 0)
            purpose = i;
    cbox_devfname->setCurrentIndex(purpose);
    ebox_devfname->setText(QString::fromLatin1(devfname, int(strnlen(devfname, devfname_max))));
    ebox_devfname->setModified(false);
    const int shown = purpose == purpose_other ? 1 : 0;
    stack_devfname_label->setCurrentIndex(shown);
    stack_devfname_ebox->setCurrentIndex(shown);
    btn_upload->setText(purpose == purpose_other ? upload_caption_other.tr()
                                                 : devfnames[purpose].upload_caption.tr());
    modified = modified_at_start;
}

void Page_cfg::destroy_contents() {
    modified = false;
    stack_devfname_label->setCurrentIndex(0);
    stack_devfname_ebox->setCurrentIndex(0);
    ebox_devfname->clear();
    ebox_devfname->setModified(false);
}

void Page_cfg::req_values(QString& title, QString& filter, Upload_function& upload) {
    const int purpose = cbox_devfname->currentIndex();
    // Read apart, so that a refused name leaves the old one whole.
    char name[devfname_max] = {};
    if (purpose == 0 || purpose == 1) {
        std::memcpy(name, devfnames[purpose].name, devfname_max);
        title = devfnames[purpose].title.tr();
        filter = devfnames[purpose].filter.tr();
    } else if (purpose == purpose_other) {
        get_printable_ascii(*ebox_devfname, name, devfname_max, caption_devfname.caption());
        title = title_other.tr();
        filter = filter_other.tr();
    } else {
        throw Debug(code_purpose);
    }
    std::memcpy(devfname, name, devfname_max);
    devfname[devfname_max] = 0;
    upload = page_cfg_upload_functions[purpose];
}

void Page_cfg::on_btn_add_server_clicked() {
    update_random_number_generator(769);
    if (configuration.servers.count >= max_servers) {
        show_error(errfmt_too_many_servers.tr().arg(max_servers), this);
        return;
    }
    Dialog_add_server dialog(configuration, this);
    if (dialog.exec() == QDialog::Accepted)
        modified = true;
}

// The rows of devices attached through one server: devices are kept ordered by server.
static unsigned devices_of_server(unsigned short server) {
    const Device_row* first = configuration.devices.rows;
    const Device_row* last = first + configuration.devices.count;
    const Device_row* begin = std::lower_bound(
        first, last, server, [](const Device_row& r, unsigned short s) { return r.server < s; });
    const Device_row* end = std::upper_bound(
        begin, last, server, [](unsigned short s, const Device_row& r) { return s < r.server; });
    return unsigned(end - begin);
}

void Page_cfg::on_btn_delete_server_clicked() {
    update_random_number_generator(770);
    try {
        const unsigned short row = table_servers->selected_row();
        const unsigned attached = devices_of_server(row);
        if (attached) {
            show_error(errfmt_server_has_devices.tr().arg(attached), this);
            return;
        }
        const Server& server = *configuration.servers.rows[row].server;
        if (!get_confirmation(
                this, question_delete_server.tr().arg(row + 1).arg(server.address).arg(server.port),
                hint_delete_server_yes.tr(), hint_delete_server_no.tr()))
            return;
        configuration.delete_server(row);
        modified = true;
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_delete_server, this);
    }
}

void Page_cfg::on_btn_edit_server_clicked() {
    update_random_number_generator(771);
    try {
        Dialog_edit_server dialog(configuration, table_servers->selected_row(), this);
        if (dialog.exec() == QDialog::Accepted)
            modified = true;
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_edit_server, this);
    }
}

void Page_cfg::on_table_servers_double_click(const QModelIndex& index) {
    update_random_number_generator(772);
    try {
        Dialog_edit_server dialog(configuration, table_servers->clicked_row(index), this);
        if (dialog.exec() == QDialog::Accepted)
            modified = true;
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_servers_double_click, this);
    }
}

void Page_cfg::on_btn_add_device_clicked() {
    update_random_number_generator(773);
    if (configuration.servers.count == 0) {
        show_error(errtext_no_server_for_device.tr(), nullptr);
        return;
    }
    if (configuration.devices.count >= max_devices) {
        show_error(errfmt_too_many_devices.tr().arg(max_devices), nullptr);
        return;
    }
    Dialog_add_device dialog(configuration, this);
    if (dialog.exec() == QDialog::Accepted)
        modified = true;
}

void Page_cfg::on_btn_delete_device_clicked() {
    update_random_number_generator(774);
    try {
        const unsigned row = table_devices->selected_row();
        const Device_row& device = configuration.devices.rows[row];
        const Server& server = *configuration.servers.rows[device.server].server;
        if (!get_confirmation(this,
                              question_delete_device.tr()
                                  .arg(imei_to_str(device.device->imei))
                                  .arg(server.address)
                                  .arg(server.port),
                              hint_delete_device_yes.tr(), hint_delete_device_no.tr()))
            return;
        configuration.delete_device(row);
        modified = true;
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_delete_device, this);
    }
}

void Page_cfg::on_btn_edit_device_clicked() {
    update_random_number_generator(775);
    try {
        Dialog_edit_device dialog(configuration, table_devices->selected_row(), this);
        if (dialog.exec() == QDialog::Accepted)
            modified = true;
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_edit_device, this);
    }
}

void Page_cfg::on_table_devices_double_click(const QModelIndex& index) {
    update_random_number_generator(776);
    try {
        Dialog_edit_device dialog(configuration, table_devices->clicked_row(index), this);
        if (dialog.exec() == QDialog::Accepted)
            modified = true;
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_devices_double_click, this);
    }
}

void Page_cfg::on_devices_filter_text_changed(const QString& text) {
    update_random_number_generator(777);
    table_devices->proxy->setFilterFixedString(text);
}

void Page_cfg::on_devices_filter_field_changed(int index) {
    update_random_number_generator(778);
    if (index < 0 || index >= filter_field_count) {
        log_debug(code_filter_field);
        return;
    }
    // The last item filters on every column.
    table_devices->proxy->setFilterKeyColumn(index == filter_field_count - 1 ? -1 : index);
}

void Page_cfg::on_devfname_changed(int index) {
    update_random_number_generator(779);
    modified = true;
    const bool other = index == purpose_other;
    stack_devfname_label->setCurrentIndex(other ? 1 : 0);
    stack_devfname_ebox->setCurrentIndex(other ? 1 : 0);
    if (index == 0 || index == 1)
        btn_upload->setText(devfnames[index].upload_caption.tr());
    else if (other)
        btn_upload->setText(upload_caption_other.tr());
}

void Page_cfg::on_btn_options_clicked() {
    update_random_number_generator(780);
    Dialog_options dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        modified = true;
}

void Page_cfg::on_btn_save_clicked() {
    update_random_number_generator(784);
    try {
        QString title, filter;
        Upload_function upload = nullptr;
        req_values(title, filter, upload);
        QString text;
        bool complete = false;
        if (!table_devices->save(text, Save_mode::whole, this, complete))
            return;
        if (!save_to_file(this, text))
            return;
        // A filtered part was written: the configuration itself is still unsaved.
        if (complete) {
            modified = false;
            ebox_devfname->setModified(false);
        }
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_save, this);
    }
}
