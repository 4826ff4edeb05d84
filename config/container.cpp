#include "config/container.h"
#include "config/container_lzma.h"
#include "config/container_modern.h"

#include "config/config_codes.h"
#include "foundation/err.h"
#include "foundation/file_kinds.h"
#include "foundation/random.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cstring>

static Tr errfmt_too_long(
    "write",
    "Не получится записать эту конфигурацию в зашифрованном виде: текст конфигурации слишком "
    "длинный (%1 байтов). Запись в зашифрованном виде возможна только для конфигураций не "
    "длиннее %2 байтов. Рекомендуем разбить эту конфигурацию на несколько маленьких. Для этого "
    "можно запустить несколько копий программы, везде переключиться на текстовое представление "
    "конфигурации и скопировать нужные куски текста через буфер обмена (Ctrl-C/Ctrl-V).");
static Tr errfmt_compress("write", "Не удалось заархивировать конфигурацию. Библиотека LZMA "
                                   "сказала: «%1».");
static Tr errfmt_open("write", "Не удалось открыть для записи (или создать) файл «%1».");
static Tr errfmt_write("write", "Ошибка при записи конфигурации в файл «%1».");
static Tr errfmt_write_bom("write", "Ошибка при начале записи конфигурации в файл «%1».");
static Tr
    errfmt_short_write("write",
                       "Ошибка при записи конфигурации в файл «%1»: пытались записать %2 байтов, а "
                       "записали %3.");
static Tr errfmt_commit("write", "Ошибка при завершении записи конфигурации в файл «%1».");

static Tr errfmt_too_small("decrypt",
                           "Файл «%1» помечен как зашифрованный файл конфигурации, но он слишком "
                           "маленький (%2 байтов) - даже заголовок влезает не полностью.");
static Tr errfmt_lzma("decrypt", "Удалось расшифровать файл, но не удалось разархивировать. "
                                 "Библиотека LZMA сказала: «%1».");
static Tr errfmt_lzma_consumed(
    "decrypt", "Удалось расшифровать файл, но не удалось разархивировать. Архив имеет размер %1 "
               "байтов, но библиотека LZMA сказала, что из них обработано %2 байтов.");
static Tr errfmt_lzma_length(
    "decrypt", "Удалось расшифровать файл, но не удалось разархивировать. Длина "
               "разархивированных данных (%1 байтов) не совпала с указанной в заголовке (%2 "
               "байтов).");
static Tr
    errfmt_not_utf8("decrypt",
                    "Файл «%1» не может быть файлом конфигурации: он не зашифрованный (в нём нет "
                    "соответствующего заголовка), но и не содержит текст в кодировке UTF-8.");

void container_clear_translation() {
    errfmt_too_long.clear();
    errfmt_compress.clear();
    errfmt_open.clear();
    errfmt_write.clear();
    errfmt_write_bom.clear();
    errfmt_short_write.clear();
    errfmt_commit.clear();
    errfmt_too_small.clear();
    errfmt_lzma.clear();
    errfmt_lzma_consumed.clear();
    errfmt_lzma_length.clear();
    errfmt_not_utf8.clear();
}

static const uint32_t k1[4] = {0x5B3E91C7, 0x0D7A2F64, 0xE81C4B29, 0x93F60A5D};
static const uint32_t k2[4] = {0x27C8D41E, 0xB6095F83, 0x4AE173B0, 0xF2583C96};
static const uint64_t iv1 = 0x4C19E7A2D083F56BULL;
static const uint64_t iv2 = 0x9E62B04D17C85A3FULL;

static const unsigned char magic[2] = {0x97, 0xA1};
static const unsigned char bom[3] = {0xEF, 0xBB, 0xBF};

// Offsets within the container.
enum : int { off_nonce = 2, off_mac = 10, off_length = 18, off_props = 21 };

static uint64_t load64(const unsigned char* p) {
    return qFromLittleEndian<quint64>(p);
}
static void store64(unsigned char* p, uint64_t v) {
    qToLittleEndian<quint64>(v, p);
}

static uint64_t load_tail(const unsigned char* p, size_t n) {
    uint64_t t = 0;
    for (size_t i = n; i-- > 0;)
        t = (t << 8) | p[i];
    return t;
}

static void xor_tail(unsigned char* p, size_t n, uint64_t x) {
    for (size_t i = 0; i < n; ++i, x >>= 8)
        p[i] ^= (unsigned char)x;
}

