// The device proxy must show what Qt's own sort-filter proxy shows when set up as the device
// table is (case-insensitive fixed string, one column or all, sort by the displayed text),
// only faster: Qt's proxy is the reference here, row for row.
#include "config/config.h"
#include "config/devices_proxy.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>
#include <QtTest>

class tst_Devices_proxy : public QObject {
    Q_OBJECT
private slots:
    void init();
    void shows_what_qt_proxy_shows_data();
    void shows_what_qt_proxy_shows();
    void follows_edits_as_qt_proxy_does_data();
    void follows_edits_as_qt_proxy_does();
    void typing_keeps_the_selected_device_selected();
    void result_list_filters_and_sorts_parameter_columns();
};

// Notes in both cases and alphabets, digits that also occur in IMEIs and server numbers,
// equal notes (the sort must keep table order among them), prefixes of each other, a tab,
// an empty note, and one longer than a sort key.
static const char* const config_text = R"(
server(address "b.example", port 1, notes "second") {
 device(imei 000000000000001, pin "1", notes "Машина 12")
 device(imei 000000000000042, pin "2", notes "машина 7")
 device(imei 123456789012345, pin "3", notes "car")
 device(imei 000000000000777, pin "4")
}
server(address "a.example", port 9) {
 device(imei 000000000000042, pin "5", notes "CAR")
 device(imei 000000000000010, pin "6", notes "Car park\tnorth")
 device(imei 999999999999999, pin "7", notes "ca")
 device(imei 000000000000005, pin "8", notes "депо Север, ряд 4, место 1200 слева")
 device(imei 000000000000006, pin "9", notes "депо Север, ряд 4, место 1200")
 device(imei 000000000000007, pin "0", notes "car")
}
server(address "c.example", port 2) { }
server(address "d.example", port 3) {
 device(imei 350000000000123, pin "1", notes "10")
 device(imei 350000000000124, pin "1", notes "2")
}
)";

static std::vector<unsigned> rows_of(const QSortFilterProxyModel& p) {
    std::vector<unsigned> out;
    for (int r = 0; r < p.rowCount(); ++r)
        out.push_back(unsigned(p.mapToSource(p.index(r, 0)).row()));
    return out;
}

static std::vector<unsigned> rows_of(const Devices_proxy& p) {
    std::vector<unsigned> out;
    for (int r = 0; r < p.rowCount(); ++r)
        out.push_back(unsigned(p.mapToSource(p.index(r, 0)).row()));
    return out;
}

static QString describe(const std::vector<unsigned>& rows) {
    QStringList out;
    for (unsigned r : rows)
        out << configuration.devices.index(int(r), 1).data().toString() + QLatin1Char('/') +
                   configuration.devices.index(int(r), 2).data().toString();
    return out.join(QLatin1String(", "));
}

// Qt's proxy as the device table would set it up.
static void set_up_reference(QSortFilterProxyModel& p, QAbstractItemModel* source) {
    p.setFilterCaseSensitivity(Qt::CaseInsensitive);
    p.setFilterKeyColumn(-1);
    p.setSourceModel(source);
}

#define COMPARE_ROWS(ours, reference)                                                              \
    QVERIFY2(rows_of(ours) == rows_of(reference),                                                  \
             qPrintable(QStringLiteral("shown: %1\nexpected: %2")                                  \
                            .arg(describe(rows_of(ours)), describe(rows_of(reference)))))

void tst_Devices_proxy::init() {
    parse_cfg(QString::fromUtf8(config_text));
}

