#include "ui/page_buttons.h"

#include "foundation/err.h"

#include <QPushButton>

static Tr_with_hint caption_about("about", "О программе",
                                  "Если вы нажмёте эту кнопку, откроется окно с информацией о "
                                  "программе.");
static Tr_with_hint
    caption_close_cfg("page_cfg_or_text", "Закрыть конфигурацию",
                      "Если вы нажмёте эту кнопку, текущая конфигурация будет закрыта, и\n"
                      "программа вернётся в то состояние, в котором она была сразу после\n"
                      "запуска.\n\n"
                      "Если при этом возникнет риск потери ценной информации, программа\n"
                      "сначала попросит вас подтвердить, что вы действительно хотите\n"
                      "закрыть конфигурацию.");
static Tr_with_hint
    caption_exit_safe("page_cfg_or_text", "Выйти",
                      "Если вы нажмёте эту кнопку, работа программы будет завершена.\n\n"
                      "Если при этом возникнет риск потери ценной информации, программа\n"
                      "сначала попросит вас подтвердить, что вы действительно хотите\n"
                      "завершить работу.");

void page_buttons_clear_translation() {
    caption_about.clear();
    caption_close_cfg.clear();
    caption_exit_safe.clear();
}

QAbstractButton* add_page_button(QDialogButtonBox* box, QDialogButtonBox::ButtonRole role,
                                 const char* name, const QString& caption, const QString& hint) {
    QPushButton* button = box->addButton(caption, role);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    // A page is no dialog: Enter in a field must not press a button.
    button->setAutoDefault(false);
    return button;
}

QAbstractButton* add_about_button(QDialogButtonBox* box) {
    return add_page_button(box, QDialogButtonBox::HelpRole, "btn_about", caption_about.caption(),
                           caption_about.hint());
}

QAbstractButton* add_close_cfg_button(QDialogButtonBox* box) {
    return add_page_button(box, QDialogButtonBox::ActionRole, "btn_close",
                           caption_close_cfg.caption(), caption_close_cfg.hint());
}

QAbstractButton* add_exit_safe_button(QDialogButtonBox* box) {
    return add_page_button(box, QDialogButtonBox::RejectRole, "btn_exit",
                           caption_exit_safe.caption(), caption_exit_safe.hint());
}
