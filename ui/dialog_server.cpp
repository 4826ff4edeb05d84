#include "ui/dialog_server.h"

#include "config/config.h"
#include "config/validators_gui.h"
#include "foundation/err.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"

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
    auto* label = new QLabel(caption, parent);
    label->setBuddy(field);
    label->setToolTip(hint);
    field->setToolTip(hint);
    field->setFont(font_value_big);
    grid->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(field, row, 1);
    return label;
}

Dialog_server::Dialog_server(Configuration& cfg, QWidget* parent, const Dialog_server_texts& t,
                             unsigned short first_connect_code)
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

    buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_ok = buttons->addButton(t.caption_ok, QDialogButtonBox::AcceptRole);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setToolTip(t.hint_ok + hint_save_later());
    btn_cancel = buttons->addButton(caption_cancel(), QDialogButtonBox::RejectRole);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setToolTip(t.hint_cancel);
    layout->addWidget(buttons);
    if (!connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept))
        log_debug(first_connect_code);
    if (!connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(first_connect_code + 1);
}

Dialog_server::Values Dialog_server::read_values() const {
    Values v;
    v.address = req_str(*ebox_address, caption_address.tr());
    v.port = static_cast<unsigned short>(req_uint(*ebox_port, caption_port.tr(), 65535));
    v.notes = ebox_notes->toPlainText();
    return v;
}
