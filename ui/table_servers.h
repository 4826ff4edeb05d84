#pragma once
// The view of a collection's servers: always in configuration order, since the row numbers
// are the server numbers that the device table shows.

#include "ui/table_common.h"

class Collection;

class Table_servers : public Copy_menu_view {
    Q_OBJECT
public:
    Table_servers(Collection& collection, QWidget* parent);
    ~Table_servers() override;

    // Binds the view to the collection's servers again (after the configuration was replaced).
    void create_contents();
    // The row of the selected server; Err when nothing is selected.
    unsigned short selected_row() const;
    // The row of a double-clicked index.
    unsigned short clicked_row(const QModelIndex& index) const;

    int sizeHintForColumn(int column) const override;
    QSize sizeHint() const override;

    Collection& collection;
    int column_hints[3];

public slots:
    void on_table_to_clipboard_triggered() override;
    void on_row_to_clipboard_triggered() override;
    void on_cell_to_clipboard_triggered() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

void table_servers_clear_translation();
