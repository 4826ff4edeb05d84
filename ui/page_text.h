#pragma once
// Page 2 of the main window: the configuration as text, edited freely, written as it is,
// or handed back to be parsed. While it is shown the text is the only copy.
//
// A long text goes into the editor in pieces from the event loop: the first screens at once,
// the rest while the window stays responsive, the editor read-only until all is in. The
// whole text is at hand all the while through text().

#include <QByteArray>
#include <QPlainTextEdit> // the editor is public: the main window reads and fills it
#include <QWidget>

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
    // A long text is still going into the editor.
    bool filling() const;

public slots:
    void on_text_changed();
    void on_btn_save_clicked();

private:
    void fill_step();
    void stop_filling();

    QTimer* fill_timer;
    QByteArray rest; // the text not yet in the editor, in UTF-8, from rest_from on
    int rest_from = 0;
    bool appending = false; // the change signal comes from filling, not from the user
};

void page_text_clear_translation();