uint64_t tea_cert(const unsigned char* data, size_t n, const uint32_t* k, uint64_t iv) {
    uint64_t x = iv;
    for (; n >= 8; data += 8, n -= 8)
        x = tea(x ^ load64(data), k);
    if (n)
        x = tea(x ^ load_tail(data, n), k);
    return x;
}

void tea_mask(unsigned char* data, size_t n, const uint32_t* k, uint64_t iv) {
    uint64_t x = iv;
    for (; n >= 8; data += 8, n -= 8) {
        x = tea(x, k);
        store64(data, load64(data) ^ x);
    }
    if (n) {
        x = tea(x, k);
        xor_tail(data, n, x);
    }
}

Tea_key password_to_key(const QString& password) {
    const QByteArray p = password.toUtf8();
    const auto* d = reinterpret_cast<const unsigned char*>(p.constData());
    const uint64_t a = tea_cert(d, size_t(p.size()), k1, iv1);
    const uint64_t b = tea_cert(d, size_t(p.size()), k2, iv2);
    return Tea_key{{uint32_t(a), uint32_t(a >> 32), uint32_t(b), uint32_t(b >> 32)}};
}

// The MAC chain and the keystream chain do not depend on each other, so one pass runs
// both side by side: the processor overlaps them, which halves the time of two passes.
// Same arithmetic as tea() (random.cpp), two blocks at once.
static inline void tea2(uint64_t& a, uint64_t& b, const uint32_t* k) {
    uint32_t ah = uint32_t(a >> 32), al = uint32_t(a);
    uint32_t bh = uint32_t(b >> 32), bl = uint32_t(b);
    const uint32_t k0 = k[0], k1_ = k[1], k2_ = k[2], k3 = k[3];
    uint32_t sum = 0;
    for (int i = 0; i < 32; ++i) {
        sum += 0x9E3779B9u;
        ah += ((al << 4) + k3) ^ (al + sum) ^ ((al >> 5) + k2_);
        bh += ((bl << 4) + k3) ^ (bl + sum) ^ ((bl >> 5) + k2_);
        al += ((ah << 4) + k1_) ^ (ah + sum) ^ ((ah >> 5) + k0);
        bl += ((bh << 4) + k1_) ^ (bh + sum) ^ ((bh >> 5) + k0);
    }
    a = (uint64_t(ah) << 32) | al;
    b = (uint64_t(bh) << 32) | bl;
}

// Enciphers c[off_mac..n) in place after computing the MAC of the plain c[off_length..n):
// the same as tea_cert over 18.. followed by tea_mask over 10.. with the nonce.
static void seal(unsigned char* c, size_t n, const uint32_t* k, uint64_t nonce) {
    const uint64_t x0 = tea(nonce, k); // keystream word of the MAC block
    uint64_t mac = 0, x = x0;
    unsigned char* p = c + off_length;
    size_t rest = n - off_length;
    for (; rest >= 8; p += 8, rest -= 8) {
        const uint64_t b = load64(p);
        mac ^= b;
        tea2(mac, x, k);
        store64(p, b ^ x);
    }
    if (rest) {
        mac ^= load_tail(p, rest);
        tea2(mac, x, k);
        xor_tail(p, rest, x);
    }
    store64(c + off_mac, mac ^ x0);
}

// Deciphers src[off_mac..n) into dst (which receives the plain MAC too) and checks it.
static bool unseal(const unsigned char* src, unsigned char* dst, size_t n, const uint32_t* k) {
    const uint64_t x0 = tea(load64(src + off_nonce), k);
    const uint64_t stored = load64(src + off_mac) ^ x0;
    std::memcpy(dst, src, off_mac);
    store64(dst + off_mac, stored);
    // Software-pipelined: the keystream word of the next block is computed alongside the
    // MAC step of this one, which needs this block's plain bytes.
    uint64_t mac = 0, x = tea(x0, k);
    const unsigned char* s = src + off_length;
    unsigned char* d = dst + off_length;
    size_t rest = n - off_length;
    for (; rest >= 8; s += 8, d += 8, rest -= 8) {
        const uint64_t b = load64(s) ^ x;
        store64(d, b);
        mac ^= b;
        tea2(mac, x, k);
    }
    if (rest) {
        std::memcpy(d, s, rest);
        xor_tail(d, rest, x);
        mac = tea(mac ^ load_tail(d, rest), k);
    }
    return mac == stored;
}

