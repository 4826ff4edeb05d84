#include "ui/dialog_edit_server.h"

#include "config/config.h"
#include "config/validators.h"
#include "foundation/err.h"
#include "ui/dialog_texts.h"

#include <QLineEdit>
#include <QTextEdit>

// Debug codes of the dialog (source 6).
enum : unsigned short {
    code_connect_accepted = 1537,
    code_connect_rejected,
    code_accept, // 1539
    code_accept_row,
    code_row, // a row the configuration does not have
};

static Tr title("edit_server", "Параметры сервера");
static Tr hint_address("edit_server",
                       "Здесь отображается адрес рассматриваемого сервера «zelmo_server».");
static Tr hint_port("edit_server", "Здесь отображается TCP-порт рассматриваемого сервера.");
static Tr hint_notes("edit_server", "Здесь отображается комментарий к рассматриваемому серверу.");
static Tr hint_ok("edit_server",
                  "Если вы нажмёте эту кнопку, параметры сервера будут изменены на указанные\n"
                  "в этом окне, и окно будет закрыто, при условии, что все значения\n"
                  "правдоподобны. В противном случае ничего не произойдёт, и окно останется\n"
                  "открытым, чтобы вы могли исправить значения.");
static Tr hint_cancel("edit_server",
                      "Если вы нажмёте эту кнопку, окно будет закрыто, и сервер останется таким,\n"
                      "каким был. Изменённые значения будут потеряны без предупреждения.");

void dialog_edit_server_clear_translation() {
    title.clear();
    hint_address.clear();
    hint_port.clear();
    hint_notes.clear();
    hint_ok.clear();
    hint_cancel.clear();
}

static Dialog_server_texts texts() {
    return {title.tr(),    hint_address.tr(), hint_port.tr(),  hint_notes.tr(),
            caption_set(), hint_ok.tr(),      hint_cancel.tr()};
}

Dialog_edit_server::Dialog_edit_server(Configuration& cfg, unsigned short row, QWidget* parent)
    : Dialog_server(cfg, parent, texts(), {code_connect_accepted, code_connect_rejected}),
      server_row(row) {
    if (row >= cfg.servers.count)
        throw Debug(code_row);
    Server& s = *cfg.servers.rows[row].server;
    ebox_address->setText(s.address);
    ebox_port->setText(QString::number(s.port));
    ebox_notes->setPlainText(s.notes);
}

void Dialog_edit_server::accept() {
    try {
        const Values v = read_values();
        if (server_row >= cfg.servers.count)
            throw Debug(code_accept_row);
        const Server& s = *cfg.servers.rows[server_row].server;
        if (v.address == s.address && v.port == s.port && v.notes == s.notes)
            throw Err(errtext_not_edited());
        server_row = cfg.change_server(server_row, Server_address{v.address, v.port}, v.notes);
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_accept, this);
    }
}
