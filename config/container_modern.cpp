#include "config/container_modern.h"
#include "config/container_lzma.h"

#include "foundation/err.h"

#include <QtEndian>
#include <cstring>
#include <sodium.h>

static Tr errfmt_too_small("decrypt",
                           "Файл «%1» помечен как зашифрованный файл конфигурации, но он слишком "
                           "маленький (%2 байтов) - даже заголовок влезает не полностью.");
static Tr errfmt_version("decrypt",
                         "Файл «%1» зашифрован в формате версии %2, а эта версия программы умеет "
                         "читать только формат версии %3. Откройте его более новой версией "
                         "программы.");
static Tr errfmt_passes("decrypt", "Файл «%1» повреждён или записан не этой программой: число "
                                   "проходов вычисления ключа из пароля (%2) вне допустимых "
                                   "пределов (от %3 до %4).");
static Tr errfmt_memory("decrypt", "Файл «%1» повреждён или записан не этой программой: объём "
                                   "памяти для вычисления ключа из пароля (%2 КиБ) вне "
                                   "допустимых пределов (от %3 до %4 КиБ).");
static Tr errfmt_no_memory("decrypt", "Не удалось вычислить ключ из пароля: не хватило памяти "
                                      "(нужно %1 КиБ).");
static Tr errfmt_no_length("decrypt", "Удалось расшифровать файл, но не удалось разархивировать: "
                                      "в нём %1 байтов, а длина текста и свойства LZMA занимают "
                                      "%2 байтов.");
static Tr errfmt_length_limit(
    "decrypt", "Удалось расшифровать файл, но не удалось разархивировать: длина текста, указанная "
               "в заголовке (%1 байтов), больше предельной (%2 байтов).");

void container_modern_clear_translation() {
    errfmt_too_small.clear();
    errfmt_version.clear();
    errfmt_passes.clear();
    errfmt_memory.clear();
    errfmt_no_memory.clear();
    errfmt_no_length.clear();
    errfmt_length_limit.clear();
}

static const unsigned char magic[2] = {0x97, 0xA2};

// Offsets within the file, and within P.
enum : int { off_version = 2, off_passes = 3, off_memory = 7, off_salt = 11, off_nonce = 27 };
enum : int { p_length = 0, p_props = 4, p_stream = 9 };

// Once, before the first use of the library: it picks its implementations and seeds its
// generator.
static void init_sodium() {
    static const int ready = sodium_init();
    if (ready < 0)
        throw Debug(0x1A20);
}

Modern_key::~Modern_key() {
    sodium_memzero(k, sizeof k);
}

bool is_modern_container(const QByteArray& file) {
    return file.size() >= 2 && std::memcmp(file.constData(), magic, 2) == 0;
}

static const unsigned char* bytes_of(const QByteArray& a) {
    return reinterpret_cast<const unsigned char*>(a.constData());
}

Modern_params modern_params_of(const QByteArray& file) {
    const unsigned char* c = bytes_of(file);
    Modern_params p;
    p.passes = qFromLittleEndian<quint32>(c + off_passes);
    p.memory_kib = qFromLittleEndian<quint32>(c + off_memory);
    std::memcpy(p.salt, c + off_salt, modern_salt_size);
    std::memcpy(p.nonce, c + off_nonce, modern_nonce_size);
    return p;
}

void check_modern_header(const QByteArray& file, const QString& file_name) {
    if (file.size() < modern_min_size)
        throw Err(errfmt_too_small.tr().arg(file_name).arg(file.size()));
    const unsigned version = bytes_of(file)[off_version];
    if (version != modern_version)
        throw Err(errfmt_version.tr().arg(file_name).arg(version).arg(modern_version));
    const Modern_params p = modern_params_of(file);
    if (p.passes < modern_min_passes || p.passes > modern_max_passes)
        throw Err(errfmt_passes.tr()
                      .arg(file_name)
                      .arg(p.passes)
                      .arg(modern_min_passes)
                      .arg(modern_max_passes));
    if (p.memory_kib < modern_min_memory_kib || p.memory_kib > modern_max_memory_kib)
        throw Err(errfmt_memory.tr()
                      .arg(file_name)
                      .arg(p.memory_kib)
                      .arg(modern_min_memory_kib)
                      .arg(modern_max_memory_kib));
}

Modern_params fresh_modern_params() {
    init_sodium();
    Modern_params p;
    randombytes_buf(p.salt, sizeof p.salt);
    randombytes_buf(p.nonce, sizeof p.nonce);
    return p;
}

