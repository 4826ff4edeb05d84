// The modern encrypted configuration file: fixed bytes, tampering, header bounds and broken
// contents. The key of the small test header (1 pass, 8192 KiB) is derived once and reused,
// which the split between derivation and decryption allows.
#include "config/container.h"
#include "config/container_modern.h"
#include "foundation/err.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <lzma.h>
#include <sys/resource.h>
#include <unistd.h>

static const QString password = QStringLiteral("пароль 1");
static const QByteArray kat_text =
    "devfname = \"FIRMWARE\"\n\nserver(address \"сервер\", port 4000)\n"
    "{\n device(imei 350000000000001, pin \"1234\")\n}\n";
// Computed once with libsodium (Argon2id 1.3, XChaCha20-Poly1305) and liblzma from the
// password, salt, nonce and text above; it fixes the format byte for byte.
static const char* const kat_hex =
    "97a2010100000000200000000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20"
    "21222324252627471061eec05b951c38aaf471aeb814cbad90afb7e4496a632929b0c7cfe5ab72a9b56c9a86"
    "26b12fce1e3e7ca16847c272667a73b76128b149b8bd7793e6234a9e7fa26c8bb1b5ffda96255b8e4732e9e9"
    "eefd829c1cd08a7956b33d5720a44762b015d30caafc4c61241652cfe84940df5dfe08b660b991f33b657342"
    "eebb7175313c3a";

static Modern_params small_params() {
    Modern_params p;
    p.passes = 1;
    p.memory_kib = 8192;
    for (int i = 0; i < modern_salt_size; ++i)
        p.salt[i] = uchar(i);
    for (int i = 0; i < modern_nonce_size; ++i)
        p.nonce[i] = uchar(0x10 + i);
    return p;
}

// P as the format lays it out: length, properties, stream.
static QByteArray plain_of(quint32 length, const QByteArray& props, const QByteArray& stream) {
    QByteArray p(4, '\0');
    qToLittleEndian<quint32>(length, p.data());
    return p + props + stream;
}

// A raw LZMA1 stream with the usual settings, with or without the end mark.
static QByteArray raw_lzma(const QByteArray& text, bool end_mark) {
    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 1);
    opt.dict_size = 65536;
    opt.ext_flags = end_mark ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    const lzma_filter f[2] = {{LZMA_FILTER_LZMA1EXT, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&s, f) != LZMA_OK)
        return {};
    QByteArray out(text.size() * 2 + 100, '\0');
    s.next_in = reinterpret_cast<const uint8_t*>(text.constData());
    s.avail_in = size_t(text.size());
    s.next_out = reinterpret_cast<uint8_t*>(out.data());
    s.avail_out = size_t(out.size());
    while (lzma_code(&s, LZMA_FINISH) == LZMA_OK) {
    }
    out.resize(int(s.total_out));
    lzma_end(&s);
    return out;
}

static QByteArray with_header(QByteArray file, uint version, quint32 passes, quint32 memory) {
    file[2] = char(version);
    qToLittleEndian<quint32>(passes, file.data() + 3);
    qToLittleEndian<quint32>(memory, file.data() + 7);
    return file;
}

// True when the reader turns the file away: by its header, its tag or as no configuration.
static bool refused(const QByteArray& file, const Modern_key& key) {
    QByteArray text;
    try {
        if (!is_modern_container(file)) {
            if (is_container(file))
                return !decode_container_if(file, "f", password, text);
            check_plain_config(file, "f");
            return false;
        }
        return !open_modern_container_if(file, "f", key, text);
    } catch (const Err&) {
        return true;
    }
}

class tst_Container_modern : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    Modern_key key; // of small_params() and the password
    QByteArray kat_file;

private slots:
    void initTestCase();
    void known_answer();
    void every_bit_flip_and_truncation_is_refused();
    void header_bounds_data();
    void header_bounds();
    void broken_contents_data();
    void broken_contents();
    void saving_in_either_form_data();
    void saving_in_either_form();
    void texts_beyond_the_older_limit();
};

