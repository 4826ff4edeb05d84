// The main window's page flow: which page a user lands on after each button, what the
// confirmations ask and what they keep, and that the modified state travels with the
// configuration between the table view and the text view.
#include "config/config.h"
#include "config/container.h"
#include "config/dialog_decrypt.h"
#include "config/dialog_encrypt.h"
#include "foundation/err.h"
#include "support/dialog_input.h"
#include "support/modal.h"
#include "ui/dialog_add_device.h"
#include "ui/dialog_add_server.h"
#include "ui/dialog_edit_device.h"
#include "ui/dialog_edit_server.h"
#include "ui/dialog_options.h"
#include "ui/interface.h"
#include "ui/main_window.h"
#include "ui/page_cfg.h"
#include "ui/page_start.h"
#include "ui/page_text.h"
#include "ui/utf8_buffer.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

static const QString yes = QStringLiteral("Да");
static const QString no = QStringLiteral("Нет");
static const QString close_box = QStringLiteral("Закрыть");
static const QString cfg_text =
    QStringLiteral("server(address \"хост\", port 7001, notes \"главный\")\n{\n"
                   " device(imei 1, pin \"1234\", notes \"первое\")\n"
                   " device(imei 356000000000002, pin \"\")\n}\n");

// Answers either password dialog.
static std::function<void(QWidget*)> password(const QString& pw) {
    return [pw](QWidget* w) {
        if (auto* e = qobject_cast<Dialog_encrypt*>(w)) {
            e->findChild<QLineEdit*>("ebox_password")->setText(pw);
            e->findChild<QLineEdit*>("ebox_confirm")->setText(pw);
            e->accept();
        } else if (auto* d = qobject_cast<Dialog_decrypt*>(w)) {
            d->findChild<QLineEdit*>("ebox_password")->setText(pw);
            d->accept();
        } else {
            QFAIL(w->metaObject()->className());
        }
    };
}

static void select_row(QAbstractItemView* view, int row) {
    view->setCurrentIndex(view->model()->index(row, 0));
}

class tst_Main_window : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString write(const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    // Opens a file from the start page; `then` queues the answers to what follows the file
    // dialog (password, error box), which must be queued before the click.
    void open(Main_window& w, Modal_script& script, const QString& path,
              const std::function<void(Modal_script&)>& then = {}) {
        script.choose_file(path);
        if (then)
            then(script);
        w.page_start->btn_load->click();
    }

private slots:
    void init() { clear_cfg(); }

    void failed_open_stays_on_start_data();
    void failed_open_stays_on_start();
    void syntax_error_lands_on_text_page_unmodified();
    void close_modified_asks_data();
    void close_modified_asks();
    void text_round_trip_keeps_modified_data();
    void text_round_trip_keeps_modified();
    void faulty_text_stays_on_text_page();
    void long_text_round_trip_data();
    void long_text_round_trip();
    void text_page_hands_over_its_text_data();
    void text_page_hands_over_its_text();
    void change_after_fill_reaches_tables();
    void filtered_tables_stay_on_switch_to_text();
    void f1_opens_about_on_every_page_data();
    void f1_opens_about_on_every_page();
    void window_close_by_page_data();
    void window_close_by_page();
    void newcomer_walk();
    void every_control_explains_itself();
    void text_saved_as_is_data();
    void text_saved_as_is();
    void options_saved_and_loaded_data();
    void options_saved_and_loaded();
};

void tst_Main_window::failed_open_stays_on_start_data() {
    QTest::addColumn<QByteArray>("bytes"); // empty: the file dialog is cancelled
    QTest::addColumn<QString>("message");
    QTest::newRow("file dialog cancelled") << QByteArray() << QString();
    QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\x00\x01", 4) << QStringLiteral("UTF-8");
}

void tst_Main_window::failed_open_stays_on_start() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    Main_window w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("zelmo_upload 1.9.0"));
    Modal_script script;
    if (bytes.isEmpty()) {
        script.cancel();
        w.page_start->btn_load->click();
    } else {
        open(w, script, write("мусор.zelmo_upload", bytes),
             [](Modal_script& s) { s.press(close_box); });
        QVERIFY2(script.seen[1].text.contains(message), qPrintable(script.seen[1].text));
    }
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen[0].title, QStringLiteral("Из какого файла прочитать конфигурацию?"));
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_start));
    QCOMPARE(int(configuration.servers.count), 0);
}

