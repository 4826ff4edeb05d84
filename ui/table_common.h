#pragma once
// What the server and device views share: their settings, the copy menu and its texts.

#include "foundation/err.h"

#include <QTableView>

class QContextMenuEvent;
class QMenu;

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

// A table view with the copy menu of a right click: the whole table, and with a row under
// the pointer that row, and with a cell that cell. The views say what each entry copies.
class Copy_menu_view : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;

    QMenu* menu = nullptr;
    int menu_row = -1; // where the last right click was, -1 outside
    int menu_column = -1;

public slots:
    virtual void on_table_to_clipboard_triggered() = 0;
    virtual void on_row_to_clipboard_triggered() = 0;
    virtual void on_cell_to_clipboard_triggered() = 0;

protected:
    // The debug codes logged when an entry's connection fails.
    struct Copy_menu_codes {
        unsigned short table, row, cell;
    };
    // Opens the menu at the event's point; `table_caption` names the whole-table entry.
    void open_copy_menu(QContextMenuEvent* event, const QString& table_caption,
                        Copy_menu_codes codes);
};

void table_common_clear_translation();
