// Uploads with a version check as a user runs them from the configuration page: the expected
// version, its parameter and the two check boxes, the file chosen in the file dialog, the
// exchange window's phase line and counts, the result windows and their lists, and what a real
// simulator process was sent. The fleet is the one of the core's and zelmo_batch's tests
// (verify_scenario): current already, applying the file after a restart, keeping the old
// version (one of them refusing the version request), and one that never comes back.
#include "config/config.h"
#include "support/engine_cfg.h"
#include "support/modal.h"
#include "support/rollout_scenarios.h"
#include "support/sim_process.h"
#include "ui/desktop_rollout.h"
#include "ui/dialog_exchange.h"
#include "ui/dialog_failure.h"
#include "ui/dialog_mixed_result.h"
#include "ui/dialog_success.h"
#include "ui/dialog_texts.h"
#include "ui/page_cfg.h"
#include "ui/table_devices.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

static QString text_of(QWidget* w, const char* name) {
    auto* label = w ? w->findChild<QLabel*>(QString::fromLatin1(name)) : nullptr;
    return label ? label->text() : QStringLiteral("(none)");
}

// The rows of a result list: the IMEI and the columns named, joined by " | ".
static QStringList list_rows(QWidget* w, std::initializer_list<int> columns) {
    auto* list = qobject_cast<Dialog_result_list*>(w);
    QStringList rows;
    if (!list)
        return {QStringLiteral("not a result list: ") + w->metaObject()->className()};
    const QAbstractItemModel* m = list->table_devices->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells{m->index(r, 1).data().toString()};
        for (int c : columns)
            cells << m->index(r, c).data().toString();
        rows << cells.join(QStringLiteral(" | "));
    }
    return rows;
}

// What the exchange window showed: the phase line as it changed, and its counters at the end.
struct Exchange_watch : QObject {
    QStringList phases;
    QPointer<Dialog_exchange> window;
    bool eventFilter(QObject* o, QEvent* e) override {
        // Shown by exec(), before its event loop delivers the end of the first pass.
        auto* ex = qobject_cast<Dialog_exchange*>(o);
        if (e->type() == QEvent::Show && ex && !window) {
            window = ex;
            if (ex->phase_label) {
                phases << ex->phase_label->text();
                connect(&ex->rollout, &Rollout::phase_changed, this,
                        [this, ex] { phases << ex->phase_label->text(); });
            }
        }
        return false;
    }
};

// The page shown, with the version check filled in as a user types it.
static void open_with_check(Page_cfg& page, const QString& version, bool skip, bool verify) {
    page.create_contents(false);
    page.show();
    page.ebox_version->setText(version);
    page.chk_skip_current->setChecked(skip);
    page.chk_verify->setChecked(verify);
}

class tst_Verified_uploads : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void upload_from_page_data();
    void upload_from_page();
    void refused_version_data();
    void refused_version();

private:
    QTemporaryDir dir;
    QString fw_path;
};

void tst_Verified_uploads::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
    fw_path = dir.filePath(QStringLiteral("new.fwz"));
    QFile f(fw_path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(QByteArray(3000, 'z')), qint64(3000));
}

void tst_Verified_uploads::init() {
    desktop_version_check = Version_check();
}

