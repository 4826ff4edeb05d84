#include "ui/dialog_add_server.h"

#include "config/config.h"
#include "foundation/err.h"
#include "ui/dialog_texts.h"

// Debug codes of the dialog (source 4).
enum : unsigned short {
    code_connect_accepted = 1025,
    code_connect_rejected,
    code_accept, // 1027
};

static Tr title("add_server", "Добавление сервера");
static Tr hint_address("add_server", "Сюда надо ввести адрес добавляемого сервера «zelmo_server».");
static Tr hint_port("add_server", "Сюда надо ввести TCP-порт добавляемого сервера.");
static Tr hint_notes("add_server", "Сюда можно ввести комментарий к добавляемому серверу.");
static Tr hint_ok("add_server",
                  "Если вы нажмёте эту кнопку, сервер будет добавлен в текущую конфигурацию, и\n"
                  "окно будет закрыто, при условии, что все введённые значения правдоподобны.\n"
                  "В противном случае ничего не произойдёт, и окно останется открытым, чтобы\n"
                  "вы могли исправить значения.");
static Tr hint_cancel("add_server",
                      "Если вы нажмёте эту кнопку, окно будет закрыто, и ничего не будет\n"
                      "добавлено. Введённые значения будут потеряны без предупреждения.");

void dialog_add_server_clear_translation() {
    title.clear();
    hint_address.clear();
    hint_port.clear();
    hint_notes.clear();
    hint_ok.clear();
    hint_cancel.clear();
}

static Dialog_server_texts texts() {
    return {title.tr(),    hint_address.tr(), hint_port.tr(),  hint_notes.tr(),
            caption_add(), hint_ok.tr(),      hint_cancel.tr()};
}

Dialog_add_server::Dialog_add_server(Configuration& cfg, QWidget* parent)
    : Dialog_server(cfg, parent, texts(), {code_connect_accepted, code_connect_rejected}) {}

void Dialog_add_server::accept() {
    try {
        const Values v = read_values();
        row = cfg.add_server(Server_address{v.address, v.port}, v.notes);
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_accept, this);
    }
}
