// Feeds arbitrary bytes to the configuration file reader with a fixed password.
// The first byte picks the mode: odd, the rest is taken as a file as it is (almost always
// stopped by the MAC); even, the rest is a deciphered container that gets a valid MAC and
// keystream first, so that the decompressor sees the bytes. Unless bit 1 is set, the text
// length is cut below 64 KiB there: a length of megabytes only makes every run allocate
// megabytes, and the code paths are the same.
#include "config/container.h"
#include "foundation/err.h"

#include <QtEndian>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    log_file_name = "/dev/null";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static const QString password = QStringLiteral("fuzz");
    static const Tea_key key = password_to_key(password);
    QByteArray file(reinterpret_cast<const char*>(data + 1), int(size - 1));
    int length = -1; // the header's text length when known
    if ((data[0] & 1) == 0 && file.size() >= container_header_size) {
        auto* c = reinterpret_cast<unsigned char*>(file.data());
        if ((data[0] & 2) == 0)
            c[20] = 0;
        length = c[18] | c[19] << 8 | c[20] << 16;
        c[0] = 0x97;
        c[1] = 0xA1;
        const uint64_t mac = tea_cert(c + 18, size_t(file.size() - 18), key.k, 0);
        qToLittleEndian<quint64>(mac, c + 10);
        tea_mask(c + 10, size_t(file.size() - 10), key.k, qFromLittleEndian<quint64>(c + 2));
    }
    QByteArray text;
    try {
        if (is_container(file)) {
            if (decode_container_if(file, QStringLiteral("fuzz"), password, text) && length >= 0 &&
                text.size() != length)
                __builtin_trap(); // a text of another length than the header's got through
        } else {
            check_plain_config(file, QStringLiteral("fuzz"));
        }
    } catch (const Err&) {
    }
    return 0;
}
