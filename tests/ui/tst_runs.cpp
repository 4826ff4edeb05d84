// Whole runs as a user sees them: the exchange window over a real simulator process, the
// result windows that follow, the lists with their texts and colours, and the failure list
// written to a file and run again once the fleet is mended.
#include "config/config.h"
#include "config/container.h"
#include "config/devices_proxy.h"
#include "engine/actions.h"
#include "engine/params.h"
#include "foundation/err.h"
#include "protocol/frame.h"
#include "support/engine_cfg.h"
#include "support/modal.h"
#include "support/sim_process.h"
#include "ui/actions_gui.h"
#include "ui/dialog_commands.h"
#include "ui/dialog_exchange.h"
#include "ui/dialog_failure.h"
#include "ui/dialog_gather_success.h"
#include "ui/dialog_mixed_result.h"
#include "ui/interface.h"
#include "ui/label_with_size.h"
#include "ui/main_window.h"
#include "ui/page_cfg.h"
#include "ui/page_start.h"
#include "ui/table_devices.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class tst_Runs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void counters_are_sized_and_coloured();
    void mixed_upload_saved_and_repeated();
    void gather_ends_in_values_list();
    void abort_asks_only_for_uploads_data();
    void abort_asks_only_for_uploads();
    void run_ending_under_the_abort_question();
    void about_and_esc_during_a_run();
    void engine_that_cannot_start_shows_only_its_error();
    void refused_before_any_run_data();
    void refused_before_any_run();
    void command_goes_to_every_device_data();
    void command_goes_to_every_device();
    void every_server_refusing_ends_all_bad();

private:
    QTemporaryDir dir;
};

static const QString text_wrong_pin = QStringLiteral("Устройство отвергло указанный PIN-код.");
static const QString text_not_linked = QStringLiteral("Нет связи между устройством и сервером.");
static const QString text_crc =
    QStringLiteral("На закачку файла устройство ответило: «ошибка контрольной суммы».");
static const QString text_interrupted =
    QStringLiteral("Работа с устройством прервана пользователем.");
static const QString text_cancelled =
    QStringLiteral("Работа с устройством отменена пользователем.");

static void set_firmware(int size) {
    firmware = QByteArray(size, 'z');
    for (int i = 0; i < size; ++i)
        firmware[i] = char(i * 7);
    firmware_sum = calculate_crc32(firmware.constData(), size_t(firmware.size()));
}

static QString label_text(QWidget* w, const char* name) {
    auto* label = w->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

// The six counters as the exchange window shows them.
static QStringList counters(QWidget* exchange) {
    QStringList out;
    for (const char* name : {"value_connecting", "value_connected", "value_linked",
                             "value_authorized", "value_success", "value_failure"})
        out << label_text(exchange, name);
    return out;
}

// Lets the run go on until the label shows at least the value (the window may skip numbers
// between two refreshes); false after ms.
static bool wait_count(QWidget* w, const char* name, int value, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (label_text(w, name).toInt() < value && t.elapsed() < ms)
        QTest::qWait(5);
    return label_text(w, name).toInt() >= value;
}

static QPushButton* button(QWidget* w, const char* name) {
    return w->findChild<QPushButton*>(QString::fromLatin1(name));
}

// The cells of a table model, row by row, tab-separated.
static QStringList rows_of(const QAbstractItemModel* m) {
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells << m->index(r, c).data().toString();
        out << cells.join('\t');
    }
    return out;
}

void tst_Runs::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
}

