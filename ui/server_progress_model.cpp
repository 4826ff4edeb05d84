#include "ui/server_progress_model.h"

#include "config/config.h"
#include "engine/rollout.h"
#include "foundation/err.h"

static Tr_with_hint header_server("dialog_exchange", "Сервер", "Адрес и порт сервера.");
static Tr_with_hint
    header_open("dialog_exchange", "Соединений",
                "Количество TCP-соединений с этим сервером в данный момент\n(устанавливаемых и "
                "установленных).");
static Tr_with_hint header_finished(
    "dialog_exchange", "Завершено",
    "Количество устройств этого сервера, работа с которыми завершена\n(успешно или неудачно).");
static Tr_with_hint header_failed(
    "dialog_exchange", "Неудачно",
    "Количество устройств этого сервера, последняя попытка работы с\nкоторыми завершилась "
    "неудачей.");

void server_progress_model_clear_translation() {
    header_server.clear();
    header_open.clear();
    header_finished.clear();
    header_failed.clear();
}

Server_progress_model::Server_progress_model(const Rollout& rollout, QObject* parent)
    : QAbstractTableModel(parent), rollout_(&rollout), rows(int(configuration.servers.count)) {}

int Server_progress_model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows;
}

int Server_progress_model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : column_count;
}

QVariant Server_progress_model::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows)
        return QVariant();
    const unsigned row = unsigned(index.row());
    if (role == Qt::TextAlignmentRole && index.column() != col_server)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case col_server: {
        // The server list belongs to the pass's thread while it runs, but address and port
        // are not written during a run.
        const Server* s = configuration.servers.rows[row].server;
        return QStringLiteral("%1:%2").arg(s->address).arg(s->port);
    }
    case col_open:
        // Kept by the pass's actors; between passes no connection is open.
        return rollout_->engine() ? configuration.servers.rows[row].server->open_connections.load(
                                        std::memory_order_relaxed)
                                  : 0u;
    case col_finished:
        return rollout_->server_finished(row);
    case col_failed:
        return rollout_->server_failed(row);
    default:
        return QVariant();
    }
}

QVariant Server_progress_model::headerData(int section, Qt::Orientation orientation,
                                           int role) const {
    if (orientation != Qt::Horizontal)
        return QVariant();
    Tr_with_hint* headers[column_count] = {&header_server, &header_open, &header_finished,
                                           &header_failed};
    if (section < 0 || section >= column_count)
        return QVariant();
    if (role == Qt::DisplayRole)
        return headers[section]->caption();
    if (role == Qt::ToolTipRole)
        return headers[section]->hint();
    return QVariant();
}

void Server_progress_model::refresh() {
    if (rows > 0)
        emit dataChanged(index(0, col_open), index(rows - 1, col_failed), {Qt::DisplayRole});
}