void tst_Devices_proxy::shows_what_qt_proxy_shows_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("sort");
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("shown");
    const int all = -1, server = 0, imei = 1, notes = 2, asc = 0, desc = 1;
    QTest::newRow("no filter, table order") << "" << all << -1 << asc << 12;
    QTest::newRow("Latin letters in any case, all fields") << "cAr" << all << -1 << asc << 4;
    QTest::newRow("Cyrillic in another case matches both") << "МАШИНА" << notes << -1 << asc << 2;
    QTest::newRow("digits match inside IMEIs, notes and numbers") << "2" << all << -1 << asc << 9;
    QTest::newRow("server number only") << "2" << server << -1 << asc << 4;
    QTest::newRow("IMEI anywhere, not only at the start") << "42" << imei << -1 << asc << 2;
    QTest::newRow("digits in notes are not IMEIs") << "12" << notes << -1 << asc << 3;
    QTest::newRow("a tab inside a note") << "park\tn" << notes << -1 << asc << 1;
    QTest::newRow("letters never match numbers") << "e" << server << -1 << asc << 0;
    QTest::newRow("nothing matches") << "xyz" << all << -1 << asc << 0;
    QTest::newRow("a column that does not exist filters nothing") << "xyz" << 7 << -1 << asc << 12;
    QTest::newRow("sort by server number as text") << "" << all << server << asc << 12;
    QTest::newRow("sort by server number, descending") << "" << all << server << desc << 12;
    QTest::newRow("sort by IMEI") << "" << all << imei << asc << 12;
    QTest::newRow("sort by IMEI, descending, filtered") << "4" << all << imei << desc << 7;
    QTest::newRow("sort by notes: case and code units") << "" << all << notes << asc << 12;
    QTest::newRow("sort by notes, descending: equal notes keep table order")
        << "" << all << notes << desc << 12;
    QTest::newRow("sort by notes, filtered") << "ca" << notes << notes << asc << 5;
}

void tst_Devices_proxy::shows_what_qt_proxy_shows() {
    QFETCH(QString, filter);
    QFETCH(int, key);
    QFETCH(int, sort);
    QFETCH(int, order);
    QFETCH(int, shown);
    Devices_proxy ours;
    QAbstractItemModelTester tester(&ours);
    ours.setSourceModel(&configuration.devices);
    QSortFilterProxyModel reference;
    set_up_reference(reference, &configuration.devices);
    for (auto* p :
         {static_cast<QAbstractItemModel*>(&ours), static_cast<QAbstractItemModel*>(&reference)})
        p->sort(sort, Qt::SortOrder(order));
    ours.setFilterKeyColumn(key);
    reference.setFilterKeyColumn(key);
    // Typed one character at a time, as the filter field delivers it.
    for (int i = 1; i <= filter.size(); ++i)
        ours.setFilterFixedString(filter.left(i));
    reference.setFilterFixedString(filter);
    COMPARE_ROWS(ours, reference);
    QCOMPARE(ours.rowCount(), shown);
    // Deleting back to nothing shows every row again, in the sorted order.
    for (int i = filter.size() - 1; i >= 0; --i)
        ours.setFilterFixedString(filter.left(i));
    reference.setFilterFixedString(QString());
    COMPARE_ROWS(ours, reference);
}

void tst_Devices_proxy::follows_edits_as_qt_proxy_does_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("sort");
    QTest::addColumn<int>("order");
    QTest::newRow("unsorted, unfiltered") << "" << -1 << 0;
    QTest::newRow("sorted by notes, filtered") << "car" << 2 << 0;
    QTest::newRow("sorted by IMEI descending, filtered by a digit") << "4" << 1 << 1;
    QTest::newRow("sorted by server number") << "" << 0 << 0;
    QTest::newRow("filtered by a number that only a new server reaches") << "5" << -1 << 0;
}

// Adding, changing, moving and deleting devices and servers under a filter and a sort: after
// each edit the rows are those of a fresh sort and filter (Qt's proxy, which would put a new
// row last among equal ones until the next sort, is built anew each time).
void tst_Devices_proxy::follows_edits_as_qt_proxy_does() {
    QFETCH(QString, filter);
    QFETCH(int, sort);
    QFETCH(int, order);
    Devices_proxy ours;
    QAbstractItemModelTester tester(&ours);
    ours.setSourceModel(&configuration.devices);
    ours.sort(sort, Qt::SortOrder(order));
    ours.setFilterFixedString(filter);
    const char pin[pin_size] = {'1'};
    const std::vector<std::function<void()>> edits = {
        [&] {
            configuration.add_device({44, 0}, pin, QStringLiteral("Car 44"));
        },
        [&] {
            configuration.add_device({4, 3}, pin, QStringLiteral("трактор"));
        },
        [&] {
            configuration.change_device(2, {400, 0}, pin, QStringLiteral("car 400"));
        },
        [&] {
            configuration.change_device(0, {1, 0}, pin, QStringLiteral("zz car"));
        },
        [&] {
            configuration.change_device(5, {5, 2}, pin, QStringLiteral("moved"));
        },
        [&] {
            configuration.add_server({QStringLiteral("0.example"), 5}, {});
        },
        [&] {
            configuration.change_server(4, {QStringLiteral("z.example"), 3}, {});
        },
        [&] { configuration.delete_device(3); },
        [&] { configuration.delete_server(0); },
    };
    for (size_t i = 0; i < edits.size(); ++i) {
        edits[i]();
        QSortFilterProxyModel reference;
        set_up_reference(reference, &configuration.devices);
        reference.sort(sort, Qt::SortOrder(order));
        reference.setFilterFixedString(filter);
        QVERIFY2(rows_of(ours) == rows_of(reference),
                 qPrintable(QStringLiteral("after edit %1\nshown: %2\nexpected: %3")
                                .arg(i)
                                .arg(describe(rows_of(ours)), describe(rows_of(reference)))));
    }
    configuration.set(nullptr, 0, nullptr, 0);
    QCOMPARE(ours.rowCount(), 0);
}

