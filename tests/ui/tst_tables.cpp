// The server and device tables as a user meets them: what the cells and headers show, what
// lands on the clipboard, byte for byte, and what a save writes in each mode, with the
// questions it asks answered as a user would.
#include "config/config.h"
#include "config/devices_proxy.h"
#include "support/modal.h"
#include "ui/interface.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

class tst_Tables : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cells_and_headers_data();
    void cells_and_headers();
    void changed_columns_announced_in_runs_data();
    void changed_columns_announced_in_runs();
    void copy_devices_data();
    void copy_devices();
    void copy_result_list_with_value_columns();
    void copy_servers();
    void context_menu_data();
    void context_menu();
    void save_data();
    void save();
    void warn_if_filtered_data();
    void warn_if_filtered();
    void selected_and_clicked_rows();
};

// Servers sort by address: "b", "c", "srv"1"; devices by server, then IMEI.
static const char* const config_text = R"(
simultaneously = 5
server(address "srv\"1", port 4000, notes "main\toffice") {
 device(imei 12345, pin "p1", notes "car 7")
 device(imei 1, pin "")
}
server(address "b", port 1) { device(imei 42, pin "x", notes "Car\\park") }
server(address "c", port 2) { }
)";

static const QString head = QStringLiteral(
    "# Содержимое этого файла сформировано программой zelmo_upload 1.9.0.\n\nsimultaneously = 5\n");
static const QString server_b = QStringLiteral("server(address \"b\", port 1)\n{\n");
static const QString device_42 =
    QStringLiteral(" device(imei 000000000000042, pin \"x\", notes \"Car\\\\park\")\n");
static const QString server_c = QStringLiteral("server(address \"c\", port 2)\n{\n");
static const QString server_srv =
    QStringLiteral("server(address \"srv\\\"1\", port 4000, notes \"main\\toffice\")\n{\n");
static const QString device_1 = QStringLiteral(" device(imei 000000000000001, pin \"\")\n");
static const QString device_12345 =
    QStringLiteral(" device(imei 000000000012345, pin \"p1\", notes \"car 7\")\n");
static const QString end = QStringLiteral("}\n");

void tst_Tables::init() {
    parse_cfg(QString::fromUtf8(config_text));
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
}

void tst_Tables::cells_and_headers_data() {
    QTest::addColumn<bool>("devices");
    QTest::addColumn<int>("row"); // -1: the horizontal header, -2: the vertical one
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");
    const int display = Qt::DisplayRole, tip = Qt::ToolTipRole, align = Qt::TextAlignmentRole;
    const QVariant none;
    const QVariant centred = int(Qt::AlignHCenter | Qt::AlignVCenter);
    const QVariant left = int(Qt::AlignLeft | Qt::AlignVCenter);
    QTest::newRow("IMEI 1 shows fourteen zeros and the digit")
        << true << 1 << 1 << display << QVariant(QStringLiteral("000000000000001"));
    QTest::newRow("device's server by its number") << true << 2 << 0 << display << QVariant("3");
    QTest::newRow("server number's tooltip: address and port")
        << true << 2 << 0 << tip << QVariant(QStringLiteral("«srv\"1»:4000"));
    QTest::newRow("IMEI has no tooltip") << true << 1 << 1 << tip << none;
    QTest::newRow("notes as typed") << true << 0 << 2 << display << QVariant("Car\\park");
    QTest::newRow("device notes left") << true << 0 << 2 << align << left;
    QTest::newRow("IMEI centred") << true << 0 << 1 << align << centred;
    QTest::newRow("no colour outside value columns")
        << true << 0 << 1 << int(Qt::ForegroundRole) << none;
    QTest::newRow("no fourth device column") << true << 0 << 3 << display << none;
    QTest::newRow("server port as decimal") << false << 2 << 1 << display << QVariant("4000");
    QTest::newRow("server address centred") << false << 0 << 0 << align << centred;
    QTest::newRow("server notes left") << false << 2 << 2 << align << left;
    QTest::newRow("servers have no cell tooltips") << false << 0 << 0 << tip << none;
    QTest::newRow("device header captions") << true << -1 << 0 << display << QVariant("Сервер");
    QTest::newRow("notes header") << true << -1 << 2 << display << QVariant("Комментарий");
    QTest::newRow("server header captions") << false << -1 << 1 << display << QVariant("Порт");
    QTest::newRow("row numbers are server numbers") << false << -2 << 2 << display << QVariant(3);
}

