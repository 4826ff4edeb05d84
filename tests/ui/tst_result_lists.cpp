// The result windows over results set by hand in the configuration's devices (a run only
// ever leaves its results there): what each list shows and filters, what writing it leaves
// in the file and in the saved flag, and how the windows close.
#include "config/config.h"
#include "config/container.h"
#include "config/devices_proxy.h"
#include "engine/actions.h"
#include "engine/params.h"
#include "foundation/err.h"
#include "support/engine_cfg.h"
#include "support/modal.h"
#include "ui/dialog_failure.h"
#include "ui/dialog_gather_success.h"
#include "ui/dialog_mixed_result.h"
#include "ui/dialog_success.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class tst_Result_lists : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void failure_filter_data();
    void failure_filter();
    void failure_saved_only_when_whole_data();
    void failure_saved_only_when_whole();
    void success_list_and_its_empty_file();
    void gather_notes_item_is_the_notes_column();
    void mixed_result_lines_and_closing_data();
    void mixed_result_lines_and_closing();
    void keys_in_the_lists_data();
    void keys_in_the_lists();

private:
    QTemporaryDir dir;
};

void tst_Result_lists::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
}

// Two servers: devices ...861201 (ok), ...000002 (failed, notes "8612 roof"),
// ...000003 (failed, error text naming 8612) on the first; ...861204 (failed) on the second.
void tst_Result_lists::init() {
    QVERIFY(load_cfg("server(address \"10.0.0.1\", port 7000)\n{\n"
                     " device(imei 350000000861201, pin \"1\")\n"
                     " device(imei 350000000000002, pin \"2\", notes \"8612 roof\")\n"
                     " device(imei 350000000000003, pin \"3\")\n}\n"
                     "server(address \"10.0.0.2\", port 7000)\n{\n"
                     " device(imei 350000000861204, pin \"4\")\n}\n"));
    for (unsigned i = 0; i < configuration.devices.count; ++i) {
        Device* d = configuration.devices.rows[i].device;
        d->run_flags = d->imei == 350000000861201ULL ? Device::succeeded : 0;
        d->error_text = d->imei == 350000000000002ULL ? "Нет связи между устройством и сервером."
                        : d->imei == 350000000000003ULL ? "Ответ 8612 не понят."
                        : d->imei == 350000000861204ULL ? "Устройство отвергло указанный PIN-код."
                                                        : "";
    }
}

static QStringList imeis_shown(const Table_devices* t) {
    QStringList out;
    for (int r = 0; r < t->model()->rowCount(); ++r)
        out << t->model()->index(r, 1).data().toString();
    return out;
}

void tst_Result_lists::failure_filter_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("IMEI") << 1 << QStringList{"350000000861204"};
    QTest::newRow("notes") << 2 << QStringList{"350000000000002"};
    QTest::newRow("error message") << 3 << QStringList{"350000000000003"};
    QTest::newRow("all fields") << 5
                                << QStringList{"350000000000002", "350000000000003",
                                               "350000000861204"};
}

void tst_Result_lists::failure_filter() {
    QFETCH(int, field);
    QFETCH(QStringList, shown);
    Collection failed;
    select_failure_with_errors(failed);
    Dialog_failure d(failed, nullptr);
    QCOMPARE(d.filter_field->currentText(), QStringLiteral("все поля"));
    QCOMPARE(d.filter_field->count(), 6);
    d.filter_field->setCurrentIndex(field);
    QTest::keyClicks(d.filter_text, "8612");
    QCOMPARE(imeis_shown(d.table_devices), shown);
}

void tst_Result_lists::failure_saved_only_when_whole_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QStringList>("written"); // IMEIs in the file
    QTest::addColumn<int>("servers");
    QTest::newRow("whole list") << "" << true
                                << QStringList{"350000000000002", "350000000000003",
                                               "350000000861204"}
                                << 2;
    QTest::newRow("filtered, agreed") << "861204" << false << QStringList{"350000000861204"} << 1;
}

void tst_Result_lists::failure_saved_only_when_whole() {
    QFETCH(QString, filter);
    QFETCH(bool, saved);
    QFETCH(QStringList, written);
    QFETCH(int, servers);
    Collection failed;
    select_failure_with_errors(failed);
    Dialog_failure d(failed, nullptr);
    QTest::keyClicks(d.filter_text, filter);
    const QString path = dir.filePath(QStringLiteral("failed.zelmo_upload"));
    QFile::remove(path);
    Modal_script script;
    if (!filter.isEmpty())
        script.press("Да");
    script.choose_file(path).press("Продолжить");
    d.findChild<QPushButton*>(QStringLiteral("btn_save"))->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(d.saved, saved);
    QByteArray bytes;
    QVERIFY(read_config_file_if(path, QString(), bytes));
    const QString text = QString::fromUtf8(bytes);
    QCOMPARE(text.count(QStringLiteral("server(")), servers);
    QCOMPARE(text.count(QStringLiteral("device(")), written.size());
    for (const QString& imei : written)
        QVERIFY2(text.contains(QString::number(imei.toULongLong())), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("PIN-код")), "no error text in the file");
}

