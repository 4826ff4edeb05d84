// The configuration page as a user drives it: the limits and their messages, deleting with
// its questions, the device file name on save, the filter and the purpose box.
#include "config/config.h"
#include "config/container.h"
#include "config/dialog_encrypt.h"
#include "foundation/err.h"
#include "support/dialog_input.h"
#include "support/modal.h"
#include "ui/dialog_add_device.h"
#include "ui/dialog_add_server.h"
#include "ui/dialog_edit_server.h"
#include "ui/page_cfg.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <cstring>

static const QString yes = QStringLiteral("Да");
static const QString no = QStringLiteral("Нет");
static const QString close_box = QStringLiteral("Закрыть");

// Plain text, no password.
static void no_password(QWidget* w) {
    auto* d = qobject_cast<Dialog_encrypt*>(w);
    QVERIFY(d);
    d->accept();
}

// Servers "a0".."aN" on port 1 and `devices` devices on the first of them, built directly:
// the limits are far beyond what a dialog would add in a test.
static void fill(unsigned servers, unsigned devices) {
    auto* server_rows = new Server_row[servers];
    for (unsigned i = 0; i < servers; ++i) {
        auto* s = new Server;
        s->address = QStringLiteral("a%1").arg(i, 4, 10, QLatin1Char('0'));
        s->port = 1;
        server_rows[i] = {s, QString()};
    }
    auto* device_rows = new Device_row[devices];
    for (unsigned i = 0; i < devices; ++i) {
        auto* d = new Device;
        d->imei = 100000000000000ULL + i;
        device_rows[i] = {d, 0};
    }
    configuration.set(server_rows, (unsigned short)servers, device_rows, devices);
}

static void select_row(QAbstractItemView* view, int row) {
    view->setCurrentIndex(view->model()->index(row, 0));
}

class tst_Page_cfg : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void init() { clear_cfg(); }
    void cleanup() { clear_cfg(); }

    void server_limit_data();
    void server_limit();
    void device_limits_data();
    void device_limits();
    void delete_server_data();
    void delete_server();
    void delete_device_asks_with_padded_imei();
    void devfname_on_save_data();
    void devfname_on_save();
    void purpose_box_marks_modified();
    void filter_shows_matching_devices_data();
    void filter_shows_matching_devices();
    void filtered_save_writes_shown_and_stays_modified();
};

void tst_Page_cfg::server_limit_data() {
    QTest::addColumn<unsigned>("existing");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("999th server allowed") << 998u << true;
    QTest::newRow("1000th server refused") << 999u << false;
}

void tst_Page_cfg::server_limit() {
    QFETCH(unsigned, existing);
    QFETCH(bool, allowed);
    fill(existing, 0);
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    Modal_script script;
    if (allowed)
        script.then([](QWidget* w) {
            auto* d = qobject_cast<Dialog_add_server*>(w);
            QVERIFY(d);
            d->ebox_address->setText(QStringLiteral("новый"));
            d->ebox_port->setText(QStringLiteral("7"));
            d->btn_ok->click();
        });
    else
        script.press(close_box);
    page.btn_add_server->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(unsigned(configuration.servers.count), allowed ? existing + 1 : existing);
    QCOMPARE(page.is_modified(), allowed);
    if (!allowed)
        QCOMPARE(script.seen[0].text,
                 QStringLiteral("В конфигурации не может быть более 999 серверов."));
    QCOMPARE(page.table_servers->model()->rowCount(), int(configuration.servers.count));
}

void tst_Page_cfg::device_limits_data() {
    QTest::addColumn<unsigned>("servers");
    QTest::addColumn<unsigned>("devices");
    QTest::addColumn<QString>("message"); // empty: the dialog opens
    QTest::newRow("no server") << 0u << 0u
                               << QStringLiteral(
                                      "Прежде чем добавлять устройство, надо добавить в "
                                      "конфигурацию сервер, через который будет осуществляться "
                                      "доступ к этому устройству.");
    QTest::newRow("999999 devices")
        << 1u << 999999u
        << QStringLiteral("Невозможно добавить устройство: в текущей "
                          "конфигурации уже есть 999999 устройств, и это "
                          "является предельным количеством устройств в "
                          "конфигурации.");
    QTest::newRow("999998 devices: the dialog opens") << 1u << 999998u << QString();
}

