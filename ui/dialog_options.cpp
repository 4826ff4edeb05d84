#include "ui/dialog_options.h"

#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/rollout_option_texts.h"
#include "ui/validators_gui.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

// Debug codes of the options dialog (source 8). The check boxes' states and accept() have
// fixed numbers; the connections take the places around them.
enum Dialog_options_code : unsigned short {
    code_connect_defined = 2060, // any of the check boxes
    code_connect_accepted,
    code_defined_state, // one per exchange option, in the table's order
    code_accept = code_defined_state + exchange_option_count,
    code_connect_rejected,
    code_rollout_defined_state = 2080, // one per rollout option, in the table's order
};
static_assert(code_defined_state == 2062 && code_accept == 2073, "the dialog's fixed codes");

static Tr title("options", "Тонкая настройка");

#define RANGE_TAIL                                                                                                                                                  \
    "\n\nЗначение этого параметра должно быть в диапазоне %1...%2,\nзначение по умолчанию равно " \
    "%3."
#define DEFAULT_MS_TAIL                                                                                                                                            \
    "\n\nЕсли отметки нет, будет использоваться значение по умолчанию.\nСейчас это значение " \
    "равно %1 миллисекунд, но оно может\nпоменяться в будущих версиях программы."
#define REQUEST_HEAD                                                                               \
    "Максимальное время (в миллисекундах) от передачи серверу «zelmo_server»\nпервого байта "

// Caption, the check box's tooltip (%1 the default) and the field's tooltip, per option.
struct Option_texts {
    Tr caption;
    Tr hint_cbox;
    Tr hint;
};

