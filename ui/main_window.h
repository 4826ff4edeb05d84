#pragma once
// The program's one top-level window. It shows one of three pages and moves the user
// between them; the pages work on the global configuration, which is open exactly while
// the configuration page is shown.

#include <QWidget>

class QStackedLayout;
class Page_start;
class Page_cfg;
class Page_text;

class Main_window : public QWidget {
    Q_OBJECT
public:
    enum Page_index { page_index_start, page_index_cfg, page_index_text };

    explicit Main_window(QWidget* parent = nullptr);

    QStackedLayout* stack;
    Page_start* page_start;
    Page_cfg* page_cfg;
    Page_text* page_text;

public slots:
    void on_btn_create_clicked();
    void on_btn_load_clicked();
    void on_btn_switch_to_text_clicked();
    void on_btn_parse_text_clicked();
    void on_btn_close_cfg_clicked();
    void on_btn_close_text_clicked();
    void on_btn_about_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Parses a file's text into the configuration and opens it, or lands on the text page
    // with the text and the error.
    void open_loaded(const QString& file_name, const QByteArray& bytes);
};

void main_window_clear_translation();