void tst_Runs::counters_are_sized_and_coloured() {
    QString cfg = cfg_server("127.0.0.1", 1, cfg_devices(350000000000000ULL, 5000));
    QVERIFY(load_cfg(cfg));
    simultaneously = 100;
    // Nothing listens on port 1: the run ends quickly with every device failed.
    reconnect_delay = 1;
    Action_cmd action(1, name_RESTART.tr());
    Dialog_exchange ex(nullptr, action);
    QCOMPARE(ex.windowTitle(), QStringLiteral("Передаётся команда «рестарт устройства»"));
    QCOMPARE(label_text(&ex, "value_devices"), QStringLiteral("5000"));
    const QColor colours[6] = {QColor(0, 0, 128), QColor(0, 0, 128), QColor(0, 64, 64),
                               QColor(0, 64, 64), QColor(0, 128, 0), QColor(128, 0, 0)};
    for (int i = 0; i < 6; ++i) {
        const int digits = i < 2 ? 3 : 4;
        QCOMPARE(ex.value_labels[i]->sizeHint().width(), digits * w_dec_big);
        QCOMPARE(ex.value_labels[i]->palette().color(QPalette::WindowText), colours[i]);
    }
    Modal_script script(20000);
    QStringList shown;
    int finished_shown = -1;
    script.let_be("Dialog_exchange").then([&](QWidget* w) {
        shown = counters(w->parentWidget());
        finished_shown = static_cast<Dialog_exchange*>(w->parentWidget())->progress_bar->value();
        QCOMPARE(label_text(w, "label_failure"),
                 QStringLiteral("Не удалось передать команду ни на одно устройство."));
        QVERIFY(!w->findChild<QLabel*>(QStringLiteral("label_success")));
        // The run is over: nothing left to abort under the result window.
        QVERIFY(!button(w->parentWidget(), "btn_abort")->isEnabled());
        w->close(); // no success: nothing to lose, no question
    });
    ex.exec();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(shown, (QStringList{"0", "0", "0", "0", "0", "5000"}));
    QCOMPARE(finished_shown, 5000);
}