static bool is_legacy_container(const QByteArray& file) {
    return file.size() >= 2 && std::memcmp(file.constData(), magic, 2) == 0;
}

bool is_container(const QByteArray& file) {
    return is_legacy_container(file) || is_modern_container(file);
}

void check_container_header(const QByteArray& file, const QString& file_name) {
    if (is_modern_container(file))
        check_modern_header(file, file_name);
    else if (file.size() < container_header_size)
        throw Err(errfmt_too_small.tr().arg(file_name).arg(file.size()));
}

QByteArray encode_plain(const QByteArray& text) {
    QByteArray out;
    out.reserve(3 + text.size());
    out.append(reinterpret_cast<const char*>(bom), 3);
    out.append(text);
    return out;
}

// The LZMA library's answers, named as in the program's messages (the names of the
// widespread one-call coder's result codes and decoder statuses).
enum : int {
    lz_ok = 0,
    lz_error_data = 1,
    lz_error_mem = 2,
    lz_error_unsupported = 4,
    lz_error_param = 5,
    lz_error_input_eof = 6,
    lz_error_fail = 11,
};
enum : int { lz_status_maybe_finished_without_mark = 4 };

static QString lzma_result_name(int code) {
    static const char* const names[] = {"OK",
                                        "ERROR_DATA",
                                        "ERROR_MEM",
                                        "ERROR_CRC",
                                        "ERROR_UNSUPPORTED",
                                        "ERROR_PARAM",
                                        "ERROR_INPUT_EOF",
                                        "ERROR_OUTPUT_EOF",
                                        "ERROR_READ",
                                        "ERROR_WRITE",
                                        "ERROR_PROGRESS",
                                        "ERROR_FAIL",
                                        "ERROR_THREAD"};
    if (code >= 0 && code <= 12)
        return QString::fromLatin1(names[code]);
    if (code == 16)
        return QStringLiteral("ERROR_ARCHIVE");
    if (code == 17)
        return QStringLiteral("ERROR_NO_ARCHIVE");
    return QStringLiteral("UNKNOWN_ERROR(%1)").arg(code);
}

static QString lzma_status_name(int status) {
    static const char* const names[] = {"STATUS_NOT_SPECIFIED", "STATUS_FINISHED_WITH_MARK",
                                        "STATUS_NOT_FINISHED", "STATUS_NEEDS_MORE_INPUT",
                                        "STATUS_MAYBE_FINISHED_WITHOUT_MARK"};
    if (status >= 0 && status <= 4)
        return QString::fromLatin1(names[status]);
    return QStringLiteral("UNKNOWN_STATUS(%1)").arg(status);
}

static int result_code(lzma_ret r, bool decoding) {
    switch (r) {
    case LZMA_OK:
    case LZMA_STREAM_END:
        return lz_ok;
    case LZMA_DATA_ERROR:
        return lz_error_data;
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
        return lz_error_mem;
    case LZMA_OPTIONS_ERROR:
    case LZMA_FORMAT_ERROR:
        return decoding ? lz_error_unsupported : lz_error_param;
    default:
        return lz_error_fail;
    }
}

// Releases the coder on every path.
namespace {
struct Lzma_guard {
    lzma_stream s = LZMA_STREAM_INIT;
    ~Lzma_guard() { lzma_end(&s); }
};
} // namespace

// Files written with other settings still load: the decoder takes whatever the property bytes
// say.
lzma_options_lzma container_encoder_options() {
    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 5); // fills the fields not set below
    opt.dict_size = uint32_t(1) << 24;
    opt.lc = 3;
    opt.lp = 0;
    opt.pb = 2;
    opt.mode = LZMA_MODE_NORMAL;
    opt.mf = LZMA_MF_BT4;
    opt.nice_len = 32;
    opt.depth = 32;
    return opt;
}

