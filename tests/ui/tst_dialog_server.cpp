// The add and edit server dialogs as a user drives them: type, press the button, read the
// error box, correct, press again; and what the configuration holds afterwards.
#include "config/config.h"
#include "foundation/err.h"
#include "support/dialog_input.h"
#include "ui/dialog_add_server.h"
#include "ui/dialog_edit_server.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {

QString above_port() {
    return QStringLiteral("Значение параметра «Порт» не должно превышать 65535.");
}

QString server_line(const Configuration& cfg, int row) {
    const Server& s = *cfg.servers.rows[row].server;
    return s.address + ':' + QString::number(s.port) + ' ' + s.notes;
}

QStringList servers_of(const Configuration& cfg) {
    QStringList out;
    for (int i = 0; i < cfg.servers.count; ++i)
        out << server_line(cfg, i);
    return out;
}

} // namespace

class tst_Dialog_server : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void add_data();
    void add();
    void edit_data();
    void edit();
    void fields_are_labelled_and_explained();

private:
    QTemporaryDir dir;
    QByteArray log_path;
};

void tst_Dialog_server::initTestCase() {
    QVERIFY(dir.isValid());
    log_path = QFile::encodeName(dir.filePath("dialog_server.log"));
    log_file_name = log_path.constData();
}

void tst_Dialog_server::add_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");       // typed keys; the field keeps at most 5
    QTest::addColumn<QString>("message");    // of the first press, "" when it is accepted
    QTest::addColumn<QString>("fixed_port"); // typed into the port field after the box
    QTest::addColumn<QStringList>("servers");

    const QStringList existing{"b.example:80 old"};
    QTest::newRow("accepted at once, 0 is a port")
        << "a.example"
        << "0"
        << ""
        << "" << QStringList{"a.example:0 заметка", existing[0]};
    QTest::newRow("letters in the port, then fixed")
        << "c.example"
        << "8o"
        << "Значение параметра «Порт» должно быть целым десятичным "
           "числом, не превышающим 65535."
        << "80" << QStringList{existing[0], "c.example:80 заметка"};
    QTest::newRow("sixth digit cannot be typed, 65536 refused")
        << "c.example"
        << "655360" << above_port() << "65535"
        << QStringList{existing[0], "c.example:65535 заметка"};
    QTest::newRow("empty port") << "c.example"
                                << ""
                                << "Не указано значение параметра «Порт»."
                                << "1" << QStringList{existing[0], "c.example:1 заметка"};
    QTest::newRow("empty address") << ""
                                   << "80"
                                   << "Не указано значение параметра «Адрес»."
                                   << "" << existing;
    QTest::newRow("same address and port already there")
        << "b.example"
        << "80"
        << "Сервер с адресом «b.example» и номером порта 80 уже есть в текущей конфигурации."
        << "81" << QStringList{existing[0], "b.example:81 заметка"};
}

void tst_Dialog_server::add() {
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, message);
    QFETCH(QString, fixed_port);
    QFETCH(QStringList, servers);

    Configuration cfg;
    cfg.add_server(Server_address{QStringLiteral("b.example"), 80}, QStringLiteral("old"));
    Dialog_add_server dialog(cfg, nullptr);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Добавление сервера"));
    QCOMPARE(dialog.btn_ok->text(), QStringLiteral("Добавить"));
    type_text(dialog.ebox_address, address);
    type_text(dialog.ebox_port, port);
    type_text(dialog.ebox_notes, QStringLiteral("заметка"));

    QCOMPARE(click_expecting_box(dialog.btn_ok, !message.isEmpty()), message);
    if (!message.isEmpty()) {
        // Still open, nothing added; the user corrects the field and tries again.
        QVERIFY(dialog.isVisible());
        QCOMPARE(cfg.servers.count, (unsigned short)1);
        if (fixed_port.isEmpty())
            return;
        retype(dialog.ebox_port, fixed_port);
        QCOMPARE(click_expecting_box(dialog.btn_ok, false), QString());
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(servers_of(cfg), servers);
    QCOMPARE(server_line(cfg, dialog.row).section(':', 0, 0), address);
}

void tst_Dialog_server::edit_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("address"); // typed over the shown value; "" leaves the field
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("servers");
    QTest::addColumn<int>("new_row");

    const QStringList before{"a:1 first", "m:2 second"};
    QTest::newRow("nothing changed") << 0 << ""
                                     << ""
                                     << ""
                                     << "Ничего не изменилось.\nЕсли вы не хотите ничего менять, "
                                        "закройте диалог кнопкой «Отмена»."
                                     << before << 0;
    QTest::newRow("notes only") << 1 << ""
                                << ""
                                << "new"
                                << "" << QStringList{"a:1 first", "m:2 new"} << 1;
    QTest::newRow("address moves the row") << 0 << "z"
                                           << ""
                                           << ""
                                           << "" << QStringList{"m:2 second", "z:1 first"} << 1;
    QTest::newRow("collides with the other server")
        << 0 << "m"
        << "2"
        << ""
        << "Сервер с адресом «m» и номером порта 2 уже есть в текущей конфигурации." << before << 0;
    QTest::newRow("port above maximum") << 1 << ""
                                        << "99999"
                                        << "" << above_port() << before << 1;
}

void tst_Dialog_server::edit() {
    QFETCH(int, row);
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, notes);
    QFETCH(QString, message);
    QFETCH(QStringList, servers);
    QFETCH(int, new_row);

    Configuration cfg;
    cfg.add_server(Server_address{QStringLiteral("a"), 1}, QStringLiteral("first"));
    cfg.add_server(Server_address{QStringLiteral("m"), 2}, QStringLiteral("second"));
    Dialog_edit_server dialog(cfg, static_cast<unsigned short>(row), nullptr);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Параметры сервера"));
    QCOMPARE(dialog.btn_ok->text(), QStringLiteral("Установить"));
    // The server as it is.
    const Server& s = *cfg.servers.rows[row].server;
    QCOMPARE(dialog.ebox_address->text(), s.address);
    QCOMPARE(dialog.ebox_port->text(), QString::number(s.port));
    QCOMPARE(dialog.ebox_notes->toPlainText(), s.notes);

    if (!address.isEmpty())
        retype(dialog.ebox_address, address);
    if (!port.isEmpty())
        retype(dialog.ebox_port, port);
    if (!notes.isEmpty()) {
        dialog.ebox_notes->selectAll();
        type_text(dialog.ebox_notes, notes);
    }
    QCOMPARE(click_expecting_box(dialog.btn_ok, !message.isEmpty()), message);
    QCOMPARE(dialog.isVisible(), !message.isEmpty());
    QCOMPARE(servers_of(cfg), servers);
    QCOMPARE(int(dialog.server_row), new_row);
}

void tst_Dialog_server::fields_are_labelled_and_explained() {
    Configuration cfg;
    cfg.add_server(Server_address{QStringLiteral("a"), 1}, QString());
    Dialog_add_server add(cfg, nullptr);
    QCOMPARE(missing_hints(&add), QString());
    QVERIFY(add.ebox_port->toolTip().startsWith(
        QStringLiteral("Сюда надо ввести TCP-порт добавляемого сервера.\n\nНа одном компьютере")));
    QVERIFY(add.btn_ok->toolTip().endsWith(
        QStringLiteral("и только в тот файл, который вы\nукажете.")));
    Dialog_edit_server edit(cfg, 0, nullptr);
    QCOMPARE(missing_hints(&edit), QString());
}

QTEST_MAIN(tst_Dialog_server)
#include "tst_dialog_server.moc"
