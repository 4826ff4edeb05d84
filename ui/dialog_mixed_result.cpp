#include "ui/dialog_mixed_result.h"

#include "config/config.h"
#include "engine/actions.h"
#include "engine/params.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/actions_gui.h"
#include "ui/dialog_about.h"
#include "ui/dialog_failure.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/run_report.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

static Tr caption_list("result", "Список");
static Tr hint_stopped("result", "Почему работа была остановлена до того, как обслужены все "
                                 "устройства.\nНеобслуженные устройства - в списке неудач с "
                                 "причиной «не обслужено».");
static Tr hint_close_no("result", "Если вы нажмёте эту кнопку, текущее окно не будет закрыто "
                                  "(всё\nбудет так, как если бы вы не нажимали кнопку «Закрыть»).");
static Tr_with_hint caption_about(
    "result", "О программе",
    "Если вы нажмёте эту кнопку, будет открыто окно с информацией о\nпрограмме (из которого "
    "вы потом сможете вернуться обратно в текущее\nокно).");

static Tr fmt_version_head("result", "Ожидаемая версия: «%1» (%2).");
static Tr fmt_version_skipped("result", "Уже была установлена, файл не закачивался: %1 устр.");
static Tr fmt_version_verified("result", "Подтверждена проверкой после закачки: %1 устр.");
static Tr hint_version("result",
                       "Что дала проверка версии: сколько устройств уже сообщали ожидаемую\n"
                       "версию (они в списке успешно обслуженных) и сколько сообщили её\nпри "
                       "проверке после закачки. Устройства, сообщившие другую версию,\n- в "
                       "списке неудач с причиной «версия не подтвердилась».");

QString version_summary(const Run_version& version) {
    const std::unique_ptr<Params> params = make_version_params();
    const unsigned p = version.check.param < params->count ? version.check.param : 0;
    QString name = params->items[p]->name;
    if (!name.isEmpty())
        name[0] = name[0].toLower();
    QString text = fmt_version_head.tr().arg(version.check.expected, name);
    if (version.check.skip_current)
        text += QLatin1Char('\n') + fmt_version_skipped.tr().arg(version.skipped);
    if (version.check.verify)
        text += QLatin1Char('\n') + fmt_version_verified.tr().arg(version.verified);
    return text;
}

// Debug codes of this window's later additions.
enum Mixed_result_code : unsigned short {
    code_connect_report = 0x0C05,
    code_report, // stirred by the report button
};

static QPushButton* add_line(QVBoxLayout* layout, const QString& text, const QString& hint,
                             const QString& button_hint, const char* name, QWidget* parent) {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("label_%1").arg(QLatin1String(name)));
    label->setToolTip(hint);
    row->addWidget(label);
    row->addStretch(1);
    auto* button = new QPushButton(caption_list.tr(), parent);
    button->setObjectName(QStringLiteral("btn_show_%1").arg(QLatin1String(name)));
    button->setToolTip(button_hint);
    button->setAutoDefault(false);
    row->addWidget(button);
    layout->addLayout(row);
    return button;
}

Dialog_mixed_result::Dialog_mixed_result(const Action& action, unsigned int s, unsigned int f,
                                         QWidget* parent, const QString& stopped,
                                         const Run_version& version)
    : QDialog(parent, dialog_flags), action(&action), version(version) {
    init_fonts(*this);
    setWindowTitle(action.result_title);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (!stopped.isEmpty()) {
        auto* label = new QLabel(stopped, this);
        label->setObjectName(QStringLiteral("label_stopped"));
        label->setToolTip(hint_stopped.tr());
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    if (s != 0) {
        QPushButton* good =
            add_line(layout, action.good_caption->caption().arg(s), action.good_caption->hint(),
                     action.good_button_hint->tr(), "success", this);
        if (!connect(good, &QPushButton::clicked, this,
                     &Dialog_mixed_result::on_btn_show_success_clicked))
            log_debug(0x0C01);
    }
    if (version.check.any()) {
        auto* label = new QLabel(version_summary(version), this);
        label->setObjectName(QStringLiteral("label_version"));
        label->setToolTip(hint_version.tr());
        layout->addWidget(label);
    }
    // With no success there is nothing to lose by closing: the list is all there is.
    Tr_with_hint* bad = s != 0 ? action.bad_caption : action.all_bad_caption;
    const QString bad_text = s != 0 ? bad->caption().arg(f) : bad->caption();
    QPushButton* bad_button =
        add_line(layout, bad_text, bad->hint(), action.bad_button_hint->tr(), "failure", this);
    unsaved_failures = s != 0;
    if (!connect(bad_button, &QPushButton::clicked, this,
                 &Dialog_mixed_result::on_btn_show_failure_clicked))
        log_debug(0x0C02);

    auto* buttons = new QDialogButtonBox(Qt::Horizontal, this);
    QPushButton* close_button = buttons->addButton(close_caption(), QDialogButtonBox::AcceptRole);
    close_button->setObjectName(QStringLiteral("btn_close"));
    close_button->setToolTip(action.close_hint);
    QPushButton* about = buttons->addButton(caption_about.caption(), QDialogButtonBox::HelpRole);
    about->setObjectName(QStringLiteral("btn_about"));
    about->setToolTip(caption_about.hint());
    QPushButton* report = new_report_button(this);
    buttons->addButton(report, QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    if (!connect(report, &QPushButton::clicked, this, [this] {
            update_random_number_generator(code_report);
            write_run_report(this);
        }))
        log_debug(code_connect_report);
    if (!connect(buttons, &QDialogButtonBox::accepted, this, &QWidget::close))
        log_debug(0x0C03);
    if (!connect(buttons, &QDialogButtonBox::helpRequested, this,
                 &Dialog_mixed_result::on_btn_about_clicked))
        log_debug(0x0C04);
}

void Dialog_mixed_result::on_btn_show_success_clicked() {
    update_random_number_generator(0x0C01);
    dialog_success(*action, this, version);
}

void Dialog_mixed_result::on_btn_show_failure_clicked() {
    update_random_number_generator(0x0C02);
    Collection failed;
    select_failure_with_errors(failed);
    Dialog_failure dialog(failed, this, action);
    dialog.exec();
    if (dialog.saved)
        unsaved_failures = false;
    // The retry has shown its own results, and asked about its own failures: these are old.
    if (dialog.retried) {
        unsaved_failures = false;
        close();
    }
}

void Dialog_mixed_result::on_btn_about_clicked() {
    update_random_number_generator(0x0C03);
    Dialog_about(this).exec();
}

void Dialog_mixed_result::closeEvent(QCloseEvent* event) {
    if (unsaved_failures && action->drop_question &&
        !get_confirmation(this, action->drop_question->caption(), action->drop_question->hint(),
                          hint_close_no.tr())) {
        event->ignore();
        return;
    }
    event->accept();
}

// Esc must not drop an unsaved failure list without the question: it is not a way out.
void Dialog_mixed_result::keyPressEvent(QKeyEvent* event) {
    if (about_on_f1(event, this))
        return;
    QWidget::keyPressEvent(event);
}

void dialog_mixed_result_clear_translation() {
    caption_list.clear();
    hint_stopped.clear();
    hint_close_no.clear();
    caption_about.clear();
    fmt_version_head.clear();
    fmt_version_skipped.clear();
    fmt_version_verified.clear();
    hint_version.clear();
}
