#include "config/config.h"
#include "foundation/err.h"
#include "protocol/enumerate.h"
#include "protocol/frame.h"
#include "support/scripted_peer.h"
#include "support/sim_process.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Recorder : Enumerate_report {
    void success() override { outcomes << "success"; }
    void empty_success() override { outcomes << "empty"; }
    void failure(const QString& text) override { outcomes << "failure: " + text; }
    QStringList outcomes;
};

// One 57-byte entry: 15 IMEI bytes, a zero, 40 name bytes, a zero.
QByteArray entry(const QByteArray& imei, char name = 'n', char imei_z = 0, char name_z = 0) {
    return imei + imei_z + QByteArray(40, name) + name_z;
}

QByteArray imei_of(uint64_t v) {
    return QByteArray::number(qulonglong(v)).rightJustified(15, '0');
}

// An answer frame with n consecutive IMEIs from `first`.
QByteArray answer(unsigned n, uint64_t first = 350000000000000) {
    QByteArray p(2, '\0');
    put_u16(reinterpret_cast<unsigned char*>(p.data()), n);
    for (unsigned i = 0; i < n; ++i)
        p += entry(imei_of(first + i));
    return frame_bytes(ENUMERATE_ANSWER, p);
}

QByteArray answer_of(const QByteArray& entries, unsigned announced) {
    QByteArray p(2, '\0');
    put_u16(reinterpret_cast<unsigned char*>(p.data()), announced);
    return frame_bytes(ENUMERATE_ANSWER, p + entries);
}

const QByteArray enumerate_request = QByteArray::fromHex("00000c3995f7f6");

QString violation(const char* rest) {
    return "failure: Нарушение протокола сервером: " + QString::fromUtf8(rest);
}

// An enumeration into `model` of the server listening on this machine at `port`, started at once.
struct Run {
    Server server;
    Recorder report;
    Enumerate e;
    Run(Enumerated& model, unsigned short port) : e(model) {
        server.address = QStringLiteral("127.0.0.1");
        server.port = port;
        e.start(server, report);
    }
};

} // namespace

class tst_Enumerate : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void answers_data();
    void answers();
    void against_the_simulator_data();
    void against_the_simulator();
    void abort_in_the_middle();
    void whole_list_must_arrive_within_the_time_out();
    void model_shows_fifteen_digits_built_once();
    void model_refuses_cells_outside_the_list_data();
    void model_refuses_cells_outside_the_list();
    void header();

private:
    QTemporaryDir dir;
    QByteArray log_path;
};

void tst_Enumerate::initTestCase() {
    QVERIFY(dir.isValid());
    log_path = QFile::encodeName(dir.filePath("enumerate.log"));
    log_file_name = log_path.constData();
}

void tst_Enumerate::init() {
    reset_options();
}

void tst_Enumerate::answers_data() {
    QTest::addColumn<QByteArray>("frames");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("resets");
    QTest::addColumn<QString>("last"); // the last row's text

    const QString n_dev_range = violation(
        "в пришедшем от сервера сообщении «список устройств от сервера клиенту» поле «число "
        "устройств» содержит значение 1001, а должно быть в диапазоне 0...1000.");
    const QByteArray good = entry(imei_of(350000000000001));

    QTest::newRow("server without devices") << answer(0) << "empty" << 0 << 0 << QString();
    QTest::newRow("exactly 1000 devices end with an empty frame")
        << answer(1000) + answer(0) << "success" << 1000 << 1 << "350000000000999";
    QTest::newRow("2500 devices in three frames")
        << answer(1000) + answer(1000, 350000000001000) + answer(500, 350000000002000) << "success"
        << 2500 << 1 << "350000000002499";
    QTest::newRow("name bytes may hold anything, leading zeros stay")
        << answer_of(entry(imei_of(1), '\xff'), 1) << "success" << 1 << 1 << "000000000000001";
    QTest::newRow("letter among the IMEI digits")
        << answer_of(good + entry("35000000000000A"), 2)
        << violation("в пришедшем от сервера сообщении «список устройств от сервера клиенту» "
                     "содержимое поля «IMEI» не является 15-значным десятичным числом.")
        << 0 << 0 << QString();
    QTest::newRow("non-zero byte behind the IMEI")
        << answer_of(entry(imei_of(7), 'n', '\x20'), 1)
        << violation("в пришедшем от сервера сообщении «список устройств от сервера клиенту» "
                     "поле «завершающий ноль IMEI» содержит значение 32, а должно быть 0.")
        << 0 << 0 << QString();
    QTest::newRow("non-zero byte behind the name")
        << answer_of(entry(imei_of(7), 'n', 0, 'x'), 1)
        << violation("в пришедшем от сервера сообщении «список устройств от сервера клиенту» "
                     "поле «завершающий ноль пользовательского имени устройства» содержит "
                     "значение 120, а должно быть 0.")
        << 0 << 0 << QString();
    QTest::newRow("one payload byte")
        << frame_bytes(ENUMERATE_ANSWER, QByteArray(1, '\0'))
        << violation("в пришедшем от сервера сообщении «список устройств от сервера клиенту» "
                     "поле «длина сообщения» содержит значение 1, а должно быть в диапазоне "
                     "2...57002.")
        << 0 << 0 << QString();
    QTest::newRow("1001 devices announced")
        << answer_of(QByteArray(), 1001) << n_dev_range << 0 << 0 << QString();
    QTest::newRow("length does not match the count")
        << answer_of(good + QByteArray(56, '\0'), 2)
        << violation("в пришедшем от сервера сообщении «список устройств от сервера клиенту» "
                     "поле «длина сообщения» содержит значение 115, что не стыкуется с тем, что "
                     "поле «число устройств» содержит значение 2 (следовательно, поле «длина "
                     "сообщения» должно содержать значение 116).")
        << 0 << 0 << QString();
    QTest::newRow("answer of another type")
        << frame_bytes(CMD_ANSWER, "x")
        << violation("в ответ на посланное нами сообщение «запрос списка устройств у сервера» от "
                     "сервера пришло сообщение с типом 2 и длиной полезной нагрузки 1.")
        << 0 << 0 << QString();
    // The earlier page stays; the one reset is closed so that views see a settled model.
    QTest::newRow("fault after a full frame keeps the first")
        << answer(1000) + answer_of(QByteArray(), 1001) << n_dev_range << 0 << 1 << QString();
    QTest::newRow("a ping inside the list is answered")
        << answer(1000) + frame_bytes(PING, "") + answer(3, 1) << "success" << 1003 << 1
        << "000000000000003";
}