static Option_texts texts[exchange_option_count] = {
    {{"options", "Количество одновременных закачек"},
     {"options", "Если здесь стоит отметка, для параметра «Количество одновременных\nзакачек» "
                 "будет использоваться то значение, которое введено в\nрасположенное правее поле "
                 "ввода.\n\nЕсли отметки нет, будет использоваться значение по умолчанию.\n"
                 "Сейчас это значение равно %1, но оно может\nпоменяться в будущих версиях "
                 "программы."},
     {"options",
      "Наибольшее количество устройств, с которыми программа работает\nодновременно. Каждая "
      "закачка - это отдельная TCP-сессия с сервером\n«zelmo_server»; к одному и тому же серверу "
      "допускается несколько\nсессий одновременно. Как правило, проблемы начинаются, когда\n"
      "одновременных сессий становится порядка 1-2 тысяч.\n\nЗначение этого параметра должно "
      "быть в диапазоне 1...%1,\nзначение по умолчанию равно %2."}},
    {{"options", "Тайм-аут подключения к серверу"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут подключения к\nсерверу» "
                 "будет использоваться то значение, которое введено в\nрасположенное правее поле "
                 "ввода." DEFAULT_MS_TAIL},
     {"options", "Максимальное время (в миллисекундах) от начала подключения к серверу\n"
                 "«zelmo_server» до того момента, когда TCP-соединение с ним\nустановлено. Если "
                 "за это время соединение не установлено, попытка\nсчитается "
                 "неудачной." RANGE_TAIL}},
    {{"options", "Тайм-аут отключения от сервера"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут отключения от\nсервера» "
                 "будет использоваться то значение, которое введено в\nрасположенное правее поле "
                 "ввода." DEFAULT_MS_TAIL},
     {"options", "Максимальное время (в миллисекундах) от просьбы закрыть соединение,\n"
                 "переданной серверу «zelmo_server», до подтверждения сервером\nупорядоченного "
                 "закрытия. Если сервер не подтвердил закрытие за\nэто время, соединение "
                 "разрывается принудительно." RANGE_TAIL}},
    {{"options", "Тайм-аут подключения к устройству"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут подключения к\nустройству» "
                 "будет использоваться то значение, которое введено в\nрасположенное правее поле "
                 "ввода." DEFAULT_MS_TAIL},
     {"options", REQUEST_HEAD "сообщения «запрос подключения к устройству»\nдо приёма "
                              "последнего байта ответа на это сообщение." RANGE_TAIL}},
    {{"options", "Тайм-аут авторизации на устройстве"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут авторизации на\nустройстве» "
                 "будет использоваться то значение, которое введено в\nрасположенное правее поле "
                 "ввода." DEFAULT_MS_TAIL},
     {"options", REQUEST_HEAD "сообщения «авторизация» до приёма последнего\nбайта ответа на "
                              "это сообщение." RANGE_TAIL}},
    {{"options", "Тайм-аут закачки файла на устройство"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут закачки файла на\n"
                 "устройство» будет использоваться то значение, которое введено в\nрасположенное "
                 "правее поле ввода." DEFAULT_MS_TAIL},
     {"options", REQUEST_HEAD "сообщения «файл целиком от хоста устройству»\nдо приёма "
                              "последнего байта ответа на это сообщение. За это время\nфайл "
                              "должен быть передан устройству целиком." RANGE_TAIL}},
    {{"options", "Тайм-аут запроса параметра у устройства"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут запроса параметра\nу "
                 "устройства» будет использоваться то значение, которое введено в\nрасположенное "
                 "правее поле ввода." DEFAULT_MS_TAIL},
     {"options", REQUEST_HEAD "сообщения «считать параметр» до приёма\nпоследнего байта ответа "
                              "на это сообщение." RANGE_TAIL}},
    {{"options", "Тайм-аут передачи команды устройству"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут передачи команды\n"
                 "устройству» будет использоваться то значение, которое введено в\nрасположенное "
                 "правее поле ввода." DEFAULT_MS_TAIL},
     {"options", REQUEST_HEAD "команды («рестарт устройства», «сброс к\nзаводским настройкам», "
                              "«очистить чёрный ящик») до приёма\nпоследнего байта ответа на "
                              "эту команду." RANGE_TAIL}},
    {{"options", "Тайм-аут запроса списка устройств у сервера"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут запроса списка\nустройств у "
                 "сервера» будет использоваться значение, которое введено в\nрасположенное "
                 "правее поле ввода." DEFAULT_MS_TAIL},
     {"options", REQUEST_HEAD "сообщения «запрос списка устройств у сервера»\nдо приёма "
                              "последнего байта последнего ответа на это\nсообщение." RANGE_TAIL}},
    {{"options", "Тайм-аут передачи ответа на ping"},
     {"options", "Если здесь стоит отметка, для параметра «Тайм-аут передачи ответа на\nping» "
                 "будет использоваться то значение, которое введено в\nрасположенное правее поле "
                 "ввода." DEFAULT_MS_TAIL},
     {"options", "Максимальное время (в миллисекундах), на которое может быть задержана\n"
                 "передача очередного сообщения серверу «zelmo_server» из-за того,\nчто "
                 "соединение занято передачей ответа на ping. Если за это время\nответ на ping "
                 "не передан, соединение считается разорванным." RANGE_TAIL}},
    {{"options", "Задержка восстановления соединения"},
     {"options", "Если здесь стоит отметка, для параметра «Задержка восстановления\n"
                 "соединения» будет использоваться то значение, которое введено в\nрасположенное "
                 "правее поле ввода." DEFAULT_MS_TAIL},
     {"options",
      "Время (в миллисекундах), которое программа выжидает после неудачной\nпопытки "
      "подключиться к серверу «zelmo_server» или после разрыва\nсоединения с ним, прежде чем "
      "подключиться снова. После %1 неудачных\nпопыток подряд, если в этот момент нет ни одного "
      "работающего\nсоединения с тем же сервером, сервер считается недоступным.\nОтказы на "
      "уровне устройства (например, неправильный PIN-код)\nникогда не повторяются.\n\nЗначение "
      "этого параметра должно быть в диапазоне %2...%3,\nзначение по умолчанию равно %4."}},
};

static Tr_with_hint caption_ms("options", "мс.", "Единица измерения: миллисекунда.");
static Tr title_trace_group("options", "не записывается в файл конфигурации");
static Tr caption_trace("options", "Трассировать обмен в файл журнала (осторожно!)");
static Tr hint_trace_format(
    "options",
    "Если здесь стоит отметка, в файл журнала «%1» будет записываться\nвсё, чем программа "
    "обменивается с серверами «zelmo_server». Из этой\nзаписи можно узнать PIN-коды устройств, "
    "поэтому такой файл журнала\nнадо беречь от чужих глаз. Кроме того, трассировка замедляет "
    "закачку\nна несколько процентов.\n\nЭта отметка не записывается в файл конфигурации и не "
    "сохраняется\nпри переключении на текстовое представление конфигурации.");
