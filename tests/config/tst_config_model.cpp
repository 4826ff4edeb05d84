#include "config/config.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QtTest>
#include <cstring>
#include <map>

// Follows a model only through its change signals. Comparing it with the model's data after an
// operation shows whether every change was announced (a missing dataChanged leaves a stale
// cell here, a wrong row move leaves rows in the wrong place).
class Mirror : public QObject {
public:
    explicit Mirror(QAbstractItemModel* model) : model(model) {
        connect(model, &QAbstractItemModel::modelReset, this, [this] { rows = read_all(); });
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first, int last) {
                    for (int r = first; r <= last; ++r)
                        rows.insert(r, read_row(r));
                });
        connect(model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex&, int first, int last) {
                    rows.erase(rows.begin() + first, rows.begin() + last + 1);
                });
        connect(model, &QAbstractItemModel::rowsMoved, this,
                [this](const QModelIndex&, int first, int last, const QModelIndex&, int dest) {
                    const QList<QStringList> block = rows.mid(first, last - first + 1);
                    rows.erase(rows.begin() + first, rows.begin() + last + 1);
                    const int at = dest > last ? dest - (last - first + 1) : dest;
                    for (int i = 0; i < block.size(); ++i)
                        rows.insert(at + i, block[i]);
                });
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& tl, const QModelIndex& br) {
                    ++changes;
                    for (int r = tl.row(); r <= br.row(); ++r)
                        for (int c = tl.column(); c <= br.column(); ++c)
                            rows[r][c] = cell(r, c);
                });
        rows = read_all();
    }

    QString cell(int r, int c) const { return model->index(r, c).data().toString(); }
    QStringList read_row(int r) const {
        QStringList row;
        for (int c = 0; c < model->columnCount(); ++c)
            row << cell(r, c);
        return row;
    }
    QList<QStringList> read_all() const {
        QList<QStringList> all;
        for (int r = 0; r < model->rowCount(); ++r)
            all << read_row(r);
        return all;
    }
    bool agrees() const { return rows == read_all(); }

    QAbstractItemModel* model;
    QList<QStringList> rows;
    int changes = 0;
};

class tst_Config_model : public QObject {
    Q_OBJECT
private slots:
    void init();
    void add_server_data();
    void add_server();
    void delete_server_shifts_later_devices();
    void server_with_devices_cannot_be_deleted();
    void change_server_data();
    void change_server();
    void change_device_announces_changed_columns_data();
    void change_device_announces_changed_columns();
    void random_edits_agree_with_reference();
    void imei_text_data();
    void imei_text();
    void select_by_result_data();
    void select_by_result();
    void descriptions_escape_for_tab_separated_text();
    void device_description_places_notes_among_values();
    void stopped_server_gives_its_devices_the_connection_errors();
};

static const char no_pin[pin_size] = {};

static QString key_of(const Server& s) {
    return s.address + QLatin1Char(':') + QString::number(s.port);
}

// Every device as "server key/IMEI", in table order.
static QStringList device_keys(const Collection& c) {
    QStringList out;
    for (unsigned i = 0; i < c.devices.count; ++i)
        out << key_of(*c.servers.rows[c.devices.rows[i].server].server) + QLatin1Char('/') +
                   QString::number(c.devices.rows[i].device->imei);
    return out;
}

static QStringList server_keys(const Collection& c) {
    QStringList out;
    for (unsigned i = 0; i < c.servers.count; ++i)
        out << key_of(*c.servers.rows[i].server);
    return out;
}

// Builds servers "address:port" with the given numbers of devices (IMEIs 1, 2, ...).
static void build(const QStringList& servers, const QList<int>& device_counts) {
    clear_cfg();
    for (const QString& s : servers) {
        const int colon = s.lastIndexOf(QLatin1Char(':'));
        configuration.add_server({s.left(colon), s.mid(colon + 1).toUShort()}, {});
    }
    for (int i = 0; i < servers.size(); ++i) {
        const int colon = servers[i].lastIndexOf(QLatin1Char(':'));
        bool found;
        const unsigned short row = configuration.servers.find(
            servers[i].left(colon), servers[i].mid(colon + 1).toUShort(), found);
        for (int d = 1; d <= device_counts.value(i); ++d)
            configuration.add_device({uint64_t(d), row}, no_pin, {});
    }
}

