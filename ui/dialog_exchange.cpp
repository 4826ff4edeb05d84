#include "ui/dialog_exchange.h"

#include "config/config.h"
#include "engine/actions.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/actions_gui.h"
#include "ui/desktop_rollout.h"
#include "ui/dialog_about.h"
#include "ui/dialog_mixed_result.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/label_with_size.h"
#include "ui/run_report.h"
#include "ui/server_progress_model.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>

static Tr caption_connections("dialog_exchange",
                              "Количество TCP-соединений с серверами в данный момент:");
static Tr_with_hint caption_connecting(
    "dialog_exchange", "   устанавливаемых: ",
    "Количество сеансов TCP/IP, которые мы уже начали устанавливать\n(послали запрос на "
    "соответствующий сервер), но ещё не установили\n(не получили подтверждения сервера) и не "
    "сделали вывод, что сеанс\nустановить не удалось.");
static Tr_with_hint caption_connected(
    "dialog_exchange", "   установленных: ",
    "Количество сеансов TCP/IP, которые успешно установлены (получено\nподтверждение от "
    "сервера) и ещё не разорваны на данный момент.");
static Tr_with_hint caption_device_count(
    "dialog_exchange", "Количество устройств в конфигурации:",
    "Общее количество устройств, которые должны быть ослужены (включая\nте, работа с "
    "которыми ещё не начата, те, с которыми мы работаем\nпрямо сейчас, и те, работа с "
    "которыми завершена удачно или\nнеудачно).");
static Tr caption_actions("dialog_exchange", "Количество успешно выполненных действий:");
static Tr_with_hint caption_linked(
    "dialog_exchange", "   подключение к устройству: ",
    "Прежде, чем начать работать непосредственно с устройством,\nпрограмма должна сказать "
    "серверу, с каким именно устройством она\nхочет работать (чтобы сервер передавал "
    "сообщения от программы к\nустройству и обратно). Подключение к устройству выполняется "
    "успешно\nтолько если в этот момент есть TCP-соединение между устройством и\nсервером "
    "(или, по крайней мере, сервер считает, что есть).");
static Tr_with_hint caption_authorized(
    "dialog_exchange", "   авторизация на устройстве: ",
    "Первый этап работы непосредственно с устройством - авторизация на\nнём. На этом этапе "
    "программа доказывает своё право управлять\nустройством, посылая ему указанный в "
    "конфигурации PIN-код.\nУстройство в ответ либо соглашается работать дальше, либо "
    "отвергает\nэтот PIN-код. Если устройство соглашается, далее следует\nнепосредственно "
    "закачка файла или запрос информации.");
static Tr caption_finished("dialog_exchange", "Количество устройств, работа с которыми завершена:");
static Tr_with_hint caption_success(
    "dialog_exchange", "   успешно: ",
    "Количество устройств, для которых мы уже успешно выполнили все\nтребуемые действия.");
static Tr_with_hint caption_failure(
    "dialog_exchange", "   неудачно: ",
    "Количество устройств, работу с которыми мы завершили по причине\nкакой-либо ошибки. "
    "Причины ошибок можно будет посмотреть после\nзавершения работы со всеми устройствами.");
static Tr_with_hint
    caption_skipped("dialog_exchange", "   из них версия уже была: ",
                    "Количество устройств, которые уже сообщали ожидаемую версию: файл\nна них не "
                    "закачивался, они считаются успешно обслуженными.");
static Tr_with_hint caption_verified(
    "dialog_exchange", "   версия подтверждена: ",
    "Количество устройств, которые при проверке после закачки сообщили\nожидаемую версию.");
static Tr_with_hint caption_about(
    "dialog_exchange", "О программе",
    "Если вы нажмёте эту кнопку, будет открыто окно с информацией о\nпрограмме (из которого "
    "вы потом сможете вернуться обратно в текущее\nокно). Работа с устройствами при этом не "
    "будет ни прервана, ни\nприостановлена.");