void tst_Devices_proxy::typing_keeps_the_selected_device_selected() {
    Devices_proxy proxy;
    proxy.setSourceModel(&configuration.devices);
    proxy.sort(2, Qt::AscendingOrder);
    QItemSelectionModel selection(&proxy);
    const int source_row = 5; // "Car park\tnorth"
    const QModelIndex at = proxy.mapFromSource(configuration.devices.index(source_row, 0));
    selection.select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection.setCurrentIndex(at, QItemSelectionModel::NoUpdate);
    auto selected_source = [&] {
        const QModelIndexList rows = selection.selectedRows();
        return rows.size() == 1 ? proxy.mapToSource(rows[0]).row() : -1;
    };
    proxy.setFilterFixedString(QStringLiteral("c"));
    QCOMPARE(selected_source(), source_row);
    proxy.setFilterFixedString(QStringLiteral("ca"));
    QCOMPARE(selected_source(), source_row);
    QCOMPARE(proxy.mapToSource(selection.currentIndex()).row(), source_row);
    proxy.setFilterFixedString(QStringLiteral("caz"));
    QCOMPARE(selected_source(), -1);
    QVERIFY(!selection.currentIndex().isValid());
}

// Result lists put value columns around the notes; the filter and the sort see their texts.
void tst_Devices_proxy::result_list_filters_and_sorts_parameter_columns() {
    Collection result;
    configuration.devices.index(0, 0).data(); // the configuration's caches stay apart
    for (unsigned i = 0; i < configuration.devices.count; ++i)
        configuration.devices.rows[i].device->run_flags = i % 2 ? Device::succeeded : 0;
    result.select_success(configuration);
    result.devices.value_count = 2;
    result.devices.notes_position = 3; // values: one before the notes, one after
    result.devices.value_columns = {{QStringLiteral("A"), {}, Qt::AlignLeft, {}},
                                    {QStringLiteral("B"), {}, Qt::AlignRight, {}}};
    const QStringList values = {"v1.2", "x", "V1.10", "y", "v2", "Ошибка", "v1.2", "x"};
    result.devices.value_texts.clear();
    for (unsigned i = 0; i < result.devices.count * 2; ++i)
        result.devices.value_texts << values.value(int(i) % values.size());
    QCOMPARE(result.devices.columnCount(), 5);
    Devices_proxy ours;
    ours.setSourceModel(&result.devices);
    for (int column : {2, 3, 4}) {
        for (const char* filter : {"", "v1", "ошибка", "x"}) {
            ours.setFilterFixedString(QString::fromUtf8(filter));
            ours.sort(column, Qt::DescendingOrder);
            QSortFilterProxyModel reference;
            set_up_reference(reference, &result.devices);
            reference.setFilterFixedString(QString::fromUtf8(filter));
            reference.sort(column, Qt::DescendingOrder);
            QVERIFY2(rows_of(ours) == rows_of(reference),
                     qPrintable(QStringLiteral("column %1, filter %2").arg(column).arg(filter)));
        }
    }
}

QTEST_GUILESS_MAIN(tst_Devices_proxy)
#include "tst_devices_proxy.moc"