void tst_Main_window::syntax_error_lands_on_text_page_unmodified() {
    const QString bad = QStringLiteral("# пояснение\nserver(address \"хост\", port 0x)\n{\n}\n");
    const QString path = write("ошибка.zelmo_upload", encode_plain(bad.toUtf8()));
    Main_window w;
    w.show();
    Modal_script script;
    open(w, script, path, [](Modal_script& s) { s.press(close_box); });
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), 2);
    QVERIFY2(script.seen[1].text.contains(path), qPrintable(script.seen[1].text));
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_text));
    // The text as it is in the file, without the byte-order mark.
    QCOMPARE(w.page_text->editor->toPlainText(), bad);
    QVERIFY(!w.page_text->modified);
    QCOMPARE(int(configuration.servers.count), 0);
    // Unmodified: closing asks nothing.
    w.page_text->btn_close->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(w.stack->currentIndex(), int(Main_window::page_index_start));
    QVERIFY(w.page_text->editor->toPlainText().isEmpty());
}

void tst_Main_window::close_modified_asks_data() {
    QTest::addColumn<bool>("from_text");
    QTest::addColumn<QString>("answer");
    QTest::newRow("tables, no keeps everything") << false << no;
    QTest::newRow("tables, yes closes") << false << yes;
    QTest::newRow("text, no keeps everything") << true << no;
    QTest::newRow("text, yes closes") << true << yes;
}

void tst_Main_window::close_modified_asks() {
    QFETCH(bool, from_text);
    QFETCH(QString, answer);
    Main_window w;
    w.show();
    Modal_script script;
    w.page_start->btn_create->click();
    configuration.add_server({QStringLiteral("хост"), 1}, QString());
    w.page_cfg->cbox_devfname->setCurrentIndex(2); // a change of purpose is a change
    QVERIFY(w.page_cfg->is_modified());
    QWidget* page = w.page_cfg;
    QAbstractButton* close = w.page_cfg->btn_close;
    if (from_text) {
        w.page_cfg->btn_switch_to_text->click();
        page = w.page_text;
        close = w.page_text->btn_close;
    }
    const QString text = w.page_text->editor->toPlainText();
    script.press(answer);
    close->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY(script.seen[0].text.startsWith(QStringLiteral("Вы внесли в конфигурацию изменения")));
    QVERIFY(script.seen[0].text.contains(QStringLiteral("закрыть конфигурацию?")));
    if (answer == no) {
        QCOMPARE(w.stack->currentWidget(), page);
        QCOMPARE(int(configuration.servers.count), from_text ? 0 : 1);
        QCOMPARE(w.page_text->editor->toPlainText(), text);
        QVERIFY(from_text ? w.page_text->modified : w.page_cfg->is_modified());
    } else {
        QCOMPARE(w.stack->currentIndex(), int(Main_window::page_index_start));
        QCOMPARE(int(configuration.servers.count), 0);
        QVERIFY(w.page_text->editor->toPlainText().isEmpty());
        QVERIFY(!w.page_cfg->is_modified() && !w.page_text->modified);
    }
}

void tst_Main_window::text_round_trip_keeps_modified_data() {
    QTest::addColumn<bool>("modified");
    QTest::addColumn<bool>("typed_devfname");
    QTest::newRow("freshly read") << false << false;
    QTest::newRow("changed") << true << false;
    QTest::newRow("device file name typed") << false << true;
}