void derive_modern_key(const QString& password, const Modern_params& p, Modern_key& key) {
    init_sodium();
    QByteArray utf8 = password.toUtf8();
    const int r =
        crypto_pwhash(key.k, sizeof key.k, utf8.constData(), (unsigned long long)utf8.size(),
                      p.salt, p.passes, size_t(p.memory_kib) * 1024, crypto_pwhash_ALG_ARGON2ID13);
    sodium_memzero(utf8.data(), size_t(utf8.size()));
    // The parameters are within the library's limits (they are checked on reading and fixed
    // on writing), so a failure is the memory.
    if (r != 0)
        throw Err(errfmt_no_memory.tr().arg(p.memory_kib));
}

static void write_header(unsigned char* c, const Modern_params& p) {
    c[0] = magic[0];
    c[1] = magic[1];
    c[off_version] = modern_version;
    qToLittleEndian<quint32>(p.passes, c + off_passes);
    qToLittleEndian<quint32>(p.memory_kib, c + off_memory);
    std::memcpy(c + off_salt, p.salt, modern_salt_size);
    std::memcpy(c + off_nonce, p.nonce, modern_nonce_size);
}

// c holds room for the header, P (plain_size bytes at modern_header_size) and the tag: writes
// the header and enciphers P in place.
static void seal_in_place(unsigned char* c, size_t plain_size, const Modern_params& p,
                          const Modern_key& key) {
    init_sodium();
    write_header(c, p);
    unsigned char* m = c + modern_header_size;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt_detached(m, m + plain_size, nullptr, m,
                                                            plain_size, c, modern_header_size,
                                                            nullptr, p.nonce, key.k) != 0)
        throw Debug(0x1A21);
}

QByteArray seal_modern(const Modern_params& p, const Modern_key& key, const QByteArray& plain) {
    QByteArray out(modern_min_size + plain.size(), Qt::Uninitialized);
    auto* c = reinterpret_cast<unsigned char*>(out.data());
    std::memcpy(c + modern_header_size, plain.constData(), size_t(plain.size()));
    seal_in_place(c, size_t(plain.size()), p, key);
    return out;
}

QByteArray encode_modern_container(const QByteArray& text, const Modern_params& p,
                                   const Modern_key& key) {
    const qint64 s = text.size();
    if (s > modern_max_text)
        throw_text_too_long(s, modern_max_text);
    // Sized once, as for the older form: header, length, properties, the stream with room for
    // a text that does not compress, the tag.
    const size_t limit = size_t(s) + 1000;
    QByteArray out(int(modern_min_size + p_stream + limit), Qt::Uninitialized);
    auto* c = reinterpret_cast<unsigned char*>(out.data());
    unsigned char* plain = c + modern_header_size;
    const size_t compressed =
        compress_container_stream(text, plain + p_props, plain + p_stream, limit);
    for (int i = 0; i < 4; ++i)
        plain[p_length + i] = uint8_t(s >> (8 * i));
    const size_t plain_size = p_stream + compressed;
    seal_in_place(c, plain_size, p, key);
    out.resize(int(modern_min_size + plain_size));
    return out;
}

bool open_modern_container_if(const QByteArray& file, const QString& file_name,
                              const Modern_key& key, QByteArray& text) {
    check_modern_header(file, file_name);
    init_sodium();
    const unsigned char* c = bytes_of(file);
    const size_t n = size_t(file.size());
    const size_t plain_size = n - modern_min_size;
    // The bytes as read stay untouched: a wrong password must not spoil the next attempt.
    QByteArray plain(int(plain_size), Qt::Uninitialized);
    auto* m = reinterpret_cast<unsigned char*>(plain.data());
    if (crypto_aead_xchacha20poly1305_ietf_decrypt_detached(
            m, nullptr, c + modern_header_size, plain_size, c + n - modern_tag_size, c,
            modern_header_size, c + off_nonce, key.k) != 0)
        return false;
    struct Wipe {
        QByteArray& a;
        ~Wipe() { sodium_memzero(a.data(), size_t(a.size())); }
    } wipe{plain};
    if (plain_size < size_t(p_stream))
        throw Err(errfmt_no_length.tr().arg(plain_size).arg(int(p_stream)));
    const qint64 length = qFromLittleEndian<quint32>(m + p_length);
    // Refused before the text's buffer is allocated.
    if (length > modern_max_text)
        throw Err(errfmt_length_limit.tr().arg(length).arg(modern_max_text));
    decompress_container_stream(m + p_props, m + p_stream, plain_size - p_stream, length, text);
    return true;
}
