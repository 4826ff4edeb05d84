// The generic layers of the parser: keyword assignment, bounded decimal numbers and the
// fixed printable-ASCII field. They work on the read position and report through the
// virtual Error, so messages carry the position of whichever parser is underneath.

#include "parser/utf8_text_parser.h"

#include <cstring>

Tr errtext_parser_expected_string("parser", "здесь должна быть строка в двойных кавычках (\").");
Tr errfmt_parser_expected_char("parser", "ожидается символ «%1».");
Tr errfmt_parser_already_defined("parser", "параметр «%1» уже определён выше по тексту.");
Tr errtext_parser_expected_number("parser", "ожидается десятичное число.");
Tr errfmt_parser_number_too_big("parser", "число слишком большое (должно быть не более %1)");
Tr errfmt_parser_number_too_small("parser", "число слишком маленькое (должно быть не менее %1).");

// Shared with the UTF-8 literal reader (utf8_text_parser.cpp).
Tr errtext_parser_unclosed_at_end(
    "parser", "ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен конец "
              "разбираемого текста.");
Tr errtext_parser_escape_at_end(
    "parser", "в строке обнаружена неправильная escape-последовательность: сразу после "
              "escape-символа «\\» обнаружен конец разбираемого текста.");
Tr errfmt_parser_escape_unknown("parser",
                                "в строке обнаружена неправильная escape-последовательность: после "
                                "escape-символа «\\» идёт байт с кодом %1.");

static Tr errfmt_not_printable_ascii(
    "parser", "в строке обнаружен недопустимый символ с кодом %1. Эта строка может содержать "
              "только символы printable ASCII (латинские буквы, цифры, пробелы, а также "
              "следующие символы: !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~).");
static Tr errfmt_too_long("parser", "слишком длинная строка - должна быть не длиннее %1 символов.");

void parser_primitives_clear_translation() {
    errtext_parser_expected_string.clear();
    errfmt_parser_expected_char.clear();
    errfmt_parser_already_defined.clear();
    errtext_parser_expected_number.clear();
    errfmt_parser_number_too_big.clear();
    errfmt_parser_number_too_small.clear();
    errtext_parser_unclosed_at_end.clear();
    errtext_parser_escape_at_end.clear();
    errfmt_parser_escape_unknown.clear();
    errfmt_not_printable_ascii.clear();
    errfmt_too_long.clear();
}

template <typename Char> Parser<Char>::~Parser() = default;

// assignment = keyword [blank] "=" [blank]
template <typename Char> bool Parser<Char>::is_assignment(const Char* keyword, bool& seen) {
    const Char* p = this->s;
    for (const Char* k = keyword; *k; ++k, ++p)
        if (*p != *k)
            return false;
    this->s = p;
    // Reported before "=" is looked for: the repetition is the real fault.
    if (seen)
        throw Error(errfmt_parser_already_defined.tr().arg(QString::fromUtf8(keyword)));
    skip_blank();
    if (*this->s != '=')
        throw Error(errfmt_parser_expected_char.tr().arg(QLatin1Char('=')));
    ++this->s;
    skip_blank();
    seen = true;
    return true;
}

// number = digit { digit }, min <= value <= max
template <typename Char>
template <int Bits>
typename Dec_width<Bits>::type Parser<Char>::req_dec(typename Dec_width<Bits>::type min,
                                                     typename Dec_width<Bits>::type max) {
    using U = typename Dec_width<Bits>::type;
    const Char* start = this->s;
    U value = 0;
    switch (dec_from_str(this->s, max, value)) {
    case Dec_result::ok:
        break;
    case Dec_result::no_digit:
        throw Error(errtext_parser_expected_number.tr());
    case Dec_result::too_big:
        throw Error(errfmt_parser_number_too_big.tr().arg(max));
    }
    if (value < min) {
        this->s = start;
        throw Error(errfmt_parser_number_too_small.tr().arg(min));
    }
    return value;
}

// field = '"' { printable-ascii | '\' ( '"' | "'" | '/' | '?' | '\' ) } '"' { [blank] literal }
template <typename Char>
void Text_parser<Char>::req_printable_ascii_string(Char* field, size_t size) {
    if (*this->s != '"')
        throw this->Error(errtext_parser_expected_string.tr());
    ++this->s;
    size_t n = 0;
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(*this->s);
        Char value;
        int length = 1;
        if (c == '"') {
            // Like the UTF-8 literal, the position stays right after the last closing quote.
            ++this->s;
            const Text_position<Char> after = this->position();
            this->skip_blank();
            if (*this->s != '"') {
                this->set_position(after);
                break;
            }
            ++this->s;
            continue;
        } else if (c == 0) {
            throw this->Error(errtext_parser_unclosed_at_end.tr());
        } else if (c == '\\') {
            const unsigned char e = static_cast<unsigned char>(this->s[1]);
            if (e != '"' && e != '\'' && e != '/' && e != '?' && e != '\\') {
                ++this->s;
                if (e == 0)
                    throw this->Error(errtext_parser_escape_at_end.tr());
                throw this->Error(errfmt_parser_escape_unknown.tr().arg(unsigned(e)));
            }
            value = Char(e);
            length = 2;
        } else if (c < 0x20 || c >= 0x7F) {
            throw this->Error(errfmt_not_printable_ascii.tr().arg(unsigned(c)));
        } else {
            value = Char(c);
        }
        if (n == size)
            throw this->Error(errfmt_too_long.tr().arg(qulonglong(size)));
        field[n++] = value;
        this->s += length;
    }
    std::memset(field + n, 0, (size - n) * sizeof(Char));
}

template class Source_str_zero_terminated<char>;
template class Parser<char>;
template class Text_parser<char>;
template quint32 Parser<char>::req_dec<32>(quint32, quint32);
template quint64 Parser<char>::req_dec<64>(quint64, quint64);
