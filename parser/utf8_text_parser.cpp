// Blanks, comments and string literals of UTF-8 text, and the position prefix of every
// parser message. The text is walked in place; a literal is read in two passes (validate
// and count, then fill) so its QString is allocated once at its exact size.

#include "parser/utf8_text_parser.h"

#include <climits>
#include <type_traits>

extern Tr errtext_parser_unclosed_at_end;
extern Tr errtext_parser_escape_at_end;
extern Tr errfmt_parser_escape_unknown;

static Tr errtext_utf16("parser",
                        "неправильная кодировка. Текст должен быть в кодировке UTF-8 (или ASCII).");
static Tr errfmt_position("parser", "Ошибка в %1-м символе %2-й строки: %3");
static Tr errfmt_position_file("parser", "Ошибка в %1-м символе %2-й строки файла «%3»: %4");

// Between tokens.
static Tr errfmt_unexpected_byte(
    "parser", "неожиданный байт 0x%1 (ожидаются пробельные символы или первый символ лексемы).");
static Tr errfmt_blank_end_after_1(
    "parser", "нарушение формата UTF-8: байт 0x%1, и за ним сразу конец разбираемого текста.");
static Tr errfmt_blank_end_after_2("parser",
                                   "нарушение формата UTF-8: последовательность байтов 0x%1 "
                                   "0x%2, и за ней сразу конец разбираемого текста.");
static Tr errfmt_blank_char_2("parser", "неожиданный символ UTF-8: 0x%1 0x%2 (ожидаются "
                                        "пробельные символы или первый символ лексемы).");
static Tr errfmt_blank_char_3("parser", "неожиданный символ UTF-8: 0x%1 0x%2 0x%3 (ожидаются "
                                        "пробельные символы или первый символ лексемы).");

// Line breaks inside a literal.
static Tr errfmt_literal_line_break("parser", "ожидается двойная кавычка, закрывающая строку, "
                                              "вместо неё обнаружен перевод строки (0x%1).");
static Tr errtext_literal_nel("parser", "ожидается двойная кавычка, закрывающая строку, вместо "
                                        "неё обнаружен перевод строки (U+85).");
static Tr errfmt_literal_separator(
    "parser", "ожидается двойная кавычка, закрывающая строку, обнаружен перевод строки (U+%1).");

// Escapes.
static Tr errfmt_u4_byte("parser",
                         "в строке обнаружена неправильная escape-последовательность \\uHHHH: "
                         "вместо %1-й шестнадцатиричной цифры кода символа обнаружен байт 0x%2.");
static Tr errfmt_u4_end("parser", "в строке обнаружена неправильная escape-последовательность "
                                  "\\uHHHH: вместо %1-й шестнадцатиричной цифры кода символа "
                                  "обнаружен конец разбираемого текста.");
static Tr errfmt_u8_byte("parser", "в строке обнаружена неправильная escape-последовательность "
                                   "\\UHHHHHHHH: вместо %1-й шестнадцатиричной цифры кода символа "
                                   "обнаружен байт 0x%2.");
static Tr errfmt_u8_end("parser", "в строке обнаружена неправильная escape-последовательность "
                                  "\\UHHHHHHHH: вместо %1-й шестнадцатиричной цифры кода символа "
                                  "обнаружен конец разбираемого текста.");
static Tr errfmt_x_byte("parser", "в строке обнаружена неправильная escape-последовательность "
                                  "\\xHH...H: вместо первой шестнадцатиричной цифры кода символа "
                                  "обнаружен байт 0x%1.");
static Tr errtext_x_end("parser", "в строке обнаружена неправильная escape-последовательность "
                                  "\\xHH...H: вместо первой шестнадцатиричной цифры кода символа "
                                  "обнаружен конец разбираемого текста.");
static Tr errtext_x_too_big("parser",
                            "в строке обнаружена неправильная escape-последовательность "
                            "\\xHH...H: код символа слишком большой (не влезает в 32 бита).");

