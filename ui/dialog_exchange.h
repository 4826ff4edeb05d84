#pragma once
// The modal window a run lives in: it owns the rollout, which starts its first pass at once,
// shows the live counters, lets the user abort, and when the rollout has finished opens the
// fitting result window and closes itself. When the configuration defines rollout options the
// window also shows the phase, the failures by class, the devices per server and why the
// rollout stopped; without them it looks as a plain run always did. An upload with a version
// check shows the same, with the devices skipped as current and those verified.

#include "engine/engine.h"
#include "engine/rollout.h"
#include "engine/run_rate.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

class QVBoxLayout;
#include <cstdint>

class Action;
class Label_with_size;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class Server_progress_model;

class Dialog_exchange : public QDialog {
    Q_OBJECT

public:
    // state bits
    enum : unsigned char { engine_finished = 0x01, abort_requested = 0x02 };

    // The run begins here, before exec(); `setup` as desktop_rollout_setup() makes it. Throws
    // Err when the journal cannot be opened.
    Dialog_exchange(QWidget* parent, const Action& action);
    Dialog_exchange(QWidget* parent, const Action& action, const Rollout_setup& setup);
    ~Dialog_exchange() override;

    const Action* action;
    // connecting, connected, linked, authorized, success, failure
    Label_with_size* value_labels[6];
    uint32_t shown[6] = {};
    // The run's report (JSON Lines), which the result windows write where the user says.
    QTemporaryDir report_dir;
    Rollout rollout;
    unsigned char state = 0;
    QPushButton* btn_abort;
    QString journal; // the run's journal file

    // Under the counters: finished devices of all, their rate and the time left.
    QProgressBar* progress_bar;
    QLabel* rate_label;
    QLabel* eta_label;

    // Only with a version check (null otherwise): the devices skipped as current and verified.
    Label_with_size* skipped_label = nullptr;
    Label_with_size* verified_label = nullptr;
    unsigned shown_skipped = 0, shown_verified = 0;

    // Only with rollout options or a version check (null otherwise): "Этап: ...", the failures by
    // class, why the rollout stopped (hidden until it does) and the view per server.
    QLabel* phase_label = nullptr;
    QLabel* classes_label = nullptr;
    QLabel* stop_label = nullptr;
    QTableView* server_view = nullptr;
    Server_progress_model* server_model = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public slots:
    void on_progress();
    void on_engine_finished();
    void on_btn_about_clicked();

private slots:
    void on_rate_timer();
    void refresh_counters();
    void on_pass_started(Engine* engine);
    void on_tick();
    void show_phase();
    void on_stopped(const QString& message);

private:
    void build_rollout_part(QVBoxLayout* layout);
    void show_counters();
    // The upload's version check; any() false for a run without one.
    const Version_check version_check;
    // The configuration defines rollout options, or the upload checks the version.
    const bool rollout_view;
    // Counters of the passes that have ended (written by a pass's thread as it ends, read
    // after the rollout's queued report of that end): linked, authorized, success, failure.
    uint32_t pass_end[6] = {};
    uint32_t before_pass[6] = {};
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
