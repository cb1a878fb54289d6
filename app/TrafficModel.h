// The rows of the bus monitor: a table over the frame log's ring, filtered by direction, node
// and kind. It keeps only record numbers; texts are made for the rows that are shown.
#pragma once

#include "link/protocol/FrameDecode.h"
#include "link/protocol/FrameLog.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <deque>

class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColTime, ColDirection, ColNode, ColSummary, ColOutcome, ColHex, ColumnCount };
    // What the kind filter offers, in its order.
    enum class Kind { All, Status, SetupReplies, Commands, DroppedOrIgnored, Noise };

    struct Filter {
        int direction = 0; // 0 both, else a Direction value
        int node = 0;      // 0 all; status frames concern every node
        Kind kind = Kind::All;
    };

    explicit TrafficModel(const orvik::FrameLog& log, QObject* parent = nullptr);

    void SetFilter(const Filter& filter);
    // Takes in the records that came since the last call and lets go of those the ring has
    // overwritten. Returns the number of rows added.
    int Refresh();
    // The record behind a row, or nullptr when the ring has overwritten it meanwhile.
    const orvik::FrameRecord* RecordAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool Passes(const orvik::FrameRecord& r) const;

    const orvik::FrameLog& log_;
    Filter filter_;
    std::deque<std::uint64_t> rows_; // record numbers, oldest first
    std::uint64_t scanned_ = 0;      // records below this number have been looked at
};
