#pragma once
// The field checks of config/validators.h applied to the widgets that hold the text.

#include "config/validators.h"

class Collection;

class QComboBox;
class QLineEdit;

QString req_str(const QLineEdit& field, const QString& caption);
bool get_uint(const QLineEdit& field, const QString& caption, unsigned& result, unsigned maximum);
bool get_uint(const QLineEdit& field, const QString& caption, unsigned& result, unsigned minimum,
              unsigned maximum);
unsigned req_uint(const QLineEdit& field, const QString& caption, unsigned maximum);
unsigned req_uint(const QLineEdit& field, const QString& caption, unsigned minimum,
                  unsigned maximum);
bool get_uint64(const QLineEdit& field, const QString& caption, uint64_t& result, uint64_t maximum);
uint64_t req_uint64(const QLineEdit& field, const QString& caption, uint64_t maximum);
void get_printable_ascii(const QLineEdit& field, char* buffer, int length, const QString& caption);
// The row of the server current in a box of the collection's server numbers.
unsigned short req_server(const QComboBox& box, const Collection& collection);