static Tr_with_hint caption_progress(
    "dialog_exchange", "Завершено: %v из %m (%p%)",
    "Доля устройств, работа с которыми уже завершена (успешно или\nнеудачно), от общего "
    "количества устройств в конфигурации.");
static Tr_with_hint caption_rate(
    "dialog_exchange", "Скорость: %1 устройств в секунду",
    "Сколько устройств в секунду программа обслуживает сейчас (по\nнаблюдениям за последние "
    "несколько секунд).");
static Tr_with_hint caption_time_left(
    "dialog_exchange", "Осталось примерно: %1",
    "Сколько времени ещё займёт работа с оставшимися устройствами, если\nскорость останется "
    "такой же, как за последние несколько секунд\n(часы:минуты:секунды).");

static Tr_with_hint caption_phase(
    "dialog_exchange", "Этап: %1",
    "Какой проход по устройствам идёт сейчас: пробная группа, основной\nпроход или повторный "
    "проход по устройствам, завершившимся\nнеудачей, которую может исправить повтор, или "
    "проверка версии\nпосле закачки; между проходами - через сколько секунд начнётся\n"
    "следующий.");
static Tr phase_canary("dialog_exchange", "пробная группа");
static Tr phase_main("dialog_exchange", "основной проход");
static Tr phase_retry("dialog_exchange", "повторный проход %1 из %2");
static Tr phase_waiting("dialog_exchange", "повторный проход %1 из %2 начнётся через %3 с.");
static Tr phase_verify("dialog_exchange", "проверка версии после закачки");
static Tr phase_waiting_verify("dialog_exchange", "проверка версии начнётся через %1 с.");
static Tr phase_finished("dialog_exchange", "работа завершена");
static Tr_with_hint caption_classes(
    "dialog_exchange", "Неудачи по причинам: %1",
    "Сколько устройств завершилось неудачей, по причинам неудачи (для\nустройства, с которым "
    "работа повторялась, - по последней попытке).");
static Tr text_no_failures("dialog_exchange", "нет");
static Tr_with_hint caption_stop("dialog_exchange", "",
                                 "Почему работа остановлена: ещё не обслуженные устройства "
                                 "не\nзатронуты и будут в списке неудач как «не обслужено».");
static Tr_with_hint caption_servers(
    "dialog_exchange", "",
    "Устройства по серверам: сколько соединений с сервером открыто сейчас,\nсколько его "
    "устройств уже завершено и сколько завершилось неудачей.");
static Tr fmt_journal("dialog_exchange", "\n\nРезультаты записываются в журнал «%1»; по "
                                         "нему работу можно продолжить\nкнопкой «Продолжить по "
                                         "журналу».");

static const QColor color_connections(0, 0, 128);
static const QColor color_actions(0, 64, 64);
static const QColor color_success(0, 128, 0);
static const QColor color_error(128, 0, 0);

// How often the progress bar, the rate and the time left are refreshed, and how often at
// most the counters are.
static constexpr int rate_interval_ms = 200;
static constexpr qint64 refresh_interval_ms = 40;

