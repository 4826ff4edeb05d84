// Feeds arbitrary bytes to the configuration file reader. The first byte picks the mode:
// - odd: the rest is taken as a file as it is. Form B is opened with a fixed password (almost
//   always stopped by the MAC); form C goes through the header checks and is then opened with
//   one key derived at start-up, whatever salt the header names, so that no run pays for a
//   key derivation (a file sealed with that key, such as the seed from the known-answer test,
//   opens all the way);
// - even, bit 2 clear: the rest is a deciphered form B container that gets a valid MAC and
//   keystream first, so that the decompressor sees the bytes;
// - even, bit 2 set: the rest is the plain content of form C (length, properties, stream),
//   sealed with the start-up key first.
// Unless bit 1 is set, the text length is cut below 64 KiB in the even modes: a length of
// megabytes only makes every run allocate megabytes, and the code paths are the same.
#include "config/container.h"
#include "config/container_modern.h"
#include "foundation/err.h"

#include <QtEndian>

static const QString password = QStringLiteral("пароль 1");

// The known-answer test's parameters: 1 pass, 8192 KiB, salt 00..0F, nonce 10..27.
static Modern_params fuzz_params() {
    Modern_params p;
    p.passes = 1;
    p.memory_kib = 8192;
    for (int i = 0; i < modern_salt_size; ++i)
        p.salt[i] = uchar(i);
    for (int i = 0; i < modern_nonce_size; ++i)
        p.nonce[i] = uchar(0x10 + i);
    return p;
}

static Modern_key modern_key;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    log_file_name = "/dev/null";
    derive_modern_key(password, fuzz_params(), modern_key);
    return 0;
}

// Returns the text length of the deciphered header.
static qint64 seal_legacy(QByteArray& file, bool long_text) {
    static const Tea_key key = password_to_key(password);
    auto* c = reinterpret_cast<unsigned char*>(file.data());
    if (!long_text)
        c[20] = 0;
    const qint64 length = c[18] | c[19] << 8 | c[20] << 16;
    c[0] = 0x97;
    c[1] = 0xA1;
    const uint64_t mac = tea_cert(c + 18, size_t(file.size() - 18), key.k, 0);
    qToLittleEndian<quint64>(mac, c + 10);
    tea_mask(c + 10, size_t(file.size() - 10), key.k, qFromLittleEndian<quint64>(c + 2));
    return length;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    QByteArray file(reinterpret_cast<const char*>(data + 1), int(size - 1));
    const bool long_text = mode & 2;
    qint64 length = -1; // the text length the content states, when known
    if ((mode & 1) == 0 && (mode & 4) == 0 && file.size() >= container_header_size) {
        length = seal_legacy(file, long_text);
    } else if ((mode & 1) == 0 && (mode & 4) != 0) {
        if (file.size() >= 4) {
            if (!long_text)
                file[2] = file[3] = 0;
            length = qFromLittleEndian<quint32>(file.constData());
        }
        file = seal_modern(fuzz_params(), modern_key, file);
    }
    QByteArray text;
    try {
        bool opened = false;
        if (is_modern_container(file)) {
            check_container_header(file, QStringLiteral("fuzz"));
            opened = open_modern_container_if(file, QStringLiteral("fuzz"), modern_key, text);
        } else if (is_container(file)) {
            opened = decode_container_if(file, QStringLiteral("fuzz"), password, text);
        } else {
            check_plain_config(file, QStringLiteral("fuzz"));
        }
        if (opened && length >= 0 && text.size() != length)
            __builtin_trap(); // a text of another length than the content's got through
    } catch (const Err&) {
    }
    return 0;
}
