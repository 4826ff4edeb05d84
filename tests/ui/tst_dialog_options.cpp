// The options dialog as a user drives it: boxes, range messages, and what reaches the option
// globals and their defined flags (or, for the trace switch alone, only trace_flags).
#include "config/config.h"
#include "foundation/err.h"
#include "support/dialog_input.h"
#include "ui/dialog_options.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every option as "value/defined", in table order.
QStringList options() {
    QStringList out;
    for (int i = 0; i < option_count; ++i)
        out << QStringLiteral("%1/%2").arg(get_option(i)).arg(*option_info[i].defined);
    return out;
}

} // namespace

class tst_Dialog_options : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void range_checks_data();
    void range_checks();
    void unchecking_shows_the_default();
    void accepted_values_land_with_their_flags_data();
    void accepted_values_land_with_their_flags();
    void rows_are_labelled_and_explained();

private:
    QTemporaryDir dir;
    QByteArray log_path;
};

void tst_Dialog_options::initTestCase() {
    QVERIFY(dir.isValid());
    log_path = QFile::encodeName(dir.filePath("dialog_options.log"));
    log_file_name = log_path.constData();
}

void tst_Dialog_options::init() {
    reset_options();
    trace_flags.store(0);
}

void tst_Dialog_options::range_checks_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("typed"); // keys; the field's validator and length filter them
    QTest::addColumn<QString>("message");

    const QString simult = QStringLiteral("«Количество одновременных закачек»");
    const QString connect = QStringLiteral("«Тайм-аут подключения к серверу»");
    QTest::newRow("simultaneously 0")
        << int(opt_simultaneously) << "0"
        << "Значение параметра " + simult + " не должно быть меньше 1.";
    QTest::newRow("simultaneously 65536, sixth digit dropped")
        << int(opt_simultaneously) << "655369"
        << "Значение параметра " + simult + " не должно превышать 65535.";
    QTest::newRow("simultaneously empty") << int(opt_simultaneously) << ""
                                          << "Не указано значение параметра " + simult + ".";
    QTest::newRow("time-out above a day")
        << int(opt_connect_timeout) << "86400001"
        << "Значение параметра " + connect + " не должно превышать 86400000.";
    QTest::newRow("time-out 0") << int(opt_connect_timeout) << "0"
                                << "Значение параметра " + connect + " не должно быть меньше 1.";
    QTest::newRow("failure rate above 100 per cent")
        << int(opt_stop_at_failure_rate) << "101"
        << "Значение параметра «Остановить работу при доле неудач» не должно превышать 100.";
    QTest::newRow("canary 0") << int(opt_canary) << "0"
                              << "Значение параметра «Размер пробной группы» не должно быть "
                                 "меньше 1.";
    QTest::newRow("retry passes checked but left empty")
        << int(opt_retry_passes) << ""
        << "Не указано значение параметра «Количество повторных проходов».";
    QTest::newRow("letters are not taken, leaving the field empty")
        << int(opt_reconnect_delay) << "abc"
        << "Не указано значение параметра «Задержка восстановления соединения».";
}

void tst_Dialog_options::range_checks() {
    QFETCH(int, option);
    QFETCH(QString, typed);
    QFETCH(QString, message);

    const QStringList before = options();
    Dialog_options dialog(nullptr);
    dialog.show();
    // A good change in another row must not be stored either.
    dialog.cbox_defined[opt_cmd_timeout]->click();
    retype(dialog.ebox_option[opt_cmd_timeout], QStringLiteral("777"));
    dialog.cbox_trace->click();
    dialog.cbox_defined[option]->click();
    retype(dialog.ebox_option[option], typed);
    QCOMPARE(click_expecting_box(dialog.btn_ok, true), message);
    QVERIFY(dialog.isVisible());
    QCOMPARE(options(), before);
    QCOMPARE(int(trace_flags.load()), 0);
}

void tst_Dialog_options::unchecking_shows_the_default() {
    set_option(opt_link_timeout, 1234);
    link_timeout_defined = true;
    Dialog_options dialog(nullptr);
    QLineEdit* e = dialog.ebox_option[opt_link_timeout];
    QCOMPARE(e->text(), QStringLiteral("1234"));
    QVERIFY(!e->isReadOnly());
    QVERIFY(dialog.ebox_option[opt_auth_timeout]->isReadOnly());
    dialog.cbox_defined[opt_link_timeout]->click();
    QCOMPARE(e->text(), QStringLiteral("3000"));
    QVERIFY(e->isReadOnly());
    dialog.cbox_defined[opt_link_timeout]->click();
    QCOMPARE(e->text(), QStringLiteral("3000"));
    QVERIFY(!e->isReadOnly());

    // A rollout option without a default shows nothing while it is off; the delay shows its.
    QLineEdit* canary_field = dialog.ebox_option[opt_canary];
    QCOMPARE(canary_field->text(), QString());
    QVERIFY(canary_field->isReadOnly());
    dialog.cbox_defined[opt_canary]->click();
    retype(canary_field, QStringLiteral("12"));
    dialog.cbox_defined[opt_canary]->click();
    QCOMPARE(canary_field->text(), QString());
    QCOMPARE(dialog.ebox_option[opt_retry_delay]->text(), QStringLiteral("5000"));
}

