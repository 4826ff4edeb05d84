// Device lists read into a configuration: what is added, what is a duplicate, every refused
// row with its line; the same table through zelmo_batch import; and the limit of devices.
#include "config/config.h"
#include "config/device_import.h"
#include "support/batch_process.h"
#include "support/device_import_cases.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

Q_DECLARE_METATYPE(Import_case)

namespace {

void load_base(Configuration& cfg) {
    QByteArray utf8 = import_base_text().toUtf8();
    Utf8_text_parser parser;
    parser.init(utf8);
    parse_cfg(parser, cfg);
}

void add_rows(const char* name) {
    for (const Import_case& c : import_cases())
        if (!name || QByteArray(c.name) == name)
            QTest::newRow(c.name) << c;
}

QList<int> lines_of(const QVector<Import_row>& rows) {
    QList<int> out;
    for (const Import_row& r : rows)
        out << r.line;
    return out;
}

} // namespace

class tst_Device_import : public QObject {
    Q_OBJECT
private slots:
    void read_and_add_data() { QTest::addColumn<Import_case>("c"), add_rows(nullptr); }
    void read_and_add();
    void batch_import_data() { QTest::addColumn<Import_case>("c"), add_rows(nullptr); }
    void batch_import();
    void batch_usage_errors_data();
    void batch_usage_errors();
    void rows_beyond_the_limit_are_refused();
};

void tst_Device_import::read_and_add() {
    QFETCH(Import_case, c);
    Configuration cfg;
    load_base(cfg);
    const QStringList before = device_lines(cfg);
    const Device_import imp = read_device_list(c.text, cfg, c.server);
    QCOMPARE(device_lines(cfg), before); // reading changes nothing
    QStringList bad;
    for (const Import_problem& p : imp.bad)
        bad << import_problem_line(p);
    QCOMPARE(bad, c.bad);
    QCOMPARE(lines_of(imp.duplicates), c.duplicates);
    QList<int> warned;
    for (const Import_problem& p : imp.warnings)
        warned << p.line;
    QCOMPARE(warned, c.warnings);

    add_imported_devices(cfg, imp);
    QStringList expected = before + c.added;
    std::sort(expected.begin(), expected.end());
    QStringList after = device_lines(cfg);
    QCOMPARE(after, expected); // the table stays in (server, IMEI) order
}

void tst_Device_import::batch_import() {
    QFETCH(Import_case, c);
    if (c.server < 0)
        QSKIP("zelmo_batch import always names its server");
    QTemporaryDir dir;
    write_file(dir.filePath("base.zelmo_upload"), import_base_text().toUtf8());
    write_file(dir.filePath("list.csv"), c.text.toUtf8());
    const Batch_outcome r = run_batch(ZELMO_BATCH_PATH, dir.path(),
                                      {"import", "base.zelmo_upload", "list.csv", "--server",
                                       QString::number(c.server + 1), "out.zelmo_upload"});
    QCOMPARE(r.code, c.bad.isEmpty() ? 0 : 1);
    for (const QString& line : c.bad)
        QVERIFY2(r.err.contains(line + '\n'), qPrintable(r.err));
    for (int line : c.duplicates)
        QVERIFY2(r.err.contains(QStringLiteral("строка %1: устройство").arg(line)),
                 qPrintable(r.err));
    QFile out(dir.filePath("out.zelmo_upload"));
    QCOMPARE(out.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    QVERIFY(out.open(QIODevice::ReadOnly));
    Configuration cfg, base;
    QByteArray utf8 = out.readAll();
    Utf8_text_parser parser;
    parser.init(utf8);
    parse_cfg(parser, cfg);
    load_base(base);
    QStringList expected = device_lines(base) + c.added;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(device_lines(cfg), expected);
}

void tst_Device_import::batch_usage_errors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no --server") << QStringList{"import", "base.zelmo_upload", "list.csv", "o"}
                                 << "нужна опция --server N";
    QTest::newRow("server beyond the table")
        << QStringList{"import", "base.zelmo_upload", "list.csv", "--server", "3", "o"}
        << "Неправильный номер сервера «3»: в конфигурации серверов 2.";
    QTest::newRow("missing list") << QStringList{"import",   "base.zelmo_upload",
                                                 "none.csv", "--server",
                                                 "1",        "o"}
                                  << "none.csv";
    QTest::newRow("--server with another command")
        << QStringList{"check", "base.zelmo_upload", "--server", "1"} << "--server";
}

void tst_Device_import::batch_usage_errors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    write_file(dir.filePath("base.zelmo_upload"), import_base_text().toUtf8());
    write_file(dir.filePath("list.csv"), "354000000000028\n");
    const Batch_outcome r = run_batch(ZELMO_BATCH_PATH, dir.path(), args);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir.filePath("o")));
}

// A collection one device short of the limit but one: rows of another server that share one
// device object, so that the test needs no million devices.
void tst_Device_import::rows_beyond_the_limit_are_refused() {
    Configuration cfg;
    load_base(cfg);
    Collection full;
    Server_row* servers = new Server_row[2]{cfg.servers.rows[0], cfg.servers.rows[1]};
    const unsigned n = max_devices - 2;
    Device stand_in;
    Device_row* rows = new Device_row[n];
    for (unsigned i = 0; i < n; ++i)
        rows[i] = Device_row{&stand_in, 1};
    full.servers.rows = servers;
    full.servers.count = 2;
    full.devices.rows = rows;
    full.devices.count = n;
    const Device_import imp = read_device_list(
        "354000000000028\n354000000000036\n354000000000044\n354000000000051\n", full, 0);
    QCOMPARE(imp.added.size(), 2);
    QCOMPARE(imp.bad.size(), 2);
    QCOMPARE(import_problem_line(imp.bad[0]),
             QStringLiteral("строка 3: Превышен предел: в конфигурации может быть не более "
                            "999999 устройств."));
    QCOMPARE(imp.bad[1].line, 4);
}

QTEST_GUILESS_MAIN(tst_Device_import)
#include "tst_device_import.moc"
