#pragma once
// The modal window a run lives in: it owns the engine, starts its thread at once, shows the
// live counters, lets the user abort, and when the thread has finished opens the fitting
// result window and closes itself.

#include "engine/engine.h"
#include "engine/run_rate.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>

class Action;
class Label_with_size;
class QLabel;
class QProgressBar;

class Dialog_exchange : public QDialog {
    Q_OBJECT

public:
    // state bits
    enum : unsigned char { engine_finished = 0x01, abort_requested = 0x02 };

    // The run begins here, before exec().
    Dialog_exchange(QWidget* parent, const Action& action);
    ~Dialog_exchange() override;

    const Action* action;
    // connecting, connected, linked, authorized, success, failure
    Label_with_size* value_labels[6];
    uint32_t shown[6] = {};
    Engine engine;
    unsigned char state = 0;

    // Under the counters: finished devices of all, their rate and the time left.
    QProgressBar* progress_bar;
    QLabel* rate_label;
    QLabel* eta_label;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

signals:
    void stop_engine();

public slots:
    void on_progress();
    void on_engine_finished();
    void on_btn_about_clicked();

private slots:
    void on_rate_timer();
    void refresh_counters();

private:
    void show_counters();
    uint32_t device_total;
    QTimer rate_timer;
    QTimer refresh_timer;
    qint64 last_refresh_ms = -1000;
    QElapsedTimer clock;
    Run_rate rate;
    bool asking = false;         // the abort question is open
    bool finish_pending = false; // the thread ended meanwhile
};

void dialog_exchange_clear_translation();