static bool write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Five devices on the first server fail in different ways or succeed, the second server's
// only device succeeds, the third's fails: the failure list holds four devices of two
// servers. All of it through the buttons a user presses: open the file, upload, save the
// failures, close, open the saved list and upload again to the mended fleet.
void tst_Runs::mixed_upload_saved_and_repeated() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\ndefault pin=1234\n"
                       "device 350000000000001\n"
                       "device 350000000000002 pin=9999\n"
                       "device 350000000000003 link=2\n"
                       "device 350000000000004 upload=4\n"
                       "device 350000000000005\n"
                       "port 0\ndefault pin=1234\ndevice 350000000000006\n"
                       "port 0\ndefault pin=1234\ndevice 350000000000007 link=2\n"),
             qPrintable(sim.error()));
    const QString cfg = "simultaneously = 3\n" +
                        cfg_server("127.0.0.1", sim.port(0), cfg_devices(350000000000001ULL, 5)) +
                        cfg_server("127.0.0.1", sim.port(1), cfg_devices(350000000000006ULL, 1)) +
                        cfg_server("127.0.0.1", sim.port(2), cfg_devices(350000000000007ULL, 1));
    const QString cfg_path = dir.filePath(QStringLiteral("fleet.zelmo_upload"));
    QVERIFY(write_file(cfg_path, cfg.toUtf8()));
    set_firmware(5000);
    const QString fw_path = dir.filePath(QStringLiteral("new.fwz"));
    QVERIFY(write_file(fw_path, firmware));
    const uint32_t sum = firmware_sum;
    firmware.clear();
    const QString saved = dir.filePath(QStringLiteral("failed.zelmo_upload"));

    Main_window window;
    window.show();
    Modal_script opening;
    opening.choose_file(cfg_path);
    window.page_start->btn_load->click();
    QVERIFY2(opening.all_answered(), qPrintable(opening.unexpected.join('\n')));
    QCOMPARE(configuration.devices.count, 7u);

    Modal_script script(20000);
    script.let_be("Dialog_exchange");
    QStringList shown;
    QStringList failure_rows;
    QVector<QColor> failure_colours;
    bool saved_flag = false;
    uint32_t sum_in_run = 0;
    auto close_mixed = [](QWidget* w) { QVERIFY(click_button(w, close_caption())); };
    script.choose_file(fw_path)
        .then([&](QWidget* w) {
            sum_in_run = firmware_sum;
            shown = counters(w->parentWidget());
            QCOMPARE(w->windowTitle(), QStringLiteral("Результаты закачки прошивки"));
            QCOMPARE(label_text(w, "label_success"),
                     QStringLiteral("Прошивка успешно закачана на 3 устройств."));
            QCOMPARE(label_text(w, "label_failure"),
                     QStringLiteral("Не удалось закачать прошивку на 4 устройств."));
            QVERIFY(static_cast<Dialog_mixed_result*>(w)->unsaved_failures);
            close_mixed(w);
        })
        .press("Нет") // the drop question: the window stays
        .then([&](QWidget* w) {
            QVERIFY(qobject_cast<Dialog_mixed_result*>(w));
            button(w, "btn_show_failure")->click();
        })
        .then([&](QWidget* w) {
            auto* failure = qobject_cast<Dialog_failure*>(w);
            QVERIFY(failure);
            QCOMPARE(w->windowTitle(), QStringLiteral("Список неудачно обслуженных устройств"));
            const QAbstractItemModel* m = failure->table_devices->model();
            failure_rows = rows_of(m);
            for (int r = 0; r < m->rowCount(); ++r)
                failure_colours << m->index(r, 3).data(Qt::ForegroundRole).value<QBrush>().color();
            button(w, "btn_save")->click();
        })
        .choose_file(saved)
        .press("Продолжить") // no password: a plain file
        .then([&](QWidget* w) {
            saved_flag = static_cast<Dialog_failure*>(w)->saved;
            QVERIFY(click_button(w, close_caption()));
        })
        .then(close_mixed); // saved: no question any more
    window.page_cfg->btn_upload->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(sum_in_run, sum);
    QVERIFY2(firmware.isEmpty(), "the file is let go after the run");
    QCOMPARE(last_fw_fname, fw_path);
    QCOMPARE(shown, (QStringList{"0", "0", "5", "4", "3", "4"}));
    // Servers are numbered in their table's order, which is by port.
    const bool first_before_third = sim.port(0) < sim.port(2);
    const QString a = first_before_third ? "1" : "2", c = first_before_third ? "2" : "1";
    QStringList expected{a + "\t350000000000002\t\t" + text_wrong_pin + "\tPIN-код не подошёл",
                         a + "\t350000000000003\t\t" + text_not_linked + "\tустройство не на связи",
                         a + "\t350000000000004\t\t" + text_crc + "\tотказ устройства",
                         c + "\t350000000000007\t\t" + text_not_linked +
                             "\tустройство не на связи"};
    if (!first_before_third)
        expected.move(3, 0);
    QCOMPARE(failure_rows, expected);
    QCOMPARE(failure_colours, QVector<QColor>(4, QColor(128, 0, 0)));
    QVERIFY(saved_flag);
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("uploads"), 4);

    // The written list is a configuration of just the failed devices and their servers,
    // without the error texts.
    QByteArray bytes;
    QVERIFY(read_config_file_if(saved, QString(), bytes));
    QVERIFY(!QString::fromUtf8(bytes).contains(text_crc));
    window.page_cfg->btn_close->click();
    Modal_script reopening;
    reopening.choose_file(saved);
    window.page_start->btn_load->click();
    QVERIFY2(reopening.all_answered(), qPrintable(reopening.unexpected.join('\n')));
    QCOMPARE(configuration.servers.count, 2);
    QCOMPARE(configuration.servers.rows[0].server->port, std::min(sim.port(0), sim.port(2)));
    QCOMPARE(configuration.servers.rows[1].server->port, std::max(sim.port(0), sim.port(2)));
    QVector<quint64> imeis;
    for (const Device_result& d : device_results())
        imeis << d.imei;
    std::sort(imeis.begin(), imeis.end());
    QCOMPARE(imeis, (QVector<quint64>{350000000000002ULL, 350000000000003ULL, 350000000000004ULL,
                                      350000000000007ULL}));

    // Mended, on the same ports, the repeated run ends with the all good box.
    Sim_process mended;
    QVERIFY2(mended.start("port 0\ndefault pin=1234\nrange 350000000000001 5\n"
                          "port 0\ndefault pin=1234\ndevice 350000000000007\n",
                          {QStringLiteral("--ports"),
                           QStringLiteral("%1,%2").arg(sim.port(0)).arg(sim.port(2))}),
             qPrintable(mended.error()));
    Modal_script again(20000);
    again.let_be("Dialog_exchange").choose_file(fw_path).press(close_caption());
    window.page_cfg->btn_upload->click();
    QVERIFY2(again.all_answered(), qPrintable(again.unexpected.join('\n')));
    QCOMPARE(again.seen.size(), 2);
    QCOMPARE(again.seen[1].kind, QStringLiteral("QMessageBox"));
    QCOMPARE(again.seen[1].title, QStringLiteral("Результаты закачки прошивки"));
    QCOMPARE(again.seen[1].text, QStringLiteral("Прошивка успешно закачана на все устройства."));
    QVERIFY(mended.stop());
    QCOMPARE(mended.counter("uploads"), 4);
    window.page_cfg->modified = false;
}