static int decimal_digits(unsigned long long n) {
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

static QLabel* add_label(QVBoxLayout* layout, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    layout->addWidget(label);
    return label;
}

static QHBoxLayout* add_row(QVBoxLayout* layout) {
    auto* row = new QHBoxLayout;
    row->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addLayout(row);
    return row;
}

static Label_with_size* add_value(QHBoxLayout* row, Tr_with_hint& caption, int width,
                                  const QColor& color, const char* name, QWidget* parent) {
    auto* label = new QLabel(caption.caption(), parent);
    label->setToolTip(caption.hint());
    row->addWidget(label);
    auto* value = new Label_with_size(QStringLiteral("0"), parent);
    value->setObjectName(QString::fromLatin1(name));
    value->width_px = width;
    value->setFont(font_value_big);
    QPalette palette = value->palette();
    palette.setColor(QPalette::WindowText, color);
    value->setPalette(palette);
    value->setToolTip(caption.hint());
    row->addWidget(value);
    return value;
}

Dialog_exchange::Dialog_exchange(QWidget* parent, const Action& action)
    : Dialog_exchange(parent, action, desktop_rollout_setup(action)) {}

// The setup with a report in `dir`, unless it names one of its own.
static Rollout_setup with_report(Rollout_setup setup, const QTemporaryDir& dir) {
    if (setup.report.isEmpty() && dir.isValid())
        setup.report = dir.filePath(QStringLiteral("report.jsonl"));
    return setup;
}

// The setup's version check when the rollout applies it (uploads only), else none.
static Version_check applied_check(const Rollout_setup& setup) {
    const Action* a = setup.action;
    const bool upload =
        a && (a->kind == Action::upload_firmware || a->kind == Action::upload_settings ||
              a->kind == Action::upload_other);
    return upload && setup.version.any() ? setup.version : Version_check();
}

Dialog_exchange::Dialog_exchange(QWidget* parent, const Action& action, const Rollout_setup& setup)
    : QDialog(parent, dialog_flags), action(&action), rollout(with_report(setup, report_dir)),
      journal(setup.resume.isEmpty() ? setup.journal : setup.resume),
      version_check(applied_check(setup)),
      rollout_view(rollout_options_defined() || version_check.any()),
      device_total(configuration.devices.count) {
    // A retry serves only some devices of the configuration.
    if (!setup.only.empty())
        device_total = unsigned(std::count(setup.only.begin(), setup.only.end(), 1));
    init_fonts(*this);
    setWindowTitle(action.exchange_title);
    const int wt = w_dec_big * decimal_digits(simultaneously);
    const int wd = w_dec_big * decimal_digits(device_total);

    auto* layout = new QVBoxLayout(this);
    add_label(layout, caption_connections.tr(), this);
    QHBoxLayout* row = add_row(layout);
    value_labels[0] =
        add_value(row, caption_connecting, wt, color_connections, "value_connecting", this);
    value_labels[1] =
        add_value(row, caption_connected, wt, color_connections, "value_connected", this);
    add_label(layout, QStringLiteral(" "), this);

    row = add_row(layout);
    auto* total_caption = new QLabel(caption_device_count.caption(), this);
    total_caption->setToolTip(caption_device_count.hint());
    row->addWidget(total_caption);
    auto* total = new QLabel(QString::number(device_total), this);
    total->setObjectName(QStringLiteral("value_devices"));
    total->setFont(font_value_big);
    total->setToolTip(caption_device_count.hint());
    row->addWidget(total);
    add_label(layout, QStringLiteral(" "), this);

    add_label(layout, caption_actions.tr(), this);
    row = add_row(layout);
    value_labels[2] = add_value(row, caption_linked, wd, color_actions, "value_linked", this);
    value_labels[3] =
        add_value(row, caption_authorized, wd, color_actions, "value_authorized", this);
    add_label(layout, QStringLiteral(" "), this);

    add_label(layout, caption_finished.tr(), this);
    row = add_row(layout);
    value_labels[4] = add_value(row, caption_success, wd, color_success, "value_success", this);
    value_labels[5] = add_value(row, caption_failure, wd, color_error, "value_failure", this);
    if (version_check.any()) {
        row = add_row(layout);
        if (version_check.skip_current)
            skipped_label =
                add_value(row, caption_skipped, wd, color_success, "value_skipped", this);
        if (version_check.verify)
            verified_label =
                add_value(row, caption_verified, wd, color_success, "value_verified", this);
    }

    progress_bar = new QProgressBar(this);
    progress_bar->setObjectName(QStringLiteral("progress_bar"));
    progress_bar->setRange(0, device_total ? int(device_total) : 1);
    progress_bar->setValue(0);
    progress_bar->setFormat(caption_progress.caption());
    progress_bar->setToolTip(caption_progress.hint() + fmt_journal.tr().arg(journal));
    layout->addWidget(progress_bar);
    row = add_row(layout);
    rate_label = new QLabel(caption_rate.caption().arg(format_rate(0.0)), this);
    rate_label->setObjectName(QStringLiteral("rate_label"));
    rate_label->setToolTip(caption_rate.hint());
    row->addWidget(rate_label);
    row->addSpacing(2 * module_w);
    eta_label = new QLabel(caption_time_left.caption().arg(format_time_left(-1)), this);
    eta_label->setObjectName(QStringLiteral("eta_label"));
    eta_label->setToolTip(caption_time_left.hint());
    row->addWidget(eta_label);

    if (rollout_view)
        build_rollout_part(layout);

    auto* buttons = new QDialogButtonBox(Qt::Horizontal, this);
    QPushButton* abort =
        buttons->addButton(action.abort_button->caption(), QDialogButtonBox::DestructiveRole);
    btn_abort = abort;
    abort->setObjectName(QStringLiteral("btn_abort"));
    abort->setToolTip(action.abort_button->hint());
    QPushButton* about = buttons->addButton(caption_about.caption(), QDialogButtonBox::HelpRole);
    about->setObjectName(QStringLiteral("btn_about"));
    about->setToolTip(caption_about.hint());
    layout->addWidget(buttons);

    if (!connect(abort, &QPushButton::clicked, this, &QWidget::close))
        log_debug(0x0901);
    if (!connect(buttons, &QDialogButtonBox::helpRequested, this,
                 &Dialog_exchange::on_btn_about_clicked))
        log_debug(0x0902);
    if (!connect(&rollout, &Rollout::pass_started, this, &Dialog_exchange::on_pass_started))
        log_debug(0x0903);
    // Queued: a rollout with nothing to serve ends inside start(), before exec().
    if (!connect(&rollout, &Rollout::finished, this, &Dialog_exchange::on_engine_finished,
                 Qt::QueuedConnection))
        log_debug(0x0904);
    if (rollout_view) {
        if (!connect(&rollout, &Rollout::tick, this, &Dialog_exchange::on_tick) ||
            !connect(&rollout, &Rollout::phase_changed, this, &Dialog_exchange::show_phase) ||
            !connect(&rollout, &Rollout::stopped, this, &Dialog_exchange::on_stopped))
            log_debug(0x0907);
    }
    connect(&rate_timer, &QTimer::timeout, this, &Dialog_exchange::on_rate_timer);
    refresh_timer.setSingleShot(true);
    connect(&refresh_timer, &QTimer::timeout, this, &Dialog_exchange::refresh_counters);

    // The counters and flags start at zero with the engine; the run begins now.
    clock.start();
    rate.add(0, 0);
    rate_timer.start(rate_interval_ms);
    rollout.start();
}

// The rollout's destructor cancels a pass that still runs and waits for its thread.
Dialog_exchange::~Dialog_exchange() = default;

void Dialog_exchange::build_rollout_part(QVBoxLayout* layout) {
    phase_label = new QLabel(caption_phase.caption().arg(QString()), this);
    phase_label->setObjectName(QStringLiteral("phase_label"));
    phase_label->setToolTip(caption_phase.hint());
    layout->addWidget(phase_label);
    classes_label = new QLabel(caption_classes.caption().arg(text_no_failures.tr()), this);
    classes_label->setObjectName(QStringLiteral("classes_label"));
    classes_label->setToolTip(caption_classes.hint());
    classes_label->setWordWrap(true);
    layout->addWidget(classes_label);
    stop_label = new QLabel(this);
    stop_label->setObjectName(QStringLiteral("stop_label"));
    stop_label->setToolTip(caption_stop.hint());
    stop_label->setWordWrap(true);
    QPalette palette = stop_label->palette();
    palette.setColor(QPalette::WindowText, color_error);
    stop_label->setPalette(palette);
    stop_label->hide();
    layout->addWidget(stop_label);
    server_model = new Server_progress_model(rollout, this);
    server_view = new QTableView(this);
    server_view->setObjectName(QStringLiteral("server_view"));
    server_view->setModel(server_model);
    server_view->setToolTip(caption_servers.hint());
    server_view->verticalHeader()->hide();
    server_view->verticalHeader()->setDefaultSectionSize(server_view->fontMetrics().height() + 4);
    server_view->setSelectionMode(QAbstractItemView::NoSelection);
    server_view->setFocusPolicy(Qt::NoFocus); // nothing to pick: no focus frame on a cell
    server_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    server_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The counts as wide as their headers and a six-digit number, the server the rest.
    QHeaderView* header = server_view->horizontalHeader();
    header->setSectionResizeMode(Server_progress_model::col_server, QHeaderView::Stretch);
    const int digits = 6 * server_view->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int c = Server_progress_model::col_open; c < Server_progress_model::column_count; ++c)
        header->resizeSection(c, std::max(header->sectionSizeHint(c), digits) + module_w);
    // As tall as its rows, up to eight; a thousand servers scroll.
    const int rows = std::min(std::max(server_model->rowCount(), 1), 8);
    server_view->setFixedHeight(header->sizeHint().height() +
                                rows * server_view->verticalHeader()->defaultSectionSize() +
                                2 * server_view->frameWidth());
    layout->addWidget(server_view);
}

