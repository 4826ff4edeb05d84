// The program's message boxes: error, information and yes/no confirmation.
#include "foundation/err.h"
#include "ui/interface.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

// Composed once on first use; cleared by err_gui_clear_translation.
static QString title_error;
static QString caption_yes;
static QString caption_no;

static const QString& error_title() {
    if (title_error.length() == 0)
        title_error =
            QCoreApplication::translate("err", "%1 %2: ошибка", nullptr, -1)
                .arg(QString::fromLatin1(program_name), QString::fromLatin1(program_version));
    return title_error;
}

// A box with the common fonts and one "Закрыть" button that Esc, Enter and space press.
static void show_box(QMessageBox::Icon icon, const QString& title, const QString& text,
                     QWidget* parent) {
    QMessageBox box(parent);
    init_fonts(box);
    box.setFont(font_name_big);
    box.setIcon(icon);
    box.setWindowTitle(title);
    box.setText(text);
    QPushButton* close = box.addButton(close_caption(), QMessageBox::AcceptRole);
    close->setToolTip(close_hint());
    box.setDefaultButton(close);
    box.setEscapeButton(close);
    box.exec();
}

void show_error(const QString& text, QWidget* parent) {
    show_box(QMessageBox::Critical, error_title(), text, parent);
}

void show_info(const QString& title, const QString& text, QWidget* parent) {
    show_box(QMessageBox::Information, title, text, parent);
}

void show_exception(const std::exception& e, QWidget* parent) {
    if (const Err* err = dynamic_cast<const Err*>(&e)) {
        show_error(err->message, parent);
        return;
    }
    log(e.what());
    show_error(QString::fromUtf8(e.what()), parent);
}

void show_debug(unsigned short code, QWidget* parent) {
    const QString text = debug_errtext(code);
    log(text);
    show_error(text, parent);
}

bool get_confirmation(QWidget* parent, const QString& question, const QString& yes_hint,
                      const QString& no_hint) {
    if (caption_yes.length() == 0)
        caption_yes = QCoreApplication::translate("mbox", "Да", nullptr, -1);
    if (caption_no.length() == 0)
        caption_no = QCoreApplication::translate("mbox", "Нет", nullptr, -1);
    QMessageBox box(parent);
    init_fonts(box);
    box.setFont(font_name_big);
    box.setIcon(QMessageBox::Question);
    box.setWindowTitle(program_title());
    box.setText(question);
    QPushButton* yes = box.addButton(caption_yes, QMessageBox::YesRole);
    yes->setToolTip(yes_hint);
    QPushButton* no = box.addButton(caption_no, QMessageBox::NoRole);
    no->setToolTip(no_hint);
    // Enter and Esc both answer no: a hasty key never confirms.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == yes)
        return true;
    if (clicked != no)
        show_debug(0x0005, parent);
    return false;
}

void err_gui_clear_translation() {
    title_error.clear();
    caption_yes.clear();
    caption_no.clear();
}