void tst_Runs::gather_ends_in_values_list() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\ndefault pin=1234\n"
                       "device 350000000000001 p2=\"FW 2.1\" p3=\"M 7\" p4=\"G 3\"\n"
                       "device 350000000000002\n"),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ULL, 2))));
    Page_cfg page(nullptr);
    page.create_contents(false);
    Modal_script script(20000);
    QStringList headers, rows, filtered;
    QColor colour;
    script.let_be("Dialog_exchange").then([&](QWidget* w) {
        auto* values = qobject_cast<Dialog_gather_success*>(w);
        QVERIFY(values);
        QCOMPARE(w->windowTitle(), QStringLiteral("Собранная с устройств информация"));
        const QAbstractItemModel* m = values->table_devices->model();
        for (int c = 0; c < m->columnCount(); ++c)
            headers << m->headerData(c, Qt::Horizontal).toString();
        rows = rows_of(m);
        colour = m->index(0, 2).data(Qt::ForegroundRole).value<QBrush>().color();
        // "Комментарий" filters the notes column, which comes after the parameters.
        values->filter_field->setCurrentIndex(2);
        QTest::keyClicks(values->filter_text, "FW");
        filtered = rows_of(m);
        QVERIFY(click_button(w, close_caption()));
    });
    page.btn_gather->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(headers,
             (QStringList{"Сервер", "IMEI", "Версия основной прошивки", "Версия прошивки модема",
                          "Версия прошивки навигационного приёмника", "Комментарий"}));
    QCOMPARE(rows, (QStringList{"1\t350000000000001\tFW 2.1\tM 7\tG 3\t",
                                "1\t350000000000002\tFW 1.0.0\tMODEM 1.0\tGNSS 1.0\t"}));
    QCOMPARE(colour, QColor(64, 0, 128));
    QCOMPARE(filtered, QStringList());
    QVERIFY(sim.stop());
}

void tst_Runs::abort_asks_only_for_uploads_data() {
    QTest::addColumn<bool>("upload");
    QTest::newRow("upload: asks, «Нет» goes on, «Да» stops") << true;
    QTest::newRow("command: stops without asking") << false;
}