void tst_Main_window::text_round_trip_keeps_modified() {
    QFETCH(bool, modified);
    QFETCH(bool, typed_devfname);
    const QString path = write("туда-обратно.zelmo_upload",
                               encode_plain(("devfname = \"BOOT\"\n" + cfg_text).toUtf8()));
    Main_window w;
    w.show();
    Modal_script script;
    open(w, script, path);
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(w.page_cfg->cbox_devfname->currentIndex(), 2);
    QCOMPARE(w.page_cfg->ebox_devfname->text(), QStringLiteral("BOOT"));
    QCOMPARE(w.page_cfg->btn_upload->text(), QStringLiteral("Закачать файл"));
    w.page_cfg->modified = modified;
    if (typed_devfname) {
        w.page_cfg->ebox_devfname->setFocus();
        QTest::keyClick(w.page_cfg->ebox_devfname, Qt::Key_Backspace);
        type_text(w.page_cfg->ebox_devfname, QStringLiteral("T"));
    }
    const bool expected = modified || typed_devfname;
    QCOMPARE(w.page_cfg->is_modified(), expected);

    w.page_cfg->btn_switch_to_text->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_text));
    QCOMPARE(w.page_text->modified, expected);
    QCOMPARE(int(configuration.servers.count), 0);
    const QString text = w.page_text->editor->toPlainText();
    QVERIFY(text.contains(QStringLiteral("server(address \"хост\", port 7001")));
    QVERIFY(text.contains(QStringLiteral("imei 356000000000002")));
    QVERIFY(text.contains(QStringLiteral("devfname = \"BOOT\"")));

    w.page_text->btn_parse->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_cfg));
    QCOMPARE(w.page_cfg->is_modified(), expected);
    QCOMPARE(int(configuration.servers.count), 1);
    QCOMPARE(configuration.devices.count, 2u);
    QVERIFY(w.page_text->editor->toPlainText().isEmpty());
    QVERIFY(!w.page_text->modified);
}

void tst_Main_window::faulty_text_stays_on_text_page() {
    Main_window w;
    w.show();
    Modal_script script;
    w.page_start->btn_create->click();
    w.page_cfg->btn_switch_to_text->click();
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_text));
    // Typing marks the text modified.
    QVERIFY(!w.page_text->modified);
    w.page_text->editor->setFocus();
    type_text(w.page_text->editor, QStringLiteral("server("));
    QVERIFY(w.page_text->modified);
    const QString text = w.page_text->editor->toPlainText();
    script.press(close_box);
    w.page_text->btn_parse->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY2(script.seen[0].text.contains(QStringLiteral("строки")),
             qPrintable(script.seen[0].text));
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_text));
    QCOMPARE(w.page_text->editor->toPlainText(), text);
    QVERIFY(w.page_text->modified);
    QCOMPARE(int(configuration.servers.count), 0);
}

// A text longer than the editor takes at once comes in pieces: the page has all of it from the
// start, edits wait until it is all in, and the pieces are no steps of undo.
void tst_Main_window::long_text_round_trip_data() {
    QTest::addColumn<bool>("wait");
    QTest::addColumn<bool>("edit");
    QTest::newRow("parsed before it is all in") << false << false;
    QTest::newRow("parsed once all in") << true << false;
    QTest::newRow("edited, undone and parsed once all in") << true << true;
}

void tst_Main_window::long_text_round_trip() {
    QFETCH(bool, wait);
    QFETCH(bool, edit);
    const unsigned devices = 8000;
    QString cfg = QStringLiteral("server(address \"хост\", port 7001)\n{\n");
    for (unsigned i = 0; i < devices; ++i)
        cfg += QStringLiteral(" device(imei %1, pin \"1234\", notes \"машина %2\")\n")
                   .arg(356000000000000ULL + i)
                   .arg(i);
    cfg += QStringLiteral("}\n");
    Main_window w;
    w.show();
    Modal_script script;
    open(w, script, write("длинный.zelmo_upload", encode_plain(cfg.toUtf8())));
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(configuration.devices.count, devices);

    w.page_cfg->btn_switch_to_text->click();
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_text));
    QPlainTextEdit* editor = w.page_text->editor;
    QVERIFY(w.page_text->filling());
    QVERIFY(editor->isReadOnly());
    const QFont font = editor->document()->defaultFont();
    QCOMPARE(font.family(), font_value_big.family());
    const QString text = w.page_text->text();
    QVERIFY(text.endsWith(cfg));
    QVERIFY(!w.page_text->modified);
    if (wait) {
        QTRY_VERIFY_WITH_TIMEOUT(!w.page_text->filling(), 60000);
        QCOMPARE(editor->toPlainText(), text);
        QVERIFY(!editor->isReadOnly());
        QVERIFY(!w.page_text->modified);
    }
    if (edit) {
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        type_text(editor, QStringLiteral("# конец"));
        QVERIFY(w.page_text->modified);
        QCOMPARE(editor->toPlainText(), text + QStringLiteral("# конец"));
        while (editor->document()->isUndoAvailable())
            editor->undo();
        QCOMPARE(editor->toPlainText(), text);
    }

    w.page_text->btn_parse->click();
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_cfg));
    QCOMPARE(configuration.devices.count, devices);
    QCOMPARE(configuration.devices.rows[devices - 1].device->notes, QStringLiteral("машина 7999"));
    QCOMPARE(w.page_cfg->is_modified(), edit);
    // The emptied page is ready for the next text, in the same font.
    QVERIFY(!w.page_text->filling());
    QVERIFY(editor->toPlainText().isEmpty());
    QVERIFY(!editor->isReadOnly());
    QCOMPARE(editor->document()->defaultFont(), font);
}