static Tr hint_ok("options",
                  "Если вы нажмёте эту кнопку, все перечисленные в этом окне параметры\nтекущей "
                  "конфигурации будут установлены в указанные в этом окне\nзначения, при "
                  "условии, что все эти значения правильные. После этого\nокно будет "
                  "закрыто.\n\nЕсли хотя-бы одно значение неправильно, параметры не будут\n"
                  "установлены, и окно не будет закрыто - вы сможете отредактировать\n"
                  "неправильные значения и попробовать снова.");
static Tr hint_cancel("options",
                      "Если вы нажмёте эту кнопку, окно будет закрыто, и все параметры\nсохранят "
                      "те значения, которые были у них до открытия окна.\nСделанные изменения "
                      "будут потеряны без предупреждения.");

void dialog_options_clear_translation() {
    title.clear();
    for (Option_texts& t : texts) {
        t.caption.clear();
        t.hint_cbox.clear();
        t.hint.clear();
    }
    caption_ms.clear();
    title_trace_group.clear();
    caption_trace.clear();
    hint_trace_format.clear();
    hint_ok.clear();
    hint_cancel.clear();
}

static QString caption_of(int option) {
    return option < exchange_option_count ? texts[option].caption.tr()
                                          : rollout_option_caption(option);
}

// A rollout option without a default is off while not defined: its field is then empty.
static QString shown_value(unsigned value, bool defined) {
    return defined || value ? QString::number(value) : QString();
}

static QString hint_of(int option) {
    const Option_info& info = option_info[option];
    const QString& f = texts[option].hint.tr();
    if (option == opt_simultaneously)
        return f.arg(info.maximum).arg(info.default_value);
    if (option == opt_reconnect_delay)
        return f.arg(connection_attempts).arg(1).arg(info.maximum).arg(info.default_value);
    return f.arg(1).arg(info.maximum).arg(info.default_value);
}