void tst_Container_modern::initTestCase() {
    QVERIFY(dir.isValid());
    static QByteArray log = dir.filePath("test.log").toLocal8Bit();
    log_file_name = log.constData();
    derive_modern_key(password, small_params(), key);
    kat_file = QByteArray::fromHex(kat_hex);
}

void tst_Container_modern::known_answer() {
    const QByteArray file = encode_modern_container(kat_text, small_params(), key);
    QCOMPARE(file.toHex(), kat_file.toHex());

    // Read back the way every caller reads: the key comes from the header.
    const QString name = dir.filePath("kat.zelmo_upload");
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(kat_file);
    f.close();
    QByteArray text = "untouched";
    QVERIFY(!read_config_file_if(name, password + " ", text));
    QCOMPARE(text, QByteArray("untouched"));
    QVERIFY(read_config_file_if(name, password, text));
    QCOMPARE(text, kat_text);
}

void tst_Container_modern::every_bit_flip_and_truncation_is_refused() {
    const QByteArray file = kat_file;
    QByteArray text;
    QVERIFY(open_modern_container_if(file, "f", key, text));
    for (int i = 0; i < file.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray bad = file;
            bad[i] = char(bad[i] ^ (1 << bit));
            QVERIFY2(refused(bad, key), qPrintable(QString("byte %1 bit %2").arg(i).arg(bit)));
        }
    }
    // An empty file is the empty configuration; every other cut is refused.
    for (int n = 1; n < file.size(); ++n)
        QVERIFY2(refused(file.left(n), key), qPrintable(QString("%1 bytes").arg(n)));
}

void tst_Container_modern::header_bounds_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<uint>("version");
    QTest::addColumn<uint>("passes");
    QTest::addColumn<uint>("memory");
    QTest::addColumn<QString>("error"); // empty: the header is accepted
    const QString passes = "Файл «%1» повреждён или записан не этой программой: число проходов "
                           "вычисления ключа из пароля (%2) вне допустимых пределов (от 1 до 10).";
    const QString memory = "Файл «%1» повреждён или записан не этой программой: объём памяти "
                           "для вычисления ключа из пароля (%2 КиБ) вне допустимых пределов (от "
                           "8192 до 1048576 КиБ).";
    const QString version = "Файл «%1» зашифрован в формате версии %2, а эта версия программы "
                            "умеет читать только формат версии 1. Откройте его более новой "
                            "версией программы.";
    const QString small = "Файл «%1» помечен как зашифрованный файл конфигурации, но он слишком "
                          "маленький (%2 байтов) - даже заголовок влезает не полностью.";
    QTest::newRow("header and tag alone are enough") << 67 << 1u << 1u << 8192u << QString();
    QTest::newRow("one byte less is too small") << 66 << 1u << 1u << 8192u << small.arg("%1", "66");
    QTest::newRow("magic alone is too small") << 2 << 1u << 1u << 8192u << small.arg("%1", "2");
    QTest::newRow("version 2 is named") << 200 << 2u << 1u << 8192u << version.arg("%1", "2");
    QTest::newRow("version 0 is named") << 200 << 0u << 1u << 8192u << version.arg("%1", "0");
    QTest::newRow("no pass") << 200 << 1u << 0u << 8192u << passes.arg("%1", "0");
    QTest::newRow("ten passes, the upper edge") << 200 << 1u << 10u << 8192u << QString();
    QTest::newRow("eleven passes") << 200 << 1u << 11u << 8192u << passes.arg("%1", "11");
    QTest::newRow("100 passes") << 200 << 1u << 100u << 8192u << passes.arg("%1", "100");
    QTest::newRow("8191 KiB") << 200 << 1u << 1u << 8191u << memory.arg("%1", "8191");
    QTest::newRow("1 GiB, the upper edge") << 200 << 1u << 1u << 1048576u << QString();
    QTest::newRow("1 GiB and 1 KiB") << 200 << 1u << 1u << 1048577u << memory.arg("%1", "1048577");
    QTest::newRow("2 GiB") << 200 << 1u << 3u << 2097152u << memory.arg("%1", "2097152");
    QTest::newRow("4 GiB") << 200 << 1u << 3u << 0xFFFFFFFFu << memory.arg("%1", "4294967295");
}