void tst_Tables::cells_and_headers() {
    QFETCH(bool, devices);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);
    const QAbstractItemModel& m =
        devices ? static_cast<const QAbstractItemModel&>(configuration.devices)
                : configuration.servers;
    QVariant got;
    if (row == -1)
        got = m.headerData(column, Qt::Horizontal, role);
    else if (row == -2)
        got = m.headerData(column, Qt::Vertical, role);
    else
        got = m.index(row, column).data(role);
    if (expected.isValid() && expected.userType() != QMetaType::Int)
        QCOMPARE(got.toString(), expected.toString());
    else if (expected.isValid())
        QCOMPARE(got.toInt(), expected.toInt());
    else
        QVERIFY2(!got.isValid(), qPrintable(got.toString()));

    // Header tooltips: the column's sentence, then the field's shared paragraph.
    const QString imei_tip =
        configuration.devices.headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString();
    QVERIFY(imei_tip.startsWith(
        QStringLiteral("В этом столбце отображаются IMEI соответствующих устройств.\n\nIMEI это")));
    QVERIFY(imei_tip.endsWith(QStringLiteral("IMEI представляет собой 15-значное целое "
                                             "десятичное число.")));
    const QString notes_tip =
        configuration.servers.headerData(2, Qt::Horizontal, Qt::ToolTipRole).toString();
    QVERIFY(notes_tip.startsWith(
        QStringLiteral("В этом столбце отображаются комментарии к соответствующим\nсерверам.\n\n"
                       "Комментарий представляет")));
}

void tst_Tables::changed_columns_announced_in_runs_data() {
    QTest::addColumn<unsigned>("mask");
    QTest::addColumn<QString>("runs");
    QTest::newRow("IMEI and notes in one signal") << 6u << "1-2";
    QTest::newRow("server and notes in two") << 5u << "0-0 2-2";
    QTest::newRow("all three in one") << 7u << "0-2";
    QTest::newRow("none") << 0u << "";
}

void tst_Tables::changed_columns_announced_in_runs() {
    QFETCH(unsigned, mask);
    QFETCH(QString, runs);
    for (QAbstractItemModel* m : {static_cast<QAbstractItemModel*>(&configuration.devices),
                                  static_cast<QAbstractItemModel*>(&configuration.servers)}) {
        QSignalSpy spy(m, &QAbstractItemModel::dataChanged);
        if (m == &configuration.devices)
            configuration.devices.invalidate_cells(1, mask);
        else
            configuration.servers.invalidate_cells(1, mask);
        QStringList got;
        for (const QList<QVariant>& s : spy) {
            const QModelIndex tl = s[0].toModelIndex(), br = s[1].toModelIndex();
            QCOMPARE(tl.row(), 1);
            QCOMPARE(br.row(), 1);
            QCOMPARE(s[2].value<QVector<int>>(), QVector<int>{Qt::DisplayRole});
            got << QStringLiteral("%1-%2").arg(tl.column()).arg(br.column());
        }
        QCOMPARE(got.join(' '), runs);
    }
}

static const QString devices_header = QStringLiteral("Адрес\tПорт\tIMEI\tКомментарий\r\n");
static const QString line_42 = QStringLiteral("b\t1\t000000000000042\tCar\\\\park\r\n");
static const QString line_1 = QStringLiteral("srv\"1\t4000\t000000000000001\t\r\n");
static const QString line_12345 = QStringLiteral("srv\"1\t4000\t000000000012345\tcar 7\r\n");

void tst_Tables::copy_devices_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("sort");
    QTest::addColumn<QString>("expected");
    QTest::newRow("every row in table order")
        << "" << -1 << -1 << devices_header + line_42 + line_1 + line_12345;
    QTest::newRow("only the shown rows, in the shown order")
        << "CAR" << -1 << 2 << devices_header + line_42 + line_12345;
    QTest::newRow("sorted by IMEI")
        << "" << -1 << 1 << devices_header + line_1 + line_42 + line_12345;
    QTest::newRow("filtered by server number")
        << "3" << 0 << -1 << devices_header + line_1 + line_12345;
    QTest::newRow("nothing shown: the header alone") << "zzz" << -1 << -1 << devices_header;
}

void tst_Tables::copy_devices() {
    QFETCH(QString, filter);
    QFETCH(int, key);
    QFETCH(int, sort);
    QFETCH(QString, expected);
    Table_devices table(configuration, 3, 2, nullptr);
    table.sortByColumn(sort, Qt::AscendingOrder);
    table.proxy->setFilterKeyColumn(key);
    table.proxy->setFilterFixedString(filter);
    Modal_script script;
    table.copy_to_clipboard();
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
}

