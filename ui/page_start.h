#pragma once
// Page 0 of the main window: create a configuration or read one from a file.

#include <QWidget>

class QAbstractButton;

class Page_start : public QWidget {
    Q_OBJECT
public:
    explicit Page_start(QWidget* parent);

    // Connected by the main window.
    QAbstractButton* btn_create;
    QAbstractButton* btn_load;
    QAbstractButton* btn_about;
    QAbstractButton* btn_exit;
};

void page_start_clear_translation();