size_t compress_container_stream(const QByteArray& text, unsigned char* props, unsigned char* out,
                                 size_t limit) {
    lzma_options_lzma opt = container_encoder_options();
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};

    Lzma_guard g;
    lzma_ret r = lzma_raw_encoder(&g.s, filters);
    if (r != LZMA_OK)
        throw Err(errfmt_compress.tr().arg(lzma_result_name(result_code(r, false))));
    g.s.next_in = reinterpret_cast<const uint8_t*>(text.constData());
    g.s.avail_in = size_t(text.size());
    g.s.next_out = out;
    g.s.avail_out = limit;
    do {
        r = lzma_code(&g.s, LZMA_FINISH);
    } while (r == LZMA_OK && g.s.avail_out > 0);
    if (r == LZMA_OK || r == LZMA_BUF_ERROR)
        throw Debug(code_encoder_output); // output longer than the buffer
    if (r != LZMA_STREAM_END)
        throw Err(errfmt_compress.tr().arg(lzma_result_name(result_code(r, false))));

    uint32_t props_size = 0;
    if (lzma_properties_size(&props_size, &filters[0]) != LZMA_OK || props_size != 5 ||
        lzma_properties_encode(&filters[0], props) != LZMA_OK)
        throw Debug(code_encoder_output);
    return limit - g.s.avail_out;
}

void throw_text_too_long(qint64 size, qint64 limit) {
    throw Err(errfmt_too_long.tr().arg(size).arg(limit));
}

QByteArray encode_container(const QByteArray& text, const QString& password, uint64_t nonce) {
    const qint64 s = text.size();
    if (s > container_max_text)
        throw_text_too_long(s, container_max_text);
    if (password.isEmpty())
        throw Debug(code_empty_password);

    // Sized once: a text that does not compress grows by a little more than 1/64.
    QByteArray out(int(s + 1026), Qt::Uninitialized);
    auto* c = reinterpret_cast<unsigned char*>(out.data());
    const size_t compressed =
        compress_container_stream(text, c + off_props, c + container_header_size, size_t(s + 1000));

    c[off_length] = uint8_t(s);
    c[off_length + 1] = uint8_t(s >> 8);
    c[off_length + 2] = uint8_t(s >> 16);
    const qint64 n = container_header_size + qint64(compressed);
    const Tea_key key = password_to_key(password);
    store64(c + off_nonce, nonce);
    seal(c, size_t(n), key.k, nonce);
    c[0] = magic[0];
    c[1] = magic[1];
    out.resize(int(n));
    return out;
}

uint64_t draw_container_nonce() {
    update_random_number_generator(0x1A01);
    return draw_random_number();
}

void decompress_container_stream(const unsigned char* props, const unsigned char* in,
                                 size_t in_size, qint64 length, QByteArray& text) {
    unsigned d = props[0];
    if (d >= 9 * 5 * 5)
        throw Err(errfmt_lzma.tr().arg(lzma_result_name(lz_error_unsupported)));
    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 0);
    opt.lc = d % 9;
    d /= 9;
    opt.lp = d % 5;
    opt.pb = d / 5;
    // The coder never needs to look back further than the text is long, so a declared
    // dictionary larger than that is not allocated (a forged header could ask for 4 GiB).
    const uint32_t declared = qFromLittleEndian<quint32>(props + 1);
    const uint64_t needed = std::max<uint64_t>(uint64_t(length) + 1, 4096);
    opt.dict_size = uint32_t(std::min<uint64_t>(declared, needed));
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};

    Lzma_guard g;
    lzma_ret r = lzma_raw_decoder(&g.s, filters);
    if (r != LZMA_OK)
        throw Err(errfmt_lzma.tr().arg(lzma_result_name(result_code(r, true))));

    // One byte of room beyond the length lets the coder read the end mark after the last
    // byte; a text that runs into that byte is longer than the header says.
    QByteArray out(int(length + 1), Qt::Uninitialized);
    g.s.next_in = in;
    g.s.avail_in = in_size;
    g.s.next_out = reinterpret_cast<uint8_t*>(out.data());
    g.s.avail_out = size_t(length + 1);
    // Until the end mark, an error, a full buffer, or no more progress (LZMA_BUF_ERROR).
    do {
        r = lzma_code(&g.s, LZMA_FINISH);
    } while (r == LZMA_OK && g.s.avail_out > 0);

    const qint64 produced = qint64(g.s.total_out);
    if (r == LZMA_STREAM_END) {
        if (produced > length) // the end mark came one byte late
            throw Err(errfmt_lzma.tr().arg(lzma_result_name(lz_error_data)));
        if (g.s.total_in != in_size)
            throw Err(errfmt_lzma_consumed.tr().arg(in_size).arg(g.s.total_in));
        if (produced != length)
            throw Err(errfmt_lzma_length.tr().arg(produced).arg(length));
        out.resize(int(length));
        text = std::move(out);
        return;
    }
    if (r != LZMA_OK && r != LZMA_BUF_ERROR)
        throw Err(errfmt_lzma.tr().arg(lzma_result_name(result_code(r, true))));
    if (produced > length) // more data where the end mark should be
        throw Err(errfmt_lzma.tr().arg(lzma_result_name(lz_error_data)));
    if (produced == length) // the text is complete but the end mark is missing
        throw Err(errfmt_lzma.tr().arg(lzma_status_name(lz_status_maybe_finished_without_mark)));
    throw Err(errfmt_lzma.tr().arg(lzma_result_name(lz_error_input_eof)));
}

