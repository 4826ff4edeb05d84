#pragma once
// Page 2 of the main window: the configuration as text, edited freely, written as it is,
// or handed back to be parsed. While it is shown the text is the only copy.

#include <QWidget>

class QAbstractButton;
class QTextEdit;

class Page_text : public QWidget {
    Q_OBJECT
public:
    explicit Page_text(QWidget* parent);

    // Holds plain text only; set and read with setPlainText and toPlainText.
    QTextEdit* editor;
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

public slots:
    void on_text_changed();
    void on_btn_save_clicked();
};

void page_text_clear_translation();
