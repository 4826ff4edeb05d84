// What the user does with a finished run, walked against a real simulator:
// "Повторить для неудачных" after filtering by "Причина" serves again exactly the shown
// devices, "Записать отчёт" writes the run's report in both formats, read back here, and
// "Продолжить по журналу" on the configuration page serves only what the journal left undone.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/upload_setup.h"
#include "foundation/err.h"
#include "support/engine_cfg.h"
#include "support/modal.h"
#include "support/sim_process.h"
#include "ui/dialog_exchange.h"
#include "ui/dialog_failure.h"
#include "ui/dialog_mixed_result.h"
#include "ui/dialog_texts.h"
#include "ui/page_cfg.h"
#include "ui/table_devices.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class tst_Result_actions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void retry_shown_failures_data();
    void retry_shown_failures();
    void write_report_data();
    void write_report();
    void resume_from_journal_data();
    void resume_from_journal();

private:
    QTemporaryDir dir;
};

void tst_Result_actions::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
}

static bool write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

static QByteArray read_file(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Six devices on one simulator: 2 refuses the file, 3 is offline at its first link, 5 wants
// another PIN; the others take the upload.
static bool start_fleet(Sim_process& sim) {
    return sim.start("port 0\ndefault pin=1234\n"
                     "device 350000000000001\n"
                     "device 350000000000002 upload=4\n"
                     "device 350000000000003 offline_links=1\n"
                     "device 350000000000004\n"
                     "device 350000000000005 pin=9999\n"
                     "device 350000000000006\n") &&
           load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ULL, 6)));
}

static QStringList imeis_shown(const Dialog_result_list* list) {
    QStringList out;
    const QAbstractItemModel* m = list->table_devices->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, 1).data().toString();
    return out;
}

void tst_Result_actions::retry_shown_failures_data() {
    QTest::addColumn<QString>("filter");      // typed with the field "Причина"
    QTest::addColumn<QStringList>("retried"); // the shown devices, linked a second time
    QTest::newRow("offline devices") << "не на связи" << QStringList{"350000000000003"};
    QTest::newRow("wrong PIN") << "PIN" << QStringList{"350000000000005"};
    QTest::newRow("every failure")
        << "" << QStringList{"350000000000002", "350000000000003", "350000000000005"};
}

void tst_Result_actions::retry_shown_failures() {
    QFETCH(QString, filter);
    QFETCH(QStringList, retried);
    Sim_process sim;
    QVERIFY2(start_fleet(sim), qPrintable(sim.error()));
    simultaneously = 2;
    const QString fw_path = dir.filePath(QStringLiteral("retry.fwz"));
    QVERIFY(write_file(fw_path, QByteArray(2000, 'r')));

    Modal_script script(30000);
    QStringList shown;
    script.let_be("Dialog_exchange")
        .then([](QWidget* w) {
            QVERIFY(qobject_cast<Dialog_mixed_result*>(w));
            w->findChild<QPushButton*>(QStringLiteral("btn_show_failure"))->click();
        })
        .then([&](QWidget* w) {
            auto* failure = qobject_cast<Dialog_failure*>(w);
            QVERIFY(failure);
            QCOMPARE(failure->filter_field->itemText(4), QStringLiteral("Причина"));
            // The list opens wide enough for its last column.
            const QHeaderView* header = failure->table_devices->horizontalHeader();
            QVERIFY(header->sectionViewportPosition(4) + header->sectionSize(4) <=
                    failure->table_devices->viewport()->width());
            failure->filter_field->setCurrentIndex(4);
            failure->filter_text->setText(filter); // typed: textChanged as from the keys
            shown = imeis_shown(failure);
            failure->findChild<QPushButton*>(QStringLiteral("btn_retry"))->click();
        })
        // The retry's own results: some devices still fail.
        .then([](QWidget* w) {
            QVERIFY(qobject_cast<Dialog_mixed_result*>(w));
            QVERIFY(click_button(w, close_caption()));
        })
        .press("Да");
    {
        Upload_file file(fw_path);
        Action_upload_firmware action;
        Dialog_exchange(nullptr, action).exec();
    }
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n') + " pending " +
                                               QString::number(script.pending())));
    QCOMPARE(shown, retried);
    QVERIFY(sim.stop());
    for (int n = 1; n <= 6; ++n) {
        const QString imei = QStringLiteral("35000000000000%1").arg(n);
        const int links = sim.record_of("LINK").filter("imei=" + imei).size();
        QCOMPARE(links, retried.contains(imei) ? 2 : 1);
    }
    // The retried upload carried the same file.
    for (const QString& line : sim.record_of("UPFILE"))
        QVERIFY2(line.contains("size=2000"), qPrintable(line));
}

