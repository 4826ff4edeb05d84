// The add and edit device dialogs as a user drives them, and picking an IMEI from the live
// list of a running simulator through "Выбрать".
#include "config/config.h"
#include "foundation/err.h"
#include "protocol/enumerate.h"
#include "support/dialog_input.h"
#include "support/modal.h"
#include "support/sim_process.h"
#include "ui/dialog_add_device.h"
#include "ui/dialog_edit_device.h"
#include "ui/dialog_enumerated.h"
#include "ui/table_enumerated.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <cstring>

namespace {

// "server/IMEI/PIN bytes in hex/notes" for every device row.
QStringList devices_of(const Configuration& cfg) {
    QStringList out;
    for (unsigned i = 0; i < cfg.devices.count; ++i) {
        const Device_row& r = cfg.devices.rows[i];
        out << QStringLiteral("%1/%2/%3/%4")
                   .arg(r.server)
                   .arg(imei_to_str(r.device->imei))
                   .arg(QString::fromLatin1(QByteArray(r.device->pin, pin_size).toHex()))
                   .arg(r.device->notes);
    }
    return out;
}

QString pin_hex(const char* pin) {
    QByteArray b(pin);
    b.append(QByteArray(pin_size - b.size(), '\0'));
    return QString::fromLatin1(b.toHex());
}

// Two servers "a":1 and "b":2, and device 42 with PIN "1234" under the first.
void fill(Configuration& cfg) {
    cfg.add_server(Server_address{QStringLiteral("a"), 1}, QString());
    cfg.add_server(Server_address{QStringLiteral("b"), 2}, QString());
    char pin[pin_size] = {'1', '2', '3', '4'};
    cfg.add_device(Device_address{42, 0}, pin, QStringLiteral("old"));
}

const QString not_edited = QStringLiteral(
    "Ничего не изменилось.\nЕсли вы не хотите ничего менять, закройте диалог кнопкой «Отмена».");

} // namespace

class tst_Dialog_device : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void add_data();
    void add();
    void edit_shows_the_device();
    void edit_data();
    void edit();
    void fields_are_labelled_and_explained();
    void imei_picked_from_the_server_data();
    void imei_picked_from_the_server();

private:
    QTemporaryDir dir;
    QByteArray log_path;
};

void tst_Dialog_device::initTestCase() {
    QVERIFY(dir.isValid());
    log_path = QFile::encodeName(dir.filePath("dialog_device.log"));
    log_file_name = log_path.constData();
}

void tst_Dialog_device::init() {
    reset_options();
}

void tst_Dialog_device::add_data() {
    QTest::addColumn<int>("server");
    QTest::addColumn<QString>("imei"); // typed; the field keeps at most 15
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("fixed_imei"); // typed after the box ("" leaves the IMEI)
    QTest::addColumn<QString>("fixed_pin");
    QTest::addColumn<QString>("added"); // the new device's line

    const QString pin1234 = pin_hex("1234");
    QTest::newRow("accepted at once, PIN padded") << 1 << "350000000000001"
                                                  << "1234"
                                                  << ""
                                                  << ""
                                                  << ""
                                                  << "1/350000000000001/" + pin1234 + "/заметка";
    QTest::newRow("16th digit cannot be typed") << 0 << "3500000000000019"
                                                << ""
                                                << ""
                                                << ""
                                                << ""
                                                << "0/350000000000001/" + pin_hex("") + "/заметка";
    QTest::newRow("letter in the IMEI, then fixed")
        << 0 << "35000000000000O"
        << "1234"
        << "Значение параметра «IMEI» должно быть целым десятичным числом, не превышающим "
           "999999999999999."
        << "350000000000000"
        << ""
        << "0/350000000000000/" + pin1234 + "/заметка";
    QTest::newRow("empty IMEI") << 0 << ""
                                << "1234"
                                << "Не указано значение параметра «IMEI»."
                                << "7"
                                << ""
                                << "0/000000000000007/" + pin1234 + "/заметка";
    QTest::newRow("Cyrillic letter in the PIN")
        << 0 << "7"
        << "12ж4"
        << "неправильное значение параметра «PIN-код». Этот параметр должен состоять только из "
           "символов printable ASCII (латинские буквы, цифры, пробелы, а также следующие "
           "символы: !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~)."
        << ""
        << "1234"
        << "0/000000000000007/" + pin1234 + "/заметка";
    QTest::newRow("16-character PIN fills all bytes")
        << 0 << "7"
        << "!~ABCDEFGHIJKLMN"
        << ""
        << ""
        << ""
        << "0/000000000000007/" + QString::fromLatin1(QByteArray("!~ABCDEFGHIJKLMN").toHex()) +
               "/заметка";
    QTest::newRow("already under that server")
        << 0 << "000000000000042"
        << ""
        << "Устройство с IMEI=000000000000042, подключенное через сервер с адресом «a» и номером "
           "порта 1, уже есть в текущей конфигурации."
        << "43"
        << ""
        << "0/000000000000043/" + pin_hex("") + "/заметка";
}

