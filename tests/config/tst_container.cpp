#include "config/container.h"
#include "foundation/err.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <csignal>
#include <lzma.h>
#include <sys/resource.h>

Q_DECLARE_METATYPE(Container_form)

static const QString password = QStringLiteral("пароль 1");
static const uint64_t nonce = 0x0123456789ABCDEFULL;

static unsigned char* bytes(QByteArray& a) {
    return reinterpret_cast<unsigned char*>(a.data());
}

// Deciphers bytes 10.. of a container as the format describes, with the separate functions.
static QByteArray deciphered(QByteArray file, const QString& pw) {
    const Tea_key key = password_to_key(pw);
    tea_mask(bytes(file) + 10, size_t(file.size() - 10), key.k,
             qFromLittleEndian<quint64>(file.constData() + 2));
    return file;
}

// Wraps a plain container (bytes 18.. filled in) with MAC, nonce, keystream and magic.
static QByteArray sealed(QByteArray c, const QString& pw) {
    const Tea_key key = password_to_key(pw);
    qToLittleEndian<quint64>(tea_cert(bytes(c) + 18, size_t(c.size() - 18), key.k, 0),
                             bytes(c) + 10);
    qToLittleEndian<quint64>(nonce, bytes(c) + 2);
    tea_mask(bytes(c) + 10, size_t(c.size() - 10), key.k, nonce);
    c[0] = char(0x97);
    c[1] = char(0xA1);
    return c;
}

static QByteArray container_of(const QByteArray& stream, const QByteArray& props, qint64 length) {
    QByteArray c(18, '\0');
    c.append(char(length)).append(char(length >> 8)).append(char(length >> 16));
    return sealed(c + props + stream, password);
}

static QByteArray props_of(unsigned lc, unsigned lp, unsigned pb, uint32_t dict) {
    QByteArray p(5, '\0');
    p[0] = char((pb * 5 + lp) * 9 + lc);
    qToLittleEndian<quint32>(dict, bytes(p) + 1);
    return p;
}

// A raw LZMA1 stream from liblzma directly: any lc/lp/pb, with or without the end mark.
static QByteArray raw_lzma(const QByteArray& text, unsigned lc, unsigned lp, unsigned pb,
                           uint32_t dict, bool end_mark) {
    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 1);
    opt.lc = lc;
    opt.lp = lp;
    opt.pb = pb;
    opt.dict_size = dict;
    opt.ext_flags = end_mark ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    const lzma_filter f[2] = {{LZMA_FILTER_LZMA1EXT, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&s, f) != LZMA_OK)
        return {};
    QByteArray out(text.size() * 2 + 100, '\0');
    s.next_in = reinterpret_cast<const uint8_t*>(text.constData());
    s.avail_in = size_t(text.size());
    s.next_out = bytes(out);
    s.avail_out = size_t(out.size());
    while (lzma_code(&s, LZMA_FINISH) == LZMA_OK) {
    }
    out.resize(int(s.total_out));
    lzma_end(&s);
    return out;
}

static QByteArray sample_text(int devices) {
    QByteArray t("simultaneously = 5\n\nserver(address \"сервер\", port 4000)\n{\n");
    for (int i = 0; i < devices; ++i)
        t += " device(imei " + QByteArray::number(350000000000000LL + i * 7919LL) + ", pin \"" +
             QByteArray::number(i * 31 % 10000) + "\")\n";
    return t + "}\n";
}

static const char* const lzma_failed =
    "Удалось расшифровать файл, но не удалось разархивировать. Библиотека LZMA сказала: «%1».";

class tst_Container : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char* name) { return dir.filePath(QString::fromUtf8(name)); }

private slots:
    void initTestCase();
    void empty_password_key_is_the_chain_start_values();
    void container_layout_for_every_tail_length();
    void round_trip_data();
    void round_trip();
    void any_changed_byte_fails_every_password();
    void two_saves_differ_and_both_load();
    void reading_files_data();
    void reading_files();
    void text_too_long_for_the_length_field();
    void broken_streams_data();
    void broken_streams();
    void streams_of_other_encoders_data();
    void streams_of_other_encoders();
    void independent_decoder_reads_our_stream();
    void streams_use_the_default_encoder_settings_data();
    void streams_use_the_default_encoder_settings();
    void files_of_earlier_settings_still_load_data();
    void files_of_earlier_settings_still_load();
    void failed_writes_leave_the_target_data();
    void failed_writes_leave_the_target();
};

