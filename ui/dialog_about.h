#pragma once
// The About box: program name, version, build and purpose.

#include <QDialog>
#include <QTextEdit>

class QKeyEvent;

class Ebox_about : public QTextEdit {
    Q_OBJECT
public:
    explicit Ebox_about(QWidget* parent = nullptr);
    QSize sizeHint() const override;
};

class Dialog_about : public QDialog {
    Q_OBJECT
public:
    explicit Dialog_about(QWidget* parent);
    // Also the head of the command-line help.
    static QString about();
    // The build's date and time as "Jan 17 2020" and "16:23:59".
    static QString build_date();
    static QString build_time();
};

// Opens the About box over `parent` for a plain F1; true when it did (the key is used up).
bool about_on_f1(QKeyEvent* event, QWidget* parent);

void dialog_about_clear_translation();