void tst_Dialog_device::add() {
    QFETCH(int, server);
    QFETCH(QString, imei);
    QFETCH(QString, pin);
    QFETCH(QString, message);
    QFETCH(QString, fixed_imei);
    QFETCH(QString, fixed_pin);
    QFETCH(QString, added);

    Configuration cfg;
    fill(cfg);
    const QStringList before = devices_of(cfg);
    Dialog_add_device dialog(cfg, nullptr);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Добавление устройства"));
    QCOMPARE(dialog.cbox_server->count(), 2);
    QCOMPARE(dialog.cbox_server->itemText(1), QStringLiteral("2"));
    QCOMPARE(dialog.cbox_server->currentIndex(), 0);
    dialog.cbox_server->setCurrentIndex(server);
    type_text(dialog.ebox_imei, imei);
    type_text(dialog.ebox_pin, pin);
    type_text(dialog.ebox_notes, QStringLiteral("заметка"));

    QCOMPARE(click_expecting_box(dialog.btn_ok, !message.isEmpty()), message);
    if (!message.isEmpty()) {
        QVERIFY(dialog.isVisible());
        QCOMPARE(devices_of(cfg), before);
        if (!fixed_imei.isEmpty())
            retype(dialog.ebox_imei, fixed_imei);
        if (!fixed_pin.isEmpty())
            retype(dialog.ebox_pin, fixed_pin);
        QCOMPARE(click_expecting_box(dialog.btn_ok, false), QString());
    }
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QStringList after = devices_of(cfg);
    QCOMPARE(after.size(), before.size() + 1);
    QCOMPARE(after.at(dialog.row), added);
    after.removeAt(dialog.row);
    QCOMPARE(after, before);
}

void tst_Dialog_device::edit_shows_the_device() {
    Configuration cfg;
    fill(cfg);
    char full[pin_size];
    std::memcpy(full, "0123456789abcdef", pin_size);
    const unsigned row = cfg.add_device(Device_address{1, 1}, full, QStringLiteral("два\nстроки"));
    Dialog_edit_device dialog(cfg, row, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Параметры устройства"));
    QCOMPARE(dialog.btn_ok->text(), QStringLiteral("Установить"));
    QCOMPARE(dialog.cbox_server->currentIndex(), 1);
    QCOMPARE(dialog.ebox_imei->text(), QStringLiteral("000000000000001"));
    QCOMPARE(dialog.ebox_pin->text(), QStringLiteral("0123456789abcdef"));
    QCOMPARE(dialog.ebox_notes->toPlainText(), QStringLiteral("два\nстроки"));
    // Shown in full and read back the same: not a change.
    dialog.show();
    QCOMPARE(click_expecting_box(dialog.btn_ok, true), not_edited);
    QVERIFY(dialog.isVisible());
}

void tst_Dialog_device::edit_data() {
    QTest::addColumn<int>("server");
    QTest::addColumn<QString>("imei"); // "" leaves the field
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<int>("new_row");

    const QString pin1234 = pin_hex("1234");
    const QStringList before{"0/000000000000042/" + pin1234 + "/old",
                             "1/000000000000050/" + pin1234 + "/x"};
    QTest::newRow("nothing changed") << 0 << ""
                                     << ""
                                     << "" << not_edited << before << 0;
    QTest::newRow("PIN only") << 0 << ""
                              << "99"
                              << ""
                              << ""
                              << QStringList{"0/000000000000042/" + pin_hex("99") + "/old",
                                             before[1]}
                              << 0;
    QTest::newRow("other server moves the row")
        << 1 << ""
        << ""
        << ""
        << "" << QStringList{"1/000000000000042/" + pin1234 + "/old", before[1]} << 0;
    QTest::newRow("IMEI moves the row")
        << 0 << "51"
        << ""
        << "new"
        << "" << QStringList{"0/000000000000051/" + pin1234 + "/new", before[1]} << 0;
    QTest::newRow("collides with the device under the other server")
        << 1 << "50"
        << ""
        << ""
        << "Устройство с IMEI=000000000000050, подключенное через сервер с адресом «b» и номером "
           "порта 2, уже есть в текущей конфигурации."
        << before << 0;
}

void tst_Dialog_device::edit() {
    QFETCH(int, server);
    QFETCH(QString, imei);
    QFETCH(QString, pin);
    QFETCH(QString, notes);
    QFETCH(QString, message);
    QFETCH(QStringList, devices);
    QFETCH(int, new_row);

    Configuration cfg;
    fill(cfg);
    char pin1234[pin_size] = {'1', '2', '3', '4'};
    cfg.add_device(Device_address{50, 1}, pin1234, QStringLiteral("x"));
    Dialog_edit_device dialog(cfg, 0, nullptr);
    dialog.show();
    dialog.cbox_server->setCurrentIndex(server);
    if (!imei.isEmpty())
        retype(dialog.ebox_imei, imei);
    if (!pin.isEmpty())
        retype(dialog.ebox_pin, pin);
    if (!notes.isEmpty()) {
        dialog.ebox_notes->selectAll();
        type_text(dialog.ebox_notes, notes);
    }
    QCOMPARE(click_expecting_box(dialog.btn_ok, !message.isEmpty()), message);
    QCOMPARE(dialog.isVisible(), !message.isEmpty());
    QCOMPARE(devices_of(cfg), devices);
    QCOMPARE(int(dialog.device_row), new_row);
}

void tst_Dialog_device::fields_are_labelled_and_explained() {
    Configuration cfg;
    fill(cfg);
    Dialog_add_device add(cfg, nullptr);
    QCOMPARE(missing_hints(&add), QString());
    QVERIFY(add.ebox_pin->toolTip().startsWith(
        QStringLiteral("Сюда надо ввести PIN-код для доступа к добавляемому устройству.\n\n"
                       "PIN-код (т.е. пароль)")));
    // One percent sign in the list of allowed characters, as the user types it.
    QVERIFY(add.ebox_pin->toolTip().contains(QStringLiteral("!\"#$%&'()*+")));
    QVERIFY(!add.ebox_pin->toolTip().contains(QStringLiteral("%%")));
    Dialog_edit_device edit(cfg, 0, nullptr);
    QCOMPARE(missing_hints(&edit), QString());
}

void tst_Dialog_device::imei_picked_from_the_server_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("imei"); // in the field afterwards
    QTest::newRow("filter, select, press Выбрать") << "choose"
                                                   << "350000000000003";
    QTest::newRow("double click keeps leading zeros") << "double"
                                                      << "000000000000042";
    QTest::newRow("cancelled list leaves the field") << "cancel"
                                                     << "1";
}

