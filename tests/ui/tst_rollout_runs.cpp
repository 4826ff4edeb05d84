// Rollouts as a user runs them from the desktop: the rollout options set in the options
// dialog, an upload through the exchange window over a real simulator process, the phase line,
// the stop reason in the exchange window and in the mixed result, the unserved devices in the
// failure list, and what the simulator was asked.
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
#include "ui/dialog_options.h"
#include "ui/dialog_texts.h"
#include "ui/table_devices.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

class tst_Rollout_runs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void upload_rollout_data();
    void upload_rollout();

private:
    QTemporaryDir dir;
};

void tst_Rollout_runs::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
}

static bool write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

static QString label_text(QWidget* w, const char* name) {
    auto* label = w->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

void tst_Rollout_runs::upload_rollout_data() {
    QTest::addColumn<QString>("fleet");      // "N setting": the settings of device 35000000000000N
    QTest::addColumn<QString>("options");    // "key=value" set in the options dialog
    QTest::addColumn<QStringList>("phases"); // the phase line as it changed, seconds as N
    QTest::addColumn<QString>("stopped");    // in the exchange window and the mixed result
    QTest::addColumn<QStringList>("failures"); // the failure list: IMEI and text
    QTest::addColumn<int>("uploads");          // UPFILE requests the simulator answered

    const QString reason = QStringLiteral(
        "устройство 350000000000002 из пробной группы (3 устр.) завершилось неудачей «отказ "
        "устройства»");
    const QString unserved = "Устройство не обслужено: работа остановлена, так как " + reason + ".";
    QTest::newRow("canary breaks: the rest untouched")
        << "2 upload=4"
        << "canary=3" << QStringList{"пробная группа", "работа завершена"}
        << "Работа остановлена, так как " + reason + "."
        << QStringList{"350000000000002 На закачку файла устройство ответило: «ошибка "
                       "контрольной суммы».",
                       "350000000000004 " + unserved, "350000000000005 " + unserved,
                       "350000000000006 " + unserved}
        << 3;
    QTest::newRow("a late device brought by the retry pass")
        << "3 offline_links=1"
        << "retry_passes=2 retry_delay=1000"
        << QStringList{"основной проход", "повторный проход 1 из 2 начнётся через N с.",
                       "повторный проход 1 из 2", "работа завершена"}
        << QString() << QStringList() << 6;
    QTest::newRow("no rollout options: the window as it always was")
        << "2 upload=4"
        << "" << QStringList() << QString()
        << QStringList{"350000000000002 На закачку файла устройство ответило: «ошибка "
                       "контрольной суммы»."}
        << 6;
}

void tst_Rollout_runs::upload_rollout() {
    QFETCH(QString, fleet);
    QFETCH(QString, options);
    QFETCH(QStringList, phases);
    QFETCH(QString, stopped);
    QFETCH(QStringList, failures);
    QFETCH(int, uploads);

    Sim_process sim;
    QString fleet_text = "port 0\ndefault pin=1234\n";
    for (int n = 1; n <= 6; ++n) {
        fleet_text += QStringLiteral("device 35000000000000%1").arg(n);
        if (fleet.section(' ', 0, 0).toInt() == n)
            fleet_text += ' ' + fleet.section(' ', 1);
        fleet_text += '\n';
    }
    QVERIFY2(sim.start(fleet_text), qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ULL, 6))));
    simultaneously = 1;
    const QString fw_path = dir.filePath(QStringLiteral("new.fwz"));
    QVERIFY(write_file(fw_path, QByteArray(3000, 'z')));

    // The options as a user sets them, in the options dialog.
    if (!options.isEmpty()) {
        Dialog_options dialog(nullptr);
        for (const QString& a : options.split(' ')) {
            int i = 0;
            while (QString::fromLatin1(option_info[i].key) != a.section('=', 0, 0))
                ++i;
            dialog.cbox_defined[i]->click();
            dialog.ebox_option[i]->setText(a.section('=', 1));
        }
        dialog.btn_ok->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    Modal_script script(30000);
    script.let_be("Dialog_exchange");
    QStringList seen_phases, rows;
    QString stop_in_window, stop_in_result;
    auto failure_list = [&](QWidget* w) {
        auto* failure = qobject_cast<Dialog_failure*>(w);
        QVERIFY(failure);
        const QAbstractItemModel* m = failure->table_devices->model();
        for (int r = 0; r < m->rowCount(); ++r)
            rows << m->index(r, 1).data().toString() + ' ' + m->index(r, 3).data().toString();
        QVERIFY(click_button(w, close_caption()));
    };
    if (failures.isEmpty()) {
        script.press(close_caption());
    } else {
        script
            .then([&](QWidget* w) {
                QVERIFY(qobject_cast<Dialog_mixed_result*>(w));
                stop_in_result = label_text(w, "label_stopped");
                stop_in_window = label_text(w->parentWidget(), "stop_label");
                w->findChild<QPushButton*>(QStringLiteral("btn_show_failure"))->click();
            })
            .then(failure_list)
            .then([](QWidget* w) { QVERIFY(click_button(w, close_caption())); })
            .press("Да"); // the failures were not saved
    }
    Upload_file file(fw_path);
    Action_upload_firmware action;
    Dialog_exchange ex(nullptr, action);
    const bool has_views = ex.phase_label && ex.server_view;
    // The first pass began in the constructor; every later change is seen here.
    if (ex.phase_label) {
        seen_phases << ex.phase_label->text();
        connect(&ex.rollout, &Rollout::phase_changed, &ex,
                [&ex, &seen_phases] { seen_phases << ex.phase_label->text(); });
    }
    ex.exec();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n') + " pending " +
                                               QString::number(script.pending())));

    QCOMPARE(has_views, !options.isEmpty());
    seen_phases.replaceInStrings(QRegularExpression("^Этап: "), QString());
    seen_phases.replaceInStrings(QRegularExpression("\\d+ с\\.$"), "N с.");
    QCOMPARE(seen_phases, phases);
    QCOMPARE(stop_in_window, stopped);
    QCOMPARE(stop_in_result, stopped);
    QCOMPARE(rows, failures);
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("uploads"), uploads);
}

QTEST_MAIN(tst_Rollout_runs)
#include "tst_rollout_runs.moc"
