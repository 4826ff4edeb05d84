#include "ui/dialog_server.h"

#include "config/config.h"
#include "foundation/err.h"
#include "ui/dialog_form.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/validators_gui.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

static Tr caption_address("server", "Адрес");
static Tr caption_port("server", "Порт");
static Tr caption_notes("server_or_device", "Комментарий");

void dialog_server_clear_translation() {
    caption_address.clear();
    caption_port.clear();
    caption_notes.clear();
}

// A label and its field in one grid row, both with the same tooltip.
static QLabel* add_row(QWidget* parent, QGridLayout* grid, int row, const QString& caption,
                       QWidget* field, const QString& hint) {
    QLabel* label = add_field_label(parent, grid, row, caption, field, hint);
    grid->addWidget(field, row, 1);
    return label;
}

Dialog_server::Dialog_server(Configuration& cfg, QWidget* parent, const Dialog_server_texts& t,
                             Ok_cancel_codes connect_codes)
    : QDialog(parent, dialog_flags), cfg(cfg) {
    init_fonts(*this);
    setWindowTitle(t.title);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    ebox_address = new QLineEdit(this);
    ebox_address->setObjectName(QStringLiteral("ebox_address"));
    label_address = add_row(this, grid, 0, caption_address.tr(), ebox_address,
                            t.hint_address + hint_address_tail());
    ebox_port = new QLineEdit(this);
    ebox_port->setObjectName(QStringLiteral("ebox_port"));
    ebox_port->setMaxLength(5);
    label_port =
        add_row(this, grid, 1, caption_port.tr(), ebox_port, t.hint_port + hint_port_tail());
    ebox_notes = new QTextEdit(this);
    ebox_notes->setObjectName(QStringLiteral("ebox_notes"));
    ebox_notes->setAcceptRichText(false);
    // Tab moves to the next control, as in the line edits above.
    ebox_notes->setTabChangesFocus(true);
    label_notes =
        add_row(this, grid, 2, caption_notes.tr(), ebox_notes, t.hint_notes + hint_comment_tail());
    label_notes->setAlignment(Qt::AlignRight | Qt::AlignTop);
    grid->setAlignment(label_notes, Qt::AlignRight | Qt::AlignTop);

    buttons = add_ok_cancel(this, layout, t.caption_ok, t.hint_ok, t.hint_cancel, connect_codes,
                            btn_ok, btn_cancel);
}

Dialog_server::Values Dialog_server::read_values() const {
    Values v;
    v.address = req_str(*ebox_address, caption_address.tr());
    v.port = static_cast<unsigned short>(req_uint(*ebox_port, caption_port.tr(), 65535));
    v.notes = ebox_notes->toPlainText();
    return v;
}
