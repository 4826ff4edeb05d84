#include "ui/page_text.h"

#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/config_files_gui.h"
#include "ui/heap_pages.h"
#include "ui/interface.h"
#include "ui/page_buttons.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>

// A text up to this many characters goes in at once; a longer one is cut after the first
// line break past it and the rest follows in pieces of about `fill_piece` bytes, as many per
// turn of the event loop as fit in `fill_turn_ms`. The editor's document costs some
// microseconds per line, so a million lines at once would freeze the window for seconds.
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
static int past_line_break(const QString& text, int from) {
    const int n = text.indexOf('\n', from);
    return n < 0 ? text.size() : n + 1;
}

static size_t past_line_break(const Utf8_buffer& text, size_t from) {
    if (from >= text.length())
        return text.length();
    const void* n = std::memchr(text.text() + from, '\n', text.length() - from);
    return n ? size_t(static_cast<const char*>(n) - text.text()) + 1 : text.length();
}

// UTF-8 as QString::toUtf8() writes it, a surrogate without its partner as a question mark.
// With `plain`, the editor's characters first as toPlainText() gives them: paragraph and line
// separators and frame marks as line breaks, no-break spaces as spaces. `out` has room for
// three bytes per unit.
static char* put_utf8(char* out, const ushort* s, const ushort* end, bool plain) {
    while (s != end) {
        uint c = *s++;
        if (plain && (c == 0x2028 || c == 0x2029 || c == 0xfdd0 || c == 0xfdd1))
            c = '\n';
        else if (plain && c == 0xa0)
            c = ' ';
        if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xc0 | c >> 6);
            *out++ = char(0x80 | (c & 0x3f));
        } else if (!QChar::isSurrogate(c)) {
            *out++ = char(0xe0 | c >> 12);
            *out++ = char(0x80 | (c >> 6 & 0x3f));
            *out++ = char(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(c) && s != end && QChar::isLowSurrogate(*s)) {
            c = QChar::surrogateToUcs4(ushort(c), *s++);
            *out++ = char(0xf0 | c >> 18);
            *out++ = char(0x80 | (c >> 12 & 0x3f));
            *out++ = char(0x80 | (c >> 6 & 0x3f));
            *out++ = char(0x80 | (c & 0x3f));
        } else {
            *out++ = '?';
        }
    }
    return out;
}

// Given UTF-8 as the editor hands it back once it holds it: a carriage return, alone or
// before a line feed, starts a new line as a line feed does, and the characters that
// toPlainText() maps are mapped. Never longer than what it reads.
static char* put_as_shown(char* out, const char* s, const char* end) {
    while (s != end) {
        const auto c = static_cast<unsigned char>(*s);
        const auto at = [&](long i) { return s + i < end ? static_cast<unsigned char>(s[i]) : 0; };
        if (c == '\r') {
            *out++ = '\n';
            s += at(1) == '\n' ? 2 : 1;
        } else if (c == 0xc2 && at(1) == 0xa0) { // U+00A0
            *out++ = ' ';
            s += 2;
        } else if ((c == 0xe2 && at(1) == 0x80 && (at(2) == 0xa8 || at(2) == 0xa9)) || // U+2028/9
                   (c == 0xef && at(1) == 0xb7 && (at(2) == 0x90 || at(2) == 0x91))) { // U+FDD0/1
            *out++ = '\n';
            s += 3;
        } else {
            *out++ = *s++;
        }
    }
    return out;
}

void Page_text::set_text(const QString& text, bool modified_now) {
    stop_filling();
    // Cleared first: the editor's change signal below must not drop the new text.
    as_given = false;
    const int first = text.size() > fill_first ? past_line_break(text, fill_first) : text.size();
    // All of it in UTF-8: the editor takes the rest from there, the parser the whole of it
    // while it stays unchanged.
    const ushort* const units = text.utf16();
    char* const start = given.reserve(size_t(text.size()) * 3);
    char* end = put_utf8(start, units, units + first, false);
    given_in = size_t(end - start);
    end = put_utf8(end, units + first, units + text.size(), false);
    given.finish(size_t(end - start));
    if (first == text.size()) {
        editor->setPlainText(text);
    } else {
        // Browsing and copying while the rest comes; no edits, which the pieces would follow,
        // and no undo steps for the pieces.
        editor->setUndoRedoEnabled(false);
        editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        editor->setPlainText(text.left(first));
        fill_timer->start(0);
    }
    as_given = true;
    modified = modified_now;
}