// The parser gets what reading the editor gave it: text() in UTF-8, with the editor's line
// breaks, separators and no-break spaces as the editor hands them back, whether the text is
// still as given or changed, before it is all in or once it is.
void tst_Main_window::text_page_hands_over_its_text_data() {
    QTest::addColumn<int>("lines"); // plain lines between the marks: enough to fill in pieces
    // The marks the text is given with: all that the editor hands back otherwise, one of them,
    // or none.
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("wait");
    QTest::addColumn<QString>("edit"); // once the waiting is over
    const QString all = "all", none;
    QTest::newRow("short, as given") << 0 << all << false << QString();
    QTest::newRow("long, as given, before all in") << 9000 << all << false << QString();
    QTest::newRow("long, as given, once all in") << 9000 << all << true << QString();
    QTest::newRow("short, unmarked, as given") << 0 << none << false << QString();
    QTest::newRow("long, unmarked, before all in") << 9000 << none << false << QString();
    QTest::newRow("long, unmarked, once all in") << 9000 << none << true << QString();
    for (const QString& mark :
         {QStringLiteral("\r"), QStringLiteral("\u2028"), QStringLiteral("\u2029"),
          QStringLiteral("\u00a0"), QStringLiteral("\ufdd0"), QStringLiteral("\ufdd1")})
        QTest::newRow(qPrintable("short, only U+" + QString::number(mark[0].unicode(), 16)))
            << 0 << mark << false << QString();
    QTest::newRow("short, marks inserted") << 0 << all << false << "insert";
    QTest::newRow("long, unmarked, marks inserted") << 9000 << none << true << "insert";
    QTest::newRow("long, inserted and undone") << 9000 << all << true << "undo";
    QTest::newRow("long, all removed") << 9000 << all << true << "remove";
}

void tst_Main_window::text_page_hands_over_its_text() {
    QFETCH(int, lines);
    QFETCH(QString, given);
    QFETCH(QString, edit);
    QFETCH(bool, wait);
    const QString marks =
        QStringLiteral("a\r\nb\rc\u2028d\u2029e\ufdd0f\ufdd1g\u00a0h № \U0001F600 ") +
        QChar(0xd800) + 'x' + QChar(0xdc00) + '\n';
    // Characters whose UTF-8 starts as a mapped one does, and that read back unchanged.
    const QString unmarked = QStringLiteral("№ \u00a9 \u2030 \uffe5 \U0001F600\n");
    const QString ends = given == "all" ? marks : unmarked + given;
    QString text = ends;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral(" device(imei %1, pin \"1234\", notes \"машина\")\n").arg(i);
    text += ends;
    Page_text page(nullptr);
    page.set_text(text, false);
    QCOMPARE(page.filling(), lines > 0);
    if (wait)
        QTRY_VERIFY_WITH_TIMEOUT(!page.filling(), 60000);
    const QString before = page.text();
    QTextCursor cursor(page.editor->document());
    cursor.movePosition(QTextCursor::End);
    if (edit == "remove") {
        cursor.movePosition(QTextCursor::Start, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    } else if (!edit.isEmpty()) {
        cursor.insertText(marks);
    }
    if (edit == "undo") {
        page.editor->undo();
        QCOMPARE(page.text(), before);
    }
    Utf8_buffer bytes;
    page.utf8(bytes);
    QCOMPARE(bytes.bytes(), page.text().toUtf8());
    QCOMPARE(bytes.text()[bytes.length()], '\0');
    // What the parser gets: the text as given itself, not a copy, while it reads back so.
    Utf8_buffer scratch;
    const QByteArray to_parse = page.utf8_to_parse(scratch);
    QCOMPARE(to_parse, page.text().toUtf8());
    QCOMPARE(to_parse.constData()[to_parse.size()], '\0');
    QCOMPARE(scratch.text() == nullptr, given.isEmpty() && edit.isEmpty());
}

// A change pasted once the text is all in goes to the tables: the text as given lacks it.
void tst_Main_window::change_after_fill_reaches_tables() {
    QString cfg = QStringLiteral("server(address \"хост\", port 7001)\n{\n");
    for (unsigned i = 0; i < 8000; ++i)
        cfg += QStringLiteral(" device(imei %1, pin \"1234\")\n").arg(356000000000000ULL + i);
    Main_window w;
    Modal_script script;
    open(w, script, write("дополнить.zelmo_upload", encode_plain((cfg + "}\n").toUtf8())));
    w.page_cfg->btn_switch_to_text->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.page_text->filling(), 60000);
    w.page_text->editor->moveCursor(QTextCursor::End);
    w.page_text->editor->insertPlainText(
        QStringLiteral("server(address \"б\", port 2) { device(imei 7, pin \"1\", notes "
                       "\"x\u00a0\U0001F600\") }"));
    w.page_text->btn_parse->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_cfg));
    QCOMPARE(configuration.devices.count, 8001u);
    // The no-break space as the editor hands it back.
    QCOMPARE(configuration.devices.rows[0].device->notes, QStringLiteral("x \U0001F600"));
    QVERIFY(w.page_cfg->is_modified());
}

