// Arbitrary bytes through the text reader: first a token walk that calls every reader of the
// parser and checks what it returns, then the whole configuration grammar.

#include "config/config.h"
#include "parser/utf8_text_parser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Reports the line of a failed expectation before stopping, so a finding is easy to read.
static void fail(int line) {
    std::fprintf(stderr, "fuzz_parser: expectation at line %d failed\n", line);
    std::abort();
}
#define check(condition)                                                                           \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fail(__LINE__);                                                                        \
    } while (0)

// Every code point as \U escape: whatever a literal produced must read back the same.
static void check_round_trip(const QString& value) {
    QByteArray text("\"");
    const QVector<uint> ucs4 = value.toUcs4();
    for (uint c : ucs4)
        text += "\\U" + QByteArray::number(c, 16).rightJustified(8, '0');
    text += '"';
    Utf8_text_parser p;
    p.init(text);
    check(p.req_utf8_string() == value);
    check(*p.s == 0);
}

static void walk_tokens(const QByteArray& text) {
    Utf8_text_parser p;
    bool seen = false;
    try {
        p.init(text);
        const char* const begin = text.constData();
        const char* const end = begin + text.size();
        for (;;) {
            p.skip_blank();
            check(p.s >= begin && p.s <= end && p.line_start <= p.s);
            if (*p.s == 0)
                break;
            const char* before = p.s;
            const int line_before = p.line;
            const unsigned choice = unsigned(before - begin) % 4;
            if (*p.s == '"') {
                QString value;
                if (choice == 0) {
                    check(p.get_utf8_string(value));
                    // A single piece without escapes is plain UTF-8 between the quotes.
                    const QByteArray raw = QByteArray(before + 1, int(p.s - before - 2));
                    // (The leading letter keeps the decoder from dropping a byte-order mark.)
                    if (!raw.contains('\\') && !raw.contains('"'))
                        check(QLatin1Char('a') + value == QString::fromUtf8("a" + raw));
                    check_round_trip(value);
                } else if (choice == 1) {
                    check(p.get_printable_utf8_string(value));
                    for (QChar c : value)
                        check(c.unicode() >= 0x20 && (c.unicode() < 0x7F || c.unicode() > 0x9F));
                    check_round_trip(value);
                } else {
                    char field[10];
                    std::memset(field, 0x5A, sizeof field);
                    const size_t size = choice == 2 ? 8 : 0;
                    p.req_printable_ascii_string(field + 1, size);
                    check(field[0] == 0x5A && field[size + 1] == 0x5A);
                    for (size_t i = 1; i <= size; ++i)
                        check(field[i] == 0 || (field[i] >= 0x20 && field[i] < 0x7F));
                }
                check(p.s[-1] == '"');
            } else if (*p.s >= '0' && *p.s <= '9') {
                if (choice & 1)
                    check(p.req_dec<32>(1, 65535) >= 1);
                else
                    check(p.req_dec<64>(0, 999999999999999) <= 999999999999999);
            } else if (p.is_assignment("port", seen)) {
                check(seen);
            } else {
                ++p.s;
            }
            check(p.s > before && p.s <= end && p.line >= line_before);
        }
    } catch (const Err& e) {
        check(e.message.startsWith(QStringLiteral("Ошибка в ")));
        check(p.s >= text.constData() && p.s <= text.constData() + text.size());
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    log_file_name = "/dev/null";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536)
        return 0;
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    walk_tokens(text);

    static Configuration cfg;
    try {
        Utf8_text_parser p;
        p.init(text);
        parse_cfg(p, cfg);
    } catch (const Err& e) {
        check(e.message.startsWith(QStringLiteral("Ошибка в ")) ||
              e.message.startsWith(QStringLiteral("Недостаточно памяти")));
    }
    return 0;
}
