#pragma once
// The view of a collection's devices through a filtering and sorting proxy, with copying to
// the clipboard and the rendering of the shown devices as configuration text.

#include "foundation/err.h"
#include "ui/table_common.h"

#include <QVector>

class Collection;
class Devices_proxy;

enum class Save_mode {
    subset = 0, // result lists: only servers with a written device; problems asked
    whole = 1,  // the configuration page: every server; problems asked
    text = 2,   // switch to the text page: every server; problems are errors, nothing rendered
};

class Table_devices : public Copy_menu_view {
    Q_OBJECT
public:
    // `columns` and `notes_column` as in the collection's device model: 3 and 2 for a
    // configuration.
    Table_devices(Collection& collection, int columns, int notes_column, QWidget* parent);
    ~Table_devices() override;

    // Binds the proxy to the collection's devices again (after the configuration was replaced).
    void create_contents();
    // The source row of the selected device; Err when nothing is selected.
    unsigned selected_row() const;
    // The source row of a double-clicked index.
    unsigned clicked_row(const QModelIndex& index) const;

    // With a filter that hides devices, asks whether to go on all the same; true to go on.
    bool warn_if_filtered(QWidget* parent);
    // Renders the shown devices, in the shown order, as configuration text into `text`.
    // False when the user declined or nothing could be rendered (`text` untouched);
    // `complete` tells whether every device of the collection was written.
    bool save(QString& text, Save_mode mode, QWidget* parent, bool& complete);
    // The shown rows as tab-separated lines, with a header line.
    void copy_to_clipboard();

    int sizeHintForColumn(int column) const override;
    QSize sizeHint() const override;

    Collection& collection;
    // Filter with proxy->setFilterFixedString(text) and proxy->setFilterKeyColumn(column).
    Devices_proxy* proxy;
    int columns;
    int notes_column;
    QVector<int> column_hints;

public slots:
    void on_table_to_clipboard_triggered() override;
    void on_row_to_clipboard_triggered() override;
    void on_cell_to_clipboard_triggered() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void compute_column_hints();
};

// The tooltip of the result lists' "Копировать" buttons.
extern Tr hint_copy_devices_to_clipboard;

void table_devices_clear_translation();