// A refused header stops the reader before a password is used: with the address space
// capped, deriving a key of 2 GiB would fail with another message, and 100 passes or another
// version would end in a failed tag, not in this error.
void tst_Container_modern::header_bounds() {
    QFETCH(int, size);
    QFETCH(uint, version);
    QFETCH(uint, passes);
    QFETCH(uint, memory);
    QFETCH(QString, error);
    QByteArray file = kat_file;
    file.resize(std::max(size, 67));
    file = with_header(file, version, passes, memory).left(size);
    QString message;
    try {
        check_container_header(file, "f.zelmo_upload");
    } catch (const Err& e) {
        message = e.message;
    }
    if (error.isEmpty()) {
        QCOMPARE(message, QString());
        return;
    }
    QCOMPARE(message, error.arg("f.zelmo_upload"));

    rlimit old;
    QCOMPARE(getrlimit(RLIMIT_AS, &old), 0);
    // Half a GiB above what the process maps now.
    QFile statm("/proc/self/statm");
    QVERIFY(statm.open(QIODevice::ReadOnly));
    const rlim_t mapped =
        statm.readAll().split(' ').value(0).toULongLong() * rlim_t(sysconf(_SC_PAGESIZE));
    QVERIFY(mapped > 0);
    rlimit capped = old;
    capped.rlim_cur = mapped + (512ULL << 20);
    QCOMPARE(setrlimit(RLIMIT_AS, &capped), 0);
    QByteArray text = "untouched";
    message.clear();
    try {
        decode_container_if(file, "f.zelmo_upload", password, text);
    } catch (const Err& e) {
        message = e.message;
    }
    setrlimit(RLIMIT_AS, &old);
    QCOMPARE(message, error.arg("f.zelmo_upload"));
    QCOMPARE(text, QByteArray("untouched"));
}

void tst_Container_modern::broken_contents_data() {
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QString>("error");
    const QByteArray text = QByteArray("server(address \"h\", port 1)\n{\n").repeated(40);
    const quint32 n = quint32(text.size());
    const QByteArray props = QByteArray::fromHex("5d00000100");
    const QByteArray stream = raw_lzma(text, true);
    const QString lzma = "Удалось расшифровать файл, но не удалось разархивировать. Библиотека "
                         "LZMA сказала: «%1».";
    const QString no_length = "Удалось расшифровать файл, но не удалось разархивировать: в нём %1 "
                              "байтов, а длина текста и свойства LZMA занимают 9 байтов.";
    const QString too_long = "Удалось расшифровать файл, но не удалось разархивировать: длина "
                             "текста, указанная в заголовке (%1 байтов), больше предельной "
                             "(67108864 байтов).";

    QTest::newRow("the whole text") << plain_of(n, props, stream) << QString();
    QTest::newRow("nothing enciphered") << QByteArray() << no_length.arg(0);
    QTest::newRow("properties cut short") << plain_of(n, props.left(4), {}) << no_length.arg(8);
    QTest::newRow("length of 64 MiB and one byte")
        << plain_of(67108865, props, stream) << too_long.arg(67108865);
    QTest::newRow("length of 4 GiB")
        << plain_of(0xFFFFFFFF, props, stream) << too_long.arg(4294967295LL);
    QTest::newRow("text longer than the length")
        << plain_of(n - 1, props, stream) << lzma.arg("ERROR_DATA");
    QTest::newRow("text shorter than the length")
        << plain_of(n + 1, props, stream)
        << QString("Удалось расшифровать файл, но не удалось разархивировать. Длина "
                   "разархивированных данных (%1 байтов) не совпала с указанной в заголовке (%2 "
                   "байтов).")
               .arg(n)
               .arg(n + 1);
    QTest::newRow("stream cut in half")
        << plain_of(n, props, stream.left(stream.size() / 2)) << lzma.arg("ERROR_INPUT_EOF");
    QTest::newRow("stream without end mark") << plain_of(n, props, raw_lzma(text, false))
                                             << lzma.arg("STATUS_MAYBE_FINISHED_WITHOUT_MARK");
    QTest::newRow("bytes after the end mark")
        << plain_of(n, props, stream + "xy")
        << QString("Удалось расшифровать файл, но не удалось разархивировать. Архив имеет размер "
                   "%1 байтов, но библиотека LZMA сказала, что из них обработано %2 байтов.")
               .arg(stream.size() + 2)
               .arg(stream.size());
}

