#include "foundation/err.h"

#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

class tst_Files : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void reads_data();
    void reads();
    void refusals_data();
    void refusals();
    void exactly_64_mib_is_read();
    void missing_file_data();
    void missing_file();
    void unreadable_file();
    void utf8_data();
    void utf8();

private:
    QString make(const QString& name, const QByteArray& content);
    QString log_text() const;
    QTemporaryDir dir;
    QByteArray log_name;
};

void tst_Files::initTestCase() {
    QVERIFY(dir.isValid());
    log_name = dir.filePath(QStringLiteral("t.log")).toUtf8();
    log_file_name = log_name.constData();
}

QString tst_Files::make(const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        return QString();
    return path;
}

QString tst_Files::log_text() const {
    QFile f(QString::fromUtf8(log_name));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

enum Loader { plain_if, plain, text_if, text };

static bool call(int loader, const QString& name, QByteArray& out) {
    switch (loader) {
    case plain_if:
        return load_file_if(name, out);
    case plain:
        load_file(name, out);
        return true;
    case text_if:
        return load_text_file_if(name, out);
    default:
        load_text_file(name, out);
        return true;
    }
}

void tst_Files::reads_data() {
    QTest::addColumn<int>("loader");
    QTest::addColumn<QByteArray>("content");
    const QByteArray binary("a\0b\xff", 4);
    for (int l : {plain_if, plain, text_if, text}) {
        const QString tag = QStringLiteral(" (loader %1)").arg(l);
        QTest::newRow(qPrintable("an empty file is read as empty" + tag)) << l << QByteArray();
        QTest::newRow(qPrintable("text is read whole" + tag)) << l << QByteArray("строка\r\n");
    }
    QTest::newRow("a zero byte is fine for load_file_if") << int(plain_if) << binary;
    QTest::newRow("a zero byte is fine for load_file") << int(plain) << binary;
}

void tst_Files::reads() {
    QFETCH(int, loader);
    QFETCH(QByteArray, content);
    const QString path = make(QStringLiteral("in.bin"), content);
    QVERIFY(!path.isEmpty());
    QByteArray out("stale");
    QVERIFY(call(loader, path, out));
    QCOMPARE(out, content);
}

void tst_Files::refusals_data() {
    QTest::addColumn<int>("loader");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    const QString nul =
        QString::fromUtf8("Файл «%1» не может быть текстовым: он содержит нулевые байты.");
    const QString big =
        QString::fromUtf8("Файл «%1» слишком большой (должен быть не длиннее 67108864 байтов).");
    QTest::newRow("text_if refuses a zero byte") << int(text_if) << "nul" << nul;
    QTest::newRow("text refuses a zero byte") << int(text) << "nul" << nul;
    QTest::newRow("64 MiB and one byte is too large") << int(plain_if) << "big" << big;
    QTest::newRow("too large for the text variant too") << int(text) << "big" << big;
    QTest::newRow("a character device is not a regular file")
        << int(plain_if) << "dev"
        << QString::fromUtf8("Файл «%1» не является обычным (random-access) файлом - не умею "
                             "работать с такими файлами.");
    QTest::newRow("a directory cannot be opened")
        << int(plain_if) << "dir"
        << QString::fromUtf8("Ошибка при попытке открыть файл «%1»: error=5, errorString=«%2».");
    QTest::newRow("a %2 in the name stays as it is")
        << int(plain) << "percent"
        << QString::fromUtf8("Файл «%1» не может быть текстовым: он содержит нулевые байты.");
}

void tst_Files::refusals() {
    QFETCH(int, loader);
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QString path;
    QString error_string;
    if (kind == QLatin1String("nul")) {
        path = make(QStringLiteral("nul.txt"), QByteArray("ab\0cd", 5));
    } else if (kind == QLatin1String("percent")) {
        path = make(QStringLiteral("%2 %1.txt"), QByteArray("ab\0cd", 5));
        loader = text;
    } else if (kind == QLatin1String("big")) {
        path = dir.filePath(QStringLiteral("big.bin"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(f.resize(max_file_size + 1));
    } else if (kind == QLatin1String("dev")) {
        path = QStringLiteral("/dev/zero");
    } else {
        path = dir.filePath(QStringLiteral("sub"));
        QVERIFY(QDir().mkpath(path));
        QFile probe(path);
        QVERIFY(!probe.open(QIODevice::ReadOnly));
        error_string = probe.errorString();
    }
    QVERIFY(!path.isEmpty());
    QFile::remove(QString::fromUtf8(log_name));
    QByteArray out("stale");
    try {
        call(loader, path, out);
        QFAIL("no error");
    } catch (const Err& e) {
        const QString expected =
            kind == QLatin1String("dir") ? message.arg(path, error_string) : message.arg(path);
        QCOMPARE(e.message, expected);
        QVERIFY(log_text().contains(expected));
    }
    QVERIFY(out.isEmpty());
}

void tst_Files::exactly_64_mib_is_read() {
    const QString path = dir.filePath(QStringLiteral("limit.bin"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(f.resize(max_file_size - 1));
        QVERIFY(f.seek(max_file_size - 1));
        QVERIFY(f.putChar('z'));
    }
    QByteArray out;
    QVERIFY(load_file_if(path, out));
    QCOMPARE(qint64(out.size()), max_file_size);
    QCOMPARE(out.at(0), '\0');
    QCOMPARE(out.at(out.size() - 1), 'z');
    QFile::remove(path);
}

void tst_Files::missing_file_data() {
    QTest::addColumn<int>("loader");
    QTest::addColumn<bool>("throws");
    QTest::newRow("load_file_if answers false") << int(plain_if) << false;
    QTest::newRow("load_text_file_if answers false") << int(text_if) << false;
    QTest::newRow("load_file names the file") << int(plain) << true;
    QTest::newRow("load_text_file names the file") << int(text) << true;
}

void tst_Files::missing_file() {
    QFETCH(int, loader);
    QFETCH(bool, throws);
    const QString path = dir.filePath(QStringLiteral("absent.txt"));
    QFile::remove(QString::fromUtf8(log_name));
    QByteArray out("stale");
    try {
        QCOMPARE(call(loader, path, out), false);
        QVERIFY(!throws);
        QVERIFY(out.isEmpty());
        QVERIFY(log_text().isEmpty());
    } catch (const Err& e) {
        QVERIFY(throws);
        QCOMPARE(e.message, QString::fromUtf8("Не найден файл «%1».").arg(path));
    }
}

void tst_Files::unreadable_file() {
    if (geteuid() == 0)
        QSKIP("root reads every file");
    const QString path = make(QStringLiteral("locked.txt"), "x");
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    QByteArray out;
    try {
        load_file_if(path, out);
        QFAIL("no error");
    } catch (const Err& e) {
        QVERIFY(e.message.startsWith(
            QString::fromUtf8("Ошибка при попытке открыть файл «%1»: error=5, errorString=«")
                .arg(path)));
    }
}

void tst_Files::utf8_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<bool>("printable");
    QTest::newRow("empty is valid and printable") << QByteArray() << true << true;
    QTest::newRow("ASCII text") << QByteArray("Hello, world!") << true << true;
    QTest::newRow("Cyrillic and a four-byte character")
        << QByteArray("Привет \xf0\x9f\x98\x80") << true << true;
    QTest::newRow("a NUL is never text") << QByteArray("a\0b", 3) << false << false;
    QTest::newRow("C0 80 is structurally fine but a control")
        << QByteArray("\xc0\x80") << true << false;
    QTest::newRow("overlong A passes both") << QByteArray("\xc1\x81") << true << true;
    QTest::newRow("a surrogate is not examined") << QByteArray("\xed\xa0\x80") << true << true;
    QTest::newRow("a stray continuation byte") << QByteArray("a\x80") << false << false;
    QTest::newRow("a stray continuation byte after eight ASCII bytes")
        << QByteArray("abcdefgh\x80") << false << false;
    QTest::newRow("a two-byte character across the eighth byte") << QByteArray("abcdefg\xd0\x9f"
                                                                               "abcdefgh")
                                                                 << true << true;
    QTest::newRow("lead F8 is refused") << QByteArray("\xf8\x88\x80\x80\x80") << false << false;
    QTest::newRow("lead FF is refused") << QByteArray("\xff") << false << false;
    QTest::newRow("a sequence cut by the end") << QByteArray("ab\xe2\x82") << false << false;
    QTest::newRow("a wrong continuation") << QByteArray("\xe2\x28\xa1") << false << false;
    QTest::newRow("F7 BF BF BF is the largest lead accepted")
        << QByteArray("\xf7\xbf\xbf\xbf") << true << true;
    QTest::newRow("a tab is not printable") << QByteArray("a\tb") << true << false;
    QTest::newRow("a line break is not printable") << QByteArray("a\nb") << true << false;
    QTest::newRow("DEL is not printable") << QByteArray("\x7f") << true << false;
    QTest::newRow("U+0085 is not printable") << QByteArray("\xc2\x85") << true << false;
    QTest::newRow("U+009F is not printable") << QByteArray("\xc2\x9f") << true << false;
    QTest::newRow("U+00A0 is printable") << QByteArray("\xc2\xa0") << true << true;
    QTest::newRow("an opening guillemet is not printable")
        << QByteArray("\xc2\xab") << true << false;
    QTest::newRow("a closing guillemet is not printable")
        << QByteArray("\xc2\xbb") << true << false;
    QTest::newRow("U+2028 is not printable") << QByteArray("\xe2\x80\xa8") << true << false;
    QTest::newRow("U+2029 is not printable") << QByteArray("\xe2\x80\xa9") << true << false;
    QTest::newRow("U+202A is printable") << QByteArray("\xe2\x80\xaa") << true << true;
    QTest::newRow("a byte-order mark is not printable")
        << QByteArray("\xef\xbb\xbf") << true << false;
}

void tst_Files::utf8() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, utf8);
    QFETCH(bool, printable);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    QCOMPARE(is_utf8(p, size_t(bytes.size())), utf8);
    QCOMPARE(is_printable_utf8(p, size_t(bytes.size())), printable);
}

QTEST_GUILESS_MAIN(tst_Files)
#include "tst_files.moc"
