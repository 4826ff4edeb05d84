#include "ui/dialog_device.h"

#include "foundation/err.h"
#include "foundation/random.h"
#include "protocol/enumerate.h"
#include "ui/dialog_enumerate.h"
#include "ui/dialog_enumerated.h"
#include "ui/dialog_form.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/validators_gui.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

static Tr caption_server("device", "Сервер");
static Tr caption_imei("device", "IMEI");
static Tr caption_pin("device", "PIN-код");
static Tr caption_notes("server_or_device", "Комментарий");
static Tr_with_hint caption_enumerate(
    "server_or_device", "Выбрать",
    "Если вы нажмёте эту кнопку, программа запросит у указанного сервера\nсписок подключенных "
    "через него устройств и покажет его вам. Вы\nсможете выбрать устройство из этого списка, "
    "вместо того, чтобы\nвводить его IMEI вручную.");

void dialog_device_clear_translation() {
    caption_server.clear();
    caption_imei.clear();
    caption_pin.clear();
    caption_notes.clear();
    caption_enumerate.clear();
}

Dialog_device::Dialog_device(Configuration& cfg, QWidget* parent, const Dialog_device_texts& t,
                             const Dialog_device_codes& codes)
    : QDialog(parent, dialog_flags), cfg(cfg), codes(codes) {
    init_fonts(*this);
    setWindowTitle(t.title);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    cbox_server = new QComboBox(this);
    cbox_server->setObjectName(QStringLiteral("cbox_server"));
    for (unsigned i = 0; i < cfg.servers.count; ++i)
        cbox_server->addItem(QString::number(i + 1));
    label_server = add_field_label(this, grid, 0, caption_server.tr(), cbox_server, t.hint_server);
    grid->addWidget(cbox_server, 0, 1, Qt::AlignLeft);

    ebox_imei = new QLineEdit(this);
    ebox_imei->setObjectName(QStringLiteral("ebox_imei"));
    ebox_imei->setMaxLength(15);
    label_imei = add_field_label(this, grid, 1, caption_imei.tr(), ebox_imei,
                                 t.hint_imei + hint_imei_tail());
    btn_enumerate = new QPushButton(caption_enumerate.caption(), this);
    btn_enumerate->setObjectName(QStringLiteral("btn_enumerate"));
    btn_enumerate->setToolTip(caption_enumerate.hint());
    // Enter in a field accepts the dialog, never asks a server.
    btn_enumerate->setAutoDefault(false);
    auto* imei_row = new QHBoxLayout;
    imei_row->addWidget(ebox_imei);
    imei_row->addWidget(btn_enumerate);
    grid->addLayout(imei_row, 1, 1);

    ebox_pin = new QLineEdit(this);
    ebox_pin->setObjectName(QStringLiteral("ebox_pin"));
    ebox_pin->setMaxLength(pin_size);
    label_pin =
        add_field_label(this, grid, 2, caption_pin.tr(), ebox_pin, t.hint_pin + hint_pin_tail());
    grid->addWidget(ebox_pin, 2, 1);

    ebox_notes = new QTextEdit(this);
    ebox_notes->setObjectName(QStringLiteral("ebox_notes"));
    ebox_notes->setAcceptRichText(false);
    ebox_notes->setTabChangesFocus(true);
    label_notes = add_field_label(this, grid, 3, caption_notes.tr(), ebox_notes,
                                  t.hint_notes + hint_comment_tail());
    grid->addWidget(ebox_notes, 3, 1);
    grid->setAlignment(label_notes, Qt::AlignRight | Qt::AlignTop);

    buttons = add_ok_cancel(this, layout, t.caption_ok, t.hint_ok, t.hint_cancel,
                            codes.connect_buttons, btn_ok, btn_cancel);
    if (!connect(btn_enumerate, &QPushButton::clicked, this,
                 &Dialog_device::on_btn_enumerate_clicked))
        log_debug(codes.connect_enumerate);
}

Dialog_device::Values Dialog_device::read_values() const {
    Values v;
    v.key.server = req_server(*cbox_server, cfg);
    v.key.imei = req_uint64(*ebox_imei, caption_imei.tr(), max_imei);
    get_printable_ascii(*ebox_pin, v.pin, pin_size, caption_pin.tr());
    v.notes = ebox_notes->toPlainText();
    return v;
}

void Dialog_device::on_btn_enumerate_clicked() {
    update_random_number_generator(codes.enumerate_random);
    try {
        const unsigned short row = req_server(*cbox_server, cfg);
        // The list and its pages live only as long as this handler.
        Enumerated model;
        {
            Dialog_enumerate progress(this, *cfg.servers.rows[row].server, model);
            if (progress.exec() != QDialog::Accepted)
                return;
        }
        Dialog_enumerated list(model, this);
        if (list.exec() == QDialog::Accepted)
            ebox_imei->setText(list.result);
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(codes.enumerate_debug, this);
    }
}
