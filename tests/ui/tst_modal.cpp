// The test helper that answers modal windows: if it misbehaves every window test hangs or
// passes for the wrong reason, so it is checked on its own.
#include "foundation/err.h"
#include "support/modal.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

class tst_Modal : public QObject {
    Q_OBJECT
private slots:
    void confirmation_answered_data();
    void confirmation_answered();
    void box_inside_dialog_then_dialog_again();
    void file_dialog_answered();
    void unexpected_box_closed_and_recorded();
};

void tst_Modal::confirmation_answered_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("result");
    QTest::newRow("yes") << QStringLiteral("Да") << true;
    QTest::newRow("no") << QStringLiteral("Нет") << false;
}

void tst_Modal::confirmation_answered() {
    QFETCH(QString, button);
    QFETCH(bool, result);
    Modal_script script;
    script.press(button);
    QCOMPARE(get_confirmation(nullptr, QStringLiteral("Точно?"), QString(), QString()), result);
    QVERIFY(script.all_answered());
    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(script.seen[0].text, QStringLiteral("Точно?"));
    QCOMPARE(script.seen[0].buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
}

// A dialog whose OK shows an error box and stays open: the dialog is answered twice.
void tst_Modal::box_inside_dialog_then_dialog_again() {
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("D"));
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    (new QVBoxLayout(&dialog))->addWidget(ok);
    int presses = 0;
    QObject::connect(ok, &QPushButton::clicked, [&] {
        if (++presses == 1)
            show_error(QStringLiteral("плохо"), &dialog);
        else
            dialog.accept();
    });
    Modal_script script;
    script.press(QStringLiteral("OK")).press(QStringLiteral("Закрыть")).press(QStringLiteral("OK"));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), 3);
    QCOMPARE(script.seen[1].text, QStringLiteral("плохо"));
    QCOMPARE(presses, 2);
}

void tst_Modal::file_dialog_answered() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("конф.zelmo_upload"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    Modal_script script;
    script.choose_file(path);
    QCOMPARE(QFileDialog::getOpenFileName(nullptr, QStringLiteral("Открыть")), path);
    script.cancel();
    QCOMPARE(QFileDialog::getOpenFileName(nullptr, QStringLiteral("Открыть")), QString());
    const QString fresh = dir.filePath(QStringLiteral("новый.zelmo_upload"));
    script.choose_file(fresh);
    QCOMPARE(QFileDialog::getSaveFileName(nullptr, QStringLiteral("Записать")), fresh);
    QVERIFY(script.all_answered());
}

void tst_Modal::unexpected_box_closed_and_recorded() {
    Modal_script script(200);
    show_error(QStringLiteral("никто не ждал"), nullptr);
    QCOMPARE(script.unexpected.size(), 1);
    QVERIFY(script.unexpected[0].contains(QStringLiteral("никто не ждал")));
    QVERIFY(!script.all_answered());
}

QTEST_MAIN(tst_Modal)
#include "tst_modal.moc"
