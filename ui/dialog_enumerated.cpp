#include "ui/dialog_enumerated.h"

#include "foundation/err.h"
#include "foundation/random.h"
#include "protocol/enumerate.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"
#include "ui/table_enumerated.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QVBoxLayout>

static Tr title("enumerated", "Устройства на сервере");
static Tr caption_filter("common", "Фильтр");
static Tr hint_filter(
    "enumerated",
    "Если вы введёте сюда какую-нибудь последовательность цифр, в\nсписке будут отображаться "
    "только те строки, в которых присутствует\nэта последовательность (не обязательно в "
    "начале).");
static Tr_with_hint caption_choose(
    "enumerated", "Выбрать",
    "Если вы нажмёте эту кнопку, текущее окно будет закрыто, и IMEI\nвыбранного вами устройства "
    "будет скопирован в поле ввода того окна,\nиз которого вы сюда пришли (после этого вы "
    "сможете работать с этим\nIMEI так, как будто сами ввели его с клавиатуры).\n\nТо же самое "
    "будет сделано в ответ на двойной щелчок левой кнопкой\nмыши по соответствующей строчке в "
    "списке.");
static Tr hint_cancel("enumerated",
                      "Если вы нажмёте эту кнопку, текущее окно будет закрыто (всё будет\nтак, "
                      "как если бы вы вообще не открывали это окно).");

void dialog_enumerated_clear_translation() {
    title.clear();
    caption_filter.clear();
    hint_filter.clear();
    caption_choose.clear();
    hint_cancel.clear();
}

// Debug codes of this window: module 20.
static constexpr unsigned short dbg(unsigned char place) {
    return static_cast<unsigned short>(20 * 256 + place);
}

Dialog_enumerated::Dialog_enumerated(Enumerated& model, QWidget* parent)
    : QDialog(parent, dialog_flags | Qt::WindowMaximizeButtonHint) {
    init_fonts(*this);
    setWindowTitle(title.tr());
    model.header_font = font_name_small;
    model.header_hint_tail = &hint_imei_tail();
    auto* layout = new QVBoxLayout(this);

    auto* filter_row = new QHBoxLayout;
    label_filter = new QLabel(caption_filter.tr(), this);
    label_filter->setToolTip(hint_filter.tr());
    ebox_filter = new QLineEdit(this);
    ebox_filter->setObjectName(QStringLiteral("ebox_filter"));
    ebox_filter->setMaxLength(15);
    ebox_filter->setFont(font_value_big);
    ebox_filter->setToolTip(hint_filter.tr());
    label_filter->setBuddy(ebox_filter);
    filter_row->addWidget(label_filter);
    filter_row->addWidget(ebox_filter);
    layout->addLayout(filter_row);

    table = new Table_enumerated(model, this);
    table->setObjectName(QStringLiteral("table_enumerated"));
    layout->addWidget(table);

    buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_choose = buttons->addButton(caption_choose.caption(), QDialogButtonBox::AcceptRole);
    btn_choose->setObjectName(QStringLiteral("btn_choose"));
    btn_choose->setToolTip(caption_choose.hint());
    btn_cancel = buttons->addButton(caption_cancel(), QDialogButtonBox::RejectRole);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setToolTip(hint_cancel.tr());
    layout->addWidget(buttons);

    if (!connect(ebox_filter, &QLineEdit::textChanged, this,
                 &Dialog_enumerated::on_filter_text_changed))
        log_debug(dbg(29));
    if (!connect(table, &QAbstractItemView::doubleClicked, this,
                 &Dialog_enumerated::on_table_double_click))
        log_debug(dbg(30));
    if (!connect(buttons, &QDialogButtonBox::accepted, this, &Dialog_enumerated::accept))
        log_debug(dbg(31));
    if (!connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(dbg(32));
    resize(40 * w_dec_big, 25 * module_h);
}

void Dialog_enumerated::on_filter_text_changed(const QString& text) {
    update_random_number_generator(0x1401);
    table->proxy->setFilterFixedString(text);
}

void Dialog_enumerated::accept() {
    try {
        Enumerated_entry& e = table->selected_item();
        result = table->model->imei_text(e);
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(dbg(33), this);
    }
}

void Dialog_enumerated::on_table_double_click(const QModelIndex& index) {
    update_random_number_generator(0x1402);
    try {
        Enumerated_entry& e = table->clicked_item(index);
        result = table->model->imei_text(e);
        QDialog::accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(dbg(34), this);
    }
}
