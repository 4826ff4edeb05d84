#include "ui/validators_gui.h"

#include "config/config.h"

#include <QComboBox>
#include <QLineEdit>

QString req_str(const QLineEdit& field, const QString& caption) {
    return req_str(field.text(), caption);
}

bool get_uint(const QLineEdit& field, const QString& caption, unsigned& result, unsigned maximum) {
    return get_uint(field.text(), caption, result, maximum);
}

bool get_uint(const QLineEdit& field, const QString& caption, unsigned& result, unsigned minimum,
              unsigned maximum) {
    return get_uint(field.text(), caption, result, minimum, maximum);
}

unsigned req_uint(const QLineEdit& field, const QString& caption, unsigned maximum) {
    return req_uint(field.text(), caption, maximum);
}

unsigned req_uint(const QLineEdit& field, const QString& caption, unsigned minimum,
                  unsigned maximum) {
    return req_uint(field.text(), caption, minimum, maximum);
}

bool get_uint64(const QLineEdit& field, const QString& caption, uint64_t& result,
                uint64_t maximum) {
    return get_uint64(field.text(), caption, result, maximum);
}

uint64_t req_uint64(const QLineEdit& field, const QString& caption, uint64_t maximum) {
    return req_uint64(field.text(), caption, maximum);
}

void get_printable_ascii(const QLineEdit& field, char* buffer, int length, const QString& caption) {
    get_printable_ascii(field.text(), buffer, length, caption);
}

unsigned short req_server(const QComboBox& box, const Collection& collection) {
    return req_server(box.currentIndex(), collection.servers.count);
}
