// What a screen reader sees of the tables: the accessible table of each view counts the
// model's rows and columns and every one of its cells answers, with and without a filter,
// and Qt never warns of an invalid index on the way.
#include "config/config.h"
#include "protocol/enumerate.h"
#include "ui/dialog_enumerated.h"
#include "ui/table_enumerated.h"

#include <QAccessible>
#include <QLineEdit>
#include <QTableView>
#include <QtTest>

namespace {

QStringList warnings;
QtMessageHandler previous = nullptr;

void catch_warnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.contains(QLatin1String("QAccessibleTable")))
        warnings << text;
    previous(type, context, text);
}

// A screen reader's part: every event is resolved to the object it names, as the bridge does.
void read_event(QAccessibleEvent* event) {
    if (QAccessibleInterface* iface = event->accessibleInterface())
        (void)iface->text(QAccessible::Name);
}

void fill(Enumerated& model, unsigned n) {
    unsigned done = 0;
    while (done < n) {
        const unsigned count = std::min(n - done, enumerated_page_size);
        Enumerated_entry* page = Enumerated::allocate_page(enumerated_page_size);
        QVERIFY(page);
        for (unsigned i = 0; i < count; ++i)
            page[i].imei = 350000000000000ULL + 7 * (done + i);
        model.append_page(page);
        model.set_last_page_count(static_cast<unsigned short>(count));
        done += count;
    }
}

// Every cell and header of the view's accessible table, as a reader walks them; false with
// the reason when a count disagrees with the model or a child is missing.
QString walk(QAbstractItemView* view) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(view);
    if (!iface || !iface->tableInterface())
        return QStringLiteral("no accessible table");
    QAccessibleTableInterface* table = iface->tableInterface();
    const int rows = view->model()->rowCount(), columns = view->model()->columnCount();
    if (table->rowCount() != rows || table->columnCount() != columns)
        return QStringLiteral("table %1x%2, model %3x%4")
            .arg(table->rowCount())
            .arg(table->columnCount())
            .arg(rows)
            .arg(columns);
    // The headers are children too: the corner, a row header per row, a column header each.
    if (iface->childCount() != (rows + 1) * (columns + 1))
        return QStringLiteral("%1 children for %2x%3")
            .arg(iface->childCount())
            .arg(rows)
            .arg(columns);
    for (int i = 0; i < iface->childCount(); ++i)
        if (!iface->child(i))
            return QStringLiteral("no child %1").arg(i);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            if (!table->cellAt(r, c))
                return QStringLiteral("no cell %1,%2").arg(r).arg(c);
    return QString();
}

} // namespace

class tst_Accessible_tables : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        previous = qInstallMessageHandler(catch_warnings);
        QAccessible::installUpdateHandler(read_event);
        QAccessible::setActive(true);
    }
    void cleanupTestCase() { qInstallMessageHandler(previous); }
    void init() { warnings.clear(); }
    void device_list_window_data();
    void device_list_window();
};

void tst_Accessible_tables::device_list_window_data() {
    QTest::addColumn<int>("devices");
    QTest::addColumn<QString>("filter");
    QTest::newRow("one device") << 1 << "";
    QTest::newRow("a long list") << 2500 << "";
    QTest::newRow("a filter that keeps some") << 2500 << "0000000007";
    QTest::newRow("a filter that keeps none") << 2500 << "x";
}

void tst_Accessible_tables::device_list_window() {
    QFETCH(int, devices);
    QFETCH(QString, filter);
    Enumerated model;
    fill(model, unsigned(devices));
    Dialog_enumerated dialog(model, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* view = dialog.findChild<QTableView*>(QStringLiteral("table_enumerated"));
    QVERIFY(view);
    QCOMPARE(walk(view), QString());
    // The focus and selection move as a user moves them: each move is an event a reader reads.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_PageUp);
    if (!filter.isEmpty()) {
        QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("ebox_filter")), filter);
        QCOMPARE(walk(view), QString());
        dialog.findChild<QLineEdit*>(QStringLiteral("ebox_filter"))->clear();
        QCOMPARE(walk(view), QString());
    }
    view->sortByColumn(0, Qt::DescendingOrder);
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(walk(view), QString());
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
}

QTEST_MAIN(tst_Accessible_tables)
#include "tst_accessible_tables.moc"