// Value columns before and after the notes, in the header and in every line; a line break or
// tab inside a value (an error text) is escaped, so that each device stays one line.
void tst_Tables::copy_result_list_with_value_columns() {
    for (unsigned i = 0; i < configuration.devices.count; ++i)
        configuration.devices.rows[i].device->run_flags = i == 0 ? 0 : Device::succeeded;
    Collection result;
    result.select_success(configuration);
    result.devices.value_count = 2;
    result.devices.notes_position = 3;
    result.devices.value_columns = {
        {QStringLiteral("Версия"), {}, Qt::AlignLeft, QBrush(Qt::black)},
        {QStringLiteral("Модем"), {}, Qt::AlignRight, QBrush(Qt::red)}};
    result.devices.value_texts = {"1.0", "M 1", "2.0", "сбой:\nнет ответа\t(5)"};
    Table_devices table(result, 4, 3, nullptr);
    QCOMPARE(table.model()->columnCount(), 5);
    QCOMPARE(table.model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Модем"));
    QCOMPARE(table.model()->index(0, 4).data(Qt::ForegroundRole).value<QBrush>().color(),
             QColor(Qt::red));
    QCOMPARE(int(table.model()->index(0, 4).data(Qt::TextAlignmentRole).toInt()),
             int(Qt::AlignRight));
    QCOMPARE(table.model()->index(1, 4).data(Qt::ToolTipRole).toString(),
             QStringLiteral("сбой:\nнет ответа\t(5)"));
    table.copy_to_clipboard();
    QCOMPARE(
        QGuiApplication::clipboard()->text(),
        QStringLiteral("Адрес\tПорт\tIMEI\tВерсия\tКомментарий\tМодем\r\n"
                       "srv\"1\t4000\t000000000000001\t1.0\t\tM 1\r\n"
                       "srv\"1\t4000\t000000000012345\t2.0\tcar 7\tсбой:\\nнет ответа\\t(5)\r\n"));
}

void tst_Tables::copy_servers() {
    Table_servers table(configuration, nullptr);
    // Clicking a header leaves the servers in configuration order: the row is the number.
    table.sortByColumn(0, Qt::DescendingOrder);
    table.on_table_to_clipboard_triggered();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("Адрес\tПорт\tКомментарий\r\nb\t1\t\r\nc\t2\t\r\n"
                            "srv\"1\t4000\tmain\\toffice\r\n"));
}

void tst_Tables::context_menu_data() {
    QTest::addColumn<bool>("devices");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("row"); // -1: below the last row
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("clipboard");
    const QString all = QStringLiteral("копировать всю таблицу (в формате .csv)");
    const QString filtered =
        QStringLiteral("копировать все строчки, прошедшие через фильтр (в формате .csv)");
    const QString row = QStringLiteral("копировать эту строчку (в формате .csv)");
    const QString cell = QStringLiteral("копировать эту ячейку");
    QTest::newRow("device cell: three items, the cell copied as shown")
        << true << "" << 1 << 1 << QStringList{all, row, cell} << 2 << "000000000000001";
    QTest::newRow("device row copied without a line end")
        << true << "" << 2 << 2 << QStringList{all, row, cell} << 1
        << "srv\"1\t4000\t000000000012345\tcar 7";
    QTest::newRow("below the last row: only the whole table")
        << true << "" << -1 << 0 << QStringList{all} << 0
        << devices_header + line_42 + line_1 + line_12345;
    QTest::newRow("with a filter the first item says so")
        << true << "car" << 0 << 2 << QStringList{filtered, row, cell} << 2 << "Car\\park";
    QTest::newRow("server row") << false << "" << 2 << 0 << QStringList{all, row, cell} << 1
                                << "srv\"1\t4000\tmain\\toffice";
    QTest::newRow("server cell") << false << "" << 1 << 1 << QStringList{all, row, cell} << 2
                                 << "2";
    QTest::newRow("below the last server") << false << "" << -1 << 0 << QStringList{all} << 0
                                           << "Адрес\tПорт\tКомментарий\r\nb\t1\t\r\nc\t2\t\r\n"
                                              "srv\"1\t4000\tmain\\toffice\r\n";
}