void tst_Enumerate::answers() {
    QFETCH(QByteArray, frames);
    QFETCH(QString, outcome);
    QFETCH(int, rows);
    QFETCH(int, resets);
    QFETCH(QString, last);

    Scripted_peer peer;
    peer.when_received(enumerate_request.size(), frames);
    Enumerated model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy begun(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy ended(&model, &QAbstractItemModel::modelReset);
    Run run(model, peer.port());
    QTRY_COMPARE(run.report.outcomes.size(), 1);
    QCOMPARE(run.report.outcomes.first(), outcome);
    QCOMPARE(peer.received.left(7).toHex(), enumerate_request.toHex());
    QCOMPARE(begun.size(), resets);
    QCOMPARE(ended.size(), resets);
    QVERIFY(!run.e.reset_open);
    QVERIFY(!run.e.has_connection());
    if (outcome.startsWith("failure"))
        return;
    QCOMPARE(model.rowCount(), rows);
    if (rows)
        QCOMPARE(model.data(model.index(rows - 1, 0)).toString(), last);
    QTRY_COMPARE(peer.disconnects, 1); // closed in an orderly way
    QCOMPARE(peer.received.size(), frames.contains(frame_bytes(PING, "")) ? 7 + 28 : 7);
}

void tst_Enumerate::against_the_simulator_data() {
    QTest::addColumn<QString>("fleet");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("rows");
    QTest::newRow("no devices") << "port 0\n"
                                << "empty" << 0;
    QTest::newRow("1000 devices") << "port 0\nrange 350000000000000 1000\n"
                                  << "success" << 1000;
    QTest::newRow("2500 devices") << "port 0\nrange 350000000000000 2500\n"
                                  << "success" << 2500;
    QTest::newRow("a letter in an IMEI")
        << "port 0 enum_fault=bad_digit\nrange 350000000000000 3\n"
        << violation("в пришедшем от сервера сообщении «список устройств от сервера клиенту» "
                     "содержимое поля «IMEI» не является 15-значным десятичным числом.")
        << 0;
    QTest::newRow("more than 1000 in a frame")
        << "port 0 enum_fault=too_many\nrange 350000000000000 3\n"
        << violation("в пришедшем от сервера сообщении «список устройств от сервера клиенту» "
                     "поле «число устройств» содержит значение 1001, а должно быть в диапазоне "
                     "0...1000.")
        << 0;
}

void tst_Enumerate::against_the_simulator() {
    QFETCH(QString, fleet);
    QFETCH(QString, outcome);
    QFETCH(int, rows);
    Sim_process sim;
    QVERIFY2(sim.start(fleet), qPrintable(sim.error()));
    Enumerated model;
    QSignalSpy ended(&model, &QAbstractItemModel::modelReset);
    Run run(model, sim.port());
    QTRY_COMPARE(run.report.outcomes.size(), 1);
    QCOMPARE(run.report.outcomes.first(), outcome);
    QCOMPARE(model.rowCount(), rows);
    QCOMPARE(ended.size(), rows ? 1 : 0);
    if (rows) {
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("350000000000000"));
        QCOMPARE(model.data(model.index(rows - 1, 0)).toString(),
                 QString::number(350000000000000LL + rows - 1));
    }
    QVERIFY(sim.stop());
}

