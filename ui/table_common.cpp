#include "ui/table_common.h"

#include "config/config.h"
#include "ui/interface.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <algorithm>

Tr caption_copy_table("clipboard", "копировать всю таблицу (в формате .csv)");
Tr caption_copy_filtered("clipboard",
                         "копировать все строчки, прошедшие через фильтр (в формате .csv)");
Tr caption_copy_row("clipboard", "копировать эту строчку (в формате .csv)");
Tr caption_copy_cell("clipboard", "копировать эту ячейку");
Tr caption_clip_address("clipboard", "Адрес");
Tr caption_clip_port("clipboard", "Порт");
Tr caption_clip_imei("clipboard", "IMEI");
Tr caption_clip_notes("clipboard", "Комментарий");

void table_common_clear_translation() {
    for (Tr* t :
         {&caption_copy_table, &caption_copy_filtered, &caption_copy_row, &caption_copy_cell,
          &caption_clip_address, &caption_clip_port, &caption_clip_imei, &caption_clip_notes})
        t->clear();
}

void setup_table(QTableView& view) {
    init_fonts(view);
    table_header_font = font_name_small;
    view.setFont(font_value_small);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setTabKeyNavigation(false);
    // No sort indicator at first: the rows stay in table order until a header is clicked.
    view.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view.setSortingEnabled(true);
    view.horizontalHeader()->setStretchLastSection(true);
    // Rows as tall as the value font needs: the style's default (about two lines) left the
    // server table, six text lines high, showing only two servers.
    const int row_h = QFontMetrics(font_value_small).height() + 4;
    view.verticalHeader()->setMinimumSectionSize(row_h);
    view.verticalHeader()->setDefaultSectionSize(row_h);
}

int column_pad() {
    return std::max(12, w_dec_small);
}

void Copy_menu_view::open_copy_menu(QContextMenuEvent* event, const QString& table_caption,
                                    Copy_menu_codes codes) {
    delete menu;
    menu = new QMenu(this);
    const QPoint at = viewport()->mapFromGlobal(event->globalPos());
    menu_row = rowAt(at.y());
    menu_column = menu_row >= 0 ? columnAt(at.x()) : -1;
    QAction* a = menu->addAction(table_caption);
    if (!connect(a, &QAction::triggered, this, &Copy_menu_view::on_table_to_clipboard_triggered))
        log_debug(codes.table);
    if (menu_row >= 0) {
        a = menu->addAction(caption_copy_row.tr());
        if (!connect(a, &QAction::triggered, this, &Copy_menu_view::on_row_to_clipboard_triggered))
            log_debug(codes.row);
        if (menu_column >= 0) {
            a = menu->addAction(caption_copy_cell.tr());
            if (!connect(a, &QAction::triggered, this,
                         &Copy_menu_view::on_cell_to_clipboard_triggered))
                log_debug(codes.cell);
        }
    }
    // The view's own actions (the device table's paste) follow the copy items.
    const QList<QAction*> own = actions();
    if (!own.isEmpty()) {
        menu->addSeparator();
        menu->addActions(own);
    }
    menu->popup(event->globalPos());
    event->accept();
}