// UTF-8 structure inside a literal; %1 of each is the sentence below.
static Tr errtext_not_utf8("parser", "разбираемый текст не является текстом в кодировке UTF-8. ");
static Tr errfmt_lone_continuation(
    "parser", "%1Внутри строкового литерала обнаружен байт 0x%2 (который, согласно UTF-8, "
              "должен быть последующим байтом многобайтного символа), хотя перед ним не было "
              "первого байта многобайтного символа.");
static Tr errfmt_forbidden_byte("parser", "%1Внутри строкового литерала обнаружен байт 0x%2 "
                                          "(запрещённый текущей версией формата UTF-8).");
static Tr errfmt_end_after_1(
    "parser", "%1Внутри строкового литерала, после байта 0x%2 (первый байт многобайтного "
              "символа, согласно UTF-8) обнаружен конец разбираемого текста (вместо второго "
              "байта многобайтного символа).");
static Tr
    errfmt_bad_after_1("parser",
                       "%1Внутри строкового литерала, после байта 0x%2 (первый байт многобайтного "
                       "символа, согласно UTF-8) обнаружен байт 0x%3 (не являющийся вторым байтом "
                       "многобайтного символа).");
static Tr errfmt_end_after_2(
    "parser", "%1Внутри строкового литерала, после байтов 0x%2 и 0x%3 (первый и второй байты "
              "не менее чем трёхбайтного символа, согласно UTF-8) обнаружен конец разбираемого "
              "текста (вместо третьего байта символа).");
static Tr errfmt_bad_after_2(
    "parser", "%1Внутри строкового литерала, после байтов 0x%2 и 0x%3 (первый и второй байты "
              "не менее чем трёхбайтного символа, согласно UTF-8) обнаружен байт 0x%4 (не "
              "являющийся третьим байтом символа).");
static Tr errfmt_end_after_3(
    "parser", "%1Внутри строкового литерала, после байтов 0x%2, 0x%3 и 0x%4 (первый, второй и "
              "третий байты четырёхбайтного символа, согласно UTF-8) обнаружен конец "
              "разбираемого текста (вместо четвёртого байта символа).");
static Tr errfmt_bad_after_3(
    "parser", "%1Внутри строкового литерала, после байтов 0x%2, 0x%3 и 0x%4 (первый, второй и "
              "третий байты четырёхбайтного символа, согласно UTF-8) обнаружен байт 0x%5 (не "
              "являющийся четвёртым байтом символа).");
static Tr errfmt_overlong_2(
    "parser", "%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: "
              "0x%2 0x%3 (стандарт UTF-8 не допускает кодирование символа избыточным "
              "количеством байтов).");
static Tr errfmt_overlong_3(
    "parser", "%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: "
              "0x%2 0x%3 0x%4 (стандарт UTF-8 не допускает кодирование символа избыточным "
              "количеством байтов).");
static Tr errfmt_overlong_4(
    "parser", "%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: "
              "0x%2 0x%3 0x%4 0x%5 (стандарт UTF-8 не допускает кодирование символа избыточным "
              "количеством байтов).");

// Code points and the result string.
static Tr errfmt_surrogate(
    "parser", "внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ "
              "невозможно перевести в кодировку UTF-16 - в ней он используется для кодирования "
              "суррогатных пар).");
static Tr errfmt_beyond_unicode(
    "parser", "внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ "
              "невозможно перевести в кодировку UTF-16 - его код слишком большой).");
static Tr errtext_literal_too_long("parser", "Слишком длинный строковый литерал.");
static Tr errfmt_control("parser", "в строке обнаружен недопустимый символ с кодом 0x%1 (эта "
                                   "строка не должна содержать управляющие символы).");
static Tr errfmt_allocation_mismatch(
    "parser", "Ошибка в программе: неправильно выделено место под строку-результат. Выделили "
              "%1 16-битных ячеек, осталось %2 лишних ячеек.");
static Tr errfmt_result_overflow("parser",
                                 "переполнение строки-результата при добавлении символа U+%1. "
                                 "Под строку было зарезервировано %2 16-битных ячеек.");
