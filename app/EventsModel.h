// The events table of the History window: time, node, breaker, event, over a history's event
// log, filtered by node and by kind. It keeps only event numbers; texts are made for the rows
// shown.
#pragma once

#include "link/history/BusHistory.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <optional>
#include <vector>

class EventsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColTime, ColNode, ColBreaker, ColEvent, ColumnCount };

    explicit EventsModel(const orvik::BusHistory& history, QObject* parent = nullptr);

    // Node 1..8 or 0 for all; a kind group, or none for all.
    void SetFilter(int node, std::optional<orvik::EventGroup> group);
    // Takes in the events that came since the last call and lets go of those the log dropped.
    void Refresh();
    const orvik::BusEvent* EventAt(int row) const;
    // The rows as text, a line each, fields separated by tabs.
    QString RowsText(const QList<int>& rows) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool Passes(const orvik::BusEvent& e) const;

    const orvik::BusHistory& history_;
    int node_ = 0;
    std::optional<orvik::EventGroup> group_;
    std::vector<std::uint64_t> rows_; // event numbers, oldest first
    std::uint64_t scanned_ = 0;
};
