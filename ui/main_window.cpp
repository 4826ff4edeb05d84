#include "ui/main_window.h"

#include "config/config.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/config_files_gui.h"
#include "ui/dialog_about.h"
#include "ui/heap_pages.h"
#include "ui/interface.h"
#include "ui/page_cfg.h"
#include "ui/page_start.h"
#include "ui/page_text.h"
#include "ui/table_devices.h"
#include "ui/utf8_buffer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QStackedLayout>

// Debug codes of the main window (source 2): the connections in the order they are made,
// then the handlers' own.
enum Main_window_code : unsigned short {
    code_connect_create = 513,
    code_connect_load,
    code_connect_start_about,
    code_connect_start_exit,
    code_connect_switch_to_text,
    code_connect_close_cfg,
    code_connect_cfg_about,
    code_connect_cfg_exit,
    code_connect_parse,
    code_connect_close_text,
    code_connect_text_about,
    code_connect_text_exit, // 524
    code_load,
    code_switch_to_text,
    code_parse,
    code_page_index, // a page index the stack does not have, in closeEvent
};
static_assert(code_connect_text_exit == 524 && code_page_index == 528, "the window's fixed codes");

static Tr_with_hint question_close_unsaved(
    "main_wnd",
    "Вы внесли в конфигурацию изменения, и после этого вы ещё не записывали эту "
    "конфигурацию ни в какой файл. При закрытии конфигурации эти изменения будут потеряны. "
    "Вы уверены, что хотите закрыть конфигурацию?",
    "Если вы нажмёте эту кнопку, конфигурация будет закрыта,\n"
    "при этом все не сохранённые изменения будут потеряны.");
static Tr hint_dont_close_unsaved(
    "main_wnd", "Если вы нажмёте эту кнопку, конфигурация не будет закрыта (всё\n"
                "будет так, как если бы вы не нажимали кнопку «Закрыть конфигурацию»).");
static Tr_with_hint question_exit_unsaved(
    "main_wnd",
    "Вы внесли в конфигурацию изменения, и после этого вы ещё не записывали эту "
    "конфигурацию ни в какой файл. При выходе из программы эти изменения будут потеряны. "
    "Вы уверены, что хотите выйти?",
    "Если вы нажмёте эту кнопку, работа программы будет завершена,\n"
    "при этом все не сохранённые изменения будут потеряны.");
static Tr hint_dont_exit_unsaved("main_wnd",
                                 "Если вы нажмёте эту кнопку, работа программы не будет завершена\n"
                                 "(всё будет так, как если бы вы не нажимали кнопку «Выйти»).");

