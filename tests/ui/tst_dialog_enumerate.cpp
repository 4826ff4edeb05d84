// The progress window of a device list request against a running simulator, and the list
// window: what the user sees for every outcome, filtering, sorting and copying.
#include "config/config.h"
#include "foundation/err.h"
#include "protocol/enumerate.h"
#include "support/dialog_input.h"
#include "support/modal.h"
#include "support/sim_process.h"
#include "ui/dialog_enumerate.h"
#include "ui/dialog_enumerated.h"
#include "ui/table_enumerated.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A list of the given IMEIs, as the request fills it.
void fill(Enumerated& model, const QVector<uint64_t>& imeis) {
    Enumerated_entry* page = Enumerated::allocate_page(unsigned(imeis.size()));
    for (int i = 0; i < imeis.size(); ++i)
        page[i].imei = imeis[i];
    model.append_page(page);
    model.set_last_page_count(static_cast<unsigned short>(imeis.size()));
}

// Opens the context menu at a row (-1: below the last one); returns its item texts.
QStringList open_menu(Table_enumerated& table, int row) {
    QPoint at(5, 0);
    if (row >= 0)
        at = table.visualRect(table.proxy->index(row, 0)).center();
    else
        at.setY(table.viewport()->height() - 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, table.viewport()->mapToGlobal(at));
    QApplication::sendEvent(table.viewport(), &event);
    QStringList texts;
    if (table.menu)
        for (QAction* a : table.menu->actions())
            texts << a->text();
    return texts;
}

void trigger(Table_enumerated& table, int item) {
    table.menu->actions().at(item)->trigger();
    table.menu->close();
}

} // namespace

class tst_Dialog_enumerate : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void outcomes_data();
    void outcomes();
    void abort_closes_the_connection_and_reports_nothing();
    void filter_menu_and_copies_data();
    void filter_menu_and_copies();
    void header_sorts_numerically();
    void choose_takes_the_selected_row();

private:
    QTemporaryDir dir;
    QByteArray log_path;
};

void tst_Dialog_enumerate::initTestCase() {
    QVERIFY(dir.isValid());
    log_path = QFile::encodeName(dir.filePath("dialog_enumerate.log"));
    log_file_name = log_path.constData();
}

void tst_Dialog_enumerate::init() {
    reset_options();
}

void tst_Dialog_enumerate::outcomes_data() {
    QTest::addColumn<QString>("fleet");
    QTest::addColumn<int>("timeout"); // enumerate_timeout, 0 for the default
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("title"); // of the box, "" for none
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rows");

    const QString error = QStringLiteral("zelmo_upload 1.9.0: ошибка");
    QTest::newRow("list of three") << "port 0\nrange 350000000000000 3\n"
                                   << 0 << int(QDialog::Accepted) << ""
                                   << "" << 3;
    QTest::newRow("no device connected")
        << "port 0\n"
        << 0 << int(QDialog::Rejected) << "Результат запроса списка устройств"
        << "Сервер сообщил, что к нему сейчас не подключено ни одно устройство." << 0;
    QTest::newRow("connection refused")
        << "port 0 refuse=all\n"
        << 0 << int(QDialog::Rejected) << error
        << "Не удалось установить TCP-соединение с сервером. Код ошибки = 0 («в соединении "
           "отказано: по этому адресу и порту никто не принимает соединений»)."
        << 0;
    QTest::newRow("server falls silent and closes")
        << "port 0 stall=0 stall_ms=150\nrange 350000000000000 3\n"
        << 0 << int(QDialog::Rejected) << error
        << "Произошёл разрыв TCP-соединения с сервером во время ожидания ответа на посланное нами "
           "сообщение «запрос списка устройств у сервера». Код ошибки = 1 («соединение "
           "сброшено удалённой стороной»)."
        << 0;
    QTest::newRow("letter in an IMEI")
        << "port 0 enum_fault=bad_digit\nrange 350000000000000 3\n"
        << 0 << int(QDialog::Rejected) << error
        << "Нарушение протокола сервером: в пришедшем от сервера сообщении «список устройств от "
           "сервера клиенту» содержимое поля «IMEI» не является 15-значным десятичным числом."
        << 0;
    QTest::newRow("list too slow")
        << "port 0 enum_delay=3000\nrange 350000000000000 3\n"
        << 200 << int(QDialog::Rejected) << error
        << "Тайм-аут ожидания ответа на сообщение «запрос списка устройств у сервера» (с момента "
           "начала передачи сообщения прошло более 200 миллисекунд)."
        << 0;
}

void tst_Dialog_enumerate::outcomes() {
    QFETCH(QString, fleet);
    QFETCH(int, timeout);
    QFETCH(int, result);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, rows);

    if (timeout)
        set_option(opt_enumerate_timeout, unsigned(timeout));
    Sim_process sim;
    QVERIFY2(sim.start(fleet), qPrintable(sim.error()));
    Server server;
    server.address = QStringLiteral("127.0.0.1");
    server.port = sim.port();
    Enumerated model;
    Modal_script script;
    if (!title.isEmpty())
        script.press(QStringLiteral("Закрыть"));
    {
        Dialog_enumerate progress(nullptr, server, model);
        QCOMPARE(progress.windowTitle(), QStringLiteral("Запрос"));
        QCOMPARE(progress.btn_abort->text(), QStringLiteral("Прервать запрос"));
        // Shown without its own modal loop, so that the only modal window is the box.
        progress.show();
        QTRY_VERIFY(progress.done_flags & Dialog_enumerate::reported);
        QTRY_VERIFY(!progress.isVisible());
        QCOMPARE(progress.result(), result);
        QVERIFY(!progress.enumerate.has_connection());
    }
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    if (title.isEmpty()) {
        QVERIFY(script.seen.isEmpty());
    } else {
        QCOMPARE(script.seen.size(), 1);
        QCOMPARE(script.seen[0].title, title);
        QCOMPARE(script.seen[0].text, text);
        QCOMPARE(script.seen[0].buttons, QStringList{QStringLiteral("Закрыть")});
    }
    QCOMPARE(model.rowCount(), rows);
    QVERIFY(sim.stop());
}

