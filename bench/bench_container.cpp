// Saving and loading an encrypted configuration just under the container's size limit:
// - in memory, against liblzma alone with the same settings on the same text (save), and
//   against liblzma's decoder plus the MAC pass and the keystream pass over the file done
//   separately (load): the ratios show what the framing, the copies and the one-pass
//   sealing add or save;
// - through files, the extra time of an encrypted save over a plain one (and of loading)
//   against the same floors.
// - the modern form: the extra time of saving and loading it over the plain file against
//   liblzma, two Argon2id derivations (one to save, one to load) and the cipher alone;
// - the cost of one password guess against a stolen file, older form against modern form:
//   for the older form the cheapest test an attacker has (the key, then the 16 enciphered
//   bytes whose last five are the known LZMA properties), for the modern form the key
//   derivation and the tag.
// Also compares the compressed size with the xz command's .lzma output at level 6 when xz
// is installed.
//
// Usage: bench_container [runs]   (default 2, five times as many loads; the best CPU time
// of each kind is reported)

#include "config/container.h"
#include "config/container_lzma.h"
#include "config/container_modern.h"
#include "foundation/err.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <lzma.h>
#include <sodium.h>

// A configuration text as the program writes it: a few option lines, servers in blocks,
// devices with IMEIs from a handful of type codes, PINs and an occasional note.
static QByteArray make_text(qint64 limit, int& devices) {
    static const char* const tacs[] = {"35209900", "86312304", "35473810", "86745603",
                                       "35917206", "86095104", "35332011", "86813707"};
    uint64_t r = 0x2545F4914F6CDD1DULL;
    auto next = [&r] {
        r ^= r << 13;
        r ^= r >> 7;
        r ^= r << 17;
        return r;
    };
    QByteArray t;
    t.reserve(int(limit));
    t += "# Содержимое этого файла сформировано программой zelmo_upload 1.9.0.\n\n"
         "simultaneously = 200\nconnect_timeout = 20000\nupfile_timeout = 1200000\n";
    QByteArray line;
    const QByteArray close = "}\n";
    devices = 0;
    for (int server = 1; server <= 999; ++server) {
        const QByteArray head = "\nserver(address \"srv" + QByteArray::number(server) +
                                ".example.net\", port " + QByteArray::number(4000 + server) +
                                ", notes \"площадка " + QByteArray::number(server) + "\")\n{\n";
        if (t.size() + head.size() + close.size() > limit)
            break;
        t += head;
        for (int i = 0; i < 1000; ++i) {
            line = " device(imei ";
            line += tacs[next() % 8];
            line += QByteArray::number(qulonglong(next() % 10000000)).rightJustified(7, '0');
            line += ", pin \"";
            line += QByteArray::number(qulonglong(next() % 100000000)).rightJustified(8, '0');
            line += '"';
            if (next() % 3 == 0)
                line += ", notes \"машина " + QByteArray::number(qulonglong(next() % 5000)) + '"';
            line += ")\n";
            if (t.size() + line.size() + close.size() > limit) {
                t += close;
                return t;
            }
            t += line;
            ++devices;
        }
        t += close;
    }
    return t;
}

static QByteArray bare_compress(const QByteArray& text) {
    lzma_options_lzma opt = container_encoder_options();
    const lzma_filter f[2] = {{LZMA_FILTER_LZMA1, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&s, f) != LZMA_OK)
        std::abort();
    QByteArray out(text.size() + 1000, Qt::Uninitialized);
    s.next_in = reinterpret_cast<const uint8_t*>(text.constData());
    s.avail_in = size_t(text.size());
    s.next_out = reinterpret_cast<uint8_t*>(out.data());
    s.avail_out = size_t(out.size());
    if (lzma_code(&s, LZMA_FINISH) != LZMA_STREAM_END)
        std::abort();
    out.resize(int(s.total_out));
    lzma_end(&s);
    return out;
}

static QByteArray bare_decompress(const QByteArray& stream, qint64 length) {
    lzma_options_lzma opt = container_encoder_options();
    const lzma_filter f[2] = {{LZMA_FILTER_LZMA1, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&s, f) != LZMA_OK)
        std::abort();
    QByteArray out(int(length + 1), Qt::Uninitialized);
    s.next_in = reinterpret_cast<const uint8_t*>(stream.constData());
    s.avail_in = size_t(stream.size());
    s.next_out = reinterpret_cast<uint8_t*>(out.data());
    s.avail_out = size_t(out.size());
    if (lzma_code(&s, LZMA_FINISH) != LZMA_STREAM_END || qint64(s.total_out) != length)
        std::abort();
    out.resize(int(length));
    lzma_end(&s);
    return out;
}

