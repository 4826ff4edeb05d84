#include "ui/dialog_add_device.h"

#include "foundation/err.h"
#include "ui/dialog_texts.h"

// Debug codes of the dialog (source 5); 1284 is req_server's, in config/validators.cpp.
enum : unsigned short {
    code_connect_accepted = 1281,
    code_connect_rejected,
    code_connect_enumerate,
    code_enumerate = 1285,
    code_accept, // 1286
};

static Tr title("add_device", "Добавление устройства");
static Tr hint_server(
    "add_device",
    "Здесь надо выбрать сервер «zelmo_server», на работу с которым\nнастроено добавляемое "
    "устройство (и через который надо будет\nосуществлять доступ к этому устройству).\n\nЕсли "
    "нужного сервера нет в списке, надо вернуться в главное окно\nпрограммы и добавить этот "
    "сервер в таблицу серверов.");
static Tr hint_imei("add_device", "Сюда надо ввести IMEI добавляемого устройства.");
static Tr hint_pin("add_device", "Сюда надо ввести PIN-код для доступа к добавляемому устройству.");
static Tr hint_notes("add_device", "Сюда можно ввести комментарий к добавляемому устройству.");
static Tr hint_ok("add_device",
                  "Если вы нажмёте эту кнопку, устройство будет добавлено в текущую\n"
                  "конфигурацию, и окно будет закрыто, при условии, что все введённые значения\n"
                  "правдоподобны. В противном случае ничего не произойдёт, и окно останется\n"
                  "открытым, чтобы вы могли исправить значения.");
static Tr hint_cancel("add_device",
                      "Если вы нажмёте эту кнопку, окно будет закрыто, и ничего не будет\n"
                      "добавлено. Введённые значения будут потеряны без предупреждения.");

void dialog_add_device_clear_translation() {
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
            hint_notes.tr(), caption_add(),    hint_ok.tr(),   hint_cancel.tr()};
}

Dialog_add_device::Dialog_add_device(Configuration& cfg, QWidget* parent)
    : Dialog_device(cfg, parent, texts(),
                    Dialog_device_codes{{code_connect_accepted, code_connect_rejected},
                                        code_connect_enumerate,
                                        1281,
                                        code_enumerate}) {}

void Dialog_add_device::accept() {
    try {
        const Values v = read_values();
        row = int(cfg.add_device(v.key, v.pin, v.notes));
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_accept, this);
    }
}
