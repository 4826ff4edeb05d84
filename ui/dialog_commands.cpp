#include "ui/dialog_commands.h"

#include "engine/actions.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "protocol/frame.h"
#include "ui/dialog_exchange.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/table_devices.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

static Tr title_commands("commands", "Команды");
static Tr_with_hint caption_restart(
    "commands", "Рестарт устройств",
    "Если вы нажмёте эту кнопку, всем устройствам, входящим в текущую\nконфигурацию, будет дана "
    "команда на перезапуск.");
static Tr_with_hint caption_factory(
    "commands", "Сброс устройств к заводским настройкам (ОСТОРОЖНО!!!)",
    "Если вы нажмёте эту кнопку, всем устройствам, входящим в текущую\nконфигурацию, будет дана "
    "команда на сброс к заводским настройкам.\n\nОсторожно!!! В результате исполнения этой "
    "команды будет потеряны\nрезультаты конфигурирования устройств, если такое "
    "конфигурирование\nпроизводилось. Если для доступа к устройствам использовался сервер,\n"
    "отличающийся от сервера по умолчанию, эти устройства будут\nпереключены на сервер по "
    "умолчанию. Если этот сервер\nнеработоспособен, или если у вас нет к нему доступа, "
    "управление\nустройствами через сеть станет невозможным, и вам придётся\nвосстанавливать "
    "работоспособность устройств с помощью SMS, или даже\nездить и настраивать устройства через "
    "USB.\n\nВозможно, будет лучше, если вы вместо сброса к заводским настройкам\nзакачаете на "
    "все устройства желаемый файл конфигурации (из главного\nокна программы)?");
static Tr_with_hint caption_dropbbox(
    "commands", "Очистить «чёрные ящики» устройств (ОСТОРОЖНО!)",
    "Если вы нажмёте эту кнопку, всем устройствам, входящим в текущую\nконфигурацию, будет дана "
    "команда на очистку «чёрного ящика».\n\nОсторожно! В результате исполнения этой команды "
    "будет потеряна та\nинформация о произошедших на устройствах событиях, которую эти\n"
    "устройства ещё не успели передать на сервер.");
static Tr_with_hint caption_cleargnss(
    "commands", "Холодный старт GNSS-приёмника",
    "Если вы нажмёте эту кнопку, всем устройствам, входящим в текущую\nконфигурацию, будет дана "
    "команда заново начать работу со\nспутниковой системой глобального позиционирования, забыв "
    "предыдущее\nеё состояние. Это может быть полезно при восстановлении после\nнештатных "
    "ситуаций в системе глобального позиционирования.");
static Tr question_factory(
    "commands",
    "Вы уверены, что хотите сбросить конфигурацию всех входящих в текущую конфигурацию "
    "устройств к заводским настройкам?\n\nОсторожно!!! В результате исполнения этой команды "
    "будет потеряны результаты конфигурирования устройств, если такое конфигурирование "
    "производилось. Если для доступа к устройствам использовался сервер, отличающийся от "
    "сервера по умолчанию, эти устройства будут переключены на сервер по умолчанию. Если этот "
    "сервер неработоспособен, или если у вас нет к нему доступа, управление устройствами через "
    "сеть станет невозможным, и вам придётся восстанавливать работоспособность устройств с "
    "помощью SMS, или даже ездить и настраивать устройства через USB.");
static Tr question_dropbbox(
    "commands", "Вы уверены, что хотите очистить «чёрные ящики» всех устройств?\n\nОсторожно! В "
                "результате исполнения этой команды будет потеряна та информация о произошедших "
                "на устройствах событиях, которую эти устройства ещё не успели передать на "
                "сервер.");
static Tr hint_question_no("commands", "Если вы нажмёте эту кнопку, команда устройствам не будет "
                                       "послана, и\nвы вернётесь в окно для выбора команды.");
static Tr hint_close("commands", "Если вы нажмёте эту кнопку, окно с перечнем команд будет "
                                 "закрыто, и\nвы вернётесь в главное окно программы.");

// Command codes of the device protocol.
enum : unsigned char { cmd_restart = 1, cmd_factory = 5, cmd_dropbbox = 6, cmd_cleargnss = 59 };

static QPushButton* add_command(QDialogButtonBox* box, Tr_with_hint& caption, const char* name) {
    QPushButton* button = box->addButton(caption.caption(), QDialogButtonBox::ActionRole);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(caption.hint());
    return button;
}

Dialog_commands::Dialog_commands(QWidget* parent, Table_devices& devices)
    : QDialog(parent, dialog_flags), devices(&devices) {
    init_fonts(*this);
    setWindowTitle(title_commands.tr());
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* box = new QDialogButtonBox(Qt::Vertical, this);
    QPushButton* restart = add_command(box, caption_restart, "btn_restart");
    QPushButton* factory = add_command(box, caption_factory, "btn_factory");
    QPushButton* dropbbox = add_command(box, caption_dropbbox, "btn_dropbbox");
    QPushButton* cleargnss = add_command(box, caption_cleargnss, "btn_cleargnss");
    QPushButton* close = box->addButton(close_caption(), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("btn_close"));
    close->setToolTip(hint_close.tr());
    close->setDefault(true);
    layout->addWidget(box);
    if (!connect(restart, &QPushButton::clicked, this, &Dialog_commands::on_btn_restart_clicked))
        log_debug(0x1701);
    if (!connect(factory, &QPushButton::clicked, this, &Dialog_commands::on_btn_factory_clicked))
        log_debug(0x1702);
    if (!connect(dropbbox, &QPushButton::clicked, this, &Dialog_commands::on_btn_dropbbox_clicked))
        log_debug(0x1703);
    if (!connect(cleargnss, &QPushButton::clicked, this,
                 &Dialog_commands::on_btn_cleargnss_clicked))
        log_debug(0x1767);
    if (!connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(0x1704);
}

bool Dialog_commands::run_command(unsigned char code, Tr& name, const QString* question,
                                  const QString& yes_hint) {
    // The command always goes to every device of the configuration, never to a selection.
    if (!devices->warn_if_filtered(this))
        return false;
    if (question && !get_confirmation(this, *question, yes_hint, hint_question_no.tr()))
        return false;
    Action_cmd action(code, name.tr());
    Dialog_exchange(this, action).exec();
    return true;
}

void Dialog_commands::on_btn_restart_clicked() {
    update_random_number_generator(0x1701);
    run_command(cmd_restart, name_RESTART, nullptr, QString());
}

void Dialog_commands::on_btn_factory_clicked() {
    update_random_number_generator(0x1702);
    run_command(cmd_factory, name_FACTORY, &question_factory.tr(), caption_factory.hint());
}

void Dialog_commands::on_btn_dropbbox_clicked() {
    update_random_number_generator(0x1703);
    run_command(cmd_dropbbox, name_DROPBBOX, &question_dropbbox.tr(), caption_dropbbox.hint());
}

void Dialog_commands::on_btn_cleargnss_clicked() {
    update_random_number_generator(0x1704);
    run_command(cmd_cleargnss, name_CLEARGNSS, nullptr, QString());
}

void dialog_commands_clear_translation() {
    Tr* texts[] = {&title_commands, &question_factory, &question_dropbbox, &hint_question_no,
                   &hint_close};
    for (Tr* t : texts)
        t->clear();
    Tr_with_hint* pairs[] = {&caption_restart, &caption_factory, &caption_dropbbox,
                             &caption_cleargnss};
    for (Tr_with_hint* p : pairs)
        p->clear();
}