void tst_Main_window::filtered_tables_stay_on_switch_to_text() {
    Main_window w;
    w.show();
    Modal_script script;
    open(w, script, write("фильтр.zelmo_upload", encode_plain(cfg_text.toUtf8())));
    type_text(w.page_cfg->devices_filter, QStringLiteral("первое"));
    script.press(close_box);
    w.page_cfg->btn_switch_to_text->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY2(script.seen[1].text.contains(QStringLiteral("только 1 из 2 устройств")),
             qPrintable(script.seen[1].text));
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_cfg));
    QCOMPARE(configuration.devices.count, 2u);
    QVERIFY(w.page_text->editor->toPlainText().isEmpty());
}

void tst_Main_window::f1_opens_about_on_every_page_data() {
    QTest::addColumn<int>("page");
    QTest::newRow("start") << int(Main_window::page_index_start);
    QTest::newRow("configuration") << int(Main_window::page_index_cfg);
    QTest::newRow("text") << int(Main_window::page_index_text);
}

void tst_Main_window::f1_opens_about_on_every_page() {
    QFETCH(int, page);
    Main_window w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    if (page != Main_window::page_index_start)
        w.page_start->btn_create->click();
    if (page == Main_window::page_index_text)
        w.page_cfg->btn_switch_to_text->click();
    QCOMPARE(w.stack->currentIndex(), page);
    // F1 where the user is: in the filter field, in the editor, or on the window.
    QWidget* target = &w;
    if (page == Main_window::page_index_cfg)
        target = w.page_cfg->devices_filter;
    if (page == Main_window::page_index_text)
        target = w.page_text->editor;
    target->setFocus();
    Modal_script script;
    script.press(close_box);
    QTest::keyClick(target, Qt::Key_F1);
    QVERIFY(script.wait_all_answered());
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen[0].kind, QStringLiteral("Dialog_about"));
    QCOMPARE(script.seen[0].title, QStringLiteral("О программе"));
    QCOMPARE(w.stack->currentIndex(), page);
}

void tst_Main_window::window_close_by_page_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("answer"); // empty: no question expected
    QTest::addColumn<bool>("closed");
    QTest::newRow("start page never asks") << 0 << false << QString() << true;
    QTest::newRow("unmodified tables") << 1 << false << QString() << true;
    QTest::newRow("modified tables, no") << 1 << true << no << false;
    QTest::newRow("modified tables, yes") << 1 << true << yes << true;
    QTest::newRow("unmodified text") << 2 << false << QString() << true;
    QTest::newRow("modified text, no") << 2 << true << no << false;
    QTest::newRow("modified text, yes") << 2 << true << yes << true;
}