void tst_Enumerate::abort_in_the_middle() {
    Scripted_peer peer;
    peer.when_received(enumerate_request.size(), answer(1000));
    Enumerated model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy begun(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy ended(&model, &QAbstractItemModel::modelReset);
    Run run(model, peer.port());
    QTRY_COMPARE(model.page_count, static_cast<unsigned short>(1));
    QCOMPARE(begun.size(), 1);
    QCOMPARE(ended.size(), 0);
    run.e.stop();
    QCOMPARE(ended.size(), 1);
    QVERIFY(!run.e.has_connection());
    QVERIFY(peer.wait_disconnects(1));
    peer.send(answer(0)); // too late: nobody listens
    QTest::qWait(30);
    QCOMPARE(run.report.outcomes, QStringList());
}

void tst_Enumerate::whole_list_must_arrive_within_the_time_out() {
    // Frames keep coming, but the time-out runs from the request, not from the last frame.
    set_option(opt_enumerate_timeout, 300);
    Scripted_peer peer;
    Enumerated model;
    Run run(model, peer.port());
    QVERIFY(peer.wait_received(7));
    for (int i = 0; i < 6 && run.report.outcomes.isEmpty(); ++i) {
        peer.send(answer(1000, 100000 + 1000 * i));
        QTest::qWait(100);
    }
    QTRY_COMPARE(run.report.outcomes,
                 QStringList{"failure: Тайм-аут ожидания ответа на сообщение «запрос списка "
                             "устройств у сервера» (с момента начала передачи сообщения прошло "
                             "более 300 миллисекунд)."});
    QVERIFY(model.page_count < 6);
}

void tst_Enumerate::model_shows_fifteen_digits_built_once() {
    Enumerated model;
    Enumerated_entry* page = Enumerated::allocate_page(2);
    page[0].imei = 1;
    page[1].imei = 999999999999999;
    model.append_page(page);
    model.set_last_page_count(2);
    const QString first = model.data(model.index(0, 0)).toString();
    QCOMPARE(first, QStringLiteral("000000000000001"));
    QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("999999999999999"));
    QCOMPARE(model.data(model.index(0, 0)).toString().constData(), first.constData());
    QCOMPARE(model.data(model.index(0, 0), Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
    QVERIFY(!model.data(model.index(0, 0), Qt::ToolTipRole).isValid());
}

void tst_Enumerate::model_refuses_cells_outside_the_list_data() {
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("code");
    QTest::newRow("negative row") << 1 << -1 << 0 << 0x1403;
    QTest::newRow("empty model") << 0 << 0 << 0 << 0x1404;
    QTest::newRow("row past the last page's count") << 2 << 1005 << 0 << 0x1405;
    QTest::newRow("row past the last page") << 2 << 2000 << 0 << 0x1406;
    QTest::newRow("second column") << 1 << 0 << 1 << 0x1407;
}

void tst_Enumerate::model_refuses_cells_outside_the_list() {
    QFETCH(int, pages);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, code);
    // createIndex: the model's own index() refuses such cells before data() sees them.
    struct Open_model : Enumerated {
        using Enumerated::createIndex;
    } model;
    for (int i = 0; i < pages; ++i)
        model.append_page(Enumerated::allocate_page(enumerated_page_size));
    model.set_last_page_count(5);
    QFile::remove(QFile::decodeName(log_path));
    const QModelIndex index = model.createIndex(row, column);
    QVERIFY(!model.data(index).isValid());
    QFile f(QFile::decodeName(log_path));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(
        QString::fromUtf8(f.readAll()).contains(debug_errtext(static_cast<unsigned short>(code))));
}

void tst_Enumerate::header() {
    Enumerated model;
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("IMEI"));
    const QString head = "В этом столбце отображаются IMEI устройств, подключенных через\n"
                         "выбранный вами сервер.";
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(), head);
    const QString tail = QStringLiteral("\n\nIMEI это ...");
    // The window sets a QFont; the core hands on whatever it was given.
    const QVariant font(QStringLiteral("Serif,7"));
    model.header_hint_tail = &tail;
    model.header_font = font;
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(), head + tail);
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::FontRole), font);
    QCOMPARE(model.headerData(3, Qt::Vertical, Qt::FontRole), font);
    QCOMPARE(model.headerData(3, Qt::Vertical).toInt(), 4);
    QVERIFY(!model.headerData(1, Qt::Horizontal).isValid());
}

QTEST_MAIN(tst_Enumerate)
#include "tst_enumerate.moc"