// Every answer is held back long enough that the abort finds all devices unfinished.
void tst_Runs::abort_asks_only_for_uploads() {
    QFETCH(bool, upload);
    Sim_process sim;
    QVERIFY2(sim.start("port 0\ndefault pin=1234 upload_delay=20000 cmd_delay=20000\nrange "
                       "350000000000001 4\n"),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ULL, 4))));
    simultaneously = 2;
    set_firmware(100);
    Action_upload_firmware upload_action;
    Action_cmd cmd_action(1, name_RESTART.tr());
    const Action& action = upload ? static_cast<const Action&>(upload_action) : cmd_action;
    Modal_script script(20000);
    QStringList failure_rows;
    QString question;
    auto press_abort = [](QWidget* w) {
        QVERIFY(wait_count(w, "value_authorized", 2));
        button(w, "btn_abort")->click();
    };
    script.let_be("Dialog_exchange").on("Dialog_exchange", press_abort);
    if (upload)
        script.press("Нет").on("Dialog_exchange", press_abort).press("Да");
    script
        .then([&](QWidget* w) {
            QCOMPARE(label_text(w, "label_failure"),
                     upload ? QStringLiteral("Не удалось закачать прошивку ни на одно устройство.")
                            : QStringLiteral("Не удалось передать команду ни на одно устройство."));
            button(w, "btn_show_failure")->click();
        })
        .then([&](QWidget* w) {
            failure_rows = rows_of(static_cast<Dialog_failure*>(w)->table_devices->model());
            w->close();
        })
        .then([](QWidget* w) { w->close(); });
    Dialog_exchange(nullptr, action).exec();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    if (upload) {
        for (int i : {1, 3}) {
            QCOMPARE(script.seen[i].text, upload_action.abort_question->caption());
            QCOMPARE(script.seen[i].buttons, (QStringList{"Да", "Нет"}));
        }
    } else {
        QCOMPARE(script.seen[1].kind, QStringLiteral("Dialog_mixed_result"));
    }
    // The two devices in service are interrupted, the two still waiting are cancelled.
    const QString unserved = QStringLiteral("\tне обслужено");
    QCOMPARE(failure_rows, (QStringList{"1\t350000000000001\t\t" + text_interrupted + unserved,
                                        "1\t350000000000002\t\t" + text_interrupted + unserved,
                                        "1\t350000000000003\t\t" + text_cancelled + unserved,
                                        "1\t350000000000004\t\t" + text_cancelled + unserved}));
    QVERIFY(sim.stop());
    firmware.clear();
}

// The run ends while the abort question is open: its result waits for the answer and then
// stands, even after «Да».
void tst_Runs::run_ending_under_the_abort_question() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\ndefault pin=1234 upload_delay=300\nrange 350000000000001 2\n"),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ULL, 2))));
    set_firmware(100);
    Action_upload_firmware action;
    Modal_script script(20000);
    bool covered = true;
    script.let_be("Dialog_exchange")
        .on("Dialog_exchange", [](QWidget* w) { button(w, "btn_abort")->click(); })
        .then([&](QWidget* w) {
            QTest::qWait(1500); // the run ends meanwhile
            covered = QApplication::activeModalWidget() != w;
            QVERIFY(click_button(w, "Да"));
        })
        .press(close_caption());
    Dialog_exchange(nullptr, action).exec();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY2(!covered, "a result window opened over the question");
    QCOMPARE(script.seen.last().text,
             QStringLiteral("Прошивка успешно закачана на все устройства."));
    QVERIFY(sim.stop());
    firmware.clear();
}

// The About box, opened by F1 or its button, does not pause the run; Esc does nothing.
void tst_Runs::about_and_esc_during_a_run() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\ndefault pin=1234 cmd_delay=20\nrange 350000000000001 60\n"),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ULL, 60))));
    simultaneously = 1;
    Action_cmd action(1, name_RESTART.tr());
    Modal_script script(20000);
    QPointer<QWidget> exchange;
    QString before, during;
    bool open_after_esc = false;
    script.let_be("Dialog_exchange")
        .on("Dialog_exchange",
            [&](QWidget* w) {
                exchange = w;
                QVERIFY(wait_count(w, "value_success", 2));
                QWidget* focus = w->focusWidget() ? w->focusWidget() : w;
                QTest::keyClick(focus, Qt::Key_Escape);
                QTest::keyClick(w, Qt::Key_Escape);
                QTest::qWait(50);
                open_after_esc = w->isVisible() && QApplication::activeModalWidget() == w;
                before = label_text(w, "value_success");
                QTest::keyClick(w, Qt::Key_F1);
            })
        .then([&](QWidget* w) {
            QCOMPARE(w->metaObject()->className(), "Dialog_about");
            QTest::qWait(300);
            during = label_text(exchange, "value_success");
            w->close();
        })
        .press(close_caption());
    Dialog_exchange(nullptr, action).exec();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY(open_after_esc);
    QVERIFY2(during.toInt() > before.toInt(), qPrintable(before + " -> " + during));
    QCOMPARE(script.seen.last().text, QStringLiteral("Команда успешно передана всем устройствам."));
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("cmds"), 60);
}