static QString thrown_message(const std::function<void()>& f) {
    try {
        f();
    } catch (const Err& e) {
        return e.message;
    }
    return QString();
}

void tst_Config_model::init() {
    clear_cfg();
}

void tst_Config_model::add_server_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("error");

    QTest::newRow("address differing only in case is another server")
        << QStringLiteral("A") << 1 << 0 << QString();
    QTest::newRow("same address with another port") << QStringLiteral("b") << 3 << 2 << QString();
    QTest::newRow("after the last") << QStringLiteral("c") << 0 << 4 << QString();
    QTest::newRow("between addresses") << QStringLiteral("ab") << 9 << 1 << QString();
    QTest::newRow("address with a tab is refused: the text could not be read back")
        << QStringLiteral("a\tb") << 1 << -1
        << QStringLiteral("Адрес сервера содержит недопустимый символ с кодом 0x09 (адрес не "
                          "должен содержать управляющие символы).");
    QTest::newRow("address with a line separator is refused")
        << QString::fromUtf16(u"a\u2028") << 1 << -1
        << QStringLiteral("Адрес сервера содержит недопустимый символ с кодом 0x2028 (адрес не "
                          "должен содержать управляющие символы).");
    QTest::newRow("same address and port is refused")
        << QStringLiteral("b") << 5 << -1
        << QStringLiteral(
               "Сервер с адресом «b» и номером порта 5 уже есть в текущей конфигурации.");
}

void tst_Config_model::add_server() {
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(int, row);
    QFETCH(QString, error);
    build({"a:1", "b:1", "b:5", "b:7"}, {1, 2, 1, 3});
    QAbstractItemModelTester st(&configuration.servers);
    QAbstractItemModelTester dt(&configuration.devices);
    Mirror sm(&configuration.servers), dm(&configuration.devices);
    const QStringList devices_before = device_keys(configuration);
    const QStringList servers_before = server_keys(configuration);
    QSignalSpy inserted(&configuration.servers, &QAbstractItemModel::rowsInserted);

    const QString message = thrown_message([&] {
        QCOMPARE(int(configuration.add_server({address, quint16(port)}, "n")), row);
    });
    QCOMPARE(message, error);
    if (row < 0) {
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(server_keys(configuration), servers_before);
    } else {
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted[0][1].toInt(), row);
        QCOMPARE(configuration.servers.rows[row].server->notes, QStringLiteral("n"));
        QStringList expected = servers_before;
        expected.insert(row, address + QLatin1Char(':') + QString::number(port));
        QCOMPARE(server_keys(configuration), expected);
    }
    // Every device still belongs to the server it had, and the views saw the renumbering.
    QCOMPARE(device_keys(configuration), devices_before);
    QVERIFY(sm.agrees());
    QVERIFY(dm.agrees());
}

void tst_Config_model::delete_server_shifts_later_devices() {
    build({"a:1", "b:1", "c:1", "d:1"}, {2, 0, 1, 3});
    QAbstractItemModelTester dt(&configuration.devices);
    Mirror sm(&configuration.servers), dm(&configuration.devices);
    const QStringList devices_before = device_keys(configuration);
    configuration.delete_server(1);
    QCOMPARE(server_keys(configuration), QStringList({"a:1", "c:1", "d:1"}));
    QCOMPARE(device_keys(configuration), devices_before);
    QCOMPARE(int(configuration.devices.rows[2].server), 1);
    QCOMPARE(int(configuration.devices.rows[5].server), 2);
    QVERIFY(sm.agrees());
    QVERIFY(dm.agrees());

    build({"only:1"}, {0});
    configuration.delete_server(0);
    QCOMPARE(int(configuration.servers.count), 0);
    QCOMPARE(configuration.devices.count, 0u);
    QCOMPARE(configuration.servers.rowCount(), 0);
}

void tst_Config_model::server_with_devices_cannot_be_deleted() {
    build({"a:1", "b:1"}, {0, 1});
    QVERIFY(!thrown_message([] { configuration.delete_server(1); }).isEmpty());
    QCOMPARE(server_keys(configuration), QStringList({"a:1", "b:1"}));
    QCOMPARE(device_keys(configuration), QStringList({"b:1/1"}));
}

