#include "foundation/err.h"
#include "ui/interface.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <stdexcept>

class tst_Err_gui : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void error_box_shows_text_with_one_close_button();
    void info_box_has_the_given_title();
    void show_exception_data();
    void show_exception();
    void show_debug_logs_and_shows();
    void confirmation_data();
    void confirmation();

private:
    QStringList entries() const;
    QTemporaryDir dir;
    QByteArray log_name;
};

struct Seen {
    QString title, text, button_tooltip;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool has_parent = true;
    bool escape_is_default = false;
};

// Waits for the modal box, notes what it shows and answers it with the given action.
static void answer_box(Seen& seen, std::function<void(QMessageBox*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, &seen, act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->stop();
        timer->deleteLater();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.has_parent = box->parentWidget() != nullptr;
        for (QAbstractButton* b : box->buttons())
            seen.buttons << b->text();
        if (!box->buttons().isEmpty())
            seen.button_tooltip = box->buttons().first()->toolTip();
        seen.escape_is_default = box->escapeButton() == box->defaultButton();
        // A box that ignores the answer must fail the test, not hang it.
        QPointer<QMessageBox> guard(box);
        QTimer::singleShot(3000, [guard] {
            if (guard)
                guard->done(-1);
        });
        act(box);
    });
    timer->start();
}

static void press_escape(QMessageBox* box) {
    QTest::keyClick(box, Qt::Key_Escape);
}

void tst_Err_gui::initTestCase() {
    QVERIFY(dir.isValid());
    log_name = dir.filePath(QStringLiteral("t.log")).toUtf8();
    log_file_name = log_name.constData();
}

void tst_Err_gui::init() {
    QFile::remove(QString::fromUtf8(log_name));
}

QStringList tst_Err_gui::entries() const {
    QFile f(QString::fromUtf8(log_name));
    if (!f.open(QIODevice::ReadOnly))
        return QStringList();
    QStringList out;
    for (const QString& e : QString::fromUtf8(f.readAll()).split(QLatin1String("\n\n"))) {
        if (!e.isEmpty())
            out << e.mid(e.indexOf(QLatin1String("] ")) + 2);
    }
    return out;
}

void tst_Err_gui::error_box_shows_text_with_one_close_button() {
    Seen seen;
    answer_box(seen, press_escape);
    show_error(QStringLiteral("Что-то не так."), nullptr);
    QCOMPARE(seen.title, QString::fromUtf8("zelmo_upload 1.9.0: ошибка"));
    QCOMPARE(seen.text, QString::fromUtf8("Что-то не так."));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QStringList{QString::fromUtf8("Закрыть")});
    QCOMPARE(seen.button_tooltip,
             QString::fromUtf8("Если вы сюда нажмёте, окно с сообщением будет закрыто.\n"
                               "Также это окно можно закрыть клавишами 'Esc', 'Enter', "
                               "'пробел' и 'Alt-F4'."));
    QVERIFY(!seen.has_parent);
    QVERIFY(seen.escape_is_default);
    QVERIFY(fonts_initialized);
    QVERIFY(entries().isEmpty());

    // Enter closes it as well.
    Seen again;
    answer_box(again, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
    show_error(QStringLiteral("x"), nullptr);
    QCOMPARE(again.text, QStringLiteral("x"));
}

void tst_Err_gui::info_box_has_the_given_title() {
    Seen seen;
    answer_box(seen, press_escape);
    show_info(QStringLiteral("zelmo_upload --help"), QStringLiteral("help"), nullptr);
    QCOMPARE(seen.title, QStringLiteral("zelmo_upload --help"));
    QCOMPARE(seen.icon, QMessageBox::Information);
    QCOMPARE(seen.buttons, QStringList{QString::fromUtf8("Закрыть")});
    QVERIFY(!seen.has_parent);
}

void tst_Err_gui::show_exception_data() {
    QTest::addColumn<bool>("is_err");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("logged");
    QTest::newRow("an Err shows its message and logs nothing more")
        << true << "Сообщение." << QStringList{"Сообщение."};
    QTest::newRow("another exception logs what() once, unprefixed, and shows it")
        << false << "сбой" << QStringList{"сбой"};
}

void tst_Err_gui::show_exception() {
    QFETCH(bool, is_err);
    QFETCH(QString, shown);
    QFETCH(QStringList, logged);
    Seen seen;
    answer_box(seen, press_escape);
    if (is_err) {
        const Err e(QString::fromUtf8("Сообщение."));
        ::show_exception(e, nullptr);
    } else {
        ::show_exception(std::runtime_error("сбой"), nullptr);
    }
    QCOMPARE(seen.text, shown);
    QCOMPARE(entries(), logged);
}

void tst_Err_gui::show_debug_logs_and_shows() {
    Seen seen;
    answer_box(seen, press_escape);
    show_debug(0x0103, nullptr);
    QCOMPARE(seen.text, QString::fromUtf8("Неожиданная ошибка №1.3."));
    QCOMPARE(entries(), QStringList{QString::fromUtf8("Неожиданная ошибка №1.3.")});
}

void tst_Err_gui::confirmation_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("answer");
    QTest::newRow("the yes button confirms") << "yes" << true;
    QTest::newRow("the no button refuses") << "no" << false;
    QTest::newRow("Esc answers no") << "esc" << false;
    QTest::newRow("Enter answers no") << "enter" << false;
    QTest::newRow("closing the window answers no") << "close" << false;
}

void tst_Err_gui::confirmation() {
    QFETCH(QString, action);
    QFETCH(bool, answer);
    QWidget parent;
    Seen seen;
    QStringList tooltips;
    answer_box(seen, [action, &tooltips](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons())
            tooltips << b->toolTip();
        auto find = [box](const char* text) -> QAbstractButton* {
            for (QAbstractButton* b : box->buttons())
                if (b->text() == QString::fromUtf8(text))
                    return b;
            return nullptr;
        };
        if (action == QLatin1String("yes"))
            find("Да")->click();
        else if (action == QLatin1String("no"))
            find("Нет")->click();
        else if (action == QLatin1String("esc"))
            QTest::keyClick(box, Qt::Key_Escape);
        else if (action == QLatin1String("enter"))
            QTest::keyClick(box, Qt::Key_Return);
        else
            box->close();
    });
    const bool result = get_confirmation(&parent, QStringLiteral("Удалить?"),
                                         QStringLiteral("yes tip"), QStringLiteral("no tip"));
    QCOMPARE(result, answer);
    QCOMPARE(seen.title, QStringLiteral("zelmo_upload 1.9.0"));
    QCOMPARE(seen.text, QString::fromUtf8("Удалить?"));
    QCOMPARE(seen.icon, QMessageBox::Question);
    QVERIFY(seen.has_parent);
    QVERIFY(seen.escape_is_default);
    QCOMPARE(seen.buttons.size(), 2);
    QVERIFY(seen.buttons.contains(QString::fromUtf8("Да")));
    QVERIFY(seen.buttons.contains(QString::fromUtf8("Нет")));
    QVERIFY(tooltips.contains(QStringLiteral("yes tip")));
    QVERIFY(tooltips.contains(QStringLiteral("no tip")));
    QVERIFY(entries().isEmpty());
}

QTEST_MAIN(tst_Err_gui)
#include "tst_err_gui.moc"
