#include "config/devices_proxy.h"

#include "config/config.h"

#include <algorithm>
#include <cstring>
#include <numeric>

Devices_proxy::Devices_proxy(QObject* parent) : QAbstractProxyModel(parent) {}

Devices_proxy::~Devices_proxy() = default;

void Devices_proxy::setSourceModel(QAbstractItemModel* model) {
    beginResetModel();
    if (source)
        disconnect(source, nullptr, this, nullptr);
    // Through null, so that the base class connects to the model's destruction again.
    QAbstractProxyModel::setSourceModel(nullptr);
    source = qobject_cast<Devices*>(model);
    QAbstractProxyModel::setSourceModel(source);
    if (source) {
        connect(source, &QAbstractItemModel::dataChanged, this, &Devices_proxy::on_data_changed);
        connect(source, &QAbstractItemModel::headerDataChanged, this,
                &QAbstractItemModel::headerDataChanged);
        connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
                &Devices_proxy::on_rows_about_to_change);
        connect(source, &QAbstractItemModel::rowsInserted, this, &Devices_proxy::on_rows_inserted);
        connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                &Devices_proxy::on_rows_about_to_change);
        connect(source, &QAbstractItemModel::rowsRemoved, this, &Devices_proxy::on_rows_removed);
        connect(source, &QAbstractItemModel::rowsAboutToBeMoved, this,
                &Devices_proxy::on_rows_about_to_change);
        connect(source, &QAbstractItemModel::rowsMoved, this, &Devices_proxy::on_rows_moved);
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this,
                &Devices_proxy::beginResetModel);
        connect(source, &QAbstractItemModel::modelReset, this, &Devices_proxy::on_reset);
        connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this,
                &Devices_proxy::beginResetModel);
        connect(source, &QAbstractItemModel::layoutChanged, this, &Devices_proxy::on_reset);
        connect(source, &QAbstractItemModel::columnsAboutToBeInserted, this,
                &Devices_proxy::beginResetModel);
        connect(source, &QAbstractItemModel::columnsInserted, this,
                &Devices_proxy::on_columns_changed);
        connect(source, &QAbstractItemModel::columnsAboutToBeRemoved, this,
                &Devices_proxy::beginResetModel);
        connect(source, &QAbstractItemModel::columnsRemoved, this,
                &Devices_proxy::on_columns_changed);
    }
    prepare_filter();
    proxy_of_source.clear();
    sort_all();
    filter_rows(true, true);
    endResetModel();
}

// ---------------------------------------------------------------------------------------------
// Filter