static Tr errfmt_result_overflow_pair(
    "parser", "переполнение строки-результата при добавлении символа U+%1 (в виде суррогатной "
              "пары). Под строку было зарезервировано %2 16-битных ячеек. Не хватает %3 ячеек.");

void utf8_text_parser_clear_translation() {
    for (Tr* t : {&errtext_utf16,
                  &errfmt_position,
                  &errfmt_position_file,
                  &errfmt_unexpected_byte,
                  &errfmt_blank_end_after_1,
                  &errfmt_blank_end_after_2,
                  &errfmt_blank_char_2,
                  &errfmt_blank_char_3,
                  &errfmt_literal_line_break,
                  &errtext_literal_nel,
                  &errfmt_literal_separator,
                  &errfmt_u4_byte,
                  &errfmt_u4_end,
                  &errfmt_u8_byte,
                  &errfmt_u8_end,
                  &errfmt_x_byte,
                  &errtext_x_end,
                  &errtext_x_too_big,
                  &errtext_not_utf8,
                  &errfmt_lone_continuation,
                  &errfmt_forbidden_byte,
                  &errfmt_end_after_1,
                  &errfmt_bad_after_1,
                  &errfmt_end_after_2,
                  &errfmt_bad_after_2,
                  &errfmt_end_after_3,
                  &errfmt_bad_after_3,
                  &errfmt_overlong_2,
                  &errfmt_overlong_3,
                  &errfmt_overlong_4,
                  &errfmt_surrogate,
                  &errfmt_beyond_unicode,
                  &errtext_literal_too_long,
                  &errfmt_control,
                  &errfmt_allocation_mismatch,
                  &errfmt_result_overflow,
                  &errfmt_result_overflow_pair})
        t->clear();
}

// A byte as two lower-case hex digits.
static QString hex_byte(unsigned b) {
    return QString::number(b, 16).rightJustified(2, u'0');
}

// A code point as U+ notation wants it: upper case, at least `width` digits.
static QString hex_code(unsigned long c, int width) {
    return QString::number(qulonglong(c), 16).toUpper().rightJustified(width, u'0');
}

static int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Destinations

// The refusals are kept out of line so that the per-character checks stay small enough to
// be inlined into the literal loops.
[[noreturn]] static void refuse_code_point(const Utf8_text_parser* parser, unsigned long c) {
    if (c >= 0xD800 && c <= 0xDFFF)
        throw parser->Error(errfmt_surrogate.tr().arg(hex_code(c, 4)));
    if (c > 0x10FFFF)
        throw parser->Error(errfmt_beyond_unicode.tr().arg(hex_code(c, 1)));
    throw parser->Error(errtext_literal_too_long.tr());
}

[[noreturn]] static void refuse_overflow(const Utf8_text_parser::Dst_utf16& dst, unsigned long c) {
    if (c > 0xFFFF)
        throw dst.parser->Error(errfmt_result_overflow_pair.tr()
                                    .arg(hex_code(c, 4))
                                    .arg(dst.units)
                                    .arg(qlonglong(2 - (dst.end - dst.p))));
    throw dst.parser->Error(errfmt_result_overflow.tr().arg(hex_code(c, 4)).arg(dst.units));
}

[[noreturn]] static void refuse_control(const Utf8_text_parser* parser, unsigned long c) {
    throw parser->Error(
        errfmt_control.tr().arg(QString::number(qulonglong(c), 16).rightJustified(2, u'0')));
}

// The rules themselves, as inline functions: the literal loops below call them directly for
// the destinations of this file, the virtual members call them for everybody else.
static inline void count_utf16(Utf8_text_parser::Dst_utf16& dst, unsigned long c) {
    const int need = c > 0xFFFF ? 2 : 1;
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || dst.units > INT_MAX - need)
        refuse_code_point(dst.parser, c);
    dst.units += need;
}

static inline void count_printable_utf16(Utf8_text_parser::Dst_utf16& dst, unsigned long c) {
    if (c <= 0x1F || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029)
        refuse_control(dst.parser, c);
    count_utf16(dst, c);
}