// The fields of a CSV line (RFC 4180, quotes doubled).
static QStringList csv_fields(const QString& line) {
    QStringList out;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                field += line[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out << field;
            field.clear();
        } else {
            field += c;
        }
    }
    return out << field;
}

void tst_Result_actions::write_report_data() {
    QTest::addColumn<QString>("window"); // where "Записать отчёт" is pressed
    QTest::newRow("mixed result") << "mixed";
    QTest::newRow("failure list") << "failure";
    QTest::newRow("success list") << "success";
}

void tst_Result_actions::write_report() {
    QFETCH(QString, window);
    Sim_process sim;
    QVERIFY2(start_fleet(sim), qPrintable(sim.error()));
    simultaneously = 3;
    const QString fw_path = dir.filePath(QStringLiteral("report.fwz"));
    QVERIFY(write_file(fw_path, QByteArray(1000, 'q')));
    const QString json_path = dir.filePath(window + ".jsonl");
    const QString csv_path = dir.filePath(window + ".CSV");

    Modal_script script(30000);
    auto press_report = [&](QWidget* w) {
        QPushButton* report = w->findChild<QPushButton*>(QStringLiteral("btn_report"));
        QVERIFY(report && report->isEnabled());
        // The tooltip names the run's journal.
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("«([^»]+\\.journal)»")).match(report->toolTip());
        QVERIFY2(m.hasMatch() && QFile::exists(m.captured(1)), qPrintable(report->toolTip()));
        report->click();
    };
    script.let_be("Dialog_exchange").then([&](QWidget* w) {
        QVERIFY(qobject_cast<Dialog_mixed_result*>(w));
        if (window == "mixed")
            press_report(w);
        else
            w->findChild<QPushButton*>("btn_show_" + window)->click();
    });
    if (window != "mixed")
        script.then(press_report);
    script.choose_file(json_path).then([&](QWidget* w) { press_report(w); });
    script.choose_file(csv_path).then(
        [](QWidget* w) { QVERIFY(click_button(w, close_caption())); });
    if (window != "mixed")
        script.then([](QWidget* w) { QVERIFY(click_button(w, close_caption())); });
    script.press("Да"); // the failures were not saved
    {
        Upload_file file(fw_path);
        Action_upload_firmware action;
        Dialog_exchange(nullptr, action).exec();
    }
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n') + " pending " +
                                               QString::number(script.pending())));

    // JSON Lines: one attempt per device, then the summary.
    const QList<QByteArray> json = read_file(json_path).trimmed().split('\n');
    QCOMPARE(json.size(), 7);
    const QJsonObject summary = QJsonDocument::fromJson(json.last()).object()["summary"].toObject();
    QCOMPARE(summary["devices"].toInt(), 6);
    QCOMPARE(summary["results"].toObject()["ok"].toInt(), 3);
    QCOMPARE(summary["results"].toObject()["failed"].toInt(), 3);
    // CSV: the header, then the same attempts field for field.
    const QStringList csv =
        QString::fromUtf8(read_file(csv_path)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(csv.size(), 7);
    const QStringList header = csv_fields(csv[0]);
    QCOMPARE(header, QString("imei,address,port,action,result,class,text,start,end,duration_ms,"
                             "attempt,skipped,version_before,version_after")
                         .split(','));
    QMap<QString, QString> classes;
    for (int i = 0; i < 6; ++i) {
        const QJsonObject o = QJsonDocument::fromJson(json[i]).object();
        const QStringList row = csv_fields(csv[i + 1]);
        QCOMPARE(row.size(), header.size());
        for (int f = 0; f < header.size(); ++f)
            QCOMPARE(row[f], o[header[f]].toVariant().toString());
        classes[row[0]] = row[5];
    }
    QCOMPARE(classes, (QMap<QString, QString>{{"350000000000001", ""},
                                              {"350000000000002", "device"},
                                              {"350000000000003", "not_linked"},
                                              {"350000000000004", ""},
                                              {"350000000000005", "auth"},
                                              {"350000000000006", ""}}));
}

