#pragma once
// Page 2 of the main window: the configuration as text, edited freely, written as it is,
// or handed back to be parsed. While it is shown there is no configuration, only the text.
//
// A long text goes into the editor in pieces from the event loop: the first screens at once,
// the rest while the window stays responsive, the editor read-only until all is in. The
// whole text is at hand all the while through text() and utf8().
//
// The text as given is kept in UTF-8 until it is changed in the editor: handing it back
// unchanged then costs no reading of the editor's million lines.

#include <QByteArray>
#include <QPlainTextEdit> // the editor is public: the main window reads and fills it
#include <QWidget>

#include "ui/utf8_buffer.h"

class QAbstractButton;
class QTimer;

class Page_text : public QWidget {
    Q_OBJECT
public:
    explicit Page_text(QWidget* parent);

    // Holds plain text only; set and read with setPlainText and toPlainText. A line per
    // block and no rich text: a million lines are laid out only where they are shown.
    QPlainTextEdit* editor;
    // Connected by the main window.
    QAbstractButton* btn_parse;
    QAbstractButton* btn_save;
    QAbstractButton* btn_close;
    QAbstractButton* btn_about;
    QAbstractButton* btn_exit;

    // The text changed since it was last written to a file, or came from a changed
    // configuration.
    bool modified = false;

    // Replaces the text; the modified flag becomes `modified_now`, whatever the editor's
    // change signal said.
    void set_text(const QString& text, bool modified_now);
    // Empties the editor and clears the modified flag.
    void clear_text();
    // The whole text, also while the editor is still being filled.
    QString text() const;
    // The same in UTF-8, as text().toUtf8() would give it, into `out`.
    void utf8(Utf8_buffer& out) const;
    // The same for the parser: the text as given itself while it reads back unchanged, valid
    // while the page keeps it; otherwise written into `out`.
    QByteArray utf8_to_parse(Utf8_buffer& out) const;
    // A long text is still going into the editor.
    bool filling() const;

public slots:
    void on_text_changed();
    void on_btn_save_clicked();

private:
    void fill_step();
    void stop_filling();
    // The text was changed in the editor: what it was given is no longer the text.
    void forget_given();

    QTimer* fill_timer;
    // The text in UTF-8 as it was given; the first `given_in` bytes are in the editor. Kept
    // while `as_given` or while the editor has yet to take the rest.
    Utf8_buffer given;
    size_t given_in = 0;
    bool as_given = false;  // the editor holds exactly the text it was given
    bool appending = false; // the change signal comes from filling, not from the user
};

void page_text_clear_translation();