void tst_Config_model::change_server_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("error");

    QTest::newRow("port change moves the row down past servers with devices")
        << 0 << QStringLiteral("c") << 9 << 2 << QString();
    QTest::newRow("address change moves the row up")
        << 3 << QStringLiteral("a") << 0 << 0 << QString();
    QTest::newRow("server without devices moves to the end")
        << 1 << QStringLiteral("z") << 1 << 3 << QString();
    QTest::newRow("key change that keeps the place")
        << 1 << QStringLiteral("b") << 2 << 1 << QString();
    QTest::newRow("move by one place down") << 1 << QStringLiteral("c") << 2 << 2 << QString();
    QTest::newRow("move by one place up") << 2 << QStringLiteral("a") << 2 << 1 << QString();
    QTest::newRow("address with a C1 control is refused")
        << 0 << QString::fromUtf16(u"a\u0085") << 1 << -1
        << QStringLiteral("Адрес сервера содержит недопустимый символ с кодом 0x85 (адрес не "
                          "должен содержать управляющие символы).");
    QTest::newRow("collision is refused")
        << 0 << QStringLiteral("c") << 1 << -1
        << QStringLiteral(
               "Сервер с адресом «c» и номером порта 1 уже есть в текущей конфигурации.");
}

void tst_Config_model::change_server() {
    QFETCH(int, index);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(int, row);
    QFETCH(QString, error);
    build({"a:1", "b:1", "c:1", "d:1"}, {2, 0, 1, 3});
    QAbstractItemModelTester st(&configuration.servers);
    QAbstractItemModelTester dt(&configuration.devices);
    Mirror sm(&configuration.servers), dm(&configuration.devices);
    Server* changed = configuration.servers.rows[index].server;
    // Devices identified by object, so that the renamed server's devices can be followed.
    QList<QPair<Device*, Server*>> owners;
    for (unsigned i = 0; i < configuration.devices.count; ++i)
        owners << qMakePair(
            configuration.devices.rows[i].device,
            configuration.servers.rows[configuration.devices.rows[i].server].server);

    const QString message = thrown_message([&] {
        QCOMPARE(int(configuration.change_server(quint16(index), {address, quint16(port)}, "n")),
                 row);
    });
    QCOMPARE(message, error);
    if (row >= 0) {
        QCOMPARE(configuration.servers.rows[row].server, changed);
        QCOMPARE(changed->notes, QStringLiteral("n"));
        QCOMPARE(changed->port_str(), QString::number(port));
    }
    QStringList keys = server_keys(configuration);
    QStringList sorted = keys;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        const int ca = a.lastIndexOf(':'), cb = b.lastIndexOf(':');
        return qMakePair(a.left(ca), a.mid(ca + 1).toInt()) <
               qMakePair(b.left(cb), b.mid(cb + 1).toInt());
    });
    QCOMPARE(keys, sorted);
    for (unsigned i = 0; i < configuration.devices.count; ++i) {
        const Device_row& r = configuration.devices.rows[i];
        Server* owner = nullptr;
        for (const auto& o : owners)
            if (o.first == r.device)
                owner = o.second;
        QCOMPARE(configuration.servers.rows[r.server].server, owner);
        if (i > 0)
            QVERIFY(configuration.devices.rows[i - 1].server <= r.server);
    }
    QVERIFY(sm.agrees());
    QVERIFY(dm.agrees());
}

void tst_Config_model::change_device_announces_changed_columns_data() {
    QTest::addColumn<int>("server");
    QTest::addColumn<qulonglong>("imei");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("ranges");
    QTest::addColumn<QString>("error");

    QTest::newRow("PIN only: nothing shown changes")
        << 0 << 2ull << QString() << QString() << QString();
    QTest::newRow("notes only: one cell") << 0 << 2ull << "x"
                                          << "2-2" << QString();
    QTest::newRow("IMEI and notes: one signal over two columns") << 0 << 50ull << "x"
                                                                 << "1-2" << QString();
    QTest::newRow("server and notes: two signals") << 1 << 2ull << "x"
                                                   << "0-0 2-2" << QString();
    QTest::newRow("all three: one signal") << 1 << 7ull << "x"
                                           << "0-2" << QString();
    QTest::newRow("IMEI taken under the same server is refused")
        << 0 << 3ull << "x" << QString()
        << QStringLiteral("Устройство с IMEI=000000000000003, подключенное через сервер с адресом "
                          "«a» и номером порта 1, уже есть в текущей конфигурации.");
}