void tst_Verified_uploads::upload_from_page_data() {
    QTest::addColumn<QString>("version"); // typed into "Ожидаемая версия"
    QTest::addColumn<bool>("skip");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<QStringList>("phases");   // the phase line as it changed, seconds as N
    QTest::addColumn<QString>("counts");       // success failure skipped verified, "-": no label
    QTest::addColumn<QString>("summary");      // the mixed result's or the all-good box's
    QTest::addColumn<QStringList>("success");  // the success list: IMEI | version | outcome
    QTest::addColumn<QStringList>("failure");  // the failure list: IMEI | text | class
    QTest::addColumn<QVector<int>>("uploads"); // devices sent the file

    const auto imei = rollout_scenario_imei;
    const QString current = "FW 2.0 | Версия «FW 2.0» уже установлена, закачка не нужна.";
    const QString confirmed =
        "FW 2.0 | После закачки устройство сообщает ожидаемую версию «FW 2.0».";
    const QString old_kept = " | После закачки устройство сообщает версию «FW 1.0.0» вместо "
                             "ожидаемой «FW 2.0». | версия не подтвердилась";
    const QString head = "Ожидаемая версия: «FW 2.0» (версия основной прошивки).";
    const QString skipped_line = "\nУже была установлена, файл не закачивался: %1 устр.";
    const QString verified_line = "\nПодтверждена проверкой после закачки: %1 устр.";
    const QStringList unreadable{
        imei(8) + " | Файл закачан, но версию прочитать не удалось: На запрос параметра №2 "
                  "устройство ответило: «ошибка выполнения». | отказ устройства",
        imei(9) + " | Файл закачан, но версию прочитать не удалось: Нет связи между устройством "
                  "и сервером. | устройство не на связи"};

    QTest::newRow("both checks: the current skipped, the appliers verified, the rest fail")
        << QStringLiteral("FW 2.0") << true << true
        << QStringList{"основной проход", "проверка версии начнётся через N с.",
                       "проверка версии после закачки", "работа завершена"}
        << "6 4 3 3" << head + skipped_line.arg(3) + verified_line.arg(3)
        << QStringList{imei(0) + " | " + current,   imei(1) + " | " + current,
                       imei(2) + " | " + current,   imei(3) + " | " + confirmed,
                       imei(4) + " | " + confirmed, imei(5) + " | " + confirmed}
        << QStringList{imei(6) + old_kept, imei(7) + old_kept, unreadable[0], unreadable[1]}
        << QVector<int>{3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("skip only: the current take no file, the others take it unchecked")
        << QStringLiteral("FW 2.0") << true << false
        << QStringList{"основной проход", "работа завершена"} << "10 0 3 -"
        << "Прошивка успешно закачана на все устройства.\n\n" + head + skipped_line.arg(3)
        << QStringList() << QStringList() << QVector<int>{3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("no expected version: the upload and its window as they always were")
        << QString() << true << true << QStringList() << "10 0 - -"
        << "Прошивка успешно закачана на все устройства." << QStringList() << QStringList()
        << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
}

void tst_Verified_uploads::upload_from_page() {
    QFETCH(QString, version);
    QFETCH(bool, skip);
    QFETCH(bool, verify);
    QFETCH(QStringList, phases);
    QFETCH(QString, counts);
    QFETCH(QString, summary);
    QFETCH(QStringList, success);
    QFETCH(QStringList, failure);
    QFETCH(QVector<int>, uploads);

    const Verify_scenario scenario = verify_scenario();
    Sim_process sim;
    QVERIFY2(sim.start(scenario.fleet), qPrintable(sim.error()));
    QVERIFY(load_cfg(verify_scenario_config(scenario, sim.port())));
    simultaneously = 2;
    // Longer than the appliers' restart, so that they are back when read again.
    verify_delay = unsigned(3 * scenario.restart_ms);

    Page_cfg page(nullptr);
    open_with_check(page, version, skip, verify);
    page.cbox_version_param->setCurrentIndex(0);

    Exchange_watch watch;
    qApp->installEventFilter(&watch);
    QString shown_counts, shown_summary;
    QStringList success_rows, failure_rows;
    auto read_counts = [&] {
        QWidget* ex = watch.window;
        shown_counts = QStringList{text_of(ex, "value_success"), text_of(ex, "value_failure"),
                                   text_of(ex, "value_skipped"), text_of(ex, "value_verified")}
                           .join(' ')
                           .replace(QStringLiteral("(none)"), QStringLiteral("-"));
    };
    Modal_script script(30000);
    script.let_be("Dialog_exchange");
    script.choose_file(fw_path);
    if (failure.isEmpty()) {
        script.then([&](QWidget* w) {
            read_counts();
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            shown_summary = box->text();
            QVERIFY(click_button(w, close_caption()));
        });
    } else {
        script
            .then([&](QWidget* w) {
                QVERIFY(qobject_cast<Dialog_mixed_result*>(w));
                read_counts();
                shown_summary = text_of(w, "label_version");
                w->findChild<QPushButton*>(QStringLiteral("btn_show_success"))->click();
            })
            .then([&](QWidget* w) {
                success_rows = list_rows(w, {2, 3}); // the version and the outcome
                QVERIFY(click_button(w, close_caption()));
            })
            .then([](QWidget* w) {
                w->findChild<QPushButton*>(QStringLiteral("btn_show_failure"))->click();
            })
            .then([&](QWidget* w) {
                failure_rows = list_rows(w, {3, 4}); // the text and the class
                QVERIFY(click_button(w, close_caption()));
            })
            .then([](QWidget* w) { QVERIFY(click_button(w, close_caption())); })
            .press("Да"); // the failures were not saved
    }
    page.btn_upload->click();
    qApp->removeEventFilter(&watch);
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n') + " pending " +
                                               QString::number(script.pending())));
    QVERIFY(sim.stop());

    QStringList seen = watch.phases;
    seen.replaceInStrings(QRegularExpression("^Этап: "), QString());
    seen.replaceInStrings(QRegularExpression("\\d+ с\\.$"), "N с.");
    QCOMPARE(seen, phases);
    QCOMPARE(shown_counts, counts);
    QCOMPARE(shown_summary, summary);
    QCOMPARE(success_rows, success);
    QCOMPARE(failure_rows, failure);
    QCOMPARE(upfile_offsets(sim), uploads);
}

void tst_Verified_uploads::refused_version_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<QString>("message");
    QTest::newRow("a version but neither check")
        << QStringLiteral("FW 2.0") << false << false
        << "Указана ожидаемая версия, но не отмечено, что с ней делать. Отметьте «Пропускать "
           "устройства с этой версией» и/или «Проверить версию после закачки» или сотрите "
           "ожидаемую версию.";
    QTest::newRow("a character no version shows")
        << QStringLiteral("FW 2.0 ✓") << true << true
        << "В ожидаемой версии есть символ «✓», которого не бывает в версиях устройств: с ней не "
           "совпадёт ни одна версия.";
}

// A refused version stops the upload before the file dialog, and the check of the last upload
// stays as it was.
void tst_Verified_uploads::refused_version() {
    QFETCH(QString, version);
    QFETCH(bool, skip);
    QFETCH(bool, verify);
    QFETCH(QString, message);
    QVERIFY(load_cfg(cfg_server("127.0.0.1", 9, cfg_devices(350000000000001ULL, 1))));
    desktop_version_check.expected = QStringLiteral("before");
    Page_cfg page(nullptr);
    open_with_check(page, version, skip, verify);
    Modal_script script;
    script.press(close_caption());
    page.btn_upload->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.value(0).kind, QStringLiteral("QMessageBox"));
    QCOMPARE(script.seen.value(0).text, message);
    QCOMPARE(desktop_version_check.expected, QStringLiteral("before"));
}

QTEST_MAIN(tst_Verified_uploads)
#include "tst_verified_uploads.moc"