void Dialog_exchange::on_pass_started(Engine* engine) {
    // The ended passes' counts are kept, so that the counters go on across the passes.
    for (int i = 2; i < 6; ++i) {
        before_pass[i] += pass_end[i];
        pass_end[i] = 0;
    }
    if (!connect(engine, &Engine::progress, this, &Dialog_exchange::on_progress))
        log_debug(0x0908);
    // In the pass's thread as it ends, before the engine is deleted; run_ended, not
    // QThread::finished, so that the driver's wait orders these writes for TSan too.
    if (!connect(
            engine, &Engine::run_ended, engine,
            [this, engine] {
                const std::atomic<uint32_t>* c[6] = {&engine->connecting, &engine->connected,
                                                     &engine->linked,     &engine->authorized,
                                                     &engine->success,    &engine->failure};
                for (int i = 0; i < 6; ++i)
                    pass_end[i] = c[i]->load(std::memory_order_relaxed);
            },
            Qt::DirectConnection))
        log_debug(0x0908);
    on_progress();
}

void Dialog_exchange::show_phase() {
    QString text;
    switch (rollout.phase()) {
    case Rollout_phase::canary:
        text = phase_canary.tr();
        break;
    case Rollout_phase::main:
        text = phase_main.tr();
        break;
    case Rollout_phase::retry:
        text = phase_retry.tr().arg(rollout.retry_pass()).arg(rollout.retry_passes());
        break;
    case Rollout_phase::verify:
        text = phase_verify.tr();
        break;
    case Rollout_phase::waiting: {
        const int64_t left = rollout.next_pass_ms() - QDateTime::currentMSecsSinceEpoch();
        if (rollout.waiting_for_verify()) {
            text = phase_waiting_verify.tr().arg(left > 0 ? (left + 999) / 1000 : 0);
            break;
        }
        text = phase_waiting.tr()
                   .arg(rollout.retry_pass())
                   .arg(rollout.retry_passes())
                   .arg(left > 0 ? (left + 999) / 1000 : 0);
        break;
    }
    case Rollout_phase::finished:
        text = phase_finished.tr();
        break;
    case Rollout_phase::idle:
        break;
    }
    phase_label->setText(caption_phase.caption().arg(text));
}