void tst_Config_model::change_device_announces_changed_columns() {
    QFETCH(int, server);
    QFETCH(qulonglong, imei);
    QFETCH(QString, notes);
    QFETCH(QString, ranges);
    QFETCH(QString, error);
    build({"a:1", "b:1"}, {3, 1});
    QAbstractItemModelTester dt(&configuration.devices);
    Mirror dm(&configuration.devices);
    QSignalSpy changed(&configuration.devices, &QAbstractItemModel::dataChanged);
    Device* d = configuration.devices.rows[1].device; // a:1 / IMEI 2
    const char pin[pin_size] = {'9', '9'};

    const QString message = thrown_message([&] {
        const unsigned row = configuration.change_device(1, {imei, quint16(server)}, pin, notes);
        QCOMPARE(configuration.devices.rows[row].device, d);
    });
    QCOMPARE(message, error);
    QStringList seen;
    for (const QList<QVariant>& args : changed) {
        const QModelIndex tl = args[0].toModelIndex(), br = args[1].toModelIndex();
        QCOMPARE(tl.row(), br.row());
        seen << QStringLiteral("%1-%2").arg(tl.column()).arg(br.column());
    }
    QCOMPARE(seen.join(QLatin1Char(' ')), ranges);
    if (error.isEmpty()) {
        QCOMPARE(d->imei, uint64_t(imei));
        QCOMPARE(QByteArray(d->pin, 3), QByteArray("99\0", 3));
        QCOMPARE(d->notes, notes);
    } else {
        QCOMPARE(d->imei, uint64_t(2));
        QCOMPARE(d->pin[0], '\0');
    }
    QVERIFY(dm.agrees());
}

void tst_Config_model::random_edits_agree_with_reference() {
    // Small key spaces make collisions, moves across neighbours and empty servers common.
    QRandomGenerator rng(20261208);
    using Skey = QPair<QString, int>;
    std::map<Skey, QString> ref_servers;
    std::map<QPair<Skey, qulonglong>, QString> ref_devices;
    QAbstractItemModelTester st(&configuration.servers);
    QAbstractItemModelTester dt(&configuration.devices);
    Mirror sm(&configuration.servers), dm(&configuration.devices);
    const QStringList addresses = {"a", "B", "b", "c"};
    auto random_key = [&] { return Skey(addresses[rng.bounded(4)], int(rng.bounded(3))); };
    auto skey_at = [](unsigned row) {
        const Server& s = *configuration.servers.rows[row].server;
        return Skey(s.address, s.port);
    };

    for (int step = 0; step < 3000; ++step) {
        const unsigned op = rng.bounded(6);
        const QString notes = QString::number(step);
        const unsigned n_servers = configuration.servers.count;
        const unsigned n_devices = configuration.devices.count;
        bool should_fail = false;
        bool failed = false;
        try {
            if (op == 0 || n_servers == 0) {
                const Skey k = random_key();
                should_fail = ref_servers.count(k) != 0;
                configuration.add_server({k.first, quint16(k.second)}, notes);
                ref_servers[k] = notes;
            } else if (op == 1) {
                const unsigned row = rng.bounded(n_servers);
                const Skey k = skey_at(row);
                bool used = false;
                for (const auto& d : ref_devices)
                    used = used || d.first.first == k;
                if (used)
                    continue;
                configuration.delete_server(quint16(row));
                ref_servers.erase(k);
            } else if (op == 2) {
                const unsigned row = rng.bounded(n_servers);
                const Skey old_key = skey_at(row), k = random_key();
                should_fail = k != old_key && ref_servers.count(k) != 0;
                configuration.change_server(quint16(row), {k.first, quint16(k.second)}, notes);
                ref_servers.erase(old_key);
                ref_servers[k] = notes;
                std::map<QPair<Skey, qulonglong>, QString> moved;
                for (const auto& d : ref_devices)
                    moved[{d.first.first == old_key ? k : d.first.first, d.first.second}] =
                        d.second;
                ref_devices.swap(moved);
            } else if (op == 3 || (op >= 4 && n_devices == 0)) {
                const unsigned row = rng.bounded(n_servers);
                const qulonglong imei = rng.bounded(4);
                should_fail = ref_devices.count({skey_at(row), imei}) != 0;
                configuration.add_device({imei, quint16(row)}, no_pin, notes);
                ref_devices[{skey_at(row), imei}] = notes;
            } else if (op == 4) {
                const unsigned row = rng.bounded(n_devices);
                const Device_row& r = configuration.devices.rows[row];
                ref_devices.erase({skey_at(r.server), r.device->imei});
                configuration.delete_device(row);
            } else {
                const unsigned row = rng.bounded(n_devices);
                const Device_row& r = configuration.devices.rows[row];
                const auto old_key = qMakePair(skey_at(r.server), qulonglong(r.device->imei));
                const unsigned server = rng.bounded(n_servers);
                const qulonglong imei = rng.bounded(4);
                const auto k = qMakePair(skey_at(server), imei);
                should_fail = k != old_key && ref_devices.count(k) != 0;
                configuration.change_device(row, {imei, quint16(server)}, no_pin, notes);
                ref_devices.erase(old_key);
                ref_devices[k] = notes;
            }
        } catch (const Err&) {
            failed = true;
        }
        QCOMPARE(failed, should_fail);

        QStringList expected_servers, actual_servers;
        for (const auto& s : ref_servers)
            expected_servers << s.first.first + QLatin1Char(':') + QString::number(s.first.second) +
                                    QLatin1Char('=') + s.second;
        for (unsigned i = 0; i < configuration.servers.count; ++i)
            actual_servers << key_of(*configuration.servers.rows[i].server) + QLatin1Char('=') +
                                  configuration.servers.rows[i].server->notes;
        QCOMPARE(actual_servers, expected_servers);
        QStringList expected_devices, actual_devices;
        for (const auto& d : ref_devices)
            expected_devices << d.first.first.first + QLatin1Char(':') +
                                    QString::number(d.first.first.second) + QLatin1Char('/') +
                                    QString::number(d.first.second) + QLatin1Char('=') + d.second;
        const QStringList keys = device_keys(configuration);
        for (unsigned i = 0; i < configuration.devices.count; ++i)
            actual_devices << keys[int(i)] + QLatin1Char('=') +
                                  configuration.devices.rows[i].device->notes;
        // The reference orders by server key, which is the server table's order too.
        QCOMPARE(actual_devices, expected_devices);
        QVERIFY2(sm.agrees(), qPrintable(QStringLiteral("step %1").arg(step)));
        QVERIFY2(dm.agrees(), qPrintable(QStringLiteral("step %1").arg(step)));
    }
}

