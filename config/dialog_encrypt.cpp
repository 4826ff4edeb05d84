#include "config/dialog_encrypt.h"

#include "config/dialog_decrypt.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/interface.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

static Tr title_encrypt("encrypt", "Введите пароль для шифрования файла");
static Tr hint_password(
    "encrypt",
    "Если вы что-нибудь здесь введёте, программа при записи конфигурации\nв указанный вами файл "
    "зашифрует её, используя то, что вы ввели, в\nкачестве пароля. При каждом чтении "
    "конфигурации из этого файла надо\nбудет указывать этот пароль снова (программа не "
    "запоминает пароли\nдаже на короткое время).\n\nПопутно, файл будет сжат "
    "(заархивирован).\n\nЕсли вы ничего здесь не введёте, программа не будет ни шифровать,\nни "
    "сжимать конфигурацию, а запишет её открытым текстом (в виде\nтекстового документа в "
    "кодировке UTF-8). Помните, что поле ввода,\nсодержащее только пробелы, это не то же самое, "
    "что пустое поле\nввода!\n\nНе рекомендуется пренебрегать возможностью шифровать файлы\n"
    "конфигурации, поскольку в этих файлах могут содержаться PIN-коды\nдля доступа к сотням "
    "устройств. Даже если вы тщательно следите за\nэтими файлами, они могут попасть в чужие "
    "руки, например, путём\nвосстановления удалённых файлов после отдачи компьютера в "
    "ремонт.\n\nПри вводе пароля вместо букв будут отображаться звёздочки (или\nчто-нибудь ещё) "
    "чтобы никто не мог подсмотреть пароль. Обратите\nвнимание, выбрана ли у вас русская или "
    "английская раскладка\nклавиатуры и не нажат ли у вас CapsLock. Если вы уверены, что "
    "экран\nвашего компьютера никому не виден, вы можете установить галочку\n«Показать "
    "пароль».");
static Tr_with_hint label_confirm_text(
    "encrypt", "Ещё раз:",
    "Надо ввести тот же самый пароль ещё раз (чтобы программа могла\nубедиться, что вы не "
    "ошиблись при его наборе).");
static Tr_with_hint cbox_show_text(
    "encrypt", "Показать пароль",
    "Если вы установите эту галочку, вводимый вами пароль будет\nотображаться в окне без замены "
    "на звёздочки. Поле для повторного\nввода пароля будет скрыто (за ненадобностью). Это "
    "позволит вводить\nпароль более комфортным способом в ситуации, когда вы уверены, что\nэкран "
    "вашего компьютера никому не виден (в том числе через\nвидеонаблюдение).");
static Tr_with_hint cbox_compatible_text(
    "encrypt", "Совместимый формат (для прежних версий программы)",
    "Если эта галочка снята (так и рекомендуется), файл будет зашифрован в\nсовременном "
    "формате: ключ получается из пароля медленной функцией, которой\nнужно много памяти, поэтому "
    "подбор пароля к украденному файлу\nобходится очень дорого, а любое изменение файла "
    "обнаруживается.\nТакой файл прочитают только эта и более новые версии программы.\n\n"
    "Если галочку установить, файл будет записан в прежнем формате,\nкоторый читают и старые "
    "версии программы. Этот формат слабо защищает\nот подбора пароля, и в нём можно записать не "
    "более 16 МиБ текста\nконфигурации (около 370 000 устройств). Устанавливайте галочку, "
    "только\nесли файл надо будет открыть в старой версии программы.");
static Tr_with_hint btn_continue_text(
    "encrypt", "Продолжить",
    "Если вы нажмёте эту кнопку, программа закроет текущее окно и\nзапишет конфигурацию в ранее "
    "указанный вами файл, зашифровав её тем\nпаролем, который вы указали в текущем окне.\n\nЕсли "
    "вы не указали никакой пароль (оставили соответствующее поле\nввода пустым), программа "
    "запишет файл не зашифровывая его\n(получится обычный текстовый документ в кодировке "
    "UTF-8). Помните,\nчто поле ввода, содержащее только пробелы, это не то же самое, что\nпустое "
    "поле ввода!");