void tst_Dialog_enumerate::abort_closes_the_connection_and_reports_nothing() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0 enum_delay=2000\nrange 350000000000000 3\n"),
             qPrintable(sim.error()));
    Server server;
    server.address = QStringLiteral("127.0.0.1");
    server.port = sim.port();
    Enumerated model;
    Modal_script script;
    script.then([&sim](QWidget* w) {
        // Pressed once the request is on its way.
        QVERIFY(sim.wait_record("ENUMERATE", 1));
        click_button(w, QStringLiteral("Прервать запрос"));
    });
    {
        Dialog_enumerate progress(nullptr, server, model);
        QCOMPARE(progress.exec(), int(QDialog::Rejected));
        QVERIFY(!(progress.done_flags & Dialog_enumerate::reported));
    }
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), 1); // no box after the abort
    QVERIFY(sim.wait_record("close", 1));
    QVERIFY(sim.record_of("close").first().contains("reason=peer"));
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(sim.stop());
}

void tst_Dialog_enumerate::filter_menu_and_copies_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("row"); // under the mouse, -1 below the rows
    QTest::addColumn<QStringList>("menu");
    QTest::addColumn<QString>("list_copy");
    QTest::addColumn<QString>("item_copy");

    const QString all = QStringLiteral("копировать весь список");
    const QString filtered = QStringLiteral("копировать все строчки, прошедшие через фильтр");
    const QString item = QStringLiteral("копировать эту строчку");
    QTest::newRow("whole list on a row")
        << "" << 1 << QStringList{all, item}
        << "350000000000010\r\n000000000000042\r\n350000000000420\r\n"
        << "000000000000042";
    QTest::newRow("filter shows rows containing the digits anywhere")
        << "42" << 1 << QStringList{filtered, item} << "000000000000042\r\n350000000000420\r\n"
        << "350000000000420";
    QTest::newRow("below the last row only the list")
        << "" << -1 << QStringList{all}
        << "350000000000010\r\n000000000000042\r\n350000000000420\r\n"
        << "";
    QTest::newRow("filter hiding everything copies nothing")
        << "9999" << -1 << QStringList{filtered} << ""
        << "";
}

void tst_Dialog_enumerate::filter_menu_and_copies() {
    QFETCH(QString, filter);
    QFETCH(int, row);
    QFETCH(QStringList, menu);
    QFETCH(QString, list_copy);
    QFETCH(QString, item_copy);

    Enumerated model;
    fill(model, {350000000000010, 42, 350000000000420});
    Dialog_enumerated dialog(model, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    type_text(dialog.ebox_filter, filter);
    Table_enumerated& table = *dialog.table;

    QCOMPARE(open_menu(table, row), menu);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    trigger(table, 0);
    QCOMPARE(QApplication::clipboard()->text(), list_copy);
    if (item_copy.isEmpty())
        return;
    QCOMPARE(open_menu(table, row), menu);
    trigger(table, 1);
    QCOMPARE(QApplication::clipboard()->text(), item_copy);
}

void tst_Dialog_enumerate::header_sorts_numerically() {
    Enumerated model;
    fill(model, {350000000000010, 42, 999999999999999, 1});
    Dialog_enumerated dialog(model, nullptr);
    dialog.show();
    Table_enumerated& table = *dialog.table;
    auto column = [&] {
        QStringList out;
        for (int r = 0; r < table.proxy->rowCount(); ++r)
            out << table.proxy->index(r, 0).data().toString();
        return out;
    };
    // Opens in the server's order.
    QCOMPARE(column(), (QStringList{"350000000000010", "000000000000042", "999999999999999",
                                    "000000000000001"}));
    QHeaderView* header = table.horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QStringList sorted = column();
    if (header->sortIndicatorOrder() == Qt::DescendingOrder)
        std::reverse(sorted.begin(), sorted.end());
    QCOMPARE(sorted, (QStringList{"000000000000001", "000000000000042", "350000000000010",
                                  "999999999999999"}));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::ToolTipRole)
                 .toString()
                 .endsWith(QStringLiteral("IMEI представляет собой 15-значное целое десятичное "
                                          "число.")),
             true);
}

void tst_Dialog_enumerate::choose_takes_the_selected_row() {
    Enumerated model;
    fill(model, {350000000000010, 42});
    Dialog_enumerated dialog(model, nullptr);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Устройства на сервере"));
    QCOMPARE(missing_hints(&dialog), QString());
    Modal_script script;
    script.press(QStringLiteral("Закрыть"));
    dialog.btn_choose->click(); // nothing selected yet
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.result.isEmpty());
    dialog.table->selectRow(1);
    dialog.btn_choose->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.QDialog::result(), int(QDialog::Accepted));
    QCOMPARE(dialog.result, QStringLiteral("000000000000042"));
}

QTEST_MAIN(tst_Dialog_enumerate)
#include "tst_dialog_enumerate.moc"
