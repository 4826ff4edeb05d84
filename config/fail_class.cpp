#include "config/fail_class.h"

#include "foundation/err.h"

#include <cstring>

static const char* const names[fail_class_count] = {"",           "connect", "rupture", "timeout",
                                                    "not_linked", "auth",    "device",  "cancelled",
                                                    "internal",   "verify"};

static Tr display_names[fail_class_count] = {
    {"fail_class", ""},
    {"fail_class", "нет соединения с сервером"},
    {"fail_class", "обрыв связи с сервером"},
    {"fail_class", "тайм-аут"},
    {"fail_class", "устройство не на связи"},
    {"fail_class", "PIN-код не подошёл"},
    {"fail_class", "отказ устройства"},
    {"fail_class", "не обслужено"},
    {"fail_class", "внутренняя ошибка"},
    {"fail_class", "версия не подтвердилась"},
};

void fail_class_clear_translation() {
    for (Tr& t : display_names)
        t.clear();
}

const char* fail_class_name(unsigned cls) {
    return cls < fail_class_count ? names[cls] : "";
}

unsigned fail_class_from_name(const char* word) {
    for (unsigned c = 1; c < fail_class_count; ++c)
        if (std::strcmp(word, names[c]) == 0)
            return c;
    return fail_class_count;
}

QString fail_class_display(Fail_class cls) {
    if (cls == fail_none || cls >= fail_class_count)
        return QString();
    return display_names[cls].tr();
}
