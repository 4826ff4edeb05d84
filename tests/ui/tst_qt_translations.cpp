// Qt's own texts in Russian under a locale that asks for none: the file dialog the program
// opens to save a configuration, a message box's standard buttons, a text field's menu.
#include "support/modal.h"
#include "ui/config_files_gui.h"
#include "ui/qt_translations.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {

QStringList button_texts(QWidget* w) {
    QStringList out;
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->isVisible())
            out << b->text().remove('&');
    return out;
}

} // namespace

class tst_Qt_translations : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void save_dialog_has_russian_buttons();
    void message_box_buttons_are_russian();
    void text_field_menu_is_russian();
};

void tst_Qt_translations::initTestCase() {
    QVERIFY(load_qt_translations(*QCoreApplication::instance()));
}

void tst_Qt_translations::save_dialog_has_russian_buttons() {
    Modal_script script;
    QStringList buttons;
    QString kind;
    script.then([&](QWidget* w) {
        kind = QString::fromLatin1(w->metaObject()->className());
        buttons = button_texts(w);
        static_cast<QDialog*>(w)->reject();
    });
    QVERIFY(!save_to_file(nullptr, QStringLiteral("server(\"a\", 1) {}\n")));
    QVERIFY(script.wait_all_answered());
    QCOMPARE(kind, QStringLiteral("QFileDialog"));
    QVERIFY2(buttons.contains(QStringLiteral("Сохранить")), qPrintable(buttons.join('|')));
    QVERIFY2(buttons.contains(QStringLiteral("Отмена")), qPrintable(buttons.join('|')));
}

void tst_Qt_translations::message_box_buttons_are_russian() {
    Modal_script script;
    script.press(QStringLiteral("Отмена"));
    const auto answer =
        QMessageBox::question(nullptr, QStringLiteral("Запись"), QStringLiteral("Записать?"),
                              QMessageBox::Save | QMessageBox::Cancel);
    QVERIFY(script.wait_all_answered());
    QCOMPARE(answer, QMessageBox::Cancel);
    QCOMPARE(script.seen.size(), 1);
    QStringList seen = script.seen[0].buttons;
    for (QString& t : seen)
        t.remove('&');
    seen.sort();
    QCOMPARE(seen, (QStringList{QStringLiteral("Отмена"), QStringLiteral("Сохранить")}));
}

void tst_Qt_translations::text_field_menu_is_russian() {
    QLineEdit edit(QStringLiteral("354000000000001"));
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            texts << a->text().remove('&').section('\t', 0, 0);
    QVERIFY2(texts.contains(QStringLiteral("Выделить всё")), qPrintable(texts.join('|')));
    QVERIFY2(!texts.contains(QStringLiteral("Select All")), qPrintable(texts.join('|')));
}

int main(int argc, char** argv) {
    // A locale that asks for no translation at all: Qt's texts must be Russian all the same.
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("LANG", "C.UTF-8");
    qputenv("LANGUAGE", "");
    QApplication app(argc, argv);
    tst_Qt_translations t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_qt_translations.moc"