void tst_Dialog_device::imei_picked_from_the_server() {
    QFETCH(QString, how);
    QFETCH(QString, imei);

    // The delay keeps the progress window up long enough to be seen and answered.
    Sim_process sim;
    QVERIFY2(sim.start("port 0 enum_delay=300\ndevice 350000000000007\ndevice 42\n"
                       "device 350000000000003\n"),
             qPrintable(sim.error()));
    Configuration cfg;
    cfg.add_server(Server_address{QStringLiteral("127.0.0.1"), sim.port()}, QString());
    cfg.add_server(Server_address{QStringLiteral("127.0.0.2"), 1}, QString());
    Dialog_add_device dialog(cfg, nullptr);
    dialog.show();
    type_text(dialog.ebox_imei, QStringLiteral("1"));
    type_text(dialog.ebox_pin, QStringLiteral("pin"));

    Modal_script script;
    script.then([](QWidget*) {}); // the progress window closes by itself
    script.then([how](QWidget* w) {
        auto* list = qobject_cast<Dialog_enumerated*>(w);
        if (!list)
            return;
        Table_enumerated* table = list->table;
        if (how == "choose") {
            type_text(list->ebox_filter, QStringLiteral("03"));
            table->selectRow(0);
            list->btn_choose->click();
        } else if (how == "double") {
            const QModelIndex index = table->model->index(1, 0);
            const QRect rect = table->visualRect(table->proxy->mapFromSource(index));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, rect.center());
        } else {
            list->btn_cancel->click();
        }
    });
    dialog.btn_enumerate->click();
    QVERIFY2(script.wait_all_answered(), qPrintable(script.unexpected.join('\n')));

    QCOMPARE(script.seen.at(0).kind, QStringLiteral("Dialog_enumerate"));
    QCOMPARE(script.seen.at(0).title, QStringLiteral("Запрос"));
    QCOMPARE(script.seen.at(1).kind, QStringLiteral("Dialog_enumerated"));
    QCOMPARE(script.seen.at(1).title, QStringLiteral("Устройства на сервере"));
    QCOMPARE(script.seen.size(), 2);
    // Only the IMEI field changes, and the configuration not at all.
    QCOMPARE(dialog.ebox_imei->text(), imei);
    QCOMPARE(dialog.ebox_pin->text(), QStringLiteral("pin"));
    QCOMPARE(dialog.cbox_server->currentIndex(), 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(cfg.devices.count, 0u);
    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("enumerates"), 1);
}

QTEST_MAIN(tst_Dialog_device)
#include "tst_dialog_device.moc"
