#include "ui/run_report.h"

#include "config/fail_class.h"
#include "engine/report.h"
#include "foundation/err.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSaveFile>

static Tr_with_hint caption_report(
    "report", "Записать отчёт",
    "Если вы нажмёте эту кнопку, программа спросит у вас имя файла и\nзапишет в него отчёт о "
    "последней операции: по строке на каждую\nпопытку работы с каждым устройством (с "
    "результатом, причиной\nнеудачи и временем).\n\nЕсли имя файла оканчивается на «.csv», "
    "отчёт будет записан в виде\nтаблицы CSV, иначе - в формате JSON Lines (с итоговой "
    "строкой в\nконце).");
static Tr title_report("report", "В какой файл записать отчёт?");
static Tr filter_report("report", "Отчёт JSON Lines (*.jsonl);;Отчёт CSV (*.csv);;Все файлы (*.*)");
static Tr errfmt_report_read("report", "Не удалось прочитать отчёт о работе «%1»: %2");
static Tr errfmt_report_line("report", "Строка %1 отчёта о работе не понята.");
static Tr fmt_journal_hint("report", "\n\nРезультаты этой работы записаны в журнал «%1»; по "
                                     "нему работу\nможно продолжить кнопкой «Продолжить по "
                                     "журналу».");
static Tr errfmt_report_write("report", "Не удалось записать отчёт в файл «%1»: %2");

static QString current_report;
static QString current_journal;

Run_report_scope::Run_report_scope(const QString& path, const QString& journal)
    : previous(current_report), previous_journal(current_journal) {
    current_report = path;
    current_journal = journal;
}

Run_report_scope::~Run_report_scope() {
    current_report = previous;
    current_journal = previous_journal;
}

const QString& run_report_path() {
    return current_report;
}

const QString& run_journal_path() {
    return current_journal;
}

QString run_journal_hint() {
    return current_journal.isEmpty() ? QString() : fmt_journal_hint.tr().arg(current_journal);
}

QPushButton* new_report_button(QWidget* parent) {
    auto* button = new QPushButton(caption_report.caption(), parent);
    button->setObjectName(QStringLiteral("btn_report"));
    button->setToolTip(caption_report.hint() + run_journal_hint());
    button->setAutoDefault(false);
    button->setEnabled(!current_report.isEmpty());
    return button;
}

static int64_t ms_of(const QJsonValue& v) {
    return QDateTime::fromString(v.toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

bool report_jsonl_to_csv(const QByteArray& jsonl, QByteArray& csv, QString& error) {
    csv.clear();
    append_csv_header(csv);
    int line_number = 0;
    for (const QByteArray& line : jsonl.split('\n')) {
        ++line_number;
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty()) {
            error = errfmt_report_line.tr().arg(line_number);
            return false;
        }
        if (o.contains(QStringLiteral("summary")))
            continue;
        Attempt a;
        bool ok = false;
        a.imei = o.value(QStringLiteral("imei")).toString().toULongLong(&ok);
        const QByteArray word = o.value(QStringLiteral("class")).toString().toLatin1();
        const unsigned cls = word.isEmpty() ? 0u : fail_class_from_name(word.constData());
        if (!ok || cls >= fail_class_count) {
            error = errfmt_report_line.tr().arg(line_number);
            return false;
        }
        a.address = o.value(QStringLiteral("address")).toString();
        a.port = unsigned(o.value(QStringLiteral("port")).toInt());
        a.action = o.value(QStringLiteral("action")).toString();
        a.ok = o.value(QStringLiteral("result")).toString() == QLatin1String("ok");
        a.fail_class = cls;
        a.text = o.value(QStringLiteral("text")).toString();
        a.start_ms = ms_of(o.value(QStringLiteral("start")));
        a.end_ms = ms_of(o.value(QStringLiteral("end")));
        a.attempt = unsigned(o.value(QStringLiteral("attempt")).toInt());
        a.skipped = o.value(QStringLiteral("skipped")).toBool();
        a.version_before = o.value(QStringLiteral("version_before")).toString();
        a.version_after = o.value(QStringLiteral("version_after")).toString();
        append_attempt_csv(csv, a);
    }
    return true;
}

void write_run_report(QWidget* parent) {
    if (current_report.isEmpty())
        return;
    const QString name =
        QFileDialog::getSaveFileName(parent, title_report.tr(), QString(), filter_report.tr());
    if (name.isEmpty())
        return;
    QFile in(current_report);
    if (!in.open(QIODevice::ReadOnly)) {
        show_error(errfmt_report_read.tr().arg(current_report, in.errorString()), parent);
        return;
    }
    QByteArray bytes = in.readAll();
    if (name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        QByteArray csv;
        QString error;
        if (!report_jsonl_to_csv(bytes, csv, error)) {
            show_error(error, parent);
            return;
        }
        bytes = csv;
    }
    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        show_error(errfmt_report_write.tr().arg(name, out.errorString()), parent);
}

void run_report_clear_translation() {
    caption_report.clear();
    title_report.clear();
    filter_report.clear();
    errfmt_report_read.clear();
    errfmt_report_line.clear();
    errfmt_report_write.clear();
    fmt_journal_hint.clear();
}