void tst_Main_window::window_close_by_page() {
    QFETCH(int, page);
    QFETCH(bool, modified);
    QFETCH(QString, answer);
    QFETCH(bool, closed);
    Main_window w;
    w.show();
    if (page >= 1)
        w.page_start->btn_create->click();
    if (page == 2)
        w.page_cfg->btn_switch_to_text->click();
    if (page == 1)
        w.page_cfg->modified = modified;
    if (page == 2)
        w.page_text->modified = modified;
    Modal_script script;
    if (!answer.isEmpty())
        script.press(answer);
    QAbstractButton* exit = page == 0   ? w.page_start->btn_exit
                            : page == 1 ? w.page_cfg->btn_exit
                                        : w.page_text->btn_exit;
    exit->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), answer.isEmpty() ? 0 : 1);
    if (!answer.isEmpty())
        QVERIFY(script.seen[0].text.contains(QStringLiteral("хотите выйти?")));
    QCOMPARE(w.isVisible(), !closed);
    QCOMPARE(w.stack->currentIndex(), page);
}

// Double-clicks a row of a table as a user would.
static void double_click_row(QAbstractItemView* view, int row) {
    const QRect rect = view->visualRect(view->model()->index(row, 1));
    // A double click arrives after the press of its first click.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

static QStringList column(QAbstractItemView* view, int col) {
    QStringList out;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        out << view->model()->index(r, col).data().toString();
    return out;
}

// The walk a newcomer takes: a demo configuration opened, a server and a device added and
// changed, an option set, the text view and back, saved plain and encrypted, closed.
void tst_Main_window::newcomer_walk() {
    const QString demo = write("демо.zelmo_upload", encode_plain(cfg_text.toUtf8()));
    const QString plain = dir.filePath(QStringLiteral("прогулка.zelmo_upload"));
    const QString secret = dir.filePath(QStringLiteral("прогулка-тайно.zelmo_upload"));
    Main_window w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Modal_script script;
    auto* servers = w.page_cfg->findChild<QAbstractItemView*>("table_servers");
    auto* devices = w.page_cfg->findChild<QAbstractItemView*>("table_devices");

    open(w, script, demo);
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_cfg));
    QVERIFY(!w.page_cfg->is_modified());
    QCOMPARE(w.page_cfg->btn_upload->text(), QStringLiteral("Закачать прошивку"));
    QCOMPARE(column(servers, 0), QStringList{QStringLiteral("хост")});
    QCOMPARE(column(servers, 1), QStringList{QStringLiteral("7001")});
    QCOMPARE(column(devices, 1),
             (QStringList{QStringLiteral("000000000000001"), QStringLiteral("356000000000002")}));

    script.then([](QWidget* d) {
        auto* add = qobject_cast<Dialog_add_server*>(d);
        QVERIFY(add);
        type_text(add->ebox_address, QStringLiteral("запасной"));
        type_text(add->ebox_port, QStringLiteral("7002"));
        add->btn_ok->click();
    });
    w.page_cfg->btn_add_server->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(column(servers, 0), (QStringList{QStringLiteral("запасной"), QStringLiteral("хост")}));
    QVERIFY(w.page_cfg->is_modified());

    script.then([](QWidget* d) {
        auto* edit = qobject_cast<Dialog_edit_server*>(d);
        QVERIFY(edit);
        QCOMPARE(edit->ebox_port->text(), QStringLiteral("7001"));
        edit->ebox_notes->setPlainText(QStringLiteral("основной"));
        edit->btn_ok->click();
    });
    double_click_row(servers, 1);
    QVERIFY(script.wait_all_answered());
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(column(servers, 2), (QStringList{QString(), QStringLiteral("основной")}));

    script.then([](QWidget* d) {
        auto* add = qobject_cast<Dialog_add_device*>(d);
        QVERIFY(add);
        add->cbox_server->setCurrentIndex(0);
        type_text(add->ebox_imei, QStringLiteral("356000000000003"));
        type_text(add->ebox_pin, QStringLiteral("0000"));
        add->btn_ok->click();
    });
    w.page_cfg->btn_add_device->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(devices->model()->rowCount(), 3);

    script.then([](QWidget* d) {
        auto* edit = qobject_cast<Dialog_edit_device*>(d);
        QVERIFY(edit);
        edit->ebox_notes->setPlainText(QStringLiteral("новое"));
        edit->btn_ok->click();
    });
    select_row(devices, 0);
    w.page_cfg->btn_edit_device->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY(column(devices, 2).contains(QStringLiteral("новое")));

    script.then([](QWidget* d) {
        auto* options = qobject_cast<Dialog_options*>(d);
        QVERIFY(options);
        options->cbox_defined[opt_connect_timeout]->setChecked(true);
        options->ebox_option[opt_connect_timeout]->setText(QStringLiteral("4321"));
        options->btn_ok->click();
    });
    w.page_cfg->btn_options->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(connect_timeout, 4321);

    w.page_cfg->btn_switch_to_text->click();
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_text));
    QVERIFY(w.page_text->editor->toPlainText().contains(QStringLiteral("connect_timeout = 4321")));
    QVERIFY(w.page_text->modified);
    w.page_text->btn_parse->click();
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_cfg));
    QCOMPARE(devices->model()->rowCount(), 3);

    script.choose_file(plain).then(password(QString()));
    w.page_cfg->btn_save->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY(!w.page_cfg->is_modified());
    script.choose_file(secret).then(password(QStringLiteral("тайна")));
    w.page_cfg->btn_save->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));

    QFile plain_file(plain), secret_file(secret);
    QVERIFY(plain_file.open(QIODevice::ReadOnly) && secret_file.open(QIODevice::ReadOnly));
    QVERIFY(plain_file.readAll().startsWith("\xEF\xBB\xBF#"));
    QVERIFY(is_container(secret_file.readAll()));

    // Saved: closing asks nothing; the encrypted file reads back, option included, once the
    // password fits.
    w.page_cfg->btn_close->click();
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_start));
    QCOMPARE(connect_timeout, 10000);
    open(w, script, secret, [](Modal_script& s) {
        s.then(password(QStringLiteral("не та"))).then(password(QStringLiteral("тайна")));
    });
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen[12].title, QStringLiteral("Пароль не подошёл - попробуйте ещё раз"));
    QVERIFY(!w.page_cfg->is_modified());
    QCOMPARE(connect_timeout, 4321);
    QCOMPARE(devices->model()->rowCount(), 3);
    QCOMPARE(column(servers, 2), (QStringList{QString(), QStringLiteral("основной")}));

    // A change, then the window's close: "Нет" keeps it open, "Да" lets it go.
    w.page_cfg->cbox_devfname->setCurrentIndex(1);
    script.press(no);
    QVERIFY(!w.close());
    script.press(yes);
    QVERIFY(w.close());
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QCOMPARE(script.seen.size(), 15);
    QVERIFY(script.seen[13].text.endsWith(QStringLiteral("Вы уверены, что хотите выйти?")));
}