bool decode_container_if(const QByteArray& file, const QString& file_name, const QString& password,
                         QByteArray& text) {
    check_container_header(file, file_name);
    if (is_modern_container(file)) {
        Modern_key key;
        derive_modern_key(password, modern_params_of(file), key);
        return open_modern_container_if(file, file_name, key, text);
    }
    const size_t n = size_t(file.size());
    const Tea_key key = password_to_key(password);
    // The bytes as read stay untouched: a wrong password must not spoil the next attempt.
    QByteArray plain(file.size(), Qt::Uninitialized);
    auto* c = reinterpret_cast<unsigned char*>(plain.data());
    if (!unseal(reinterpret_cast<const unsigned char*>(file.constData()), c, n, key.k))
        return false;
    const qint64 length = qint64(c[off_length]) | (qint64(c[off_length + 1]) << 8) |
                          (qint64(c[off_length + 2]) << 16);
    decompress_container_stream(c + off_props, c + container_header_size, n - container_header_size,
                                length, text);
    return true;
}

void check_plain_config(const QByteArray& file, const QString& file_name) {
    if (!is_utf8(reinterpret_cast<const unsigned char*>(file.constData()), size_t(file.size())))
        throw Err(errfmt_not_utf8.tr().arg(file_name));
}

static void write_all(QSaveFile& f, const QString& file_name, const char* data, qint64 size,
                      Tr& errfmt_failed) {
    const qint64 written = f.write(data, size);
    if (written < 0)
        throw Err(errfmt_failed.tr().arg(file_name));
    if (written != size)
        throw Err(errfmt_short_write.tr().arg(file_name).arg(size).arg(written));
}

static QByteArray encode_modern(const QByteArray& text, const QString& password) {
    // Refused before the key derivation, which takes a while.
    if (text.size() > modern_max_text)
        throw_text_too_long(text.size(), modern_max_text);
    const Modern_params p = fresh_modern_params();
    Modern_key key;
    derive_modern_key(password, p, key);
    return encode_modern_container(text, p, key);
}

void write_config_file(const QString& file_name, const QByteArray& text, const QString& password,
                       Container_form form) {
    QByteArray body;
    if (!password.isEmpty())
        body = form == Container_form::legacy
                   ? encode_container(text, password, draw_container_nonce())
                   : encode_modern(text, password);

    // QSaveFile discards its temporary file unless committed, so an exception thrown
    // between open and commit leaves the target as it was.
    QSaveFile f(file_name);
    const bool fresh = !QFileInfo::exists(file_name);
    const QIODevice::OpenMode mode =
        password.isEmpty() ? QIODevice::WriteOnly | QIODevice::Text : QIODevice::WriteOnly;
    // A plain file shows its PINs to whoever can read it.
    if (!(password.isEmpty() ? open_private_save_file(f, mode) : f.open(mode)))
        throw Err(errfmt_open.tr().arg(file_name));
    // The file holds PINs: a new one is the owner's only; an existing one keeps its mode.
    if (fresh)
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (password.isEmpty()) {
        write_all(f, file_name, reinterpret_cast<const char*>(bom), 3, errfmt_write_bom);
        write_all(f, file_name, text.constData(), text.size(), errfmt_write);
    } else {
        write_all(f, file_name, body.constData(), body.size(), errfmt_write);
    }
    if (!f.commit())
        throw Err(errfmt_commit.tr().arg(file_name));
}

bool read_config_file_if(const QString& file_name, const QString& password, QByteArray& text) {
    QByteArray file;
    load_file(file_name, file);
    if (file.isEmpty()) {
        text.clear();
        return true;
    }
    if (is_container(file))
        return decode_container_if(file, file_name, password, text);
    check_plain_config(file, file_name);
    text = std::move(file);
    return true;
}