// Thread CPU time: the machine is shared, and time spent descheduled is not ours.
static double cpu_ms() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Runs the two alternately so that drifting machine load touches both alike; best of each.
template <class A, class B> static void best_pair(int runs, A a, B b, double& ta, double& tb) {
    ta = tb = 1e100;
    for (int i = 0; i < runs; ++i) {
        double t = cpu_ms();
        a();
        ta = std::min(ta, cpu_ms() - t);
        t = cpu_ms();
        b();
        tb = std::min(tb, cpu_ms() - t);
    }
}

static qint64 xz_lzma_size(const QByteArray& text) {
    const QString xz = QStandardPaths::findExecutable("xz");
    if (xz.isEmpty())
        return -1;
    QProcess p;
    p.start(xz, {"--format=lzma", "-6", "-c"});
    if (!p.waitForStarted())
        return -1;
    p.write(text);
    p.closeWriteChannel();
    QByteArray out;
    while (p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(1000);
        out += p.readAllStandardOutput();
    }
    out += p.readAllStandardOutput();
    return out.size();
}

// The least a load can do: the decoder, then the MAC and the keystream as two passes.
static volatile uint64_t floor_sink;
static QByteArray load_floor(const QByteArray& file, const QByteArray& stream, qint64 length,
                             const Tea_key& key) {
    QByteArray copy = file;
    auto* c = reinterpret_cast<unsigned char*>(copy.data());
    tea_mask(c + 10, size_t(copy.size() - 10), key.k, 42);
    floor_sink = tea_cert(c + 18, size_t(copy.size() - 18), key.k, 0);
    return bare_decompress(stream, length);
}

// The least a modern save and load can do: derive, compress, encipher; derive, decipher,
// decompress.
static QByteArray modern_floor(const QByteArray& text, const QString& password) {
    const Modern_params p = fresh_modern_params();
    unsigned char tag[16];
    QByteArray stream;
    {
        Modern_key key;
        derive_modern_key(password, p, key);
        stream = bare_compress(text);
        auto* m = reinterpret_cast<unsigned char*>(stream.data());
        crypto_aead_xchacha20poly1305_ietf_encrypt_detached(
            m, tag, nullptr, m, size_t(stream.size()), nullptr, 0, nullptr, p.nonce, key.k);
    }
    Modern_key key;
    derive_modern_key(password, p, key);
    auto* m = reinterpret_cast<unsigned char*>(stream.data());
    if (crypto_aead_xchacha20poly1305_ietf_decrypt_detached(m, nullptr, m, size_t(stream.size()),
                                                            tag, nullptr, 0, p.nonce, key.k) != 0)
        std::abort();
    return bare_decompress(stream, text.size());
}

static volatile int guess_sink;

// Guesses per second against the older form: key, then the first 16 enciphered bytes.
static double legacy_guess_us(const QByteArray& file, int guesses) {
    const auto* c = reinterpret_cast<const unsigned char*>(file.constData());
    const uint64_t nonce = qFromLittleEndian<quint64>(c + 2);
    const double t = cpu_ms();
    int hits = 0;
    for (int i = 0; i < guesses; ++i) {
        const Tea_key key = password_to_key(QString::number(i));
        unsigned char block[16];
        std::memcpy(block, c + 10, 16);
        tea_mask(block, 16, key.k, nonce);
        hits += std::memcmp(block + 11, "\x5d\x00\x00\x00\x01", 5) == 0;
    }
    guess_sink = hits;
    return (cpu_ms() - t) * 1e3 / guesses;
}

static double modern_guess_us(const QByteArray& file, int guesses) {
    const Modern_params p = modern_params_of(file);
    double best = 1e100;
    for (int i = 0; i < guesses; ++i) {
        const double t = cpu_ms();
        Modern_key key;
        derive_modern_key(QString::number(i), p, key);
        QByteArray text;
        if (open_modern_container_if(file, "bench", key, text))
            std::abort();
        best = std::min(best, cpu_ms() - t);
    }
    return best * 1e3;
}