void tst_Container::initTestCase() {
    QVERIFY(dir.isValid());
    static QByteArray log = path("test.log").toLocal8Bit();
    log_file_name = log.constData();
}

void tst_Container::empty_password_key_is_the_chain_start_values() {
    const Tea_key k = password_to_key(QString());
    QCOMPARE(k.k[0], 0xD083F56Bu);
    QCOMPARE(k.k[1], 0x4C19E7A2u);
    QCOMPARE(k.k[2], 0x17C85A3Fu);
    QCOMPARE(k.k[3], 0x9E62B04Du);
    QVERIFY(password_to_key(QStringLiteral(" ")).k[0] != k.k[0]);
}

// The one-pass sealing must equal the MAC and keystream applied separately, whatever the
// length of the tail block.
void tst_Container::container_layout_for_every_tail_length() {
    QSet<int> tails;
    for (int len = 0; len < 120; ++len) {
        const QByteArray text = sample_text(4).left(len);
        const QByteArray file = encode_container(text, password, nonce + uint64_t(len));
        QCOMPARE(file.left(2), QByteArray("\x97\xA1"));
        QCOMPARE(qFromLittleEndian<quint64>(file.constData() + 2), nonce + uint64_t(len));
        QByteArray c = deciphered(file, password);
        QCOMPARE(qFromLittleEndian<quint64>(c.constData() + 10),
                 tea_cert(bytes(c) + 18, size_t(c.size() - 18), password_to_key(password).k, 0));
        QCOMPARE(int(uchar(c[18])) | int(uchar(c[19])) << 8 | int(uchar(c[20])) << 16, len);
        QCOMPARE(c.mid(21, 5), props_of(3, 0, 2, 1u << 24));
        tails.insert((c.size() - 18) % 8);
        QByteArray back;
        QVERIFY(decode_container_if(file, "f", password, back));
        QCOMPARE(back, text);
    }
    QCOMPARE(tails.size(), 8);
}

void tst_Container::round_trip_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("pw");
    QTest::newRow("empty text") << QByteArray() << "x";
    QTest::newRow("one byte, password of one space") << QByteArray("\n") << " ";
    QTest::newRow("Cyrillic password and text") << sample_text(3) << "Пароль с пробелом ";
    QTest::newRow("thousands of devices, long password") << sample_text(5000) << QString(300, 'p');
}

void tst_Container::round_trip() {
    QFETCH(QByteArray, text);
    QFETCH(QString, pw);
    const QByteArray file = encode_container(text, pw, nonce);
    QVERIFY(file.size() < text.size() / 2 + 60);
    QByteArray back = "untouched";
    QVERIFY(!decode_container_if(file, "f", pw + " ", back));
    QVERIFY(!decode_container_if(file, "f", QString(), back));
    QCOMPARE(back, QByteArray("untouched"));
    QVERIFY(decode_container_if(file, "f", pw, back));
    QCOMPARE(back, text);

    write_config_file(path("enc"), text, pw, Container_form::legacy);
    QVERIFY(!read_config_file_if(path("enc"), "wrong", back));
    QVERIFY(read_config_file_if(path("enc"), pw, back));
    QCOMPARE(back, text);
}

void tst_Container::any_changed_byte_fails_every_password() {
    const QByteArray file = encode_container(sample_text(2), password, nonce);
    QByteArray text;
    for (int i = 2; i < file.size(); ++i) {
        for (char flip : {char(0x01), char(0x80)}) {
            QByteArray bad = file;
            bad[i] = char(bad[i] ^ flip);
            for (const QString& pw : {password, QString(), QStringLiteral("other")})
                QVERIFY2(!decode_container_if(bad, "f", pw, text), qPrintable(QString::number(i)));
        }
    }
}

