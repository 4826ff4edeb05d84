#include "ui/page_start.h"

#include "foundation/err.h"
#include "ui/page_buttons.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

static Tr_with_hint
    caption_new_cfg("page_start", "Создать новую конфигурацию",
                    "Если вы нажмёте эту кнопку, будет создана пустая конфигурация. В ней\n"
                    "вы сможете сформировать список устройств, на которые затем будете\n"
                    "закачивать файлы, и записать её в файл для многократного\n"
                    "использования.");
static Tr_with_hint
    caption_load_cfg("page_start", "Прочитать конфигурацию из файла",
                     "Если вы нажмёте эту кнопку, программа спросит у вас имя файла\n"
                     "конфигурации, прочитает его и покажет прочитанную конфигурацию.\n\n"
                     "Имя файла, который надо закачивать на устройства, не является частью\n"
                     "конфигурации - программа спросит его перед каждой закачкой.");
static Tr_with_hint caption_exit("page_start_or_cfg", "Выйти",
                                 "Если вы нажмёте эту кнопку, работа программы будет завершена.");

void page_start_clear_translation() {
    caption_new_cfg.clear();
    caption_load_cfg.clear();
    caption_exit.clear();
}

Page_start::Page_start(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_create = add_page_button(buttons, QDialogButtonBox::ActionRole, "btn_create",
                                 caption_new_cfg.caption(), caption_new_cfg.hint());
    btn_load = add_page_button(buttons, QDialogButtonBox::ActionRole, "btn_load",
                               caption_load_cfg.caption(), caption_load_cfg.hint());
    btn_about = add_about_button(buttons);
    btn_exit = add_page_button(buttons, QDialogButtonBox::RejectRole, "btn_exit",
                               caption_exit.caption(), caption_exit.hint());
    layout->addWidget(buttons, 0, Qt::AlignRight | Qt::AlignBottom);
}