void tst_Tables::context_menu() {
    QFETCH(bool, devices);
    QFETCH(QString, filter);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QStringList, items);
    QFETCH(int, chosen);
    QFETCH(QString, clipboard);
    std::unique_ptr<QTableView> view;
    if (devices) {
        auto* t = new Table_devices(configuration, 3, 2, nullptr);
        t->proxy->setFilterFixedString(filter);
        view.reset(t);
    } else {
        view.reset(new Table_servers(configuration, nullptr));
    }
    view->resize(600, 400);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    QPoint at;
    if (row >= 0) {
        at = view->visualRect(view->model()->index(row, column)).center();
    } else {
        const int last = view->model()->rowCount() - 1;
        at = view->visualRect(view->model()->index(last, column)).bottomLeft() + QPoint(5, 20);
    }
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &event);
    QMenu* menu = devices ? static_cast<Table_devices*>(view.get())->menu
                          : static_cast<Table_servers*>(view.get())->menu;
    QVERIFY(menu);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text();
    QCOMPARE(texts, items);
    Modal_script script;
    menu->actions()[chosen]->trigger();
    menu->hide();
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
}

void tst_Tables::save_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("sort");    // IMEI descending when 1
    QTest::addColumn<bool>("broken"); // the last device refers to a server that is not there
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("boxes"); // the start of each box's text
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("text");
    const int subset = int(Save_mode::subset), whole = int(Save_mode::whole),
              text = int(Save_mode::text);
    const QStringList none;
    const QString all = head + '\n' + server_b + device_42 + end + '\n' + server_c + end + '\n' +
                        server_srv + device_1 + device_12345 + end;
    const QString asked = QStringLiteral(
        "Через заданный вами фильтр проходят только %1 из 3 устройств. В записываемую");
    QTest::newRow("whole, nothing hidden: every server, no question")
        << whole << "" << 0 << false << none << none << true << true << all;
    QTest::newRow("devices within a server in the shown order")
        << whole << "" << 1 << false << none << none << true << true
        << head + '\n' + server_b + device_42 + end + '\n' + server_c + end + '\n' + server_srv +
               device_12345 + device_1 + end;
    QTest::newRow("whole, filtered, agreed: shown devices, every server")
        << whole << "car 7" << 0 << false << QStringList{"Да"} << QStringList{asked.arg(1)} << true
        << false
        << head + '\n' + server_b + end + '\n' + server_c + end + '\n' + server_srv + device_12345 +
               end;
    QTest::newRow("whole, filtered, declined: nothing written")
        << whole << "car" << 0 << false << QStringList{"Нет"} << QStringList{asked.arg(2)} << false
        << false << "untouched";
    QTest::newRow("whole, every device hidden, agreed: servers without devices")
        << whole << "zzz" << 0 << false << QStringList{"Да"} << QStringList{asked.arg(0)} << true
        << false << head + '\n' + server_b + end + '\n' + server_c + end + '\n' + server_srv + end;
    QTest::newRow("subset, nothing hidden: servers without devices left out")
        << subset << "" << 0 << false << none << none << true << true
        << head + '\n' + server_b + device_42 + end + '\n' + server_srv + device_1 + device_12345 +
               end;
    QTest::newRow("subset, filtered, agreed: only servers of shown devices")
        << subset << "car" << 1 << false << QStringList{"Да"} << QStringList{asked.arg(2)} << true
        << false
        << head + '\n' + server_b + device_42 + end + '\n' + server_srv + device_12345 + end;
    QTest::newRow("text, nothing hidden")
        << text << "" << 0 << false << none << none << true << true << all;
    QTest::newRow("text, filtered: refused with the reason")
        << text << "car" << 0 << false << QStringList{"Закрыть"}
        << QStringList{"Через заданный вами фильтр проходят только 2 из 3 устройств. "
                       "Переключить на текстовое представление можно полную"}
        << false << false << "untouched";
    QTest::newRow("whole, a device lost: asked, then asked about the rest")
        << whole << "" << 0 << true << QStringList{"Да", "Да"}
        << QStringList{"Текст конфигурации сформирован, однако, из-за неожиданных ошибок (см. "
                       "файл журнала) в нём пропущена информация по 1 устройствам.",
                       asked.arg(2)}
        << true << false
        << head + '\n' + server_b + device_42 + end + '\n' + server_c + end + '\n' + server_srv +
               device_1 + end;
    QTest::newRow("whole, a device lost, declined")
        << whole << "" << 1 << true << QStringList{"Нет"}
        << QStringList{"Текст конфигурации сформирован, однако"} << false << false << "untouched";
    QTest::newRow("text, a device lost: refused")
        << text << "" << 0 << true << QStringList{"Закрыть"}
        << QStringList{"Не удалось сформировать текстовое представление конфигурации"} << false
        << false << "untouched";
}