// The IMEI column and every result line: fifteen digits, zeros in front.
void tst_Config_model::imei_text_data() {
    QTest::addColumn<quint64>("imei");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << quint64(0) << QStringLiteral("000000000000000");
    QTest::newRow("one digit") << quint64(7) << QStringLiteral("000000000000007");
    QTest::newRow("round ten and hundred") << quint64(100) << QStringLiteral("000000000000100");
    QTest::newRow("odd count of digits")
        << quint64(350000000000001) << QStringLiteral("350000000000001");
    QTest::newRow("largest") << quint64(999999999999999) << QStringLiteral("999999999999999");
}

void tst_Config_model::imei_text() {
    QFETCH(quint64, imei);
    QFETCH(QString, text);
    QString line = QStringLiteral("x");
    append_imei(line, imei);
    QCOMPARE(line, QLatin1Char('x') + text);
}

void tst_Config_model::select_by_result_data() {
    QTest::addColumn<QString>("succeeded"); // one letter per device: y or n
    QTest::addColumn<bool>("success");
    QTest::addColumn<QStringList>("servers");
    QTest::addColumn<QStringList>("devices");

    QTest::newRow("failures when every device succeeded: nothing at all")
        << "yyyyy" << false << QStringList() << QStringList();
    QTest::newRow("failures skip servers without one")
        << "yynyn" << false << QStringList({"a:1", "c:1"}) << QStringList({"a:1/3", "c:1/1"});
    QTest::newRow("successes keep device order") << "yynyn" << true << QStringList({"a:1", "b:1"})
                                                 << QStringList({"a:1/1", "a:1/2", "b:1/1"});
    QTest::newRow("successes of none") << "nnnnn" << true << QStringList() << QStringList();
}

