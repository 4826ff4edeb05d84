#pragma once
// The exchange window's compact view of a rollout per server: the server, its connections open
// now, its devices finished and failed so far. One row per server of the configuration; the window
// calls refresh() on the rollout's tick, and the view repaints only the rows it shows, so a
// thousand servers cost no more than ten.

#include <QAbstractTableModel>

class Rollout;

class Server_progress_model : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { col_server, col_open, col_finished, col_failed, column_count };

    Server_progress_model(const Rollout& rollout, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The counts changed: the view asks again.
    void refresh();

private:
    const Rollout* rollout_;
    int rows;
};

void server_progress_model_clear_translation();