// The wait cursor while a long step runs in the handler: a million devices take seconds to
// read, render or parse.
namespace {
struct Busy {
    Busy() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Busy() { QApplication::restoreOverrideCursor(); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
};
} // namespace

void main_window_clear_translation() {
    question_close_unsaved.clear();
    hint_dont_close_unsaved.clear();
    question_exit_unsaved.clear();
    hint_dont_exit_unsaved.clear();
}

Main_window::Main_window(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
    init_fonts(*this);
    setWindowTitle(program_title());

    stack = new QStackedLayout(this);
    page_start = new Page_start(this);
    page_cfg = new Page_cfg(this);
    page_text = new Page_text(this);
    stack->addWidget(page_start);
    stack->addWidget(page_cfg);
    stack->addWidget(page_text);
    for (QWidget* page : {static_cast<QWidget*>(page_start), static_cast<QWidget*>(page_cfg),
                          static_cast<QWidget*>(page_text)})
        stack->setAlignment(page, Qt::AlignLeft | Qt::AlignTop);
    stack->setCurrentIndex(page_index_start);

    const auto clicked = &QAbstractButton::clicked;
    struct Link {
        QAbstractButton* button;
        void (Main_window::*slot)();
        Main_window_code code;
    };
    // The exit buttons go to close(), so that they ask exactly what the title bar asks.
    const Link links[] = {
        {page_start->btn_create, &Main_window::on_btn_create_clicked, code_connect_create},
        {page_start->btn_load, &Main_window::on_btn_load_clicked, code_connect_load},
        {page_start->btn_about, &Main_window::on_btn_about_clicked, code_connect_start_about},
        {page_start->btn_exit, nullptr, code_connect_start_exit},
        {page_cfg->btn_switch_to_text, &Main_window::on_btn_switch_to_text_clicked,
         code_connect_switch_to_text},
        {page_cfg->btn_close, &Main_window::on_btn_close_cfg_clicked, code_connect_close_cfg},
        {page_cfg->btn_about, &Main_window::on_btn_about_clicked, code_connect_cfg_about},
        {page_cfg->btn_exit, nullptr, code_connect_cfg_exit},
        {page_text->btn_parse, &Main_window::on_btn_parse_text_clicked, code_connect_parse},
        {page_text->btn_close, &Main_window::on_btn_close_text_clicked, code_connect_close_text},
        {page_text->btn_about, &Main_window::on_btn_about_clicked, code_connect_text_about},
        {page_text->btn_exit, nullptr, code_connect_text_exit},
    };
    for (const Link& link : links) {
        const bool ok = link.slot ? bool(connect(link.button, clicked, this, link.slot))
                                  : bool(connect(link.button, clicked, this, &QWidget::close));
        if (!ok)
            log_debug(link.code);
    }
    resize(100 * module_w, 36 * module_h);
}

void Main_window::on_btn_create_clicked() {
    update_random_number_generator(513);
    page_cfg->create_contents(false);
    stack->setCurrentIndex(page_index_cfg);
}

void Main_window::on_btn_load_clicked() {
    update_random_number_generator(514);
    const QString name =
        QFileDialog::getOpenFileName(this, tr("Из какого файла прочитать конфигурацию?"), QString(),
                                     tr("Файлы конфигурации (*.zelmo_upload);;Все файлы (*.*)"));
    if (name.isEmpty())
        return;
    try {
        QByteArray bytes;
        if (!load_from_file(this, name, bytes))
            return;
        open_loaded(name, bytes);
    } catch (const std::exception& e) {
        show_exception(e, this);
        clear_cfg();
    } catch (...) {
        show_debug(code_load, this);
        clear_cfg();
    }
}

void Main_window::open_loaded(const QString& file_name, const QByteArray& bytes) {
    try {
        Busy busy;
        Utf8_file_parser parser(file_name, bytes);
        parse_cfg(parser, configuration);
        page_cfg->create_contents(false);
        stack->setCurrentIndex(page_index_cfg);
    } catch (const std::exception& e) {
        clear_cfg();
        // The text as far as it can be text; without its byte-order mark, which a save from
        // the text page adds again.
        int end = bytes.indexOf('\0');
        if (end < 0)
            end = bytes.size();
        int start = bytes.startsWith("\xEF\xBB\xBF") && end >= 3 ? 3 : 0;
        page_text->set_text(QString::fromUtf8(bytes.constData() + start, end - start), false);
        stack->setCurrentIndex(page_index_text);
        show_exception(e, this);
    }
}

void Main_window::on_btn_switch_to_text_clicked() {
    update_random_number_generator(515);
    try {
        QString text;
        bool complete = false;
        if (!page_cfg->table_devices->save(text, Save_mode::text, this, complete))
            return;
        Busy busy;
        const bool modified = page_cfg->is_modified();
        page_text->set_text(text, modified);
        text.clear();
        page_cfg->destroy_contents();
        clear_cfg();
        give_back_free_heap();
        stack->setCurrentIndex(page_index_text);
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_switch_to_text, this);
    }
}

void Main_window::on_btn_parse_text_clicked() {
    update_random_number_generator(516);
    try {
        Busy busy;
        {
            Utf8_buffer scratch;
            const QByteArray text = page_text->utf8_to_parse(scratch);
            bring_in_heap(size_t(text.size()));
            Utf8_text_parser parser;
            parser.init(text);
            parse_cfg(parser, configuration);
        }
        page_cfg->create_contents(page_text->modified);
        page_text->clear_text();
        stack->setCurrentIndex(page_index_cfg);
    } catch (const std::exception& e) {
        show_exception(e, this);
        clear_cfg();
        // The text page stays: it gives back what the failed parse took.
        give_back_free_heap();
    } catch (...) {
        show_debug(code_parse, this);
        clear_cfg();
        give_back_free_heap();
    }
}

void Main_window::on_btn_close_cfg_clicked() {
    update_random_number_generator(517);
    if (page_cfg->is_modified() &&
        !get_confirmation(this, question_close_unsaved.caption(), question_close_unsaved.hint(),
                          hint_dont_close_unsaved.tr()))
        return;
    page_cfg->destroy_contents();
    clear_cfg();
    stack->setCurrentIndex(page_index_start);
}

void Main_window::on_btn_close_text_clicked() {
    update_random_number_generator(518);
    if (page_text->modified &&
        !get_confirmation(this, question_close_unsaved.caption(), question_close_unsaved.hint(),
                          hint_dont_close_unsaved.tr()))
        return;
    page_text->clear_text();
    stack->setCurrentIndex(page_index_start);
}

void Main_window::on_btn_about_clicked() {
    update_random_number_generator(519);
    Dialog_about about(this);
    about.exec();
}

void Main_window::closeEvent(QCloseEvent* event) {
    bool modified = false;
    switch (stack->currentIndex()) {
    case page_index_start:
        event->accept();
        return;
    case page_index_cfg:
        modified = page_cfg->is_modified();
        break;
    case page_index_text:
        modified = page_text->modified;
        break;
    default:
        show_debug(code_page_index, this);
        event->ignore();
        return;
    }
    if (modified && !get_confirmation(this, question_exit_unsaved.caption(),
                                      question_exit_unsaved.hint(), hint_dont_exit_unsaved.tr())) {
        event->ignore();
        return;
    }
    event->accept();
}

void Main_window::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        on_btn_about_clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}