void tst_Config_model::select_by_result() {
    QFETCH(QString, succeeded);
    QFETCH(bool, success);
    QFETCH(QStringList, servers);
    QFETCH(QStringList, devices);
    build({"a:1", "b:1", "c:1"}, {3, 1, 1});
    for (unsigned i = 0; i < configuration.devices.count; ++i)
        configuration.devices.rows[i].device->run_flags =
            succeeded[int(i)] == QLatin1Char('y') ? Device::succeeded : 0;
    {
        Collection subset;
        QAbstractItemModelTester dt(&subset.devices);
        if (success)
            subset.select_success(configuration);
        else
            subset.select_failure(configuration);
        QCOMPARE(server_keys(subset), servers);
        QCOMPARE(device_keys(subset), devices);
        QCOMPARE(subset.devices.rowCount(), devices.size());
        if (!devices.isEmpty())
            QCOMPARE(subset.devices.rows[0].device->run_flags & Device::succeeded,
                     success ? int(Device::succeeded) : 0);
    }
    // The subset borrowed its objects: the configuration is intact after it is gone.
    QCOMPARE(device_keys(configuration).size(), 5);
}

void tst_Config_model::descriptions_escape_for_tab_separated_text() {
    configuration.add_server({QStringLiteral("h\\x"), 80}, QStringLiteral("a\tb\"c\r\n\x01\x7f"
                                                                          "7"));
    configuration.add_device({42, 0}, no_pin, QStringLiteral("n\to"));
    QCOMPARE(configuration.server_description(0),
             QStringLiteral("h\\\\x\t80\ta\\tb\"c\\r\\n\\u0001\\x7f7"));
    QCOMPARE(configuration.device_description(0),
             QStringLiteral("h\\\\x\t80\t000000000000042\tn\\to"));
    QCOMPARE(configuration.server_description(1), QString());
    QCOMPARE(configuration.device_description(1), QString());
}

void tst_Config_model::device_description_places_notes_among_values() {
    build({"h:1"}, {2});
    configuration.devices.rows[1].device->notes = QStringLiteral("N");
    Collection c;
    for (unsigned i = 0; i < configuration.devices.count; ++i)
        configuration.devices.rows[i].device->run_flags = Device::succeeded;
    c.select_success(configuration);
    c.devices.value_count = 2;
    c.devices.notes_position = 3; // after the first value
    c.devices.value_texts = {"v0", "v1", "w0", "w1"};
    QCOMPARE(c.devices.columnCount(), 5);
    QCOMPARE(c.device_description(1), QStringLiteral("h\t1\t000000000000002\tw0\tN\tw1"));
    QCOMPARE(c.devices.index(1, 3).data().toString(), QStringLiteral("N"));
    QCOMPARE(c.devices.index(1, 4).data().toString(), QStringLiteral("w1"));
    c.devices.notes_position = 4; // after both values
    QCOMPARE(c.device_description(1), QStringLiteral("h\t1\t000000000000002\tw0\tw1\tN"));
    c.devices.notes_position = 2; // before them
    QCOMPARE(c.device_description(0), QStringLiteral("h\t1\t000000000000001\t\tv0\tv1"));
}

void tst_Config_model::stopped_server_gives_its_devices_the_connection_errors() {
    build({"h:1"}, {7});
    Server& s = *configuration.servers.rows[0].server;
    for (unsigned i = configuration.devices.count; i-- > 0;)
        s.pending_devices.push(configuration.devices.rows[i].device);
    s.pending_count = 7;
    for (int i = 0; i < connection_attempts; ++i)
        s.connection_errors[i] = QStringLiteral("e%1").arg(i);
    QCOMPARE(s.stop_all_devices(), 7u);
    QCOMPARE(s.pending_count, 0u);
    QVERIFY(s.pending_devices.empty());
    for (unsigned i = 0; i < 5; ++i)
        QCOMPARE(configuration.devices.rows[i].device->error_text, QStringLiteral("e%1").arg(i));
    const QString gave_up = QStringLiteral("Сервер недоступен (после 5 неудачных попыток подряд "
                                           "более не пытаемся установить соединение).");
    QCOMPARE(configuration.devices.rows[5].device->error_text, gave_up);
    QCOMPARE(configuration.devices.rows[6].device->error_text, gave_up);
}

QTEST_GUILESS_MAIN(tst_Config_model)
#include "tst_config_model.moc"