// Contents with a valid tag that do not make a whole text never yield a partial one.
void tst_Container_modern::broken_contents() {
    QFETCH(QByteArray, plain);
    QFETCH(QString, error);
    const QByteArray file = seal_modern(small_params(), key, plain);
    QByteArray text = "untouched";
    QString message;
    try {
        QVERIFY(open_modern_container_if(file, "f", key, text));
    } catch (const Err& e) {
        message = e.message;
    }
    QCOMPARE(message, error);
    if (error.isEmpty())
        QCOMPARE(quint32(text.size()), qFromLittleEndian<quint32>(plain.constData()));
    else
        QCOMPARE(text, QByteArray("untouched"));
}

void tst_Container_modern::saving_in_either_form_data() {
    QTest::addColumn<int>("form");
    QTest::addColumn<QByteArray>("magic");
    QTest::newRow("modern by default") << -1 << QByteArray("\x97\xA2");
    QTest::newRow("modern on request") << int(Container_form::modern) << QByteArray("\x97\xA2");
    QTest::newRow("older form on request") << int(Container_form::legacy) << QByteArray("\x97\xA1");
}

// Through the file functions both front ends use: two saves differ, both open with the
// password alone, the modern one with the writing limits in its header.
void tst_Container_modern::saving_in_either_form() {
    QFETCH(int, form);
    QFETCH(QByteArray, magic);
    const QString a = dir.filePath("a"), b = dir.filePath("b");
    if (form < 0) {
        write_config_file(a, kat_text, password);
        write_config_file(b, kat_text, password);
    } else {
        write_config_file(a, kat_text, password, Container_form(form));
        write_config_file(b, kat_text, password, Container_form(form));
    }
    QByteArray fa, fb;
    load_file(a, fa);
    load_file(b, fb);
    QCOMPARE(fa.left(2), magic);
    QVERIFY(fa.mid(2, 49) != fb.mid(2, 49));
    if (magic == "\x97\xA2") {
        QCOMPARE(fa.mid(2, 9).toHex(), QByteArray("010300000000000100"));
        QVERIFY(fa.mid(11, 16) != fb.mid(11, 16));
        QVERIFY(fa.mid(27, 24) != fb.mid(27, 24));
    }
    QByteArray text;
    QVERIFY(!read_config_file_if(a, "другой", text));
    QVERIFY(read_config_file_if(a, password, text));
    QCOMPARE(text, kat_text);
    QVERIFY(read_config_file_if(b, password, text));
    QCOMPARE(text, kat_text);
}

// The modern form holds what the program can read (64 MiB); only a longer text is refused,
// before any key is derived.
void tst_Container_modern::texts_beyond_the_older_limit() {
    const QByteArray text(16777216, 'a');
    const QByteArray file = encode_modern_container(text, small_params(), key);
    QByteArray back;
    QVERIFY(open_modern_container_if(file, "f", key, back));
    QVERIFY(back == text);

    const QString name = dir.filePath("long");
    try {
        write_config_file(name, QByteArray(67108865, 'a'), password);
        QFAIL("no error raised");
    } catch (const Err& e) {
        QVERIFY2(e.message.contains("слишком длинный (67108865 байтов). Запись в зашифрованном "
                                    "виде возможна только для конфигураций не длиннее 67108864 "
                                    "байтов."),
                 qPrintable(e.message));
    }
    QVERIFY(!QFile::exists(name));
}

QTEST_GUILESS_MAIN(tst_Container_modern)
#include "tst_container_modern.moc"
