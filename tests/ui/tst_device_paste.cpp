// A paste into the device table as a user makes it: select a server (or none), copy rows
// elsewhere, press Ctrl+V, read the preview, press "Добавить" or "Отмена"; and what the
// configuration holds afterwards. The rows are the same as the batch import's.
#include "config/config.h"
#include "support/device_import_cases.h"
#include "support/modal.h"
#include "ui/dialog_import_devices.h"
#include "ui/page_cfg.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(Import_case)

class tst_Device_paste : public QObject {
    Q_OBJECT
private slots:
    void paste_data();
    void paste();
    void cancel_changes_nothing();
    void context_menu_offers_the_paste();
};

void tst_Device_paste::paste_data() {
    QTest::addColumn<Import_case>("c");
    for (const Import_case& c : import_cases())
        QTest::newRow(c.name) << c;
}

void tst_Device_paste::paste() {
    QFETCH(Import_case, c);
    parse_cfg(import_base_text());
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    QApplication::setActiveWindow(&page);
    QVERIFY(QTest::qWaitForWindowActive(&page)); // a shortcut needs an active window
    const QStringList before = device_lines(configuration);
    if (c.server >= 0)
        page.table_servers->selectRow(c.server);
    QApplication::clipboard()->setText(c.text);

    Modal_script script;
    QString preview;
    bool add_enabled = false;
    script.then([&](QWidget* w) {
        auto* d = qobject_cast<Dialog_import_devices*>(w);
        QVERIFY(d);
        preview = d->list->toPlainText();
        add_enabled = d->btn_add->isEnabled();
        // Nothing has changed while the preview is open.
        QCOMPARE(device_lines(configuration), before);
        (add_enabled ? d->btn_add : d->btn_cancel)->click();
    });
    page.table_devices->setFocus();
    QTest::keyClick(page.table_devices, Qt::Key_V, Qt::ControlModifier);
    QVERIFY(script.wait_all_answered());
    QVERIFY2(script.unexpected.isEmpty(), qPrintable(script.unexpected.join('\n')));

    QCOMPARE(add_enabled, !c.added.isEmpty());
    for (const QString& bad : c.bad)
        QVERIFY2(preview.contains(bad + '\n'), qPrintable(preview));
    for (int line : c.duplicates)
        QVERIFY2(preview.contains(QStringLiteral("строка %1: устройство").arg(line)),
                 qPrintable(preview));
    for (int line : c.warnings)
        QVERIFY2(preview.contains(QStringLiteral("строка %1: Последняя").arg(line)),
                 qPrintable(preview));
    QStringList expected = before + c.added;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(device_lines(configuration), expected);
    QCOMPARE(page.is_modified(), !c.added.isEmpty());
    QCOMPARE(page.table_devices->model()->rowCount(), expected.size());
}

void tst_Device_paste::cancel_changes_nothing() {
    parse_cfg(import_base_text());
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.table_servers->selectRow(1);
    QApplication::clipboard()->setText("354000000000028;1\n354000000000036;2\n");
    Modal_script script;
    script.press(QStringLiteral("Отмена"));
    page.table_devices->findChild<QAction*>(QStringLiteral("action_paste_devices"))->trigger();
    QVERIFY(script.wait_all_answered());
    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(script.seen[0].title, QStringLiteral("Вставка устройств"));
    QCOMPARE(device_lines(configuration), QStringList{"1 354000000000010 10 "});
    QVERIFY(!page.is_modified());
}

void tst_Device_paste::context_menu_offers_the_paste() {
    parse_cfg(import_base_text());
    Page_cfg page(nullptr);
    page.create_contents(false);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            page.table_devices->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(page.table_devices->viewport(), &event);
    QVERIFY(page.table_devices->menu);
    QStringList items;
    for (QAction* a : page.table_devices->menu->actions())
        items << a->text();
    page.table_devices->menu->close();
    QVERIFY2(items.contains(QStringLiteral("Вставить устройства")), qPrintable(items.join('|')));
}

QTEST_MAIN(tst_Device_paste)
#include "tst_device_paste.moc"
