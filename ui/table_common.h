#pragma once
// What the server and device views share: their settings and the context menu's texts.

#include "foundation/err.h"

class QMenu;
class QTableView;

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

void table_common_clear_translation();
