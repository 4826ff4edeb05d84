#include "ui/table_common.h"

#include "config/config.h"
#include "ui/interface.h"

#include <QFontMetrics>
#include <QHeaderView>
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