static inline void put_utf16(Utf8_text_parser::Dst_utf16& dst, unsigned long c) {
    if (c <= 0xFFFF) {
        if (dst.p == dst.end)
            refuse_overflow(dst, c);
        *dst.p++ = QChar(ushort(c));
        return;
    }
    if (dst.end - dst.p < 2)
        refuse_overflow(dst, c);
    c -= 0x10000;
    *dst.p++ = QChar(ushort(0xD800 + (c >> 10)));
    *dst.p++ = QChar(ushort(0xDC00 + (c & 0x3FF)));
}

void Utf8_text_parser::Dst_utf16::consider(unsigned long c) {
    count_utf16(*this, c);
}

void Utf8_text_parser::Dst_utf16::allocate() {
    result = QString(units, Qt::Uninitialized);
    p = result.data();
    end = p + units;
}

void Utf8_text_parser::Dst_utf16::put(unsigned long c) {
    put_utf16(*this, c);
}

void Utf8_text_parser::Dst_printable_utf16::consider(unsigned long c) {
    count_printable_utf16(*this, c);
}

// ---------------------------------------------------------------------------------------------
// Position, blanks, comments

Utf8_text_parser::~Utf8_text_parser() = default;

void Utf8_text_parser::init(const char* text) {
    s = text;
    line_start = text;
    line = 1;
    text_end = nullptr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        s += 3;
        line_start = s;
    } else if (p[0] == 0xFE || p[0] == 0xFF) {
        // Both byte orders of UTF-16 begin with one of these, and neither can start UTF-8.
        throw Error(errtext_utf16.tr());
    }
}

void Utf8_text_parser::init(const QByteArray& text) {
    init(text.constData());
    text_end = text.constData() + text.size();
}

Err Utf8_text_parser::Error(const QString& message) const {
    return Err(errfmt_position.tr().arg(QString::number(column()), QString::number(line), message));
}

// blank = { space | tab | unicode-space | line-break | comment }
void Utf8_text_parser::skip_blank() {
    for (;;) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
        switch (p[0]) {
        case 0x00:
            // A zero byte inside a text of known size would silently cut the rest off.
            if (text_end && s != text_end)
                throw Error(errfmt_unexpected_byte.tr().arg(hex_byte(0)));
            return;
        case 0x09:
        case 0x20:
            ++s;
            continue;
        case 0x0A:
        case 0x0B:
        case 0x0C:
            ++s;
            new_line();
            continue;
        case 0x0D:
            ++s;
            if (*s == 0x0A)
                ++s;
            new_line();
            continue;
        case '#':
            ++s;
            skip_line();
            continue;
        case '/':
            if (p[1] != '/')
                return;
            s += 2;
            skip_line();
            continue;
        case 0xC2:
            if (p[1] == 0xA0) {
                s += 2;
                continue;
            }
            if (p[1] == 0x85) {
                s += 2;
                new_line();
                continue;
            }
            blank_utf8_error(p);
        case 0xE2:
            if (p[1] == 0x80) {
                if ((p[2] >= 0x80 && p[2] <= 0x8A) || p[2] == 0xAF) {
                    s += 3;
                    continue;
                }
                if (p[2] == 0xA8 || p[2] == 0xA9) {
                    s += 3;
                    new_line();
                    continue;
                }
            } else if (p[1] == 0x81 && (p[2] == 0x9F || p[2] == 0xA0)) {
                s += 3;
                continue;
            }
            blank_utf8_error(p);
        case 0xE3:
            if (p[1] == 0x80 && p[2] == 0x80) {
                s += 3;
                continue;
            }
            blank_utf8_error(p);
        case 0xEF:
            if (p[1] == 0xBB && p[2] == 0xBF) {
                s += 3;
                continue;
            }
            blank_utf8_error(p);
        default:
            if (p[0] >= 0x21 && p[0] <= 0x7E)
                return;
            throw Error(errfmt_unexpected_byte.tr().arg(hex_byte(p[0])));
        }
    }
}