void Dialog_exchange::on_tick() {
    QString classes;
    for (unsigned c = fail_none + 1; c < fail_class_count; ++c) {
        const unsigned n = rollout.failures_of(Fail_class(c));
        if (n == 0)
            continue;
        if (!classes.isEmpty())
            classes += QStringLiteral(", ");
        classes += QStringLiteral("%1: %2").arg(fail_class_display(Fail_class(c))).arg(n);
    }
    const QString text =
        caption_classes.caption().arg(classes.isEmpty() ? text_no_failures.tr() : classes);
    if (text != classes_label->text()) {
        classes_label->setText(text);
        // The failures by class take more lines as the run goes on: the window grows with them
        // rather than let the per-server view slide under the buttons.
        const int needed = layout()->totalHeightForWidth(width());
        if (needed > height())
            resize(width(), needed);
    }
    server_model->refresh();
    if (rollout.phase() == Rollout_phase::waiting)
        show_phase();
    show_counters();
}

void Dialog_exchange::on_stopped(const QString& message) {
    stop_label->setText(message);
    stop_label->show();
}

void Dialog_exchange::show_counters() {
    const Engine* engine = rollout.engine();
    uint32_t values[6];
    if (engine) {
        const std::atomic<uint32_t>* c[6] = {&engine->connecting, &engine->connected,
                                             &engine->linked,     &engine->authorized,
                                             &engine->success,    &engine->failure};
        for (int i = 0; i < 6; ++i)
            values[i] = before_pass[i] + c[i]->load(std::memory_order_relaxed);
    } else {
        // Between passes and at the end: no connection is open.
        for (int i = 0; i < 6; ++i)
            values[i] = i < 2 ? 0 : before_pass[i] + pass_end[i];
    }
    if (rollout_view) {
        // Devices by their last attempt: one that a retry brought is no longer a failure.
        uint32_t failed = 0, finished = 0;
        for (unsigned c = fail_none + 1; c < fail_class_count; ++c)
            failed += rollout.failures_of(Fail_class(c));
        for (unsigned r = 0; r < configuration.servers.count; ++r)
            finished += rollout.server_finished(r);
        values[4] = finished - failed;
        values[5] = failed;
        if (skipped_label && rollout.skipped_current() != shown_skipped) {
            shown_skipped = rollout.skipped_current();
            skipped_label->setText(QString::number(shown_skipped));
        }
        if (verified_label && rollout.verified() != shown_verified) {
            shown_verified = rollout.verified();
            verified_label->setText(QString::number(shown_verified));
        }
    }
    for (int i = 0; i < 6; ++i) {
        const uint32_t v = values[i];
        if (v != shown[i]) {
            shown[i] = v;
            value_labels[i]->setText(QString::number(v));
        }
    }
}