void Page_text::fill_step() {
    QElapsedTimer turn;
    turn.start();
    QTextCursor end(editor->document());
    end.movePosition(QTextCursor::End);
    appending = true;
    do {
        const size_t to = past_line_break(given, given_in + fill_piece);
        end.insertText(QString::fromUtf8(given.text() + given_in, int(to - given_in)));
        given_in = to;
    } while (given_in < given.length() && turn.elapsed() < fill_turn_ms);
    appending = false;
    // The document outgrows its arrays as the text comes in; the copies left go back at once.
    give_back_free_heap();
    if (given_in < given.length())
        return;
    stop_filling();
    if (!as_given)
        given.release();
}

void Page_text::stop_filling() {
    if (!filling())
        return;
    fill_timer->stop();
    editor->setUndoRedoEnabled(true);
    editor->setTextInteractionFlags(Qt::TextEditorInteraction);
}

bool Page_text::filling() const {
    return fill_timer->isActive();
}

void Page_text::forget_given() {
    if (!as_given)
        return;
    as_given = false;
    // While filling, the rest is still to go in.
    if (!filling())
        given.release();
}

QString Page_text::text() const {
    QString all = editor->toPlainText();
    if (filling())
        all += QString::fromUtf8(given.text() + given_in, int(given.length() - given_in));
    return all;
}

void Page_text::utf8(Utf8_buffer& out) const {
    // What the editor has yet to take goes as it was given, as text() appends it.
    const size_t waiting = filling() ? given.length() - given_in : 0;
    char* start;
    char* end;
    if (as_given) {
        start = out.reserve(given.length());
        end = put_as_shown(start, given.text(), given.text() + given.length() - waiting);
    } else {
        // Straight into the buffer: no second copy of the whole text on the way.
        const QString raw = editor->document()->toRawText();
        start = out.reserve(size_t(raw.size()) * 3 + waiting);
        end = put_utf8(start, raw.utf16(), raw.utf16() + raw.size(), true);
    }
    if (waiting) {
        std::memcpy(end, given.text() + given_in, waiting);
        end += waiting;
    }
    out.finish(size_t(end - start));
}

// The given text reads back from the editor byte for byte: it holds nothing that
// put_as_shown maps. Only the bytes that start such a sequence are looked at closely.
static bool reads_back_unchanged(const char* text, size_t size) {
    if (std::memchr(text, '\r', size))
        return false;
    const char* const end = text + size;
    for (const char lead : {'\xc2', '\xe2', '\xef'}) {
        for (const char* p = text;
             (p = static_cast<const char*>(std::memchr(p, lead, size_t(end - p)))) != nullptr;
             ++p) {
            const char* const to = end - p < 3 ? end : p + 3;
            char shown[3];
            if (put_as_shown(shown, p, to) - shown != to - p ||
                std::memcmp(shown, p, size_t(to - p)) != 0)
                return false;
        }
    }
    return true;
}

QByteArray Page_text::utf8_to_parse(Utf8_buffer& out) const {
    if (as_given && reads_back_unchanged(given.text(), given.length()))
        return given.bytes();
    utf8(out);
    return out.bytes();
}

void Page_text::clear_text() {
    stop_filling();
    as_given = false;
    given.release();
    given_in = 0;
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
    forget_given();
}

void Page_text::on_btn_save_clicked() {
    update_random_number_generator(6402);
    // Written as it is: the text page is where a faulty text is mended.
    if (save_to_file(this, text()))
        modified = false;
}
