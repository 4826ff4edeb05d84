#pragma once
// Checks that turn the text of an input field into a value, or throw Err with a message that
// names the field by its caption. `req_` functions need a value; `get_` ones accept an empty
// field. The widget overloads (a QLineEdit, a QComboBox) are in ui/validators_gui.h.

#include <QString>
#include <cstdint>

// The text itself; empty: "Не указано значение параметра «caption»."
QString req_str(const QString& text, const QString& caption);

// A base-10 unsigned number of digits only. Empty: false, result untouched. Otherwise true
// with the result set, or Err when it is not a number, above the maximum or below the minimum.
bool get_uint(const QString& text, const QString& caption, unsigned& result, unsigned maximum);
bool get_uint(const QString& text, const QString& caption, unsigned& result, unsigned minimum,
              unsigned maximum);
unsigned req_uint(const QString& text, const QString& caption, unsigned maximum);
unsigned req_uint(const QString& text, const QString& caption, unsigned minimum, unsigned maximum);
bool get_uint64(const QString& text, const QString& caption, uint64_t& result, uint64_t maximum);
uint64_t req_uint64(const QString& text, const QString& caption, uint64_t maximum);

// Copies the text into buffer[0..length), NUL-padded, with no terminator when the text fills
// it. Err when longer than `length` or outside codes 32 to 126; the buffer is then untouched.
void get_printable_ascii(const QString& text, char* buffer, int length, const QString& caption);

// The server row chosen in a box of server numbers: Err when nothing is chosen, Debug 1284 when
// the index lies beyond the configuration's servers.
unsigned short req_server(int current_index, unsigned server_count);

// The shared message for a dialog accepted without a change (context "common").
const QString& errtext_not_edited();

void validators_clear_translation();