int main(int argc, char** argv) {
    log_file_name = "/dev/null";
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    int devices = 0;
    const QByteArray text = make_text(container_max_text, devices);
    const QString password = QStringLiteral("пароль для проверки");
    std::printf("text: %d bytes, %d devices\n", text.size(), devices);

    QByteArray file, stream, back, bare_back;
    double save = 0, compress = 0, load = 0, decompress = 0;
    best_pair(
        runs, [&] { file = encode_container(text, password, 42); },
        [&] { stream = bare_compress(text); }, save, compress);
    best_pair(
        runs * 5,
        [&] {
            if (!decode_container_if(file, "bench", password, back))
                std::abort();
        },
        [&] { bare_back = bare_decompress(stream, text.size()); }, load, decompress);
    if (back != text || bare_back != text)
        std::abort();
    const Tea_key key = password_to_key(password);
    double load2 = 0, floor = 0;
    best_pair(
        runs * 5,
        [&] {
            if (!decode_container_if(file, "bench", password, back))
                std::abort();
        },
        [&] { bare_back = load_floor(file, stream, text.size(), key); }, load2, floor);
    load = std::min(load, load2);

    // Through files: the extra time of encryption over the plain form.
    QTemporaryDir dir;
    const QString plain_name = dir.filePath("plain.zelmo_upload");
    const QString enc_name = dir.filePath("enc.zelmo_upload");
    double save_plain = 0, save_enc = 0, load_plain = 0, load_enc = 0;
    best_pair(
        runs, [&] { write_config_file(plain_name, text, QString()); },
        [&] { write_config_file(enc_name, text, password); }, save_plain, save_enc);
    best_pair(
        runs * 5,
        [&] {
            if (!read_config_file_if(plain_name, QString(), back))
                std::abort();
        },
        [&] {
            if (!read_config_file_if(enc_name, password, back) || back != text)
                std::abort();
        },
        load_plain, load_enc);

    // The modern form through files, against its floor.
    const QString modern_name = dir.filePath("modern.zelmo_upload");
    double modern = 0, modern_bare = 0;
    best_pair(
        runs,
        [&] {
            write_config_file(modern_name, text, password);
            if (!read_config_file_if(modern_name, password, back) || back != text)
                std::abort();
        },
        [&] {
            if (modern_floor(text, password) != text)
                std::abort();
        },
        modern, modern_bare);
    QByteArray modern_file;
    load_file(modern_name, modern_file);
    const double guess_b = legacy_guess_us(file, 200000);
    const double guess_c = modern_guess_us(modern_file, 3);

    std::printf("save  (encrypted)  %9.1f ms   bare compress   %9.1f ms   ratio %.3f\n", save,
                compress, save / compress);
    std::printf("load  (encrypted)  %9.1f ms   bare decompress %9.1f ms   ratio %.3f\n", load,
                decompress, load / decompress);
    std::printf(
        "load  (encrypted)  %9.1f ms   decode+2 TEA    %9.1f ms   ratio %.3f (goal <= 1.2)\n", load,
        floor, load / floor);
    std::printf("file save: plain %7.1f ms, encrypted %7.1f ms, extra %7.1f ms; extra/bare "
                "compress %.3f (goal <= 1.2)\n",
                save_plain, save_enc, save_enc - save_plain, (save_enc - save_plain) / compress);
    std::printf("file load: plain %7.1f ms, encrypted %7.1f ms, extra %7.1f ms; extra/(decode+2 "
                "TEA) %.3f (goal <= 1.2)\n",
                load_plain, load_enc, load_enc - load_plain, (load_enc - load_plain) / floor);
    const double modern_extra = modern - save_plain - load_plain;
    std::printf("modern file save+load %7.1f ms, plain %7.1f ms, extra %7.1f ms; liblzma + 2 "
                "Argon2id + cipher %7.1f ms; ratio %.3f (goal <= 1.2)\n",
                modern, save_plain + load_plain, modern_extra, modern_bare,
                modern_extra / modern_bare);
    std::printf("one password guess: older form %.3f us, modern form %.0f us; ratio %.3g (goal >= "
                "1e5)\n",
                guess_b, guess_c, guess_c / guess_b);
    std::printf("file %d bytes (stream %d + header 26), bare stream %d bytes\n", file.size(),
                file.size() - container_header_size, stream.size());
    const qint64 xz = xz_lzma_size(text);
    if (xz > 0)
        std::printf("xz --format=lzma -6: %lld bytes; container/xz %.4f\n", (long long)xz,
                    double(file.size()) / double(xz));
    return 0;
}