// A lead byte of some Unicode blank that the following bytes do not complete; the read
// position is at the lead byte.
void Utf8_text_parser::blank_utf8_error(const unsigned char* p) {
    if (p[1] == 0)
        throw Error(errfmt_blank_end_after_1.tr().arg(hex_byte(p[0])));
    const bool three_byte_prefix = (p[0] == 0xE2 && (p[1] == 0x80 || p[1] == 0x81)) ||
                                   (p[0] == 0xE3 && p[1] == 0x80) || (p[0] == 0xEF && p[1] == 0xBB);
    if (!three_byte_prefix)
        throw Error(errfmt_blank_char_2.tr().arg(hex_byte(p[0]), hex_byte(p[1])));
    if (p[2] == 0)
        throw Error(errfmt_blank_end_after_2.tr().arg(hex_byte(p[0]), hex_byte(p[1])));
    throw Error(errfmt_blank_char_3.tr().arg(hex_byte(p[0]), hex_byte(p[1]), hex_byte(p[2])));
}

void Utf8_text_parser::skip_line() {
    for (;;) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
        switch (p[0]) {
        case 0x00:
            return;
        case 0x0A:
        case 0x0B:
        case 0x0C:
            ++s;
            new_line();
            return;
        case 0x0D:
            ++s;
            if (*s == 0x0A)
                ++s;
            new_line();
            return;
        case 0xC2:
            if (p[1] == 0x85) {
                s += 2;
                new_line();
                return;
            }
            break;
        case 0xE2:
            if (p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) {
                s += 3;
                new_line();
                return;
            }
            break;
        default:
            break;
        }
        ++s;
    }
}

// ---------------------------------------------------------------------------------------------
// String literals

// The literal loops are instantiated for the destinations of this file, whose rules are then
// inlined; any other destination goes through its virtual members.
template <typename D> static inline void consider(D& dst, unsigned long c) {
    if constexpr (std::is_same_v<D, Utf8_text_parser::Dst_printable_utf16>)
        count_printable_utf16(dst, c);
    else if constexpr (std::is_same_v<D, Utf8_text_parser::Dst_utf16>)
        count_utf16(dst, c);
    else
        dst.consider(c);
}

template <typename D> static inline void put(D& dst, unsigned long c) {
    if constexpr (std::is_same_v<D, Utf8_text_parser::Dst_utf16> ||
                  std::is_same_v<D, Utf8_text_parser::Dst_printable_utf16>)
        put_utf16(dst, c);
    else
        dst.put(c);
}

static inline bool is_plain_ascii(unsigned char b) {
    return b >= 0x20 && b < 0x7F && b != '"' && b != '\\';
}

void Utf8_text_parser::read_string(Dst& dst) {
    read_literal(dst);
}

// literal = '"' { item } '"' { [blank] '"' { item } '"' }
template <typename D> void Utf8_text_parser::read_literal(D& dst) {
    ++s;
    const Text_position<char> first = position();
    Text_position<char> last;

    // Validate and count.
    for (;;) {
        const unsigned char b = static_cast<unsigned char>(*s);
        if (is_plain_ascii(b)) {
            consider(dst, b);
            ++s;
            continue;
        }
        if (b == '"') {
            ++s;
            last = position();
            skip_blank();
            if (*s != '"')
                break;
            ++s;
            continue;
        }
        const char* next;
        bool multibyte;
        const unsigned long c = read_item(next, multibyte);
        consider(dst, c);
        if (multibyte)
            line_start += next - s - 1;
        s = next;
    }

    // Fill. Everything has been validated; the blanks between pieces are walked again only
    // to keep the line count right.
    dst.allocate();
    set_position(first);
    for (;;) {
        const unsigned char b = static_cast<unsigned char>(*s);
        if (is_plain_ascii(b)) {
            put(dst, b);
            ++s;
            continue;
        }
        if (b == '"') {
            ++s;
            if (s == last.s)
                break;
            skip_blank();
            ++s;
            continue;
        }
        const char* next;
        bool multibyte;
        const unsigned long c = read_item(next, multibyte);
        put(dst, c);
        if (multibyte)
            line_start += next - s - 1;
        s = next;
    }
    set_position(last);
}

