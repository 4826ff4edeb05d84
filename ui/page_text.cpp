#include "ui/page_text.h"

#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/config_files_gui.h"
#include "ui/interface.h"
#include "ui/page_buttons.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

// A text up to this many characters goes in at once; a longer one is cut after the first
// line break past it and the rest follows in pieces of about `fill_piece` characters, as
// many per turn of the event loop as fit in `fill_turn_ms`. The editor's document costs
// some microseconds per line, so a million lines at once would freeze the window for
// seconds.
static constexpr int fill_first = 1 << 18;
static constexpr int fill_piece = 1 << 16;
static constexpr int fill_turn_ms = 20;

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
    editor = new QPlainTextEdit(this);
    editor->setObjectName(QStringLiteral("editor"));
    editor->setFont(font_value_big);
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    editor->setToolTip(hint_text.tr());
    fill_timer = new QTimer(this);
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

    if (!connect(editor, &QPlainTextEdit::textChanged, this, &Page_text::on_text_changed))
        log_debug(6401);
    connect(fill_timer, &QTimer::timeout, this, &Page_text::fill_step);
    if (!connect(btn_save, &QAbstractButton::clicked, this, &Page_text::on_btn_save_clicked))
        log_debug(6402);
}

// Position just past the first line break at or after `from`, or the end.
template <class Text> static int past_line_break(const Text& text, int from) {
    const int n = text.indexOf('\n', from);
    return n < 0 ? text.size() : n + 1;
}

void Page_text::set_text(const QString& text, bool modified_now) {
    stop_filling();
    const int first = text.size() > fill_first ? past_line_break(text, fill_first) : text.size();
    if (first == text.size()) {
        editor->setPlainText(text);
    } else {
        // Browsing and copying while the rest comes; no edits, which the pieces would follow,
        // and no undo steps for the pieces.
        editor->setUndoRedoEnabled(false);
        editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        editor->setPlainText(text.left(first));
        // The rest waits in UTF-8: half the memory of the text beside the growing document.
        rest = text.midRef(first).toUtf8();
        rest_from = 0;
        fill_timer->start(0);
    }
    modified = modified_now;
}

void Page_text::fill_step() {
    QElapsedTimer turn;
    turn.start();
    QTextCursor end(editor->document());
    end.movePosition(QTextCursor::End);
    appending = true;
    do {
        const int to = past_line_break(rest, rest_from + fill_piece);
        end.insertText(QString::fromUtf8(rest.constData() + rest_from, to - rest_from));
        rest_from = to;
    } while (rest_from < rest.size() && turn.elapsed() < fill_turn_ms);
    appending = false;
    if (rest_from == rest.size())
        stop_filling();
}

void Page_text::stop_filling() {
    if (!filling())
        return;
    fill_timer->stop();
    rest = QByteArray();
    rest_from = 0;
    editor->setUndoRedoEnabled(true);
    editor->setTextInteractionFlags(Qt::TextEditorInteraction);
}

bool Page_text::filling() const {
    return fill_timer->isActive();
}

QString Page_text::text() const {
    QString all = editor->toPlainText();
    if (filling())
        all += QString::fromUtf8(rest.constData() + rest_from, rest.size() - rest_from);
    return all;
}

void Page_text::clear_text() {
    stop_filling();
    // A fresh document rather than clear(): clearing tells assistive technology what was
    // removed, as a string of that many spaces, which for a million lines costs more than the
    // removal itself. The new document takes the editor's font, as clear() kept it.
    editor->setDocument(nullptr);
    editor->document()->setDefaultFont(editor->font());
    modified = false;
}

void Page_text::on_text_changed() {
    if (appending)
        return;
    update_random_number_generator(6401);
    modified = true;
}

void Page_text::on_btn_save_clicked() {
    update_random_number_generator(6402);
    // Written as it is: the text page is where a faulty text is mended.
    if (save_to_file(this, text()))
        modified = false;
}
