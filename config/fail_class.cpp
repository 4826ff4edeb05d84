#include "config/fail_class.h"

#include <cstring>

static const char* const names[fail_class_count] = {
    "", "connect", "rupture", "timeout", "not_linked", "auth", "device", "cancelled", "internal"};

const char* fail_class_name(unsigned cls) {
    return cls < fail_class_count ? names[cls] : "";
}

unsigned fail_class_from_name(const char* word) {
    for (unsigned c = 1; c < fail_class_count; ++c)
        if (std::strcmp(word, names[c]) == 0)
            return c;
    return fail_class_count;
}
