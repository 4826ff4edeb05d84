#pragma once
// Strict reader of NUL-terminated UTF-8 text: positions (line and column), blanks and
// comments, double-quoted string literals with escapes, and the small readers the
// configuration grammar is built from (keyword assignment, decimal number, fixed
// printable-ASCII field). Every error is an Err whose message starts with the position.
//
// Positions: the column is (read position - line start) + 1. Inside a string literal every
// multi-byte character counts as one column (the line start is moved forward for it);
// outside literals a multi-byte blank counts by its bytes. An error about a byte points at
// that byte; an error about a whole character or escape (a refused code point, an overlong
// form, a line break inside a literal) points at the first byte of that character.

#include "foundation/err.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Read position over a NUL-terminated text.
template <typename Char> class Source_str_zero_terminated {
public:
    const Char* s = nullptr;
};

// Result of reading an unsigned decimal number.
enum class Dec_result {
    ok,       // a number was read, the position is after its last digit
    no_digit, // no digit at the position, nothing consumed
    too_big   // the number exceeds the maximum; the position is at the digit that overflowed
};

// Reads the digits at s into value with an exact overflow test (value * 10 + digit <= max).
// No sign, no blanks; leading zeros are allowed.
template <typename U> Dec_result dec_from_str(const char*& s, U max, U& value) {
    if (*s < '0' || *s > '9')
        return Dec_result::no_digit;
    U v = 0;
    do {
        const U digit = U(*s - '0');
        if (v > (max - digit) / 10)
            return Dec_result::too_big;
        v = v * 10 + digit;
        ++s;
    } while (*s >= '0' && *s <= '9');
    value = v;
    return Dec_result::ok;
}

// Unsigned type of a decimal reader of the given bit width.
template <int Bits> struct Dec_width;
template <> struct Dec_width<32> { using type = quint32; };
template <> struct Dec_width<64> { using type = quint64; };

template <typename Char> class Parser : public Source_str_zero_terminated<Char> {
public:
    virtual ~Parser();
    // Skips blanks, line breaks and comments; stops at the next token or the end.
    virtual void skip_blank() = 0;
    // The error at the current position; the caller throws it.
    virtual Err Error(const QString& message) const = 0;

    // keyword [blank] "=" [blank]. The keyword is matched as a prefix; on no match returns
    // false and consumes nothing. A second occurrence (seen already true) is an error.
    bool is_assignment(const Char* keyword, bool& seen);

    // Unsigned decimal number in [min, max], no blanks skipped. Below min, the position is
    // put back to the first digit before the error is made.
    template <int Bits>
    typename Dec_width<Bits>::type req_dec(typename Dec_width<Bits>::type min,
                                           typename Dec_width<Bits>::type max);
};

// Everything needed to come back to a place in the text (or to report an error there).
template <typename Char> struct Text_position {
    const Char* s;
    const Char* line_start;
    int line;
};

template <typename Char> class Text_parser : public Parser<Char> {
public:
    const Char* line_start = nullptr; // the byte after the last line break
    int line = 1;

    qint64 column() const { return qint64(this->s - line_start) + 1; }
    Text_position<Char> position() const { return {this->s, line_start, line}; }
    void set_position(const Text_position<Char>& p) {
        this->s = p.s;
        line_start = p.line_start;
        line = p.line;
    }

    // A double-quoted literal of bytes 0x20..0x7E (escapes \" \' \/ \? \\ only), adjacent
    // literals joined, stored into a fixed field of `size` bytes and zero-padded. A value of
    // exactly `size` characters has no terminating zero.
    void req_printable_ascii_string(Char* field, size_t size);

protected:
    // Called after a line break has been consumed.
    void new_line() {
        ++line;
        line_start = this->s;
    }
};

class Utf8_text_parser : public Text_parser<char> {
public:
    // Destination of a string literal. The literal is read twice over the same bytes: first
    // every code point goes to consider() (validate and count), then allocate(), then every
    // code point goes to put().
    class Dst {
    public:
        virtual void consider(unsigned long c) = 0;
        virtual void allocate() = 0;
        virtual void put(unsigned long c) = 0;

    protected:
        ~Dst() = default;
    };

    // Any code point that UTF-16 can hold (no surrogates, nothing above U+10FFFF).
    class Dst_utf16 : public Dst {
    public:
        explicit Dst_utf16(const Utf8_text_parser* parser) : parser(parser) {}
        void consider(unsigned long c) override;
        void allocate() override;
        void put(unsigned long c) override;

        const Utf8_text_parser* parser; // for error positions
        QString result;
        int units = 0; // 16-bit units needed
        QChar* p = nullptr;
        QChar* end = nullptr;
    };

    // As Dst_utf16, and control characters (C0, DEL, C1, U+2028, U+2029) are refused.
    class Dst_printable_utf16 : public Dst_utf16 {
    public:
        using Dst_utf16::Dst_utf16;
        void consider(unsigned long c) override;
    };

    Utf8_text_parser() = default;
    ~Utf8_text_parser() override;

    // Starts at the text, line 1; skips a UTF-8 byte-order mark and refuses UTF-16.
    void init(const char* text);
    // The same over a buffer whose size is known: a zero byte before its end is then an
    // error instead of a silent end of the text. Prefer this form whenever the size is known.
    void init(const QByteArray& text);

    void skip_blank() override;
    // Moves past the next line break (or to the end) without validating what it skips.
    void skip_line();
    Err Error(const QString& message) const override;

    // At a double quote: reads the literal (adjacent literals joined) into out and returns
    // true. Otherwise returns false and consumes nothing. On error out is unchanged.
    bool get_utf8_string(QString& out);
    bool get_printable_utf8_string(QString& out);
    // The same, but a missing literal is an error.
    QString req_utf8_string();
    QString req_printable_utf8_string();

    // Reads the literal at the read position (which must be a double quote) into dst.
    void read_string(Dst& dst);

    // One past the last byte of the text, when init was given its size; otherwise null.
    const char* text_end = nullptr;

private:
    template <typename D> bool get_string(QString& out);
    template <typename D> void read_literal(D& dst);
    unsigned long read_item(const char*& next, bool& multibyte);
    unsigned long read_escape(const char*& next);
    unsigned long read_utf8(const char*& next);
    unsigned long read_hex_digits(const char* p, int count, bool wide, const char*& next);
    [[noreturn]] void blank_utf8_error(const unsigned char* p);
};

class Utf8_file_parser : public Utf8_text_parser {
public:
    // Loads the text file (its errors propagate) and starts at its beginning.
    explicit Utf8_file_parser(const QString& file_name);
    // Shares contents already loaded from file_name.
    Utf8_file_parser(const QString& file_name, const QByteArray& contents);
    ~Utf8_file_parser() override;

    Err Error(const QString& message) const override;

    QByteArray contents; // kept alive while parsing
    QString file_name;
};

// Texts that the configuration grammar reuses (context "parser").
extern Tr errtext_parser_expected_string; // здесь должна быть строка в двойных кавычках (").
extern Tr errfmt_parser_expected_char; // ожидается символ «%1».
extern Tr errfmt_parser_already_defined; // параметр «%1» уже определён выше по тексту.
extern Tr errtext_parser_expected_number; // ожидается десятичное число.
extern Tr errfmt_parser_number_too_big; // число слишком большое (должно быть не более %1)
extern Tr errfmt_parser_number_too_small; // число слишком маленькое (должно быть не менее %1).

void parser_primitives_clear_translation();
void utf8_text_parser_clear_translation();
