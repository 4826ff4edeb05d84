#include "ui/table_servers.h"

#include "config/config.h"
#include "ui/interface.h"
#include "ui/table_common.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>

// Debug codes of the server view (source 15).
enum Table_servers_code : unsigned short {
    code_no_selection_model = 3841,
    code_rows_mixed, // the selection spans more than one row
    code_selected_negative,
    code_selected_past_end,
    code_clicked_invalid,
    code_clicked_past_end,
    code_column_hint = 3849,
    code_connect_copy_table,
    code_connect_copy_row,
    code_connect_copy_cell,
    code_copy_row, // the remembered row is not in the table
    code_copy_cell_model,
    code_copy_cell_index,
    code_copy_cell_not_text,
};

static Tr errtext_server_not_selected(
    "table_servers", "Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке серверов "
                     "(например, щёлкнуть её левой кнопкой мыши).");
static Tr errtext_server_description(
    "clipboard", "Из-за неожиданных ошибок (см. файл журнала) не удалось сформировать описание "
                 "сервера для выдачи в системный буфер.");

void table_servers_clear_translation() {
    errtext_server_not_selected.clear();
    errtext_server_description.clear();
}

Table_servers::Table_servers(Collection& collection, QWidget* parent)
    : Copy_menu_view(parent), collection(collection) {
    setup_table(*this);
    setModel(&collection.servers);
    const int w = w_dec_small;
    const int pad = column_pad();
    column_hints[Servers::col_address] = pad + 30 * w;
    column_hints[Servers::col_port] = pad + 5 * w;
    column_hints[Servers::col_notes] = pad + 32 * w;
    resizeColumnsToContents();
}

Table_servers::~Table_servers() {
    delete menu;
}

void Table_servers::create_contents() {
    setModel(&collection.servers);
}

unsigned short Table_servers::selected_row() const {
    const QItemSelectionModel* selection = selectionModel();
    if (!selection)
        throw Debug(code_no_selection_model);
    const QModelIndexList indexes = selection->selectedIndexes();
    if (indexes.isEmpty())
        throw Err(errtext_server_not_selected.tr());
    const int row = indexes.front().row();
    for (const QModelIndex& i : indexes)
        if (i.row() != row)
            throw Debug(code_rows_mixed);
    if (row < 0)
        throw Debug(code_selected_negative);
    if (row >= collection.servers.count)
        throw Debug(code_selected_past_end);
    return static_cast<unsigned short>(row);
}

unsigned short Table_servers::clicked_row(const QModelIndex& index) const {
    if (!index.isValid())
        throw Debug(code_clicked_invalid);
    if (index.row() >= collection.servers.count)
        throw Debug(code_clicked_past_end);
    return static_cast<unsigned short>(index.row());
}

int Table_servers::sizeHintForColumn(int column) const {
    if (column < 0 || column >= Servers::column_count) {
        log_debug(code_column_hint);
        return -1;
    }
    return column_hints[column];
}

QSize Table_servers::sizeHint() const {
    return QSize(2 * frameWidth() + verticalScrollBar()->sizeHint().width() +
                     horizontalHeader()->length(),
                 6 * module_h);
}

void Table_servers::contextMenuEvent(QContextMenuEvent* event) {
    open_copy_menu(event, caption_copy_table.tr(),
                   {code_connect_copy_table, code_connect_copy_row, code_connect_copy_cell});
}

void Table_servers::on_table_to_clipboard_triggered() {
    QString text;
    text += caption_clip_address.tr();
    text += QLatin1Char('\t');
    text += caption_clip_port.tr();
    text += QLatin1Char('\t');
    text += caption_clip_notes.tr();
    text += QLatin1String(clip_eol());
    for (unsigned short i = 0; i < collection.servers.count; ++i) {
        const QString line = collection.server_description(i);
        if (line.isEmpty()) {
            show_error(errtext_server_description.tr(), this);
            return;
        }
        text += line;
        text += QLatin1String(clip_eol());
    }
    QGuiApplication::clipboard()->setText(text);
}

void Table_servers::on_row_to_clipboard_triggered() {
    if (menu_row < 0 || menu_row >= collection.servers.count) {
        show_debug(code_copy_row, this);
        return;
    }
    const QString line = collection.server_description(static_cast<unsigned short>(menu_row));
    if (line.isEmpty()) {
        show_error(errtext_server_description.tr(), this);
        return;
    }
    QGuiApplication::clipboard()->setText(line);
}

void Table_servers::on_cell_to_clipboard_triggered() {
    const QAbstractItemModel* m = model();
    if (!m) {
        show_debug(code_copy_cell_model, this);
        return;
    }
    const QModelIndex index = m->index(menu_row, menu_column);
    if (!index.isValid()) {
        show_debug(code_copy_cell_index, this);
        return;
    }
    const QVariant value = index.data(Qt::DisplayRole);
    if (value.userType() != QMetaType::QString) {
        show_debug(code_copy_cell_not_text, this);
        return;
    }
    QGuiApplication::clipboard()->setText(value.toString());
}
