#include "config/dialog_decrypt.h"

#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/interface.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

static Tr hint_password(
    "decrypt",
    "Сюда надо ввести пароль, которым был зашифрован указанный вами\nфайл. Без знания пароля "
    "вытащить конфигурацию из этого файла\nневозможно.\n\nПри вводе пароля вместо букв будут "
    "отображаться звёздочки (или\nчто-нибудь ещё) чтобы никто не мог подсмотреть пароль. "
    "Обратите\nвнимание, выбрана ли у вас русская или английская раскладка\nклавиатуры и не "
    "нажат ли у вас CapsLock. Если вы уверены, что экран\nвашего компьютера никому не виден, вы "
    "можете установить галочку\n«Показать пароль».");
static Tr_with_hint cbox_show_text(
    "decrypt", "Показать пароль",
    "Если вы установите эту галочку, вводимый вами пароль будет\nотображаться в окне без замены "
    "на звёздочки. Это позволит вводить\nпароль более комфортным способом в ситуации, когда вы "
    "уверены, что\nэкран вашего компьютера никому не виден (в том числе через\n"
    "видеонаблюдение).");
static Tr_with_hint btn_done_text(
    "decrypt", "Готово",
    "Если вы нажмёте эту кнопку, программа попытается расшифровать\nсодержимое ранее указанного "
    "вами файла с помощью пароля, введённого\nвами в этом окне.");
static Tr caption_cancel("common", "Отмена");
static Tr hint_cancel("decrypt", "Если вы нажмёте эту кнопку, программа не будет читать "
                                 "конфигурацию\nиз указанного вами файла.");

void dialog_decrypt_clear_translation() {
    hint_password.clear();
    cbox_show_text.clear();
    btn_done_text.clear();
    caption_cancel.clear();
    hint_cancel.clear();
}

Ebox_with_size::Ebox_with_size(QWidget* parent) : QLineEdit(parent) {
    setFont(font_value_big);
}

QSize Ebox_with_size::sizeHint() const {
    return QSize(40 * w_dec_big, QLineEdit::sizeHint().height());
}

Ebox_with_size* add_password_ebox(QWidget* parent, QBoxLayout* layout, const QString& name,
                                  const QString& hint) {
    auto* ebox = new Ebox_with_size(parent);
    ebox->setObjectName(name);
    ebox->setEchoMode(QLineEdit::Password);
    ebox->setToolTip(hint);
    layout->addWidget(ebox);
    return ebox;
}

QCheckBox* add_show_cbox(QWidget* parent, QBoxLayout* layout, Tr_with_hint& text) {
    auto* cbox = new QCheckBox(text.caption(), parent);
    cbox->setObjectName(QStringLiteral("cbox_show"));
    cbox->setToolTip(text.hint());
    layout->addWidget(cbox);
    return cbox;
}

QPushButton* add_dialog_button(QDialogButtonBox* buttons, QDialogButtonBox::ButtonRole role,
                               const QString& name, const QString& caption, const QString& hint) {
    QPushButton* b = buttons->addButton(caption, role);
    b->setObjectName(name);
    b->setToolTip(hint);
    return b;
}

Dialog_decrypt::Dialog_decrypt(QWidget* parent, const QString& title)
    : QDialog(parent, password_dialog_flags) {
    init_fonts(*this);
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    ebox_password =
        add_password_ebox(this, layout, QStringLiteral("ebox_password"), hint_password.tr());
    cbox_show = add_show_cbox(this, layout, cbox_show_text);
    buttons = new QDialogButtonBox(Qt::Horizontal, this);
    add_dialog_button(buttons, QDialogButtonBox::AcceptRole, QStringLiteral("btn_done"),
                      btn_done_text.caption(), btn_done_text.hint())
        ->setDefault(true);
    add_dialog_button(buttons, QDialogButtonBox::RejectRole, QStringLiteral("btn_cancel"),
                      caption_cancel.tr(), hint_cancel.tr());
    layout->addWidget(buttons);

    if (!connect(cbox_show, &QCheckBox::stateChanged, this,
                 &Dialog_decrypt::on_cbox_show_state_changed))
        log_debug(0x1C01);
    if (!connect(buttons, &QDialogButtonBox::accepted, this, &Dialog_decrypt::accept))
        log_debug(0x1C02);
    if (!connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(0x1C03);
    ebox_password->setFocus();
}

void Dialog_decrypt::on_cbox_show_state_changed(int state) {
    update_random_number_generator(0x1C01);
    if (state == Qt::Checked)
        ebox_password->setEchoMode(QLineEdit::Normal);
    else if (state == Qt::Unchecked)
        ebox_password->setEchoMode(QLineEdit::Password);
    else
        log_debug(0x1C04);
}

void Dialog_decrypt::accept() {
    password = ebox_password->text();
    QDialog::accept();
}