void tst_Container::two_saves_differ_and_both_load() {
    const QByteArray text = sample_text(10);
    write_config_file(path("a"), text, password, Container_form::legacy);
    write_config_file(path("b"), text, password, Container_form::legacy);
    QByteArray a, b;
    load_file(path("a"), a);
    load_file(path("b"), b);
    QVERIFY(a.mid(2, 8) != b.mid(2, 8));
    QVERIFY(a.mid(10) != b.mid(10));
    QVERIFY(read_config_file_if(path("a"), password, a));
    QVERIFY(read_config_file_if(path("b"), password, b));
    QCOMPARE(a, text);
    QCOMPARE(b, text);
}

void tst_Container::reading_files_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("error");
    const QString too_small =
        "Файл «%1» помечен как зашифрованный файл конфигурации, но он "
        "слишком маленький (%2 байтов) - даже заголовок влезает не полностью.";
    const QString not_utf8 = "Файл «%1» не может быть файлом конфигурации: он не зашифрованный (в "
                             "нём нет соответствующего заголовка), но и не содержит текст в "
                             "кодировке UTF-8.";
    QTest::newRow("empty file is an empty text") << QByteArray() << QByteArray() << QString();
    QTest::newRow("text without the mark is kept as it is")
        << QByteArray("devfname = \"X\"\n") << QByteArray("devfname = \"X\"\n") << QString();
    QTest::newRow("magic alone is too small")
        << QByteArray("\x97\xA1") << QByteArray() << too_small;
    QTest::newRow("25 bytes with the magic are too small")
        << QByteArray("\x97\xA1").append(23, 'x') << QByteArray() << too_small;
    QTest::newRow("single byte 97 is checked as UTF-8")
        << QByteArray("\x97") << QByteArray() << not_utf8;
}

void tst_Container::reading_files() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, expected);
    QFETCH(QString, error);
    QFile f(path("in"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(file);
    f.close();
    QByteArray text = "untouched";
    try {
        QVERIFY(read_config_file_if(path("in"), password, text));
        QVERIFY2(error.isEmpty(), "no error raised");
        QCOMPARE(text, expected);
    } catch (const Err& e) {
        QCOMPARE(e.message,
                 QString(error).replace("%2", QString::number(file.size())).arg(path("in")));
        QCOMPARE(text, QByteArray("untouched"));
    }
}

void tst_Container::text_too_long_for_the_length_field() {
    const QByteArray longest(16777215, 'a');
    QByteArray back;
    QVERIFY(decode_container_if(encode_container(longest, password, nonce), "f", password, back));
    QCOMPARE(back, longest);

    const QByteArray text(16777216, 'a');
    try {
        write_config_file(path("long"), text, password, Container_form::legacy);
        QFAIL("no error raised");
    } catch (const Err& e) {
        QVERIFY(e.message.startsWith("Не получится записать эту конфигурацию в зашифрованном "
                                     "виде: текст конфигурации слишком длинный (16777216 байтов). "
                                     "Запись в зашифрованном виде возможна только для "
                                     "конфигураций не длиннее 16777215 байтов."));
    }
    QVERIFY(!QFile::exists(path("long")));
    write_config_file(path("long"), text, QString());
    QVERIFY(read_config_file_if(path("long"), QString(), back));
    QCOMPARE(back.size(), 16777219);
    QVERIFY(back.endsWith(text.right(10)));
}

void tst_Container::broken_streams_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");
    const QByteArray text = sample_text(40);
    const qint64 n = text.size();
    const QByteArray props = props_of(3, 0, 2, 65536);
    const QByteArray stream = raw_lzma(text, 3, 0, 2, 65536, true);
    const QString failed = QString::fromUtf8(lzma_failed);

    QTest::newRow("stream cut in half")
        << container_of(stream.left(stream.size() / 2), props, n) << failed.arg("ERROR_INPUT_EOF");
    QTest::newRow("no stream at all")
        << container_of({}, props, n) << failed.arg("ERROR_INPUT_EOF");
    QTest::newRow("stream without end mark")
        << container_of(raw_lzma(text, 3, 0, 2, 65536, false), props, n)
        << failed.arg("STATUS_MAYBE_FINISHED_WITHOUT_MARK");
    QTest::newRow("text longer than the header says")
        << container_of(stream, props, n - 1) << failed.arg("ERROR_DATA");
    QTest::newRow("text shorter than the header says")
        << container_of(stream, props, n + 1)
        << QString("Удалось расшифровать файл, но не удалось разархивировать. Длина "
                   "разархивированных данных (%1 байтов) не совпала с указанной в заголовке (%2 "
                   "байтов).")
               .arg(n)
               .arg(n + 1);
    QTest::newRow("bytes after the end mark")
        << container_of(stream + "xyz", props, n)
        << QString("Удалось расшифровать файл, но не удалось разархивировать. Архив имеет размер "
                   "%1 байтов, но библиотека LZMA сказала, что из них обработано %2 байтов.")
               .arg(stream.size() + 3)
               .arg(stream.size());
    QByteArray bad_props = props;
    bad_props[0] = char(225);
    QTest::newRow("properties byte out of range")
        << container_of(stream, bad_props, n) << failed.arg("ERROR_UNSUPPORTED");
    QByteArray garbage = stream;
    for (int i = 8; i < garbage.size(); i += 3)
        garbage[i] = char(garbage[i] ^ 0x5A);
    QTest::newRow("garbled stream") << container_of(garbage, props, n) << QString();
}