void tst_Main_window::text_saved_as_is_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");
    QTest::newRow("faulty text") << QStringLiteral("// черновик\nserver(address \"хост\",\n")
                                 << false;
    QTest::newRow("comments and spacing")
        << QStringLiteral("# мой комментарий\n\n   server(address \"хост\", port 5)  {  }\n")
        << true;
}

// The text page writes what the editor holds, unparsed; reading the file back shows the same
// text (faulty) or the parsed configuration, in which comments and spacing are gone.
void tst_Main_window::text_saved_as_is() {
    QFETCH(QString, text);
    QFETCH(bool, parses);
    const QString path = dir.filePath(QStringLiteral("как есть %1.zelmo_upload").arg(parses));
    Main_window w;
    w.show();
    Modal_script script;
    w.page_start->btn_create->click();
    w.page_cfg->btn_switch_to_text->click();
    w.page_text->editor->setPlainText(text);
    QVERIFY(w.page_text->modified);
    script.cancel(); // a cancelled save keeps the flag
    w.page_text->btn_save->click();
    QVERIFY(w.page_text->modified);
    script.choose_file(path).then(password(QString()));
    w.page_text->btn_save->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    QVERIFY(!w.page_text->modified);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), encode_plain(text.toUtf8()));
    w.page_text->btn_close->click(); // saved: no question
    QCOMPARE(w.stack->currentIndex(), int(Main_window::page_index_start));

    open(w, script, path, [&](Modal_script& s) {
        if (!parses)
            s.press(close_box);
    });
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));
    if (!parses) {
        QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_text));
        QCOMPARE(w.page_text->editor->toPlainText(), text);
        return;
    }
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_cfg));
    w.page_cfg->btn_switch_to_text->click();
    const QString shown = w.page_text->editor->toPlainText();
    QVERIFY(!shown.contains(QStringLiteral("мой комментарий")));
    QVERIFY2(shown.contains(QStringLiteral("server(address \"хост\", port 5)\n{\n}\n")),
             qPrintable(shown));
}

