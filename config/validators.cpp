#include "config/validators.h"

#include "foundation/err.h"

static Tr errfmt_empty("msgbox", "Не указано значение параметра «%1».");
static Tr errfmt_not_a_number(
    "msgbox", "Значение параметра «%1» должно быть целым десятичным числом, не превышающим %2.");
static Tr errfmt_above_maximum("msgbox", "Значение параметра «%1» не должно превышать %2.");
static Tr errfmt_below_minimum("msgbox", "Значение параметра «%1» не должно быть меньше %2.");
static Tr errfmt_too_long(
    "msgbox", "значение параметра «%1» слишком длинное - должно быть не длиннее %2 символов.");
static Tr errfmt_not_printable(
    "msgbox", "неправильное значение параметра «%1». Этот параметр должен состоять только из "
              "символов printable ASCII (латинские буквы, цифры, пробелы, а также следующие "
              "символы: !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~).");
static Tr errtext_no_server("device", "Не определено значение параметра «Сервер».");
static Tr errtext_not_edited_tr(
    "common",
    "Ничего не изменилось.\nЕсли вы не хотите ничего менять, закройте диалог кнопкой «Отмена».");

void validators_clear_translation() {
    errfmt_empty.clear();
    errfmt_not_a_number.clear();
    errfmt_above_maximum.clear();
    errfmt_below_minimum.clear();
    errfmt_too_long.clear();
    errfmt_not_printable.clear();
    errtext_no_server.clear();
    errtext_not_edited_tr.clear();
}

const QString& errtext_not_edited() {
    return errtext_not_edited_tr.tr();
}

QString req_str(const QString& text, const QString& caption) {
    if (text.isEmpty())
        throw Err(errfmt_empty.tr().arg(caption));
    return text;
}

// Digits only: no sign, no blanks, so that what is stored is exactly what the user sees.
// A value that does not fit the result's type is not a number of that type either.
static bool parse_decimal(const QString& text, uint64_t type_max, uint64_t& value) {
    uint64_t v = 0;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < '0' || u > '9')
            return false;
        const unsigned digit = u - '0';
        if (v > (type_max - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

static bool get_number(const QString& text, const QString& caption, uint64_t type_max,
                       uint64_t& result, uint64_t maximum) {
    if (text.isEmpty())
        return false;
    uint64_t v;
    if (!parse_decimal(text, type_max, v))
        throw Err(errfmt_not_a_number.tr().arg(caption).arg(qulonglong(maximum)));
    if (v > maximum)
        throw Err(errfmt_above_maximum.tr().arg(caption).arg(qulonglong(maximum)));
    result = v;
    return true;
}

bool get_uint64(const QString& text, const QString& caption, uint64_t& result, uint64_t maximum) {
    return get_number(text, caption, UINT64_MAX, result, maximum);
}

uint64_t req_uint64(const QString& text, const QString& caption, uint64_t maximum) {
    uint64_t v = 0;
    if (!get_uint64(text, caption, v, maximum))
        throw Err(errfmt_empty.tr().arg(caption));
    return v;
}

bool get_uint(const QString& text, const QString& caption, unsigned& result, unsigned maximum) {
    uint64_t v;
    if (!get_number(text, caption, UINT32_MAX, v, maximum))
        return false;
    result = unsigned(v);
    return true;
}

bool get_uint(const QString& text, const QString& caption, unsigned& result, unsigned minimum,
              unsigned maximum) {
    unsigned v;
    if (!get_uint(text, caption, v, maximum))
        return false;
    if (v < minimum)
        throw Err(errfmt_below_minimum.tr().arg(caption).arg(minimum));
    result = v;
    return true;
}

unsigned req_uint(const QString& text, const QString& caption, unsigned maximum) {
    unsigned v = 0;
    if (!get_uint(text, caption, v, maximum))
        throw Err(errfmt_empty.tr().arg(caption));
    return v;
}

unsigned req_uint(const QString& text, const QString& caption, unsigned minimum, unsigned maximum) {
    unsigned v = 0;
    if (!get_uint(text, caption, v, minimum, maximum))
        throw Err(errfmt_empty.tr().arg(caption));
    return v;
}

void get_printable_ascii(const QString& text, char* buffer, int length, const QString& caption) {
    const int n = text.length();
    if (n > length)
        throw Err(errfmt_too_long.tr().arg(caption).arg(length));
    for (const QChar c : text)
        if (c.unicode() < 32 || c.unicode() > 126)
            throw Err(errfmt_not_printable.tr().arg(caption));
    int i = 0;
    for (; i < n; ++i)
        buffer[i] = char(text[i].unicode());
    for (; i < length; ++i)
        buffer[i] = '\0';
}

unsigned short req_server(int current_index, unsigned server_count) {
    if (current_index < 0)
        throw Err(errtext_no_server.tr());
    if (unsigned(current_index) >= server_count)
        throw Debug(1284);
    return static_cast<unsigned short>(current_index);
}
