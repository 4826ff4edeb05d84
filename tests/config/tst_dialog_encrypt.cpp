#include "config/dialog_decrypt.h"
#include "config/dialog_encrypt.h"
#include "foundation/err.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

// Types like a keyboard, Cyrillic included (keyClicks knows only ASCII).
static void type(QWidget* w, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Closes every message box that opens while it lives and keeps their texts.
struct Box_catcher {
    QStringList texts;
    QTimer timer;
    Box_catcher() {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->close();
            }
        });
        timer.start();
    }
};

class tst_Dialog_encrypt : public QObject {
    Q_OBJECT
private slots:
    void accepting_data();
    void accepting();
    void showing_the_password_hides_the_confirmation();
    void back_and_escape_reject_data();
    void back_and_escape_reject();
};

void tst_Dialog_encrypt::accepting_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("by_enter");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("compatible");
    QTest::newRow("both fields empty give the empty password")
        << ""
        << "" << false << true << true << false;
    QTest::newRow("same password twice") << "Пароль 7"
                                         << "Пароль 7" << false << false << true << false;
    QTest::newRow("the compatibility box asks for the older form")
        << "Пароль 7"
        << "Пароль 7" << false << false << true << true;
    QTest::newRow("spaces are a password, not nothing") << "  "
                                                        << "  " << false << true << true << false;
    QTest::newRow("trailing space in the confirmation is a mismatch")
        << "secret"
        << "secret " << false << false << false << true;
    QTest::newRow("empty confirmation is a mismatch") << "secret"
                                                      << "" << false << true << false << false;
    QTest::newRow("shown password ignores the confirmation")
        << "secret"
        << "other" << true << true << true << true;
}

void tst_Dialog_encrypt::accepting() {
    QFETCH(QString, first);
    QFETCH(QString, confirm);
    QFETCH(bool, shown);
    QFETCH(bool, by_enter);
    QFETCH(bool, accepted);
    QFETCH(bool, compatible);
    Dialog_encrypt d(nullptr);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto* cbox = d.findChild<QCheckBox*>("cbox_compatible");
    QVERIFY(!cbox->isChecked());
    QVERIFY(cbox->toolTip().contains("16 МиБ"));
    if (compatible)
        QTest::mouseClick(cbox, Qt::LeftButton, {}, QPoint(4, cbox->height() / 2));
    auto* ebox = d.findChild<QLineEdit*>("ebox_password");
    type(ebox, first);
    type(d.findChild<QLineEdit*>("ebox_confirm"), confirm);
    d.findChild<QCheckBox*>("cbox_show")->setChecked(shown);
    Box_catcher boxes;
    if (by_enter)
        QTest::keyClick(ebox, Qt::Key_Return);
    else
        QTest::mouseClick(d.findChild<QPushButton*>("btn_continue"), Qt::LeftButton);
    if (accepted) {
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.password, first);
        QCOMPARE(d.form, compatible ? Container_form::legacy : Container_form::modern);
        QVERIFY(boxes.texts.isEmpty());
    } else {
        QTRY_COMPARE(boxes.texts.size(), 1);
        QCOMPARE(boxes.texts[0],
                 QString("Пароли, которые вы ввели в первом и втором поле ввода, не совпадают."));
        QVERIFY(d.isVisible());
        QVERIFY(d.password.isNull());
        QCOMPARE(ebox->text(), first);
        QCOMPARE(d.findChild<QLineEdit*>("ebox_confirm")->text(), confirm);
    }
}

void tst_Dialog_encrypt::showing_the_password_hides_the_confirmation() {
    Dialog_encrypt d(nullptr);
    d.show();
    auto* ebox = d.findChild<QLineEdit*>("ebox_password");
    auto* confirm = d.findChild<QLineEdit*>("ebox_confirm");
    auto* label = d.findChild<QLabel*>("label_confirm");
    auto* cbox = d.findChild<QCheckBox*>("cbox_show");
    QCOMPARE(ebox->echoMode(), QLineEdit::Password);
    QCOMPARE(confirm->echoMode(), QLineEdit::Password);
    type(confirm, "kept");
    QTest::mouseClick(cbox, Qt::LeftButton, {}, QPoint(4, cbox->height() / 2));
    QCOMPARE(ebox->echoMode(), QLineEdit::Normal);
    QVERIFY(confirm->isHidden() && label->isHidden());
    QTest::mouseClick(cbox, Qt::LeftButton, {}, QPoint(4, cbox->height() / 2));
    QCOMPARE(ebox->echoMode(), QLineEdit::Password);
    QVERIFY(confirm->isVisible() && label->isVisible());
    QCOMPARE(confirm->text(), QString("kept"));
}

void tst_Dialog_encrypt::back_and_escape_reject_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("the back button") << false;
    QTest::newRow("the Esc key") << true;
}

void tst_Dialog_encrypt::back_and_escape_reject() {
    QFETCH(bool, escape);
    Dialog_encrypt d(nullptr);
    d.show();
    auto* ebox = d.findChild<QLineEdit*>("ebox_password");
    type(ebox, "abc");
    type(d.findChild<QLineEdit*>("ebox_confirm"), "abc");
    if (escape)
        QTest::keyClick(ebox, Qt::Key_Escape);
    else
        QTest::mouseClick(d.findChild<QPushButton*>("btn_back"), Qt::LeftButton);
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(!d.isVisible());
    QVERIFY(d.password.isNull());
}

QTEST_MAIN(tst_Dialog_encrypt)
#include "tst_dialog_encrypt.moc"