void Devices_proxy::prepare_filter() {
    needle_digits = !needle.isEmpty();
    needle_caseless = true;
    for (const QChar c : needle) {
        const ushort u = c.unicode();
        if (u < '0' || u > '9')
            needle_digits = false;
        if (u >= 0x80 || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'))
            needle_caseless = false;
    }
    needle_latin = needle_digits ? needle.toLatin1() : QByteArray();
    // Every possible number, so that servers added later are judged too.
    server_matches.assign(max_servers, false);
    if (needle_digits)
        for (unsigned short s = 0; s < max_servers; ++s)
            server_matches[s] = server_number_text(s).contains(needle);
}

static bool imei_contains(uint64_t imei, const QByteArray& digits) {
    const int n = digits.size();
    if (n > 15)
        return false;
    char buf[15];
    for (int i = 14; i >= 0; --i) {
        buf[i] = char('0' + imei % 10);
        imei /= 10;
    }
    for (int i = 0; i + n <= 15; ++i)
        if (std::memcmp(buf + i, digits.constData(), size_t(n)) == 0)
            return true;
    return false;
}

// The server number and the IMEI are digits only: a text with anything else never matches.
bool Devices_proxy::accepts_column(unsigned source_row, int column) const {
    const Device_row& r = source->rows[source_row];
    if (column == Devices::col_server)
        return needle_digits && r.server < server_matches.size() && server_matches[r.server];
    if (column == Devices::col_imei)
        return needle_digits && imei_contains(r.device->imei, needle_latin);
    const Qt::CaseSensitivity cs = needle_caseless ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (column == source->notes_position)
        return r.device->notes.contains(needle, cs);
    const int value = source->value_of_column(column);
    if (value < 0)
        return false;
    const int cell = int(source_row) * source->value_count + value;
    return cell < source->value_texts.size() && source->value_texts[cell].contains(needle, cs);
}

bool Devices_proxy::accepts(unsigned source_row) const {
    if (needle.isEmpty())
        return true;
    if (!source || source_row >= source->count)
        return false;
    const int columns = source->columnCount();
    if (key_column >= columns)
        return true; // as Qt's proxy: a key column that does not exist filters nothing
    if (key_column >= 0)
        return accepts_column(source_row, key_column);
    for (int c = 0; c < columns; ++c)
        if (accepts_column(source_row, c))
            return true;
    return false;
}

void Devices_proxy::filter_rows(bool test_shown, bool test_hidden) {
    const unsigned n = source ? source->count : 0;
    const bool all = proxy_of_source.size() != n;
    shown.clear();
    shown.reserve(n);
    for (const unsigned r : order) {
        const bool was = !all && proxy_of_source[r] >= 0;
        bool pass;
        if (all || (was ? test_shown : test_hidden))
            pass = accepts(r);
        else
            pass = was;
        if (pass)
            shown.push_back(r);
    }
    shown.shrink_to_fit();
    proxy_of_source.assign(n, -1);
    for (size_t i = 0; i < shown.size(); ++i)
        proxy_of_source[shown[i]] = int(i);
}

void Devices_proxy::setFilterFixedString(const QString& text) {
    if (text == needle)
        return;
    // A text that contains the old one can only hide rows, one contained in it only reveal.
    const bool narrower = text.contains(needle, Qt::CaseInsensitive);
    const bool wider = needle.contains(text, Qt::CaseInsensitive);
    needle = text;
    prepare_filter();
    begin_layout_change();
    filter_rows(!wider, !narrower);
    end_layout_change();
}

void Devices_proxy::setFilterKeyColumn(int column) {
    if (column == key_column)
        return;
    key_column = column;
    if (needle.isEmpty())
        return;
    begin_layout_change();
    filter_rows(true, true);
    end_layout_change();
}

// ---------------------------------------------------------------------------------------------
// Sort

void Devices_proxy::sort(int column, Qt::SortOrder sort_order_) {
    // The view asks twice for every click on a header; the rows stay sorted in between.
    if (column == sort_column && sort_order_ == sort_order)
        return;
    sort_column = column;
    sort_order = sort_order_;
    begin_layout_change();
    sort_all();
    filter_rows(false, false);
    end_layout_change();
}

namespace {

struct Keyed {
    uint64_t key;
    unsigned row;
};

// A text's sort key: twelve UTF-16 units from an offset, packed so that comparing the keys
// compares the units in order, and how many of the twelve the text has (the end of a text
// sorts before every unit, NUL included).
struct Text_key {
    uint64_t k[3];
    unsigned row;
    unsigned units;
};
constexpr int key_units = 12;

void fill_key(Text_key& key, const QString& s, int offset) {
    const ushort* u = s.utf16();
    const int n = s.size() - offset;
    key.units = unsigned(std::max(0, std::min(n, key_units)));
    for (int w = 0; w < 3; ++w) {
        uint64_t k = 0;
        for (int i = 0; i < 4; ++i) {
            const int at = w * 4 + i;
            k = (k << 16) | (at < n ? u[offset + at] : 0);
        }
        key.k[w] = k;
    }
}

// -1, 0, 1 as the twelve units (and the text's end) compare.
int compare_keys(const Text_key& a, const Text_key& b) {
    for (int w = 0; w < 3; ++w)
        if (a.k[w] != b.k[w])
            return a.k[w] < b.k[w] ? -1 : 1;
    return a.units == b.units ? 0 : a.units < b.units ? -1 : 1;
}

} // namespace

// The text of a cell as the view shows it, for the texts compared by sorting.
static const QString& sort_text(const Devices& d, unsigned row, int column) {
    static const QString none;
    if (column == d.notes_position)
        return d.rows[row].device->notes;
    const int value = d.value_of_column(column);
    const int cell = int(row) * d.value_count + value;
    return value >= 0 && cell < d.value_texts.size() ? d.value_texts[cell] : none;
}

// Sorting compares keys, not cell texts: the number of a server by its rank among the numbers
// as texts ("10" before "2", as the view shows them), the IMEI as a number (its 15 zero-padded
// digits sort the same way), a text by keys of its units (sort_texts). Equal keys keep the
// table order, in either direction, as a stable sort would.
void Devices_proxy::sort_all() {
    const unsigned n = source ? source->count : 0;
    order.resize(n);
    std::iota(order.begin(), order.end(), 0u);
    if (!source || sort_column < 0 || sort_column >= source->columnCount() || n < 2) {
        order.shrink_to_fit();
        return;
    }
    const bool descending = sort_order == Qt::DescendingOrder;
    auto before = [descending](const Keyed& a, const Keyed& b) {
        if (a.key != b.key)
            return descending ? a.key > b.key : a.key < b.key;
        return a.row < b.row;
    };
    std::vector<Keyed> items(n);
    const Device_row* rows = source->rows;
    if (sort_column == Devices::col_server || sort_column == Devices::col_imei) {
        std::vector<uint64_t> rank;
        if (sort_column == Devices::col_server) {
            const unsigned short servers = source->collection->servers.count;
            std::vector<unsigned short> by_text(servers);
            std::iota(by_text.begin(), by_text.end(), 0);
            std::sort(by_text.begin(), by_text.end(), [](unsigned short a, unsigned short b) {
                return server_number_text(a) < server_number_text(b);
            });
            rank.assign(65536, 0);
            for (unsigned short i = 0; i < servers; ++i)
                rank[by_text[i]] = i;
        }
        if (sort_column == Devices::col_imei) {
            for (unsigned i = 0; i < n; ++i)
                items[i] = {rows[i].device->imei, i};
            std::sort(items.begin(), items.end(), before);
        } else {
            // A thousand devices share each number: the row joins the key, so that no two
            // keys are equal and the order within a number stays ascending either way.
            for (unsigned i = 0; i < n; ++i) {
                const uint64_t r = rank[rows[i].server];
                items[i] = {((descending ? 0xFFFF - r : r) << 32) | i, i};
            }
            std::sort(items.begin(), items.end(),
                      [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
        }
    } else {
        sort_texts(descending);
        return;
    }
    for (unsigned i = 0; i < n; ++i)
        order[i] = items[i].row;
}

// Texts sort by keys of twelve units held in one array; only runs of equal keys whose texts go
// on are read again, from the next offset. Each text is thus read a few times in all, instead
// of once per comparison, and the comparisons stay within the array.
void Devices_proxy::sort_texts(bool descending) {
    const Devices& d = *source;
    const int column = sort_column;
    const unsigned n = d.count;
    auto before = [descending](const Text_key& a, const Text_key& b) {
        const int c = compare_keys(a, b);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.row < b.row;
    };
    std::vector<Text_key> items(n);
    for (unsigned i = 0; i < n; ++i) {
        items[i].row = i;
        fill_key(items[i], sort_text(d, i, column), 0);
    }
    struct Run {
        size_t first, last;
        int offset;
    };
    std::vector<Run> runs{{0, n, 0}};
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        if (run.offset > 0) {
            for (size_t i = run.first; i < run.last; ++i) {
                // The rows of a run lie scattered in memory: fetch their texts ahead.
                if (i + 16 < run.last)
                    __builtin_prefetch(d.rows[items[i + 16].row].device);
                if (i + 8 < run.last)
                    __builtin_prefetch(sort_text(d, items[i + 8].row, column).constData());
                fill_key(items[i], sort_text(d, items[i].row, column), run.offset);
            }
        }
        std::sort(items.begin() + run.first, items.begin() + run.last, before);
        for (size_t i = run.first; i < run.last;) {
            size_t j = i + 1;
            while (j < run.last && compare_keys(items[j], items[i]) == 0)
                ++j;
            if (j - i > 1 && items[i].units == unsigned(key_units))
                runs.push_back({i, j, run.offset + key_units});
            i = j;
        }
    }
    for (unsigned i = 0; i < n; ++i)
        order[i] = items[i].row;
}

bool Devices_proxy::less(unsigned a, unsigned b) const {
    if (sort_column < 0 || sort_column >= source->columnCount())
        return a < b;
    const bool descending = sort_order == Qt::DescendingOrder;
    int c;
    if (sort_column == Devices::col_server) {
        c = QString::compare(server_number_text(source->rows[a].server),
                             server_number_text(source->rows[b].server));
    } else if (sort_column == Devices::col_imei) {
        const uint64_t x = source->rows[a].device->imei, y = source->rows[b].device->imei;
        c = x < y ? -1 : x > y ? 1 : 0;
    } else {
        c = QString::compare(sort_text(*source, a, sort_column),
                             sort_text(*source, b, sort_column));
    }
    if (c != 0)
        return descending ? c > 0 : c < 0;
    return a < b;
}

// ---------------------------------------------------------------------------------------------
// Layout changes keep the persistent indexes (the selection, the current cell) on their rows.

void Devices_proxy::begin_layout_change() {
    emit layoutAboutToBeChanged();
    saved_proxy = persistentIndexList();
    saved_source.clear();
    saved_column.clear();
    for (const QModelIndex& i : saved_proxy) {
        const bool valid = i.isValid() && size_t(i.row()) < shown.size();
        saved_source.push_back(valid ? int(shown[size_t(i.row())]) : -1);
        saved_column.push_back(i.column());
    }
    layout_changing = true;
}

void Devices_proxy::end_layout_change() {
    QModelIndexList to;
    to.reserve(saved_proxy.size());
    for (size_t i = 0; i < saved_source.size(); ++i) {
        const int s = saved_source[i];
        const int p = s >= 0 && size_t(s) < proxy_of_source.size() ? proxy_of_source[s] : -1;
        to.push_back(p >= 0 ? createIndex(p, saved_column[i]) : QModelIndex());
    }
    changePersistentIndexList(saved_proxy, to);
    saved_proxy.clear();
    saved_source.clear();
    saved_column.clear();
    layout_changing = false;
    emit layoutChanged();
}

void Devices_proxy::rebuild(bool resort) {
    begin_layout_change();
    if (resort)
        sort_all();
    filter_rows(true, true);
    end_layout_change();
}

// ---------------------------------------------------------------------------------------------
// Following the source

void Devices_proxy::on_data_changed(const QModelIndex& top_left, const QModelIndex& bottom_right,
                                    const QVector<int>& roles) {
    if (!top_left.isValid() || !bottom_right.isValid())
        return;
    const int first = top_left.row(), last = bottom_right.row();
    const int c0 = top_left.column(), c1 = bottom_right.column();
    const bool resort = sort_column >= c0 && sort_column <= c1;
    const bool refilter =
        !needle.isEmpty() && (key_column < 0 || (key_column >= c0 && key_column <= c1));
    if (!resort && !refilter) {
        // Nothing moves: the changed rows are announced where they are shown.
        if (last - first < 64) {
            for (int r = first; r <= last; ++r) {
                const int p = size_t(r) < proxy_of_source.size() ? proxy_of_source[r] : -1;
                if (p >= 0)
                    emit dataChanged(index(p, c0), index(p, c1), roles);
            }
        } else if (!shown.empty()) {
            emit dataChanged(index(0, c0), index(int(shown.size()) - 1, c1), roles);
        }
        return;
    }
    if (last - first >= 64 || size_t(last) >= order.size()) {
        rebuild(resort);
        return;
    }
    // A few rows: each is taken out of the order and put back where it now belongs.
    begin_layout_change();
    for (int r = first; r <= last; ++r) {
        const unsigned row = unsigned(r);
        if (resort) {
            order.erase(std::find(order.begin(), order.end(), row));
            order.insert(std::lower_bound(order.begin(), order.end(), row,
                                          [this](unsigned a, unsigned b) { return less(a, b); }),
                         row);
        }
        proxy_of_source[row] = accepts(row) ? 0 : -1;
    }
    filter_rows(false, false);
    end_layout_change();
}

void Devices_proxy::on_rows_about_to_change() {
    begin_layout_change();
}

void Devices_proxy::on_rows_inserted(const QModelIndex& parent, int first, int last) {
    if (parent.isValid())
        return;
    const unsigned n = unsigned(last - first + 1);
    const unsigned from = unsigned(first);
    for (unsigned& r : order)
        if (r >= from)
            r += n;
    for (int& s : saved_source)
        if (s >= first)
            s += int(n);
    proxy_of_source.insert(proxy_of_source.begin() + first, n, -1);
    for (unsigned row = from; row < from + n; ++row) {
        if (sort_column < 0)
            order.insert(order.begin() + row, row);
        else
            order.insert(std::lower_bound(order.begin(), order.end(), row,
                                          [this](unsigned a, unsigned b) { return less(a, b); }),
                         row);
        proxy_of_source[row] = accepts(row) ? 0 : -1;
    }
    filter_rows(false, false);
    end_layout_change();
}

void Devices_proxy::on_rows_removed(const QModelIndex& parent, int first, int last) {
    if (parent.isValid())
        return;
    const unsigned n = unsigned(last - first + 1);
    const unsigned from = unsigned(first), to = unsigned(last);
    order.erase(std::remove_if(order.begin(), order.end(),
                               [from, to](unsigned r) { return r >= from && r <= to; }),
                order.end());
    for (unsigned& r : order)
        if (r > to)
            r -= n;
    for (int& s : saved_source)
        s = s < first ? s : s > last ? s - int(n) : -1;
    if (size_t(last) < proxy_of_source.size())
        proxy_of_source.erase(proxy_of_source.begin() + first, proxy_of_source.begin() + last + 1);
    filter_rows(false, false);
    end_layout_change();
}

void Devices_proxy::on_rows_moved(const QModelIndex& parent, int first, int last,
                                  const QModelIndex& dest, int dest_row) {
    if (parent.isValid() || dest.isValid())
        return;
    const int n = last - first + 1;
    auto moved = [first, last, n, dest_row](int r) {
        if (dest_row > last) {
            if (r >= first && r <= last)
                return dest_row - n + (r - first);
            if (r > last && r < dest_row)
                return r - n;
        } else if (dest_row < first) {
            if (r >= first && r <= last)
                return dest_row + (r - first);
            if (r >= dest_row && r < first)
                return r + n;
        }
        return r;
    };
    for (int& s : saved_source)
        if (s >= 0)
            s = moved(s);
    // Equal keys are ordered by table row, which just changed: sort again.
    std::vector<int> pass(proxy_of_source.size(), -1);
    for (size_t r = 0; r < proxy_of_source.size(); ++r)
        pass[size_t(moved(int(r)))] = proxy_of_source[r];
    proxy_of_source.swap(pass);
    sort_all();
    filter_rows(false, false);
    end_layout_change();
}

void Devices_proxy::on_reset() {
    prepare_filter();
    proxy_of_source.clear();
    sort_all();
    filter_rows(true, true);
    endResetModel();
}

void Devices_proxy::on_columns_changed() {
    on_reset();
}

// ---------------------------------------------------------------------------------------------
// The model interface

QModelIndex Devices_proxy::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || size_t(row) >= shown.size() || column < 0 ||
        column >= columnCount())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex Devices_proxy::parent(const QModelIndex&) const {
    return QModelIndex();
}

int Devices_proxy::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown.size());
}