void tst_Result_lists::success_list_and_its_empty_file() {
    {
        Dialog_success d(nullptr);
        QCOMPARE(d.windowTitle(), QStringLiteral("Список успешно обслуженных устройств"));
        QCOMPARE(imeis_shown(d.table_devices), QStringList{"350000000861201"});
        QCOMPARE(d.table_servers->model()->rowCount(), 1);
    }
    for (unsigned i = 0; i < configuration.devices.count; ++i)
        configuration.devices.rows[i].device->run_flags = 0;
    Dialog_success d(nullptr);
    QCOMPARE(d.table_devices->model()->rowCount(), 0);
    QCOMPARE(d.table_servers->model()->rowCount(), 0);
    const QString path = dir.filePath(QStringLiteral("none.zelmo_upload"));
    Modal_script script;
    script.choose_file(path).press("Продолжить");
    d.findChild<QPushButton*>(QStringLiteral("btn_save"))->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QByteArray bytes;
    QVERIFY(read_config_file_if(path, QString(), bytes));
    QVERIFY(!bytes.contains("device("));
    QVERIFY(!bytes.contains("server("));
}

// With three parameters the notes are the sixth column, not the third.
void tst_Result_lists::gather_notes_item_is_the_notes_column() {
    const std::unique_ptr<Params> params = make_version_params();
    for (unsigned i = 0; i < configuration.devices.count; ++i) {
        Device* d = configuration.devices.rows[i].device;
        d->run_flags = Device::succeeded;
        d->values = QByteArray(int(params->total_size), '\0');
    }
    Collection values;
    select_success_with_values(values, *params);
    Dialog_gather_success d(values, *params, nullptr);
    d.filter_field->setCurrentIndex(2);
    QCOMPARE(d.table_devices->proxy->filterKeyColumn(), 5);
    QTest::keyClicks(d.filter_text, "roof");
    QCOMPARE(imeis_shown(d.table_devices), QStringList{"350000000000002"});
}

void tst_Result_lists::mixed_result_lines_and_closing_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<unsigned>("s");
    QTest::addColumn<QString>("good");
    QTest::addColumn<QString>("bad");
    QTest::addColumn<bool>("asks");
    QTest::newRow("upload, some good")
        << int(Action::upload_firmware) << 5u << "Прошивка успешно закачана на 5 устройств."
        << "Не удалось закачать прошивку на 2 устройств." << true;
    QTest::newRow("upload, none good")
        << int(Action::upload_firmware) << 0u << ""
        << "Не удалось закачать прошивку ни на одно устройство." << false;
    QTest::newRow("gather never asks")
        << int(Action::gather) << 5u << "Информация успешно получена с 5 устройств."
        << "Не удалось получить информацию с 2 устройств." << false;
}

// Esc does nothing; closing asks the drop question only while some devices succeeded and
// the failures are unsaved.
void tst_Result_lists::mixed_result_lines_and_closing() {
    QFETCH(int, kind);
    QFETCH(unsigned, s);
    QFETCH(QString, good);
    QFETCH(QString, bad);
    QFETCH(bool, asks);
    const std::unique_ptr<Params> params = make_version_params();
    Action_upload_firmware upload;
    Action_gather gather(*params);
    const Action& action = kind == Action::gather ? static_cast<const Action&>(gather) : upload;
    Dialog_mixed_result d(action, s, 2, nullptr);
    auto* good_label = d.findChild<QLabel*>(QStringLiteral("label_success"));
    QCOMPARE(good_label ? good_label->text() : QString(), good);
    QCOMPARE(d.findChild<QLabel*>(QStringLiteral("label_failure"))->text(), bad);
    d.show();
    QTest::keyClick(&d, Qt::Key_Escape);
    QVERIFY(d.isVisible());
    Modal_script script;
    if (asks)
        script.press("Нет");
    d.close();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(d.isVisible(), asks);
}

void tst_Result_lists::keys_in_the_lists_data() {
    QTest::addColumn<int>("list");
    QTest::newRow("failure") << 0;
    QTest::newRow("success") << 1;
    QTest::newRow("gather") << 2;
}

// F1 opens the About box over the list; Esc closes the list.
void tst_Result_lists::keys_in_the_lists() {
    QFETCH(int, list);
    const std::unique_ptr<Params> params = make_version_params();
    Collection c;
    std::unique_ptr<QDialog> d;
    if (list == 0) {
        select_failure_with_errors(c);
        d.reset(new Dialog_failure(c, nullptr));
    } else if (list == 1) {
        d.reset(new Dialog_success(nullptr));
    } else {
        select_success_with_values(c, *params);
        d.reset(new Dialog_gather_success(c, *params, nullptr));
    }
    Modal_script script;
    auto key = [](Qt::Key k) { return [k](QWidget* w) { QTest::keyClick(w, k); }; };
    script.then(key(Qt::Key_F1)).then(key(Qt::Key_Escape)).then(key(Qt::Key_Escape));
    QCOMPARE(d->exec(), int(QDialog::Rejected));
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), 3);
    QCOMPARE(script.seen[1].kind, QStringLiteral("Dialog_about"));
}

QTEST_MAIN(tst_Result_lists)
#include "tst_result_lists.moc"