void tst_Page_cfg::device_limits() {
    QFETCH(unsigned, servers);
    QFETCH(unsigned, devices);
    QFETCH(QString, message);
    fill(servers, devices);
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    QCOMPARE(page.table_devices->model()->rowCount(), int(devices));
    Modal_script script;
    if (message.isEmpty())
        script.then([](QWidget* w) {
            QVERIFY(qobject_cast<Dialog_add_device*>(w));
            static_cast<QDialog*>(w)->reject();
        });
    else
        script.press(close_box);
    page.btn_add_device->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    if (!message.isEmpty())
        QCOMPARE(script.seen[0].text, message);
    QCOMPARE(configuration.devices.count, devices);
    QVERIFY(!page.is_modified());
}

void tst_Page_cfg::delete_server_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("answer"); // empty: refused with a message
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("server with devices is kept")
        << 0 << QString()
        << QStringLiteral("Через указанный вами сервер в текущей конфигурации подключено 2 "
                          "устройств. Прежде, чем удалять сервер, надо удалить все "
                          "подключенные через него устройства.")
        << false;
    const QString question =
        QStringLiteral("Удалить сервер №2 с адресом «a0001» и портом 1 из списка серверов?");
    QTest::newRow("empty server, no") << 1 << no << question << false;
    QTest::newRow("empty server, yes") << 1 << yes << question << true;
}

void tst_Page_cfg::delete_server() {
    QFETCH(int, row);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    QFETCH(bool, deleted);
    fill(2, 2);
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    select_row(page.table_servers, row);
    Modal_script script;
    script.press(answer.isEmpty() ? close_box : answer);
    page.btn_delete_server->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen[0].text, message);
    QCOMPARE(int(configuration.servers.count), deleted ? 1 : 2);
    QCOMPARE(configuration.devices.count, 2u);
    QCOMPARE(page.table_servers->model()->rowCount(), int(configuration.servers.count));
    QCOMPARE(page.is_modified(), deleted);
}

void tst_Page_cfg::delete_device_asks_with_padded_imei() {
    configuration.add_server({QStringLiteral("хост"), 7001}, QString());
    const char pin[pin_size] = {};
    configuration.add_device({1, 0}, pin, QString());
    configuration.add_device({2, 0}, pin, QString());
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    Modal_script script;
    // Nothing selected: the message says what to do first.
    script.press(close_box);
    page.btn_delete_device->click();
    select_row(page.table_devices, 0);
    script.press(no).press(yes);
    page.btn_delete_device->click();
    QCOMPARE(configuration.devices.count, 2u);
    QVERIFY(!page.is_modified());
    page.btn_delete_device->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY(script.seen[0].text.startsWith(QStringLiteral("Прежде, чем нажимать эту кнопку")));
    QCOMPARE(script.seen[1].text,
             QStringLiteral("Удалить устройство с IMEI=000000000000001 из списка устройств, "
                            "подключенных через сервер с адресом «хост» и номером порта 7001?"));
    QCOMPARE(configuration.devices.count, 1u);
    QCOMPARE(configuration.devices.rows[0].device->imei, 2ull);
    QVERIFY(page.is_modified());
}

void tst_Page_cfg::devfname_on_save_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("error");       // part of the message; empty: saved
    QTest::addColumn<QByteArray>("expected"); // devfname after the save
    QTest::newRow("cyrillic refused")
        << QStringLiteral("ПРОШИВКА") << QStringLiteral("printable ASCII")
        << QByteArray("FIRMWARE");
    QTest::newRow("10 characters")
        << QStringLiteral("ABCDEFGHIJ") << QString() << QByteArray("ABCDEFGHIJ");
    QTest::newRow("11th character not taken")
        << QStringLiteral("ABCDEFGHIJK") << QString() << QByteArray("ABCDEFGHIJ");
    QTest::newRow("empty accepted") << QString() << QString() << QByteArray();
}

void tst_Page_cfg::devfname_on_save() {
    QFETCH(QString, typed);
    QFETCH(QString, error);
    QFETCH(QByteArray, expected);
    configuration.add_server({QStringLiteral("хост"), 1}, QString());
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    page.cbox_devfname->setCurrentIndex(2);
    QCOMPARE(page.stack_devfname_ebox->currentWidget(), static_cast<QWidget*>(page.ebox_devfname));
    QCOMPARE(page.btn_upload->text(), QStringLiteral("Закачать файл"));
    page.ebox_devfname->clear();
    page.ebox_devfname->setFocus();
    type_text(page.ebox_devfname, typed);
    const QString path =
        dir.filePath(QStringLiteral("имя %1.zelmo_upload").arg(QTest::currentDataTag()));
    Modal_script script;
    if (error.isEmpty())
        script.choose_file(path).then(no_password);
    else
        script.press(close_box);
    page.btn_save->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(QByteArray(devfname), expected);
    QCOMPARE(devfname[devfname_max], '\0');
    if (!error.isEmpty()) {
        QVERIFY2(script.seen[0].text.contains(error), qPrintable(script.seen[0].text));
        QVERIFY(page.is_modified());
        QVERIFY(!QFile::exists(path));
        return;
    }
    QVERIFY(!page.is_modified());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY2(text.contains("devfname = \"" + expected + "\"\n"), text.constData());
}