// Clearing the flag before reading means that a change made after the read raises it again
// and brings another signal: nothing is lost, and at most one signal is ever pending. The
// counters are shown at most every refresh_interval_ms: a signal that comes sooner leaves the
// flag raised until then, so the actors send nothing meanwhile and a run of thousands of
// devices a second costs the window a few dozen refreshes a second.
void Dialog_exchange::on_progress() {
    const qint64 now = clock.elapsed();
    if (now - last_refresh_ms >= refresh_interval_ms) {
        refresh_counters();
        return;
    }
    if (!refresh_timer.isActive())
        refresh_timer.start(int(refresh_interval_ms - (now - last_refresh_ms)));
}

void Dialog_exchange::refresh_counters() {
    refresh_timer.stop();
    last_refresh_ms = clock.elapsed();
    if (Engine* engine = rollout.engine())
        engine->progress_pending.store(0, std::memory_order_seq_cst);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    show_counters();
}

void Dialog_exchange::on_rate_timer() {
    const uint64_t finished = uint64_t(shown[4]) + shown[5];
    rate.add(clock.elapsed(), finished);
    progress_bar->setValue(int(finished < device_total ? finished : device_total));
    rate_label->setText(caption_rate.caption().arg(format_rate(rate.rate())));
    const uint64_t remaining = finished < device_total ? device_total - finished : 0;
    eta_label->setText(
        caption_time_left.caption().arg(format_time_left(rate.seconds_left(remaining))));
}