// A broken stream never yields a partial text, whatever the LZMA library ran into.
void tst_Container::broken_streams() {
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    QByteArray text = "untouched";
    try {
        decode_container_if(file, "f", password, text);
        QFAIL("no error raised");
    } catch (const Err& e) {
        if (error.isEmpty())
            QVERIFY(
                e.message.startsWith("Удалось расшифровать файл, но не удалось разархивировать."));
        else
            QCOMPARE(e.message, error);
    }
    QCOMPARE(text, QByteArray("untouched"));
}

void tst_Container::streams_of_other_encoders_data() {
    QTest::addColumn<uint>("lc");
    QTest::addColumn<uint>("lp");
    QTest::addColumn<uint>("pb");
    QTest::addColumn<uint>("dict");
    QTest::addColumn<uint>("declared");
    QTest::newRow("usual settings, small dictionary") << 3u << 0u << 2u << 4096u << 4096u;
    QTest::newRow("lc 0, lp 2, pb 0") << 0u << 2u << 0u << 65536u << 65536u;
    QTest::newRow("lc 4, pb 4, dictionary 1 MiB") << 4u << 0u << 4u << 1048576u << 1048576u;
    QTest::newRow("dictionary declared as 4 GiB") << 3u << 0u << 2u << 1048576u << 0xFFFFFFFFu;
}

void tst_Container::streams_of_other_encoders() {
    QFETCH(uint, lc);
    QFETCH(uint, lp);
    QFETCH(uint, pb);
    QFETCH(uint, dict);
    QFETCH(uint, declared);
    const QByteArray text = sample_text(3000);
    const QByteArray file = container_of(raw_lzma(text, lc, lp, pb, dict, true),
                                         props_of(lc, lp, pb, declared), text.size());
    QByteArray back;
    QVERIFY(decode_container_if(file, "f", password, back));
    QCOMPARE(back, text);
}

// Our stream and properties, taken out of the container, must satisfy another decoder.
void tst_Container::independent_decoder_reads_our_stream() {
    const QString xz = QStandardPaths::findExecutable("xz");
    if (xz.isEmpty())
        QSKIP("xz is not installed");
    const QByteArray text = sample_text(2000);
    const QByteArray c = deciphered(encode_container(text, password, nonce), password);
    const uchar d = uchar(c[21]);
    const QString filter = QString("--lzma1=lc=%1,lp=%2,pb=%3,dict=%4")
                               .arg(d % 9)
                               .arg(d / 9 % 5)
                               .arg(d / 45)
                               .arg(qFromLittleEndian<quint32>(c.constData() + 22));
    QProcess p;
    p.start(xz, {"--format=raw", filter, "-d", "-c"});
    QVERIFY(p.waitForStarted());
    p.write(c.mid(26));
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput(), text);
}

void tst_Container::streams_use_the_default_encoder_settings_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one device") << sample_text(1);
    QTest::newRow("3000 devices") << sample_text(3000);
}

