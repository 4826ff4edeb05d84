#pragma once
// The filtering and sorting view of a device table. It behaves like a QSortFilterProxyModel
// with a case-insensitive fixed-string filter (anywhere in the cell, one column or all) and
// sorting by the displayed text, but it works on the stored values and changes its rows in
// one step: Qt's own proxy removes and inserts scattered rows one interval at a time, which
// takes minutes on a million devices.

#include <QAbstractProxyModel>
#include <vector>

class Devices;

class Devices_proxy : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit Devices_proxy(QObject* parent = nullptr);
    ~Devices_proxy() override;

    // The source must be a Devices model; anything else shows nothing.
    void setSourceModel(QAbstractItemModel* source) override;
    Devices* devices() const { return source; }

    // The same names and meaning as in QSortFilterProxyModel: an empty text lets every row
    // through; column -1 searches every column.
    void setFilterFixedString(const QString& text);
    void setFilterKeyColumn(int column);
    QString filter_text() const { return needle; }
    int filterKeyColumn() const { return key_column; }
    // Column -1: the table's own order (by server, then IMEI).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return sort_column; }
    Qt::SortOrder sortOrder() const { return sort_order; }

    // Whether a source row passes the current filter.
    bool accepts(unsigned source_row) const;
    // Source rows in the shown order.
    const std::vector<unsigned>& shown_rows() const { return shown; }

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex mapToSource(const QModelIndex& proxy_index) const override;
    QModelIndex mapFromSource(const QModelIndex& source_index) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void on_data_changed(const QModelIndex& top_left, const QModelIndex& bottom_right,
                         const QVector<int>& roles);
    void on_rows_about_to_change();
    void on_rows_inserted(const QModelIndex& parent, int first, int last);
    void on_rows_removed(const QModelIndex& parent, int first, int last);
    void on_rows_moved(const QModelIndex& parent, int first, int last, const QModelIndex& dest,
                       int dest_row);
    void on_reset();
    void on_columns_changed();

    // Rebuilds the whole order (sort) or only the shown rows (filter), announcing a layout
    // change that keeps the selection on the rows that stay.
    void rebuild(bool resort);
    void begin_layout_change();
    void end_layout_change();
    void sort_all();
    void sort_texts(bool descending);
    // Rebuilds `shown` from `order`: rows already shown are tested only when `test_shown`,
    // hidden ones only when `test_hidden` (a longer text hides, a shorter one reveals).
    void filter_rows(bool test_shown, bool test_hidden);
    void prepare_filter();
    bool accepts_column(unsigned source_row, int column) const;
    bool less(unsigned a, unsigned b) const;

    Devices* source = nullptr;
    QString needle;
    bool needle_digits = false;   // only ASCII digits: numbers can match, case plays no part
    bool needle_caseless = false; // nothing with a case: the exact search is enough
    QByteArray needle_latin;
    std::vector<bool> server_matches; // per server row: whether its number contains the text
    int key_column = -1;
    int sort_column = -1;
    Qt::SortOrder sort_order = Qt::AscendingOrder;
    std::vector<unsigned> order;      // every source row, sorted
    std::vector<unsigned> shown;      // the rows of `order` that pass the filter
    std::vector<int> proxy_of_source; // row in `shown`, -1 when filtered out
    // Source rows of the persistent indexes across a layout change.
    QModelIndexList saved_proxy;
    std::vector<int> saved_source;
    std::vector<int> saved_column;
    bool layout_changing = false;
};