void tst_Dialog_options::accepted_values_land_with_their_flags_data() {
    QTest::addColumn<QString>("actions"); // "key=value" checks the box and types; "trace"
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("trace");

    QStringList defaults;
    for (int i = 0; i < option_count; ++i)
        defaults << QStringLiteral("%1/0").arg(option_info[i].default_value);
    QStringList two = defaults;
    two[opt_simultaneously] = "5/1";
    two[opt_reconnect_delay] = "86400000/1";
    QStringList at_default = defaults;
    at_default[opt_enumerate_timeout] = "5000/1";

    QStringList rollout = defaults;
    rollout[opt_canary] = "5/1";
    rollout[opt_stop_at_failure_rate] = "10/1";
    rollout[opt_retry_delay] = "5000/1";
    QTest::newRow("rollout options set, the delay at its default")
        << "canary=5 stop_at_failure_rate=10 retry_delay="
        << "" << int(QDialog::Accepted) << rollout << 0;
    QTest::newRow("two options set") << "simultaneously=5 reconnect_delay=86400000"
                                     << "" << int(QDialog::Accepted) << two << 0;
    QTest::newRow("checked at its default is still a change")
        << "enumerate_timeout="
        << "" << int(QDialog::Accepted) << at_default << 0;
    QTest::newRow("trace alone closes without marking the configuration")
        << "trace"
        << "" << int(QDialog::Rejected) << defaults << 1;
    QTest::newRow("options and trace") << "simultaneously=5 reconnect_delay=86400000 trace"
                                       << "" << int(QDialog::Accepted) << two << 1;
    QTest::newRow("nothing changed")
        << ""
        << "Ничего не изменилось.\nЕсли вы не хотите ничего менять, закройте диалог "
           "кнопкой «Отмена»."
        << -1 << defaults << 0;
}

void tst_Dialog_options::accepted_values_land_with_their_flags() {
    QFETCH(QString, actions);
    QFETCH(QString, message);
    QFETCH(int, result);
    QFETCH(QStringList, after);
    QFETCH(int, trace);

    Dialog_options dialog(nullptr);
    dialog.show();
    for (const QString& a : actions.split(' ', Qt::SkipEmptyParts)) {
        if (a == "trace") {
            dialog.cbox_trace->click();
            continue;
        }
        const QString key = a.section('=', 0, 0);
        int i = 0;
        while (QString::fromLatin1(option_info[i].key) != key)
            ++i;
        dialog.cbox_defined[i]->click();
        if (!a.section('=', 1).isEmpty())
            retype(dialog.ebox_option[i], a.section('=', 1));
    }
    QCOMPARE(click_expecting_box(dialog.btn_ok, !message.isEmpty()), message);
    QCOMPARE(dialog.isVisible(), result < 0);
    if (result >= 0)
        QCOMPARE(dialog.result(), result);
    QCOMPARE(options(), after);
    QCOMPARE(int(trace_flags.load()), trace);

    // Closing the configuration forgets the options but not the trace switch.
    clear_cfg();
    for (int i = 0; i < option_count; ++i) {
        QCOMPARE(get_option(i), option_info[i].default_value);
        QVERIFY(!*option_info[i].defined);
    }
    QCOMPARE(int(trace_flags.load()), trace);
}

void tst_Dialog_options::rows_are_labelled_and_explained() {
    Dialog_options dialog(nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Тонкая настройка"));
    QCOMPARE(missing_hints(&dialog), QString());
    for (int i = 0; i < exchange_option_count; ++i) {
        const QString value = QString::number(option_info[i].default_value);
        QVERIFY2(dialog.label_option[i]->toolTip().endsWith("по умолчанию равно " + value + "."),
                 option_info[i].key);
        QVERIFY2(dialog.cbox_defined[i]->toolTip().contains(value), option_info[i].key);
        QCOMPARE(dialog.ebox_option[i]->maxLength(), i == opt_simultaneously ? 5 : 8);
    }
    QVERIFY(dialog.cbox_defined[opt_connect_timeout]->toolTip().startsWith(
        QStringLiteral("Если здесь стоит отметка, для параметра «Тайм-аут подключения к\n"
                       "серверу» будет использоваться то значение")));
    QVERIFY(dialog.label_option[opt_reconnect_delay]->toolTip().endsWith(
        QStringLiteral("в диапазоне 1...86400000,\nзначение по умолчанию равно 1000.")));
    QVERIFY(dialog.cbox_trace->toolTip().contains(QString::fromLocal8Bit(log_file_name)));
    // The rollout rows sit in their own group, between the exchange options and the trace.
    QCOMPARE(dialog.group_rollout->title(), QStringLiteral("Безопасный запуск"));
    for (int i = first_rollout_option; i < option_count; ++i) {
        QCOMPARE(dialog.ebox_option[i]->parentWidget(),
                 static_cast<QWidget*>(dialog.group_rollout));
        QVERIFY2(dialog.label_option[i]->toolTip().contains(
                     "1..." + QString::number(option_info[i].maximum)),
                 option_info[i].key);
    }
    QCOMPARE(dialog.label_ms[opt_stop_at_failure_rate]->text(), QStringLiteral("%"));
    QVERIFY(!dialog.label_ms[opt_canary]);
}

QTEST_MAIN(tst_Dialog_options)
#include "tst_dialog_options.moc"