// Byte for byte what liblzma writes with 16 MiB, lc 3, lp 0, pb 2, normal, bt4, nice 32,
// depth 32 and the end mark: the property bytes alone would not show nice length or depth.
void tst_Container::streams_use_the_default_encoder_settings() {
    QFETCH(QByteArray, text);
    const QByteArray c = deciphered(encode_container(text, password, nonce), password);
    QCOMPARE(c.mid(21, 5).toHex(), QByteArray("5d00000001"));

    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 5);
    opt.dict_size = 1u << 24;
    opt.lc = 3;
    opt.lp = 0;
    opt.pb = 2;
    opt.mode = LZMA_MODE_NORMAL;
    opt.mf = LZMA_MF_BT4;
    opt.nice_len = 32;
    opt.depth = 32;
    opt.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    const lzma_filter f[2] = {{LZMA_FILTER_LZMA1EXT, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream s = LZMA_STREAM_INIT;
    QCOMPARE(int(lzma_raw_encoder(&s, f)), int(LZMA_OK));
    QByteArray expected(text.size() + 1000, '\0');
    s.next_in = reinterpret_cast<const uint8_t*>(text.constData());
    s.avail_in = size_t(text.size());
    s.next_out = bytes(expected);
    s.avail_out = size_t(expected.size());
    const lzma_ret r = lzma_code(&s, LZMA_FINISH);
    expected.resize(int(s.total_out));
    lzma_end(&s);
    QCOMPARE(int(r), int(LZMA_STREAM_END));
    QCOMPARE(c.mid(26), expected);
}

void tst_Container::files_of_earlier_settings_still_load_data() {
    QTest::addColumn<QString>("pw");
    QTest::addColumn<bool>("opens");
    QTest::newRow("right password") << QStringLiteral("старый пароль") << true;
    QTest::newRow("wrong password") << password << false;
}

// A file saved by an earlier version (level-6 settings, dictionary fitted to the text: 4 KiB
// here) must still open after the change of the encoder's settings.
void tst_Container::files_of_earlier_settings_still_load() {
    QFETCH(QString, pw);
    QFETCH(bool, opens);
    const QString name = QStringLiteral(ZELMO_TEST_DATA "/preset6_fitted_dict.zelmo_upload");
    QFile plain(QStringLiteral(ZELMO_TEST_DATA "/preset6_fitted_dict.txt"));
    QVERIFY(plain.open(QIODevice::ReadOnly));
    const QByteArray expected = plain.readAll();
    QVERIFY(!expected.isEmpty());

    QFile f(name);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    QCOMPARE(deciphered(file, QStringLiteral("старый пароль")).mid(21, 5).toHex(),
             QByteArray("5d00100000"));
    QByteArray text("untouched");
    QCOMPARE(read_config_file_if(name, pw, text), opens);
    QCOMPARE(text, opens ? expected : QByteArray("untouched"));
}

void tst_Container::failed_writes_leave_the_target_data() {
    QTest::addColumn<QString>("pw");
    QTest::addColumn<Container_form>("form");
    QTest::newRow("plain text") << QString() << Container_form::modern;
    QTest::newRow("encrypted, older form") << password << Container_form::legacy;
    QTest::newRow("encrypted, modern form") << password << Container_form::modern;
}

// The file size limit makes the write itself fail half-way, as a full disk would.
void tst_Container::failed_writes_leave_the_target() {
    QFETCH(QString, pw);
    QFETCH(Container_form, form);
    QTemporaryDir d;
    const QString target = d.filePath("cfg.zelmo_upload");
    QFile f(target);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("old contents");
    f.close();

    QByteArray text;
    for (int i = 0; i < 20000; ++i)
        text += QByteArray::number(qHash(i) * 2654435761u) + '\n';
    rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        write_config_file(target, text, pw, form);
    } catch (const Err& e) {
        message = e.message;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
    QVERIFY2(message.startsWith("Ошибка при "), qPrintable(message));
    QVERIFY(message.contains(target));
    QByteArray now;
    load_file(target, now);
    QCOMPARE(now, QByteArray("old contents"));
    QCOMPARE(QDir(d.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    try {
        write_config_file(d.filePath("missing/cfg.zelmo_upload"), text, pw, form);
        QFAIL("no error raised");
    } catch (const Err& e) {
        QCOMPARE(e.message, QString("Не удалось открыть для записи (или создать) файл «%1».")
                                .arg(d.filePath("missing/cfg.zelmo_upload")));
    }
}

QTEST_GUILESS_MAIN(tst_Container)
#include "tst_container.moc"