Dialog_options::Dialog_options(QWidget* parent)
    : QDialog(parent, dialog_flags), validator(new QIntValidator(0, 2147483647, this)) {
    init_fonts(*this);
    setWindowTitle(title.tr());
    auto* layout = new QVBoxLayout(this);
    // One grid rather than a layout per row, so that the fields of all rows line up.
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    using Slot = void (Dialog_options::*)(int);
    static const Slot state_slots[exchange_option_count] = {
        &Dialog_options::on_cbox_simultaneously_state_changed,
        &Dialog_options::on_cbox_connect_timeout_state_changed,
        &Dialog_options::on_cbox_disconnect_timeout_state_changed,
        &Dialog_options::on_cbox_link_timeout_state_changed,
        &Dialog_options::on_cbox_auth_timeout_state_changed,
        &Dialog_options::on_cbox_upfile_timeout_state_changed,
        &Dialog_options::on_cbox_getparam_timeout_state_changed,
        &Dialog_options::on_cbox_cmd_timeout_state_changed,
        &Dialog_options::on_cbox_enumerate_timeout_state_changed,
        &Dialog_options::on_cbox_ping_answer_timeout_state_changed,
        &Dialog_options::on_cbox_reconnect_delay_state_changed,
    };
    for (int i = 0; i < exchange_option_count; ++i) {
        const Option_info& info = option_info[i];
        const QString key = QString::fromLatin1(info.key);
        const bool defined = *info.defined;
        cbox_defined[i] = new QCheckBox(this);
        cbox_defined[i]->setObjectName(QStringLiteral("cbox_") + key);
        cbox_defined[i]->setChecked(defined);
        cbox_defined[i]->setToolTip(texts[i].hint_cbox.tr().arg(info.default_value));
        const QString hint = hint_of(i);
        label_option[i] = new QLabel(caption_of(i), this);
        label_option[i]->setToolTip(hint);
        ebox_option[i] = new QLineEdit(this);
        ebox_option[i]->setObjectName(QStringLiteral("ebox_") + key);
        ebox_option[i]->setFont(font_value_big);
        ebox_option[i]->setValidator(validator);
        ebox_option[i]->setMaxLength(i == opt_simultaneously ? 5 : 8);
        ebox_option[i]->setToolTip(hint);
        ebox_option[i]->setText(QString::number(get_option(i)));
        ebox_option[i]->setReadOnly(!defined);
        label_option[i]->setBuddy(ebox_option[i]);
        // Room for every digit the field takes, whatever the style's idea of a line edit.
        ebox_option[i]->setMinimumWidth((ebox_option[i]->maxLength() + 2) * w_dec_big);
        grid->addWidget(cbox_defined[i], i, 0);
        grid->addWidget(label_option[i], i, 1);
        grid->addWidget(ebox_option[i], i, 2, Qt::AlignLeft);
        label_ms[i] = nullptr;
        if (i != opt_simultaneously) {
            label_ms[i] = new QLabel(caption_ms.caption(), this);
            label_ms[i]->setToolTip(caption_ms.hint());
            grid->addWidget(label_ms[i], i, 3);
        }
        if (!connect(cbox_defined[i], &QCheckBox::stateChanged, this, state_slots[i]))
            log_debug(code_connect_defined);
    }

    group_rollout = new QGroupBox(rollout_group_title(), this);
    group_rollout->setObjectName(QStringLiteral("group_rollout"));
    auto* rollout_grid = new QGridLayout(group_rollout);
    for (int i = first_rollout_option; i < option_count; ++i) {
        const Option_info& info = option_info[i];
        const QString key = QString::fromLatin1(info.key);
        const bool defined = *info.defined;
        const int row = i - first_rollout_option;
        cbox_defined[i] = new QCheckBox(group_rollout);
        cbox_defined[i]->setObjectName(QStringLiteral("cbox_") + key);
        cbox_defined[i]->setChecked(defined);
        cbox_defined[i]->setToolTip(rollout_option_cbox_hint(i));
        const QString hint = rollout_option_hint(i);
        label_option[i] = new QLabel(caption_of(i), group_rollout);
        label_option[i]->setToolTip(hint);
        ebox_option[i] = new QLineEdit(group_rollout);
        ebox_option[i]->setObjectName(QStringLiteral("ebox_") + key);
        ebox_option[i]->setFont(font_value_big);
        ebox_option[i]->setValidator(validator);
        ebox_option[i]->setMaxLength(QString::number(info.maximum).size());
        ebox_option[i]->setToolTip(hint);
        ebox_option[i]->setText(shown_value(get_option(i), defined));
        ebox_option[i]->setReadOnly(!defined);
        label_option[i]->setBuddy(ebox_option[i]);
        // As wide as the exchange options' fields, so that both groups line up.
        ebox_option[i]->setMinimumWidth(10 * w_dec_big);
        rollout_grid->addWidget(cbox_defined[i], row, 0);
        rollout_grid->addWidget(label_option[i], row, 1);
        rollout_grid->addWidget(ebox_option[i], row, 2, Qt::AlignLeft);
        label_ms[i] = nullptr;
        const QString unit = rollout_option_unit(i);
        if (!unit.isEmpty()) {
            label_ms[i] = new QLabel(unit, group_rollout);
            label_ms[i]->setToolTip(rollout_option_unit_hint(i));
            rollout_grid->addWidget(label_ms[i], row, 3);
        }
        if (!connect(cbox_defined[i], &QCheckBox::stateChanged, this,
                     [this, i](int state) { defined_state_changed(i, state); }))
            log_debug(code_connect_defined);
    }
    rollout_grid->setColumnStretch(3, 1);
    layout->addWidget(group_rollout);

    group_trace = new QGroupBox(title_trace_group.tr(), this);
    auto* group_layout = new QVBoxLayout(group_trace);
    cbox_trace = new QCheckBox(caption_trace.tr(), group_trace);
    cbox_trace->setObjectName(QStringLiteral("cbox_trace"));
    cbox_trace->setChecked(trace_flags.load(std::memory_order_relaxed) & 0x01);
    cbox_trace->setToolTip(hint_trace_format.tr().arg(QString::fromLocal8Bit(log_file_name)));
    group_layout->addWidget(cbox_trace);
    layout->addWidget(group_trace);

    buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_ok = buttons->addButton(caption_set(), QDialogButtonBox::AcceptRole);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setToolTip(hint_ok.tr() + hint_save_later());
    btn_cancel = buttons->addButton(caption_cancel(), QDialogButtonBox::RejectRole);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setToolTip(hint_cancel.tr());
    layout->addWidget(buttons);
    if (!connect(buttons, &QDialogButtonBox::accepted, this, &Dialog_options::accept))
        log_debug(code_connect_accepted);
    if (!connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(code_connect_rejected);
}

void Dialog_options::defined_state_changed(int option, int state) {
    update_random_number_generator(static_cast<unsigned short>(2049 + option));
    if (state == Qt::Unchecked) {
        ebox_option[option]->setReadOnly(true);
        ebox_option[option]->setText(shown_value(option_info[option].default_value, false));
    } else if (state == Qt::Checked) {
        ebox_option[option]->setReadOnly(false);
    } else {
        log_debug(static_cast<unsigned short>(option < exchange_option_count
                                                  ? code_defined_state + option
                                                  : code_rollout_defined_state + option -
                                                        first_rollout_option));
    }
}

void Dialog_options::on_cbox_simultaneously_state_changed(int state) {
    defined_state_changed(opt_simultaneously, state);
}
void Dialog_options::on_cbox_connect_timeout_state_changed(int state) {
    defined_state_changed(opt_connect_timeout, state);
}
void Dialog_options::on_cbox_disconnect_timeout_state_changed(int state) {
    defined_state_changed(opt_disconnect_timeout, state);
}
void Dialog_options::on_cbox_link_timeout_state_changed(int state) {
    defined_state_changed(opt_link_timeout, state);
}
void Dialog_options::on_cbox_auth_timeout_state_changed(int state) {
    defined_state_changed(opt_auth_timeout, state);
}
void Dialog_options::on_cbox_upfile_timeout_state_changed(int state) {
    defined_state_changed(opt_upfile_timeout, state);
}
void Dialog_options::on_cbox_getparam_timeout_state_changed(int state) {
    defined_state_changed(opt_getparam_timeout, state);
}
void Dialog_options::on_cbox_cmd_timeout_state_changed(int state) {
    defined_state_changed(opt_cmd_timeout, state);
}
void Dialog_options::on_cbox_enumerate_timeout_state_changed(int state) {
    defined_state_changed(opt_enumerate_timeout, state);
}
void Dialog_options::on_cbox_ping_answer_timeout_state_changed(int state) {
    defined_state_changed(opt_ping_answer_timeout, state);
}
void Dialog_options::on_cbox_reconnect_delay_state_changed(int state) {
    defined_state_changed(opt_reconnect_delay, state);
}

void Dialog_options::accept() {
    try {
        unsigned values[option_count];
        bool defined[option_count];
        bool changed = false;
        for (int i = 0; i < option_count; ++i) {
            const Option_info& info = option_info[i];
            defined[i] = cbox_defined[i]->isChecked();
            values[i] = defined[i] ? req_uint(*ebox_option[i], caption_of(i), 1, info.maximum)
                                   : info.default_value;
            if (values[i] != get_option(i) || defined[i] != *info.defined)
                changed = true;
        }
        const unsigned char old_trace = trace_flags.load(std::memory_order_relaxed);
        const unsigned char new_trace =
            cbox_trace->isChecked() ? old_trace | 0x01 : old_trace & ~0x01;
        if (!changed) {
            if (new_trace == old_trace)
                throw Err(errtext_not_edited());
            // The configuration itself is as it was: not to be marked modified.
            trace_flags.store(new_trace, std::memory_order_relaxed);
            reject();
            return;
        }
        for (int i = 0; i < option_count; ++i) {
            set_option(i, values[i]);
            *option_info[i].defined = defined[i];
        }
        trace_flags.store(new_trace, std::memory_order_relaxed);
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_accept, this);
    }
}