int Devices_proxy::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !source ? 0 : source->columnCount();
}

QModelIndex Devices_proxy::mapToSource(const QModelIndex& proxy_index) const {
    if (!source || !proxy_index.isValid() || proxy_index.model() != this ||
        size_t(proxy_index.row()) >= shown.size())
        return QModelIndex();
    return source->index(int(shown[size_t(proxy_index.row())]), proxy_index.column());
}

QModelIndex Devices_proxy::mapFromSource(const QModelIndex& source_index) const {
    if (!source || !source_index.isValid() || source_index.model() != source ||
        size_t(source_index.row()) >= proxy_of_source.size())
        return QModelIndex();
    const int p = proxy_of_source[size_t(source_index.row())];
    return p < 0 ? QModelIndex() : createIndex(p, source_index.column());
}

Qt::ItemFlags Devices_proxy::flags(const QModelIndex& index) const {
    const QModelIndex s = mapToSource(index);
    return s.isValid() ? source->flags(s) : Qt::NoItemFlags;
}

// The vertical header shows the table rows' numbers, as Qt's proxy does.
QVariant Devices_proxy::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!source)
        return QVariant();
    if (orientation == Qt::Vertical) {
        if (section < 0 || size_t(section) >= shown.size())
            return QVariant();
        return source->headerData(int(shown[size_t(section)]), orientation, role);
    }
    return source->headerData(section, orientation, role);
}