void tst_Page_cfg::purpose_box_marks_modified() {
    std::strcpy(devfname, "SETTINGS");
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    QCOMPARE(page.cbox_devfname->currentIndex(), 1);
    QCOMPARE(page.btn_upload->text(), QStringLiteral("Закачать файл настроек"));
    QVERIFY(!page.is_modified());
    page.cbox_devfname->setCurrentIndex(2);
    QCOMPARE(page.stack_devfname_label->currentIndex(), 1);
    page.cbox_devfname->setCurrentIndex(1);
    QCOMPARE(page.stack_devfname_label->currentIndex(), 0);
    QCOMPARE(page.btn_upload->text(), QStringLiteral("Закачать файл настроек"));
    QVERIFY(page.is_modified());
    // The name itself changes only when it is taken for an upload or a save.
    QCOMPARE(QByteArray(devfname), QByteArray("SETTINGS"));
    page.destroy_contents();
    QVERIFY(!page.is_modified());
    QCOMPARE(page.stack_devfname_ebox->currentIndex(), 0);
    QVERIFY(page.ebox_devfname->text().isEmpty());
}

void tst_Page_cfg::filter_shows_matching_devices_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("field");
    QTest::addColumn<QStringList>("shown"); // IMEIs
    QTest::newRow("imei anywhere")
        << QStringLiteral("0002") << 1 << QStringList{QStringLiteral("356000000000002")};
    QTest::newRow("notes ignore case")
        << QStringLiteral("СКЛАД") << 2 << QStringList{QStringLiteral("000000000000001")};
    QTest::newRow("notes text in the imei column") << QStringLiteral("склад") << 1 << QStringList{};
    QTest::newRow("all fields") << QStringLiteral("1") << 3
                                << QStringList{QStringLiteral("000000000000001"),
                                               QStringLiteral("356000000000002")};
}

void tst_Page_cfg::filter_shows_matching_devices() {
    QFETCH(QString, text);
    QFETCH(int, field);
    QFETCH(QStringList, shown);
    configuration.add_server({QStringLiteral("хост"), 1}, QString());
    const char pin[pin_size] = {};
    configuration.add_device({1, 0}, pin, QStringLiteral("на складе"));
    configuration.add_device({356000000000002ULL, 0}, pin, QStringLiteral("в машине"));
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    QCOMPARE(page.cbox_filter_field->currentText(), QStringLiteral("все поля"));
    page.cbox_filter_field->setCurrentIndex(field);
    page.devices_filter->setFocus();
    type_text(page.devices_filter, text);
    QAbstractItemModel* model = page.table_devices->model();
    QStringList seen;
    for (int r = 0; r < model->rowCount(); ++r)
        seen << model->index(r, 1).data().toString();
    QCOMPARE(seen, shown);
    QVERIFY(!page.is_modified());
}

void tst_Page_cfg::filtered_save_writes_shown_and_stays_modified() {
    configuration.add_server({QStringLiteral("первый"), 1}, QString());
    configuration.add_server({QStringLiteral("второй"), 2}, QString());
    const char pin[pin_size] = {};
    configuration.add_device({111, 0}, pin, QString());
    configuration.add_device({222, 1}, pin, QString());
    Page_cfg page(nullptr);
    page.create_contents(true);
    page.show();
    type_text(page.devices_filter, QStringLiteral("111"));
    const QString path = dir.filePath(QStringLiteral("часть.zelmo_upload"));
    Modal_script script;
    script.press(yes).choose_file(path).then(no_password);
    page.btn_save->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY(script.seen[0].text.contains(QStringLiteral("только 1 из 2 устройств")));
    QVERIFY(page.is_modified());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY(text.contains(QStringLiteral("imei 000000000000111")));
    QVERIFY(!text.contains(QStringLiteral("imei 000000000000222")));
    QVERIFY(text.contains(QStringLiteral("второй")));
}

QTEST_MAIN(tst_Page_cfg)
#include "tst_page_cfg.moc"
