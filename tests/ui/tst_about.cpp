#include "ui/dialog_about.h"
#include "ui/interface.h"
#include "ui/main_window.h"

#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

class tst_About : public QObject {
    Q_OBJECT
private slots:
    void about_text_names_program_version_and_build();
    void dialog_shows_the_text_and_closes();
    void main_window_opens_about_on_f1_only();
};

void tst_About::about_text_names_program_version_and_build() {
    const QRegularExpression re(QString::fromUtf8(
        "^zelmo_upload, версия 1\\.9\\.0 \\(17 января 2019\\), сборка "
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [1-9]\\d? \\d{4} "
        "\\d\\d:\\d\\d:\\d\\d\n\nПрограмма предназначена для закачки файла прошивки на "
        "устройства, подключенные к серверу «zelmo_server»\\.$"));
    QVERIFY2(re.match(Dialog_about::about()).hasMatch(), qPrintable(Dialog_about::about()));
}

void tst_About::dialog_shows_the_text_and_closes() {
    Dialog_about dialog(nullptr);
    QVERIFY(fonts_initialized);
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("О программе"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    auto* ebox = dialog.findChild<Ebox_about*>(QStringLiteral("ebox_about"));
    QVERIFY(ebox);
    QVERIFY(ebox->isReadOnly());
    QCOMPARE(ebox->toPlainText(), Dialog_about::about());
    QCOMPARE(ebox->sizeHint(), QSize(85 * module_w, 10 * module_h));
    auto* close = dialog.findChild<QPushButton*>(QStringLiteral("btn_close"));
    QVERIFY(close);
    QCOMPARE(close->text(), QString::fromUtf8("Закрыть"));
    QVERIFY(!close->toolTip().isEmpty());
    QTimer::singleShot(0, close, &QPushButton::click);
    QTimer::singleShot(3000, &dialog, [&dialog] { dialog.done(42); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

void tst_About::main_window_opens_about_on_f1_only() {
    Main_window window;
    QCOMPARE(window.windowTitle(), QStringLiteral("zelmo_upload 1.9.0"));
    QVERIFY(window.isWindow());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    int opened = 0;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&opened] {
        if (auto* about = qobject_cast<Dialog_about*>(QApplication::activeModalWidget())) {
            ++opened;
            about->reject();
        }
    });
    poll.start(10);
    QTest::keyClick(&window, Qt::Key_F2);
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(opened, 0);
    // keyClick returns once the modal About box has been closed by the poll.
    QTest::keyClick(&window, Qt::Key_F1);
    QCOMPARE(opened, 1);
    QVERIFY(window.isVisible());
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
