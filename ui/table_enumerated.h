#pragma once
// The view of an enumerated device list: one IMEI column through a filter proxy, sortable,
// with a context menu that copies the shown list or one row.

#include <QTableView>

class Enumerated;
struct Enumerated_entry;
class QMenu;
class QSortFilterProxyModel;

class Table_enumerated : public QTableView {
    Q_OBJECT
public:
    Table_enumerated(Enumerated& model, QWidget* parent);
    ~Table_enumerated() override;

    QSortFilterProxyModel* proxy;
    Enumerated* model;
    QMenu* menu = nullptr; // the one built on the last opening
    int clicked = -1;      // proxy row under the mouse when the menu opened, -1 below the rows

    // The entry of the one selected row; Err when nothing is selected.
    Enumerated_entry& selected_item() const;
    Enumerated_entry& clicked_item(const QModelIndex& index) const;
    // The entry of a proxy index; Debug when it cannot be traced to one.
    Enumerated_entry& item_by_index(const QModelIndex& index) const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private slots:
    void on_list_to_clipboard_triggered(bool checked);
    void on_item_to_clipboard_triggered(bool checked);
};

void table_enumerated_clear_translation();