// A run that cannot be made at all (here: no server, which the page never lets happen)
// shows the engine's error and no result window.
void tst_Runs::engine_that_cannot_start_shows_only_its_error() {
    clear_cfg();
    Action_cmd action(1, name_RESTART.tr());
    Modal_script script(20000);
    script.let_be("Dialog_exchange").press(close_caption());
    Dialog_exchange(nullptr, action).exec();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(script.seen[0].kind, QStringLiteral("QMessageBox"));
    QCOMPARE(script.seen[0].text, debug_errtext(0x0A01));
}

// Servers that refuse every connection fail their devices with the connection's reason;
// that is a result (all bad), not an engine error.
void tst_Runs::every_server_refusing_ends_all_bad() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0 refuse=all\nrange 350000000000001 3\n"
                       "port 0 refuse=all\nrange 350000000000004 2\n"),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(0), cfg_devices(350000000000001ULL, 3)) +
                     cfg_server("127.0.0.1", sim.port(1), cfg_devices(350000000000004ULL, 2))));
    reconnect_delay = 1;
    set_firmware(10);
    Modal_script script(20000);
    QStringList rows;
    script.let_be("Dialog_exchange")
        .then([&](QWidget* w) {
            QCOMPARE(label_text(w, "label_failure"),
                     QStringLiteral("Не удалось закачать прошивку ни на одно устройство."));
            button(w, "btn_show_failure")->click();
        })
        .then([&](QWidget* w) {
            rows = rows_of(static_cast<Dialog_failure*>(w)->table_devices->model());
            w->close();
        })
        .then([](QWidget* w) { w->close(); });
    perform_upload_firmware(nullptr);
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(rows.size(), 5);
    for (const QString& row : rows)
        QVERIFY2(row.section('\t', 3).length() > 10, qPrintable(row));
    QVERIFY(sim.stop());
    firmware.clear();
}

void tst_Runs::command_goes_to_every_device_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("asks");
    QTest::newRow("restart") << "btn_restart" << 1 << false;
    QTest::newRow("factory reset asks") << "btn_factory" << 5 << true;
    QTest::newRow("black box clearing asks") << "btn_dropbbox" << 6 << true;
    QTest::newRow("GNSS cold start") << "btn_cleargnss" << 59 << false;
}

// With the page's filter showing one device of three, the command still goes to all three,
// after the filter warning; a destructive command sends nothing until «Да».
void tst_Runs::command_goes_to_every_device() {
    QFETCH(QString, button);
    QFETCH(int, code);
    QFETCH(bool, asks);
    Sim_process sim;
    QVERIFY2(sim.start("port 0\ndefault pin=1234\nrange 350000000000001 3\n"),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ULL, 3))));
    Page_cfg page(nullptr);
    page.create_contents(false);
    QTest::keyClicks(page.devices_filter, "002");
    const QString warning = QStringLiteral(
        "Вы установили фильтр, через который проходят только 1 из 3 устройств. Этот фильтр "
        "никак не влияет на взаимодействие с устройствами - заказанная вами операция будет "
        "выполнена со всеми устройствами, входящими в основную конфигурацию. Продолжить?");
    auto press_command = [&](QWidget* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("Команды"));
        QPushButton* b = w->findChild<QPushButton*>(button);
        QVERIFY(b);
        b->click();
    };
    int connections_after_no = -1;
    Modal_script script(20000);
    script.let_be("Dialog_exchange").then(press_command);
    if (asks) {
        script.press("Да").press("Нет").then([&](QWidget* w) {
            connections_after_no = sim.record_of("open").size();
            press_command(w);
        });
    }
    script.press("Да");
    if (asks)
        script.press("Да");
    script.press(close_caption()).press(close_caption());
    page.btn_commands->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen[1].text, warning);
    if (asks) {
        QCOMPARE(connections_after_no, 0);
        QVERIFY(script.seen[2].text.startsWith(QStringLiteral("Вы уверены, что хотите")));
        QCOMPARE(script.seen[2].buttons, (QStringList{"Да", "Нет"}));
    }
    QCOMPARE(script.seen[script.seen.size() - 2].text,
             QStringLiteral("Команда успешно передана всем устройствам."));
    QVERIFY(sim.wait_record("CMD", 3));
    const QStringList cmds = sim.record_of("CMD");
    for (const QString& line : cmds)
        QVERIFY2(line.contains(QStringLiteral(" code=%1 ").arg(code)), qPrintable(line));
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("cmds"), 3);
}