void tst_Tables::save() {
    QFETCH(int, mode);
    QFETCH(QString, filter);
    QFETCH(int, sort);
    QFETCH(bool, broken);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, boxes);
    QFETCH(bool, result);
    QFETCH(bool, complete);
    QFETCH(QString, text);
    Table_devices table(configuration, 3, 2, nullptr);
    if (sort)
        table.sortByColumn(1, Qt::DescendingOrder);
    table.proxy->setFilterFixedString(filter);
    if (broken)
        configuration.devices.rows[configuration.devices.count - 1].server = 99;
    Modal_script script;
    for (const QString& a : answers)
        script.press(a);
    QString out = QStringLiteral("untouched");
    bool was_complete = !complete;
    QCOMPARE(table.save(out, Save_mode(mode), nullptr, was_complete), result);
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), boxes.size());
    for (int i = 0; i < boxes.size(); ++i)
        QVERIFY2(script.seen[i].text.startsWith(boxes[i]), qPrintable(script.seen[i].text));
    QCOMPARE(out, text);
    if (result)
        QCOMPARE(was_complete, complete);
    for (unsigned i = 0; i < configuration.servers.count; ++i)
        QVERIFY(configuration.servers.rows[i].server->save_buffer.isEmpty());
    if (broken)
        configuration.devices.rows[configuration.devices.count - 1].server = 2;
    // What was written reads back as the same servers and devices.
    if (result && !broken && complete) {
        QString again;
        parse_cfg(out);
        QVERIFY(table.save(again, Save_mode(mode), nullptr, was_complete));
        QCOMPARE(again, out);
    }
}

void tst_Tables::warn_if_filtered_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("result");
    QTest::newRow("nothing hidden: no question") << ""
                                                 << "" << true;
    QTest::newRow("hidden devices, go on") << "car"
                                           << "Да" << true;
    QTest::newRow("hidden devices, stop") << "car"
                                          << "Нет" << false;
}

void tst_Tables::warn_if_filtered() {
    QFETCH(QString, filter);
    QFETCH(QString, answer);
    QFETCH(bool, result);
    Table_devices table(configuration, 3, 2, nullptr);
    table.proxy->setFilterFixedString(filter);
    Modal_script script;
    if (!answer.isEmpty())
        script.press(answer);
    QCOMPARE(table.warn_if_filtered(nullptr), result);
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), answer.isEmpty() ? 0 : 1);
    if (!answer.isEmpty())
        QVERIFY(script.seen[0].text.startsWith(QStringLiteral(
            "Вы установили фильтр, через который проходят только 2 из 3 устройств. Этот фильтр")));
}

void tst_Tables::selected_and_clicked_rows() {
    Table_devices devices(configuration, 3, 2, nullptr);
    Table_servers servers(configuration, nullptr);
    auto message = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const Err& e) {
            return e.message;
        }
        return QString();
    };
    QCOMPARE(message([&] { devices.selected_row(); }),
             QStringLiteral("Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке "
                            "устройств (например, щёлкнуть её левой кнопкой мыши)."));
    QCOMPARE(message([&] { servers.selected_row(); }),
             QStringLiteral("Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке "
                            "серверов (например, щёлкнуть её левой кнопкой мыши)."));
    // Sorted by IMEI descending, the first shown row is the last device of the table.
    devices.sortByColumn(1, Qt::DescendingOrder);
    devices.selectRow(0);
    QCOMPARE(devices.selected_row(), 2u);
    QCOMPARE(devices.clicked_row(devices.model()->index(2, 1)), 1u);
    servers.selectRow(1);
    QCOMPARE(int(servers.selected_row()), 1);
    QVERIFY(!message([&] { devices.clicked_row(QModelIndex()); }).isEmpty());
    // The selection follows the device when the filter leaves it shown.
    devices.proxy->setFilterFixedString(QStringLiteral("car"));
    QCOMPARE(devices.selected_row(), 2u);
    QCOMPARE(devices.sizeHintForColumn(1), std::max(12, w_dec_small) + 15 * w_dec_small);
    QCOMPARE(devices.sizeHintForColumn(3), -1);
    QCOMPARE(servers.sizeHintForColumn(0), std::max(12, w_dec_small) + 30 * w_dec_small);
}

QTEST_MAIN(tst_Tables)
#include "tst_tables.moc"
