#include "config/dialog_decrypt.h"

#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

// Types like a keyboard, Cyrillic included (keyClicks knows only ASCII).
static void type(QWidget* w, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

class tst_Dialog_decrypt : public QObject {
    Q_OBJECT
private slots:
    void closing_data();
    void closing();
    void showing_the_password();
};

void tst_Dialog_decrypt::closing_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("how"); // 0 Enter, 1 "Готово", 2 "Отмена", 3 Esc
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty password is accepted by Enter") << "" << 0 << true;
    QTest::newRow("password with spaces is kept as typed") << " п а " << 1 << true;
    QTest::newRow("cancel rejects") << "abc" << 2 << false;
    QTest::newRow("Esc rejects") << "abc" << 3 << false;
}

void tst_Dialog_decrypt::closing() {
    QFETCH(QString, typed);
    QFETCH(int, how);
    QFETCH(bool, accepted);
    Dialog_decrypt d(nullptr, "Файл зашифрован - введите пароль");
    QCOMPARE(d.windowTitle(), QString("Файл зашифрован - введите пароль"));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto* ebox = d.findChild<QLineEdit*>("ebox_password");
    type(ebox, typed);
    if (how == 0)
        QTest::keyClick(ebox, Qt::Key_Return);
    else if (how == 1)
        QTest::mouseClick(d.findChild<QPushButton*>("btn_done"), Qt::LeftButton);
    else if (how == 2)
        QTest::mouseClick(d.findChild<QPushButton*>("btn_cancel"), Qt::LeftButton);
    else
        QTest::keyClick(ebox, Qt::Key_Escape);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(d.password, accepted ? typed : QString());
    QCOMPARE(d.password.isNull(), !accepted);
}

void tst_Dialog_decrypt::showing_the_password() {
    Dialog_decrypt d(nullptr, "t");
    auto* ebox = d.findChild<QLineEdit*>("ebox_password");
    auto* cbox = d.findChild<QCheckBox*>("cbox_show");
    QCOMPARE(ebox->echoMode(), QLineEdit::Password);
    cbox->setChecked(true);
    QCOMPARE(ebox->echoMode(), QLineEdit::Normal);
    cbox->setChecked(false);
    QCOMPARE(ebox->echoMode(), QLineEdit::Password);
}

QTEST_MAIN(tst_Dialog_decrypt)
#include "tst_dialog_decrypt.moc"
