#pragma once
// The report of the run whose result windows are open. The exchange window has the rollout
// write it as JSON Lines into a temporary file; "Записать отчёт" in the result windows writes
// it where the user says: copied as it is, or as CSV when the name ends in ".csv".

#include <QByteArray>
#include <QString>

class QPushButton;
class QWidget;

// While alive, the run's report is the one at `path` (empty: the run has none) and its journal
// the one at `journal`; the previous ones come back at its end, for a retry run inside another
// run's result windows.
class Run_report_scope {
public:
    explicit Run_report_scope(const QString& path, const QString& journal = QString());
    ~Run_report_scope();
    Run_report_scope(const Run_report_scope&) = delete;
    Run_report_scope& operator=(const Run_report_scope&) = delete;

private:
    QString previous;
    QString previous_journal;
};

// The report of the run now shown; empty when there is none.
const QString& run_report_path();

// The journal of the run now shown; empty when there is none.
const QString& run_journal_path();
// "\n\nРезультаты этой работы записаны в журнал «...»..." for a result window's tooltip; empty
// when the run has no journal.
QString run_journal_hint();

// A "Записать отчёт" button with its tooltip (naming the journal), disabled when the run has no
// report.
QPushButton* new_report_button(QWidget* parent);

// Asks for a file name and writes the run's report there; a message says what went wrong.
void write_run_report(QWidget* parent);

// The attempts of a JSON Lines report as CSV rows under the header, the summary left out.
// False with the message when a line is not a report line.
bool report_jsonl_to_csv(const QByteArray& jsonl, QByteArray& csv, QString& error);

void run_report_clear_translation();