// LINKs of each device 35000000000000N, N = 1..6, in the simulator's record.
static QVector<int> links_per_device(const Sim_process& sim) {
    QVector<int> out;
    const QStringList links = sim.record_of("LINK");
    for (int n = 1; n <= 6; ++n)
        out << links.filter(QStringLiteral("imei=35000000000000%1").arg(n)).size();
    return out;
}

void tst_Result_actions::resume_from_journal_data() {
    QTest::addColumn<QByteArray>("resumed_file"); // chosen for the resumed upload
    QTest::addColumn<QVector<int>>("links");      // of each device, both runs together
    QTest::addColumn<QString>("refusal");         // the message's beginning, empty: none
    QTest::newRow("same file: only what did not succeed")
        << QByteArray(1500, 'j') << QVector<int>{1, 2, 2, 1, 2, 1} << QString();
    QTest::newRow("another file: refused, nothing served")
        << QByteArray(1500, 'k') << QVector<int>{1, 1, 1, 1, 1, 1} << QStringLiteral("Журнал «");
}

void tst_Result_actions::resume_from_journal() {
    QFETCH(QByteArray, resumed_file);
    QFETCH(QVector<int>, links);
    QFETCH(QString, refusal);
    QTemporaryDir log_dir;
    QVERIFY(log_dir.isValid());
    use_test_log(log_dir.path());
    Sim_process sim;
    QVERIFY2(start_fleet(sim), qPrintable(sim.error()));
    simultaneously = 2;
    const QString first_path = dir.filePath(QStringLiteral("first.fwz"));
    const QString resumed_path = dir.filePath(QStringLiteral("resumed.fwz"));
    QVERIFY(write_file(first_path, QByteArray(1500, 'j')));
    QVERIFY(write_file(resumed_path, resumed_file));

    // The first run, whose journal lands beside the log.
    {
        Modal_script script(30000);
        script.let_be("Dialog_exchange")
            .then([](QWidget* w) { QVERIFY(click_button(w, close_caption())); })
            .press("Да");
        Upload_file file(first_path);
        Action_upload_firmware action;
        Dialog_exchange(nullptr, action).exec();
        QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    }
    const QStringList journals =
        QDir(log_dir.path()).entryList({QStringLiteral("*.journal")}, QDir::Files);
    QCOMPARE(journals.size(), 1);
    const QString journal = QDir(log_dir.path()).filePath(journals[0]);

    Page_cfg page(nullptr);
    page.create_contents(false);
    QCOMPARE(page.btn_resume->text(), QStringLiteral("Продолжить по журналу"));
    QVERIFY(!page.btn_resume->toolTip().isEmpty());
    Modal_script script(30000);
    script.choose_file(journal).choose_file(resumed_path);
    if (refusal.isEmpty()) {
        script.let_be("Dialog_exchange")
            .then([](QWidget* w) { QVERIFY(click_button(w, close_caption())); })
            .press("Да");
    } else {
        script.press(close_caption());
    }
    page.btn_resume->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n') + " pending " +
                                               QString::number(script.pending())));
    if (!refusal.isEmpty())
        QVERIFY2(script.seen.last().text.startsWith(refusal), qPrintable(script.seen.last().text));
    QVERIFY(sim.stop());
    QCOMPARE(links_per_device(sim), links);
}

QTEST_MAIN(tst_Result_actions)
#include "tst_result_actions.moc"