// Every button, field and box of the three pages has a tooltip, and every field its label.
void tst_Main_window::every_control_explains_itself() {
    Main_window w;
    QStringList missing;
    for (QWidget* c : w.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) ||
                             qobject_cast<QComboBox*>(c) || qobject_cast<QTextEdit*>(c);
        // Widgets inside Qt's own composites (a combo box's view) are not the page's.
        if (control && !qobject_cast<QAbstractItemView*>(c->parentWidget()) &&
            c->toolTip().isEmpty())
            missing << c->objectName() + QLatin1Char(' ') + c->metaObject()->className();
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    QStringList buddies;
    for (QLabel* label : w.findChildren<QLabel*>())
        if (label->buddy())
            buddies << label->buddy()->objectName();
    buddies.sort();
    QCOMPARE(buddies,
             (QStringList{QStringLiteral("cbox_devfname"), QStringLiteral("cbox_filter_field"),
                          QStringLiteral("cbox_version_param"), QStringLiteral("devices_filter"),
                          QStringLiteral("ebox_devfname"), QStringLiteral("ebox_version")}));
}

void tst_Main_window::options_saved_and_loaded_data() {
    QTest::addColumn<QString>("typed");   // "key=value" rows checked and typed in the dialog
    QTest::addColumn<QString>("options"); // the options' lines of the saved file

    QTest::newRow("exchange option only: the file as it always was") << "connect_timeout=4321"
                                                                     << "connect_timeout = 4321\n";
    QTest::newRow("rollout options after the exchange options")
        << "retry_passes=2 connect_timeout=4321 canary=5 stop_at_failure_rate=10"
        << "connect_timeout = 4321\ncanary = 5\nstop_at_failure_rate = 10\nretry_passes = 2\n";
}

// Options typed in the dialog, the configuration saved, closed and opened again.
void tst_Main_window::options_saved_and_loaded() {
    QFETCH(QString, typed);
    QFETCH(QString, options);
    const QString demo = write("опции.zelmo_upload", encode_plain(cfg_text.toUtf8()));
    const QString saved =
        dir.filePath(QStringLiteral("опции-%1.zelmo_upload").arg(QTest::currentDataTag()));
    Main_window w;
    Modal_script script;
    open(w, script, demo);
    script.then([&typed](QWidget* d) {
        auto* dialog = qobject_cast<Dialog_options*>(d);
        QVERIFY(dialog);
        for (const QString& a : typed.split(' ')) {
            int i = 0;
            while (QString::fromLatin1(option_info[i].key) != a.section('=', 0, 0))
                ++i;
            dialog->cbox_defined[i]->setChecked(true);
            dialog->ebox_option[i]->setText(a.section('=', 1));
        }
        dialog->btn_ok->click();
    });
    w.page_cfg->btn_options->click();
    script.choose_file(saved).then(password(QString()));
    w.page_cfg->btn_save->click();
    QVERIFY2(script.all_answered(), qPrintable(script.unexpected.join('\n')));

    // The preamble, the options, then the servers exactly as the file always held them.
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QByteArray body = "\nserver(address \"хост\", port 7001, notes \"главный\")\n{\n"
                            " device(imei 000000000000001, pin \"1234\", notes \"первое\")\n"
                            " device(imei 356000000000002, pin \"\")\n}\n";
    const int head_end = bytes.indexOf("\n\n") + 2;
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF#"));
    QCOMPARE(QString::fromUtf8(bytes.mid(head_end)), QString::fromUtf8(options.toUtf8() + body));

    w.page_cfg->btn_close->click();
    QVERIFY(!rollout_options_defined());
    open(w, script, saved, [](Modal_script& s) { s.then(password(QString())); });
    QCOMPARE(w.stack->currentWidget(), static_cast<QWidget*>(w.page_cfg));
    for (const QString& a : typed.split(' ')) {
        int i = 0;
        while (QString::fromLatin1(option_info[i].key) != a.section('=', 0, 0))
            ++i;
        QVERIFY2(*option_info[i].defined, option_info[i].key);
        QCOMPARE(QString::number(get_option(i)), a.section('=', 1));
    }
    QCOMPARE(retry_delay_defined, false);
}

QTEST_MAIN(tst_Main_window)
#include "tst_main_window.moc"
