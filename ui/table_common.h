#pragma once
// What the server and device views share: their settings and the context menu's texts.

#include "foundation/err.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QTableView>

// Small value font, read-only, single whole-row selection, sorting, last column stretched.
void setup_table(QTableView& view);
// The padding of a column's width hint: the larger of 12 and a digit's width.
int column_pad();

extern Tr caption_copy_table;
extern Tr caption_copy_filtered;
extern Tr caption_copy_row;
extern Tr caption_copy_cell;
// Column captions of the copied tables.
extern Tr caption_clip_address;
extern Tr caption_clip_port;
extern Tr caption_clip_imei;
extern Tr caption_clip_notes;

// The tab-separated line end of every copied table.
inline const char* clip_eol() {
    return "\r\n";
}

// Opens the copy menu of a right click: the whole table (`table_caption`), and with a row
// under the pointer that row, and with a cell that cell. A failed connection logs
// `debug_code` (table), the next code (row) or the one after (cell).
template <class View>
void open_copy_menu(View& view, QContextMenuEvent* event, const QString& table_caption,
                    unsigned short debug_code) {
    delete view.menu;
    view.menu = new QMenu(&view);
    const QPoint at = view.viewport()->mapFromGlobal(event->globalPos());
    view.menu_row = view.rowAt(at.y());
    view.menu_column = view.menu_row >= 0 ? view.columnAt(at.x()) : -1;
    QAction* a = view.menu->addAction(table_caption);
    if (!QObject::connect(a, &QAction::triggered, &view, &View::on_table_to_clipboard_triggered))
        log_debug(debug_code);
    if (view.menu_row >= 0) {
        a = view.menu->addAction(caption_copy_row.tr());
        if (!QObject::connect(a, &QAction::triggered, &view, &View::on_row_to_clipboard_triggered))
            log_debug(static_cast<unsigned short>(debug_code + 1));
        if (view.menu_column >= 0) {
            a = view.menu->addAction(caption_copy_cell.tr());
            if (!QObject::connect(a, &QAction::triggered, &view,
                                  &View::on_cell_to_clipboard_triggered))
                log_debug(static_cast<unsigned short>(debug_code + 2));
        }
    }
    // The view's own actions (the device table's paste) follow the copy items.
    const QList<QAction*> own = view.actions();
    if (!own.isEmpty()) {
        view.menu->addSeparator();
        view.menu->addActions(own);
    }
    view.menu->popup(event->globalPos());
    event->accept();
}

void table_common_clear_translation();