// item = plain-char | utf8-char | escape. Reads the item at the read position without moving
// it (except onto an offending byte, for the error); next is where the item ends.
unsigned long Utf8_text_parser::read_item(const char*& next, bool& multibyte) {
    const unsigned char b = static_cast<unsigned char>(*s);
    multibyte = false;
    if (b >= 0x80) {
        multibyte = true;
        return read_utf8(next);
    }
    if (b == '\\')
        return read_escape(next);
    if (b == 0)
        throw Error(errtext_parser_unclosed_at_end.tr());
    if (b >= 0x0A && b <= 0x0D)
        throw Error(errfmt_literal_line_break.tr().arg(hex_byte(b)));
    next = s + 1;
    return b;
}

// utf8-char = lead { continuation }, shortest form only
unsigned long Utf8_text_parser::read_utf8(const char*& next) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
    const QString& prefix = errtext_not_utf8.tr();
    const unsigned lead = p[0];
    if (lead < 0xC0)
        throw Error(errfmt_lone_continuation.tr().arg(prefix, hex_byte(lead)));
    if (lead >= 0xF8)
        throw Error(errfmt_forbidden_byte.tr().arg(prefix, hex_byte(lead)));

    const int length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    unsigned long c = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (int i = 1; i < length; ++i) {
        const unsigned b = p[i];
        if (b >= 0x80 && b <= 0xBF) {
            c = (c << 6) | (b & 0x3F);
            continue;
        }
        s += i;
        const QString h0 = hex_byte(p[0]);
        if (i == 1) {
            if (b == 0)
                throw Error(errfmt_end_after_1.tr().arg(prefix, h0));
            throw Error(errfmt_bad_after_1.tr().arg(prefix, h0, hex_byte(b)));
        }
        const QString h1 = hex_byte(p[1]);
        if (i == 2) {
            if (b == 0)
                throw Error(errfmt_end_after_2.tr().arg(prefix, h0, h1));
            throw Error(errfmt_bad_after_2.tr().arg(prefix, h0, h1, hex_byte(b)));
        }
        const QString h2 = hex_byte(p[2]);
        if (b == 0)
            throw Error(errfmt_end_after_3.tr().arg(prefix, h0, h1, h2));
        throw Error(errfmt_bad_after_3.tr().arg(prefix, h0, h1, h2, hex_byte(b)));
    }

    if (length == 2 && c < 0x80)
        throw Error(errfmt_overlong_2.tr().arg(prefix, hex_byte(p[0]), hex_byte(p[1])));
    if (length == 3 && c < 0x800)
        throw Error(
            errfmt_overlong_3.tr().arg(prefix, hex_byte(p[0]), hex_byte(p[1]), hex_byte(p[2])));
    if (length == 4 && c < 0x10000)
        throw Error(errfmt_overlong_4.tr().arg(prefix, hex_byte(p[0]), hex_byte(p[1]),
                                               hex_byte(p[2]), hex_byte(p[3])));
    if (c == 0x85)
        throw Error(errtext_literal_nel.tr());
    if (c == 0x2028 || c == 0x2029)
        throw Error(errfmt_literal_separator.tr().arg(hex_code(c, 4)));
    next = s + length;
    return c;
}