static Tr_with_hint btn_back_text(
    "encrypt", "Назад",
    "Если вы нажмёте эту кнопку, программа закроет текущее окно (если вы\nуспели в нём что-то "
    "ввести, это будет потеряно). Файл при этом\nзаписан не будет - вместо этого программа "
    "вернётся к предыдущему\nэтапу - будет открыто окно для выбора имени файла.");
static Tr errtext_mismatch("encrypt", "Пароли, которые вы ввели в первом и втором поле ввода, не "
                                      "совпадают.");

void dialog_encrypt_clear_translation() {
    title_encrypt.clear();
    hint_password.clear();
    label_confirm_text.clear();
    cbox_show_text.clear();
    cbox_compatible_text.clear();
    btn_continue_text.clear();
    btn_back_text.clear();
    errtext_mismatch.clear();
}

Dialog_encrypt::Dialog_encrypt(QWidget* parent) : QDialog(parent, password_dialog_flags) {
    init_fonts(*this);
    setWindowTitle(title_encrypt.tr());
    auto* layout = new QVBoxLayout(this);
    ebox_password =
        add_password_ebox(this, layout, QStringLiteral("ebox_password"), hint_password.tr());

    label_confirm = new QLabel(label_confirm_text.caption(), this);
    label_confirm->setObjectName(QStringLiteral("label_confirm"));
    label_confirm->setToolTip(label_confirm_text.hint());
    layout->addWidget(label_confirm);
    ebox_confirm =
        add_password_ebox(this, layout, QStringLiteral("ebox_confirm"), label_confirm_text.hint());
    label_confirm->setBuddy(ebox_confirm);

    cbox_show = add_show_cbox(this, layout, cbox_show_text);
    cbox_compatible = new QCheckBox(cbox_compatible_text.caption(), this);
    cbox_compatible->setObjectName(QStringLiteral("cbox_compatible"));
    cbox_compatible->setToolTip(cbox_compatible_text.hint());
    layout->addWidget(cbox_compatible);
    buttons = new QDialogButtonBox(Qt::Horizontal, this);
    add_dialog_button(buttons, QDialogButtonBox::AcceptRole, QStringLiteral("btn_continue"),
                      btn_continue_text.caption(), btn_continue_text.hint())
        ->setDefault(true);
    add_dialog_button(buttons, QDialogButtonBox::RejectRole, QStringLiteral("btn_back"),
                      btn_back_text.caption(), btn_back_text.hint());
    layout->addWidget(buttons);

    if (!connect(cbox_show, &QCheckBox::stateChanged, this,
                 &Dialog_encrypt::on_cbox_show_state_changed))
        log_debug(0x1B01);
    if (!connect(buttons, &QDialogButtonBox::accepted, this, &Dialog_encrypt::accept))
        log_debug(0x1B02);
    if (!connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(0x1B03);
    ebox_password->setFocus();
}

// Shown characters make the confirmation pointless, so it is hidden (and not compared).
void Dialog_encrypt::on_cbox_show_state_changed(int state) {
    update_random_number_generator(0x1B01);
    if (state == Qt::Checked) {
        ebox_password->setEchoMode(QLineEdit::Normal);
        label_confirm->hide();
        ebox_confirm->hide();
    } else if (state == Qt::Unchecked) {
        ebox_password->setEchoMode(QLineEdit::Password);
        label_confirm->show();
        ebox_confirm->show();
    } else {
        log_debug(0x1B04);
    }
}

void Dialog_encrypt::accept() {
    const QString first = ebox_password->text();
    if (!cbox_show->isChecked() && ebox_confirm->text() != first) {
        show_error(errtext_mismatch.tr(), this);
        return;
    }
    password = first;
    form = cbox_compatible->isChecked() ? Container_form::legacy : Container_form::modern;
    QDialog::accept();
}
