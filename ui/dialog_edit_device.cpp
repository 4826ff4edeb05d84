#include "ui/dialog_edit_device.h"

#include "config/validators.h"
#include "foundation/err.h"
#include "ui/dialog_texts.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTextEdit>
#include <cstring>

// Debug codes of the dialog (source 7).
enum : unsigned short {
    code_connect_accepted = 1793,
    code_connect_rejected,
    code_connect_enumerate,
    code_enumerate, // 1796
    code_accept,
    code_accept_row,
    code_row, // a row the configuration does not have
};

static Tr title("edit_device", "Параметры устройства");
static Tr hint_server(
    "edit_device",
    "Здесь выбран сервер «zelmo_server», на работу с которым настроено\nдобавляемое устройство "
    "(и через который осуществляется доступ к\nэтому устройству).");
static Tr hint_imei("edit_device", "Здесь отображается IMEI рассматриваемого устройства.");
static Tr hint_pin("edit_device",
                   "Здесь отображается PIN-код для доступа к рассматриваемому\nустройству.");
static Tr hint_notes("edit_device",
                     "Здесь отображается комментарий к рассматриваемому устройству.");
static Tr hint_ok("edit_device",
                  "Если вы нажмёте эту кнопку, параметры устройства будут изменены на указанные\n"
                  "в этом окне, и окно будет закрыто, при условии, что все значения\n"
                  "правдоподобны. В противном случае ничего не произойдёт, и окно останется\n"
                  "открытым, чтобы вы могли исправить значения.");
static Tr hint_cancel("edit_device",
                      "Если вы нажмёте эту кнопку, окно будет закрыто, и устройство останется\n"
                      "таким, каким было. Изменённые значения будут потеряны без предупреждения.");

void dialog_edit_device_clear_translation() {
    title.clear();
    hint_server.clear();
    hint_imei.clear();
    hint_pin.clear();
    hint_notes.clear();
    hint_ok.clear();
    hint_cancel.clear();
}

static Dialog_device_texts texts() {
    return {title.tr(),      hint_server.tr(), hint_imei.tr(), hint_pin.tr(),
            hint_notes.tr(), caption_set(),    hint_ok.tr(),   hint_cancel.tr()};
}

Dialog_edit_device::Dialog_edit_device(Configuration& cfg, unsigned row, QWidget* parent)
    : Dialog_device(cfg, parent, texts(),
                    Dialog_device_codes{{code_connect_accepted, code_connect_rejected},
                                        code_connect_enumerate,
                                        1793,
                                        code_enumerate}),
      device_row(row) {
    if (row >= cfg.devices.count)
        throw Debug(code_row);
    const Device_row& r = cfg.devices.rows[row];
    cbox_server->setCurrentIndex(r.server);
    ebox_imei->setText(r.device->imei_str());
    // A full PIN has no terminator inside its 16 bytes.
    ebox_pin->setText(QString::fromLatin1(r.device->pin, int(strnlen(r.device->pin, pin_size))));
    ebox_notes->setPlainText(r.device->notes);
}

void Dialog_edit_device::accept() {
    try {
        const Values v = read_values();
        if (device_row >= cfg.devices.count)
            throw Debug(code_accept_row);
        const Device_row& r = cfg.devices.rows[device_row];
        if (v.key.server == r.server && v.key.imei == r.device->imei &&
            std::memcmp(v.pin, r.device->pin, pin_size) == 0 && v.notes == r.device->notes)
            throw Err(errtext_not_edited());
        device_row = cfg.change_device(device_row, v.key, v.pin, v.notes);
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_accept, this);
    }
}