// escape = '\' ( simple | 'u' hex{4} | 'U' hex{8} | 'x' hex{1,} | octal{1,3} )
unsigned long Utf8_text_parser::read_escape(const char*& next) {
    const char* p = s + 1;
    const unsigned char e = static_cast<unsigned char>(*p);
    next = p + 1;
    switch (e) {
    case '"':
    case '\'':
    case '/':
    case '?':
    case '\\':
        return e;
    case 'a':
        return 0x07;
    case 'b':
        return 0x08;
    case 'e':
        return 0x1B;
    case 'f':
        return 0x0C;
    case 'n':
        return 0x0A;
    case 'r':
        return 0x0D;
    case 't':
        return 0x09;
    case 'v':
        return 0x0B;
    case 'u':
        return read_hex_digits(p + 1, 4, false, next);
    case 'U':
        return read_hex_digits(p + 1, 8, true, next);
    case 'x': {
        const char* q = p + 1;
        int d = hex_value(static_cast<unsigned char>(*q));
        if (d < 0) {
            s = q;
            if (*q == 0)
                throw Error(errtext_x_end.tr());
            throw Error(errfmt_x_byte.tr().arg(hex_byte(static_cast<unsigned char>(*q))));
        }
        unsigned long c = 0;
        do {
            if (c > 0x0FFFFFFF) {
                s = q;
                throw Error(errtext_x_too_big.tr());
            }
            c = (c << 4) | unsigned(d);
            ++q;
            d = hex_value(static_cast<unsigned char>(*q));
        } while (d >= 0);
        next = q;
        return c;
    }
    case 0:
        s = p;
        throw Error(errtext_parser_escape_at_end.tr());
    default:
        if (e >= '0' && e <= '7') {
            unsigned long c = 0;
            const char* q = p;
            for (int i = 0; i < 3 && *q >= '0' && *q <= '7'; ++i, ++q)
                c = (c << 3) | unsigned(*q - '0');
            next = q;
            return c;
        }
        s = p;
        throw Error(errfmt_parser_escape_unknown.tr().arg(unsigned(e)));
    }
}

// Exactly `count` hex digits at p (4 for \u, 8 for \U).
unsigned long Utf8_text_parser::read_hex_digits(const char* p, int count, bool wide,
                                                const char*& next) {
    unsigned long c = 0;
    for (int i = 0; i < count; ++i) {
        const unsigned char b = static_cast<unsigned char>(p[i]);
        const int d = hex_value(b);
        if (d < 0) {
            s = p + i;
            if (b == 0)
                throw Error((wide ? errfmt_u8_end : errfmt_u4_end).tr().arg(i + 1));
            throw Error((wide ? errfmt_u8_byte : errfmt_u4_byte).tr().arg(i + 1).arg(hex_byte(b)));
        }
        c = (c << 4) | unsigned(d);
    }
    next = p + count;
    return c;
}

template <typename D> bool Utf8_text_parser::get_string(QString& out) {
    if (*s != '"')
        return false;
    D dst(this);
    read_literal(dst);
    if (dst.p != dst.end)
        throw Error(errfmt_allocation_mismatch.tr().arg(dst.units).arg(qlonglong(dst.end - dst.p)));
    out.swap(dst.result);
    return true;
}

bool Utf8_text_parser::get_utf8_string(QString& out) {
    return get_string<Dst_utf16>(out);
}

bool Utf8_text_parser::get_printable_utf8_string(QString& out) {
    return get_string<Dst_printable_utf16>(out);
}

QString Utf8_text_parser::req_utf8_string() {
    QString out;
    if (!get_utf8_string(out))
        throw Error(errtext_parser_expected_string.tr());
    return out;
}

QString Utf8_text_parser::req_printable_utf8_string() {
    QString out;
    if (!get_printable_utf8_string(out))
        throw Error(errtext_parser_expected_string.tr());
    return out;
}

// ---------------------------------------------------------------------------------------------
// File parser

Utf8_file_parser::Utf8_file_parser(const QString& file_name) : file_name(file_name) {
    load_text_file(file_name, contents);
    init(contents);
}

Utf8_file_parser::Utf8_file_parser(const QString& file_name, const QByteArray& contents)
    : contents(contents), file_name(file_name) {
    init(this->contents);
}

Utf8_file_parser::~Utf8_file_parser() = default;

Err Utf8_file_parser::Error(const QString& message) const {
    return Err(errfmt_position_file.tr().arg(QString::number(column()), QString::number(line),
                                             file_name, message));
}