void Dialog_exchange::closeEvent(QCloseEvent* event) {
    if (state & engine_finished) {
        event->accept();
        return;
    }
    event->ignore();
    if (state & abort_requested)
        return;
    if (action->abort_question) {
        asking = true;
        const bool yes =
            get_confirmation(this, action->abort_question->caption(), action->abort_button->hint(),
                             action->abort_question->hint());
        asking = false;
        // The thread ended while the question was open: its results stand, whatever the
        // answer, and are shown now rather than over the question.
        if (finish_pending) {
            finish_pending = false;
            QTimer::singleShot(0, this, &Dialog_exchange::on_engine_finished);
            return;
        }
        if (!yes)
            return;
    }
    state |= abort_requested;
    rollout.cancel();
}

// Esc and Enter must not end the dialog behind the engine's back: every way out goes
// through closeEvent.
void Dialog_exchange::keyPressEvent(QKeyEvent* event) {
    if (about_on_f1(event, this))
        return;
    QWidget::keyPressEvent(event);
}

void Dialog_exchange::on_btn_about_clicked() {
    update_random_number_generator(0x0901);
    Dialog_about(this).exec();
}

void Dialog_exchange::on_engine_finished() {
    if (asking) {
        finish_pending = true;
        return;
    }
    rate_timer.stop();
    refresh_timer.stop();
    btn_abort->setEnabled(false);
    const Rollout_outcome& out = rollout.outcome();
    // The last progress signal may still be queued, or coalesced away: show the end state.
    if (rollout_view) {
        on_tick();
        show_phase();
    }
    show_counters();
    on_rate_timer();
    if (!out.engine_error.isEmpty()) {
        show_error(out.engine_error, this);
        state |= engine_finished;
        close();
        return;
    }
    if (!out.file_error.isEmpty())
        show_error(out.file_error, this);
    const QString report = report_dir.filePath(QStringLiteral("report.jsonl"));
    const Run_report_scope report_scope(
        report_dir.isValid() && QFileInfo::exists(report) ? report : QString(), journal);
    unsigned s = 0, f = 0;
    const Devices& devices = configuration.devices;
    for (unsigned i = 0; i < devices.count; ++i) {
        if (devices.rows[i].device->run_flags & Device::succeeded)
            ++s;
        else
            ++f;
    }
    Run_version version;
    version.check = version_check;
    version.skipped = rollout.skipped_current();
    version.verified = rollout.verified();
    if (f != 0) {
        Dialog_mixed_result(*action, s, f, this, out.stop_message, version).exec();
    } else if (action->all_good_caption) {
        QMessageBox box(this);
        init_fonts(box);
        box.setFont(font_name_big);
        box.setWindowTitle(action->result_title);
        box.setText(version.check.any() ? action->all_good_caption->caption() +
                                              QStringLiteral("\n\n") + version_summary(version)
                                        : action->all_good_caption->caption());
        box.setToolTip(action->all_good_caption->hint() + run_journal_hint());
        box.setIcon(QMessageBox::Information);
        QPushButton* close_button = box.addButton(close_caption(), QMessageBox::AcceptRole);
        close_button->setToolTip(close_hint());
        box.setDefaultButton(close_button);
        box.setEscapeButton(close_button);
        box.exec();
    } else {
        dialog_success(*action, this, version);
    }
    state |= engine_finished;
    close();
}

void dialog_exchange_clear_translation() {
    Tr* texts[] = {&caption_connections, &caption_actions,      &caption_finished, &phase_canary,
                   &phase_main,          &phase_retry,          &phase_waiting,    &phase_finished,
                   &phase_verify,        &phase_waiting_verify, &text_no_failures, &fmt_journal};
    for (Tr* t : texts)
        t->clear();
    Tr_with_hint* pairs[] = {&caption_connecting, &caption_connected,  &caption_device_count,
                             &caption_linked,     &caption_authorized, &caption_success,
                             &caption_failure,    &caption_about,      &caption_progress,
                             &caption_rate,       &caption_time_left,  &caption_phase,
                             &caption_classes,    &caption_stop,       &caption_servers,
                             &caption_skipped,    &caption_verified};
    for (Tr_with_hint* p : pairs)
        p->clear();
}
