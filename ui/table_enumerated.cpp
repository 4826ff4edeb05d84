#include "ui/table_enumerated.h"

#include "foundation/err.h"
#include "protocol/enumerate.h"
#include "ui/interface.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSortFilterProxyModel>

static Tr caption_copy_list("clipboard", "копировать весь список");
static Tr caption_copy_filtered("clipboard", "копировать все строчки, прошедшие через фильтр");
static Tr caption_copy_item("clipboard", "копировать эту строчку");
static Tr errtext_not_selected("enumerated",
                               "Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке "
                               "(щёлкнуть её левой кнопкой мыши).");
static Tr errfmt_lacunas("clipboard",
                         "Текст был скопирован в системный буфер, однако, из-за неожиданных "
                         "ошибок (см. файл журнала) в нём пропущена информация по %1 "
                         "устройствам.");

void table_enumerated_clear_translation() {
    caption_copy_list.clear();
    caption_copy_filtered.clear();
    caption_copy_item.clear();
    errtext_not_selected.clear();
    errfmt_lacunas.clear();
}

// Debug codes of this view: module 29.
static constexpr unsigned short dbg(unsigned char place) {
    return static_cast<unsigned short>(29 * 256 + place);
}

Table_enumerated::Table_enumerated(Enumerated& m, QWidget* parent)
    : QTableView(parent), proxy(new QSortFilterProxyModel(this)), model(&m) {
    setFont(font_value_small);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setFilterKeyColumn(-1);
    proxy->setSourceModel(model);
    setModel(proxy);
    // The list opens in the server's order; a click on the header sorts it.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    horizontalHeader()->setStretchLastSection(true);
}

Table_enumerated::~Table_enumerated() = default;

Enumerated_entry& Table_enumerated::item_by_index(const QModelIndex& index) const {
    const QModelIndex source = proxy->mapToSource(index);
    if (!source.isValid())
        throw Debug(dbg(12));
    const unsigned row = unsigned(source.row());
    if (model->page_count == 0)
        throw Debug(dbg(14));
    const unsigned page = row / enumerated_page_size;
    const unsigned pos = row % enumerated_page_size;
    if (page >= model->page_count)
        throw Debug(dbg(16));
    if (page + 1 == model->page_count && pos >= model->last_page_count)
        throw Debug(dbg(15));
    return model->pages[page][pos];
}

Enumerated_entry& Table_enumerated::selected_item() const {
    const QModelIndexList selected =
        selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    if (selected.isEmpty())
        throw Err(errtext_not_selected.tr());
    const QModelIndex& first = selected.first();
    if (!first.isValid())
        throw Debug(dbg(8));
    for (int i = 1; i < selected.size(); ++i)
        if (!selected[i].isValid() || selected[i].row() != first.row())
            throw Debug(dbg(9));
    return item_by_index(first);
}

Enumerated_entry& Table_enumerated::clicked_item(const QModelIndex& index) const {
    if (!index.isValid())
        throw Debug(dbg(11));
    return item_by_index(index);
}

void Table_enumerated::contextMenuEvent(QContextMenuEvent* event) {
    delete menu;
    menu = new QMenu(this);
    const bool all_shown = proxy->rowCount() == model->rowCount();
    QAction* list =
        menu->addAction(all_shown ? caption_copy_list.tr() : caption_copy_filtered.tr());
    if (!connect(list, &QAction::triggered, this,
                 &Table_enumerated::on_list_to_clipboard_triggered))
        log_debug(dbg(1));
    clicked = rowAt(event->pos().y());
    if (clicked >= 0) {
        QAction* item = menu->addAction(caption_copy_item.tr());
        if (!connect(item, &QAction::triggered, this,
                     &Table_enumerated::on_item_to_clipboard_triggered))
            log_debug(dbg(2));
    }
    menu->popup(event->globalPos());
    event->accept();
}

// The IMEI text of a shown row, or null with the code of the step that could not trace it.
static const QString* shown_imei(const QSortFilterProxyModel& proxy, const Enumerated& model,
                                 int row, unsigned char first_code, unsigned short& failed) {
    const QModelIndex index = proxy.index(row, 0);
    if (!index.isValid()) {
        failed = dbg(first_code);
        return nullptr;
    }
    const QModelIndex source = proxy.mapToSource(index);
    if (!source.isValid()) {
        failed = dbg(first_code + 1);
        return nullptr;
    }
    const unsigned r = unsigned(source.row());
    const unsigned page = r / enumerated_page_size;
    if (page >= model.page_count) {
        failed = dbg(first_code + 2);
        return nullptr;
    }
    const unsigned pos = r % enumerated_page_size;
    if (page + 1 == model.page_count && pos >= model.last_page_count) {
        failed = dbg(first_code + 3);
        return nullptr;
    }
    return &model.imei_text(model.pages[page][pos]);
}

void Table_enumerated::on_list_to_clipboard_triggered(bool) {
    const int rows = proxy->rowCount();
    QString text;
    text.reserve(rows * 17);
    unsigned missing = 0;
    for (int row = 0; row < rows; ++row) {
        unsigned short failed = 0;
        const QString* imei = shown_imei(*proxy, *model, row, 17, failed);
        if (!imei) {
            log_debug(failed);
            ++missing;
            continue;
        }
        text += *imei;
        text += QLatin1String("\r\n");
    }
    QApplication::clipboard()->setText(text);
    if (missing)
        show_error(errfmt_lacunas.tr().arg(missing), this);
}

void Table_enumerated::on_item_to_clipboard_triggered(bool) {
    if (clicked < 0 || clicked >= proxy->rowCount()) {
        show_debug(dbg(22), this);
        return;
    }
    unsigned short failed = 0;
    const QString* imei = shown_imei(*proxy, *model, clicked, 23, failed);
    if (!imei) {
        show_debug(failed, this);
        return;
    }
    QApplication::clipboard()->setText(*imei);
}
