#include "ui/page_text.h"

#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/config_files_gui.h"
#include "ui/interface.h"
#include "ui/page_buttons.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QTextEdit>
#include <QVBoxLayout>

static Tr hint_text("page_text",
                    "Здесь отображено текстовое представление текущей конфигурации.\n\n"
                    "Вы можете редактировать этот текст. После завершения редактирования\n"
                    "вы можете преобразовать конфигурацию в объектное представление (с\n"
                    "помощью кнопки «Разобрать текст») или записать текст как есть (с\n"
                    "помощью кнопки «Записать конфигурацию в файл»). После\n"
                    "преобразования в объектное представление вы сможете использовать\n"
                    "отредактированную конфигурацию (закачивать файлы на устройства,\n"
                    "собирать информацию с устройств и т.п.).\n\n"
                    "Есть нюанс: вы можете вставлять в текст комментарии (начинающиеся с\n"
                    "символа «#» или пары символов «//»), между элементами текста вы\n"
                    "можете вставлять произвольное количество пробелов, знаков\n"
                    "табуляции и переводов строки, но при переходе к объектному\n"
                    "представлению всё это потеряется.");
static Tr_with_hint
    caption_parse("page_text", "Разобрать текст",
                  "Если вы нажмёте эту кнопку, программа переключится на объектное\n"
                  "представление конфигурации: разберёт текст и построит по нему\n"
                  "список серверов, устройств и так далее.\n\n"
                  "Если в тексте есть ошибки, программа сообщит о них и останется в\n"
                  "текстовом представлении, где вы сможете их исправить.\n\n"
                  "После переключения конфигурацию можно будет использовать для\n"
                  "закачки файлов на устройства и сбора информации с устройств.");
static Tr caption_save_cfg("write", "Записать конфигурацию в файл");
static Tr hint_save_cfg("page_text",
                        "Если вы нажмёте эту кнопку, программа спросит у вас имя файла и\n"
                        "затем запишет в этот файл текст, отображённый в текущем окне.\n\n"
                        "Программа не будет проверять правильность текста, а запишет его как\n"
                        "есть. Если в тексте содержатся ошибки, при попытке открыть\n"
                        "записанный файл программа выдаст конфигурацию в текстовом виде, и\n"
                        "вы сможете исправить эти ошибки.\n\n"
                        "Возможно, лучше будет сначала переключиться на объектное\n"
                        "представление конфигурации (с помощью кнопки «Разобрать текст») и\n"
                        "только потом сохранить конфигурацию (при разборе текста будет\n"
                        "проверена его правильность).");

void page_text_clear_translation() {
    hint_text.clear();
    caption_parse.clear();
    caption_save_cfg.clear();
    hint_save_cfg.clear();
}

Page_text::Page_text(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    editor = new QTextEdit(this);
    editor->setObjectName(QStringLiteral("editor"));
    editor->setFont(font_value_big);
    editor->setLineWrapMode(QTextEdit::NoWrap);
    editor->setAcceptRichText(false);
    editor->setToolTip(hint_text.tr());
    layout->addWidget(editor);

    auto* buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_parse = add_page_button(buttons, QDialogButtonBox::ActionRole, "btn_parse",
                                caption_parse.caption(), caption_parse.hint());
    btn_save = add_page_button(buttons, QDialogButtonBox::ActionRole, "btn_save",
                               caption_save_cfg.tr(), hint_save_cfg.tr());
    btn_close = add_close_cfg_button(buttons);
    btn_about = add_about_button(buttons);
    btn_exit = add_exit_safe_button(buttons);
    layout->addWidget(buttons, 0, Qt::AlignRight | Qt::AlignBottom);

    if (!connect(editor, &QTextEdit::textChanged, this, &Page_text::on_text_changed))
        log_debug(6401);
    if (!connect(btn_save, &QAbstractButton::clicked, this, &Page_text::on_btn_save_clicked))
        log_debug(6402);
}

void Page_text::set_text(const QString& text, bool modified_now) {
    editor->setPlainText(text);
    modified = modified_now;
}

void Page_text::clear_text() {
    editor->clear();
    modified = false;
}

void Page_text::on_text_changed() {
    update_random_number_generator(6401);
    modified = true;
}

void Page_text::on_btn_save_clicked() {
    update_random_number_generator(6402);
    // Written as it is: the text page is where a faulty text is mended.
    if (save_to_file(this, editor->toPlainText()))
        modified = false;
}
