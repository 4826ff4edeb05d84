#include "engine/upload_setup.h"

#include "config/config.h"
#include "config/validators.h"
#include "engine/actions.h"
#include "foundation/err.h"
#include "protocol/frame.h"

#include <cstring>

Upload_purpose upload_purpose_of(const char* name) {
    if (std::strcmp(name, "FIRMWARE") == 0)
        return Upload_purpose::firmware;
    if (std::strcmp(name, "SETTINGS") == 0)
        return Upload_purpose::settings;
    return Upload_purpose::other;
}

void set_upload_devfname(Upload_purpose purpose, const QString& other_name,
                         const QString& caption) {
    // Read apart, so that a refused name leaves the old one whole.
    char name[devfname_max] = {};
    switch (purpose) {
    case Upload_purpose::firmware:
        std::memcpy(name, "FIRMWARE", 8);
        break;
    case Upload_purpose::settings:
        std::memcpy(name, "SETTINGS", 8);
        break;
    case Upload_purpose::other:
        get_printable_ascii(other_name, name, devfname_max, caption);
        break;
    }
    std::memcpy(devfname, name, devfname_max);
    devfname[devfname_max] = '\0';
}

std::unique_ptr<Action> make_upload_action(Upload_purpose purpose) {
    switch (purpose) {
    case Upload_purpose::firmware:
        return std::make_unique<Action_upload_firmware>();
    case Upload_purpose::settings:
        return std::make_unique<Action_upload_settings>();
    case Upload_purpose::other:
        break;
    }
    return std::make_unique<Action_upload_other>();
}

Upload_file::Upload_file(const QString& path) {
    try {
        load_file(path, firmware);
    } catch (...) {
        firmware.clear();
        throw;
    }
    firmware_sum = calculate_crc32(firmware.constData(), size_t(firmware.size()));
}

Upload_file::~Upload_file() {
    firmware.clear();
    firmware_sum = 0;
}

Journal_work Upload_file::work() const {
    return Journal_work{QStringLiteral("upload"), QString::fromLatin1(devfname),
                        QStringLiteral("%1").arg(firmware_sum, 8, 16, QLatin1Char('0'))};
}