void tst_Runs::refused_before_any_run_data() {
    QTest::addColumn<int>("run"); // 0 upload, 1 gather, 2 commands
    QTest::addColumn<int>("devices");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("other_name");  // empty: the purpose stays "прошивка"
    QTest::addColumn<QStringList>("answers"); // "Нет", "Закрыть", "cancel", "big"
    QTest::addColumn<QStringList>("kinds");   // the windows seen
    QTest::addColumn<QString>("text");        // the last box's text starts with it

    const QStringList box{"QMessageBox"};
    QTest::newRow("upload without devices")
        << 0 << 0 << ""
        << "" << QStringList{"Закрыть"} << box
        << "Некуда закачивать: в текущей конфигурации нет ни одного устройства.";
    QTest::newRow("gather without devices")
        << 1 << 0 << ""
        << "" << QStringList{"Закрыть"} << box
        << "Неоткуда запрашивать: в текущей конфигурации нет ни одного устройства.";
    QTest::newRow("commands without devices")
        << 2 << 0 << ""
        << "" << QStringList{"Закрыть"} << box
        << "Некому отправлять команду: в текущей конфигурации нет ни одного устройства.";
    QTest::newRow("upload with a filter, «Нет»")
        << 0 << 2 << "001"
        << "" << QStringList{"Нет"} << box
        << "Вы установили фильтр, через который проходят только 1 из 2 устройств.";
    QTest::newRow("gather with a filter, «Нет»")
        << 1 << 2 << "001"
        << "" << QStringList{"Нет"} << box
        << "Вы установили фильтр, через который проходят только 1 из 2 устройств.";
    QTest::newRow("device file name in Cyrillic")
        << 0 << 2 << ""
        << "ПРОШИВКА" << QStringList{"Закрыть"} << box << "";
    QTest::newRow("file dialog cancelled")
        << 0 << 2 << ""
        << "" << QStringList{"cancel"} << QStringList{"QFileDialog"} << "";
    QTest::newRow("file too large to upload")
        << 0 << 2 << ""
        << "" << QStringList{"big", "Закрыть"} << QStringList{"QFileDialog", "QMessageBox"} << "";
}

// Nothing is sent, no exchange window opens and the file is not kept.
void tst_Runs::refused_before_any_run() {
    QFETCH(int, run);
    QFETCH(int, devices);
    QFETCH(QString, filter);
    QFETCH(QString, other_name);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, kinds);
    QFETCH(QString, text);
    QVERIFY(load_cfg(cfg_server("127.0.0.1", 1, cfg_devices(350000000000001ULL, devices))));
    Page_cfg page(nullptr);
    page.create_contents(false);
    if (!filter.isEmpty())
        QTest::keyClicks(page.devices_filter, filter);
    if (!other_name.isEmpty()) {
        page.cbox_devfname->setCurrentIndex(2);
        page.ebox_devfname->setText(other_name);
    }
    const QString big = dir.filePath(QStringLiteral("big.fwz"));
    {
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(max_file_size + 1));
    }
    last_fw_fname = QStringLiteral("/nowhere/old.fwz");
    Modal_script script;
    for (const QString& a : answers) {
        if (a == "cancel")
            script.cancel();
        else if (a == "big")
            script.choose_file(big);
        else
            script.press(a);
    }
    (run == 0 ? page.btn_upload : run == 1 ? page.btn_gather : page.btn_commands)->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QStringList seen;
    for (const Modal_script::Seen& w : script.seen)
        seen << w.kind;
    QCOMPARE(seen, kinds);
    QVERIFY2(text.isEmpty() || script.seen.last().text.startsWith(text),
             qPrintable(script.seen.last().text));
    QVERIFY(firmware.isEmpty());
    QCOMPARE(last_fw_fname, answers.contains("big") ? big : QStringLiteral("/nowhere/old.fwz"));
    QFile::remove(big);
}

QTEST_MAIN(tst_Runs)
#include "tst_runs.moc"
