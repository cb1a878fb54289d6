#include "app/TrafficModel.h"

#include <QDateTime>

using namespace orvik;

namespace {

constexpr std::size_t HEX_BYTES_SHOWN = 32; // the rest is in the details

bool Dropped(FrameOutcome o) {
    return o != FrameOutcome::Accepted && o != FrameOutcome::Sent && o != FrameOutcome::Noise;
}

} // namespace

TrafficModel::TrafficModel(const FrameLog& log, QObject* parent)
    : QAbstractTableModel(parent), log_(log), scanned_(log.FirstSeq()) {
    Refresh();
}

bool TrafficModel::Passes(const FrameRecord& r) const {
    if (filter_.direction != 0 && static_cast<int>(r.direction) != filter_.direction)
        return false;
    const FrameKind kind = KindOf(r);
    if (filter_.node != 0 && kind != FrameKind::Status && NodeOf(r) != filter_.node)
        return false;
    switch (filter_.kind) {
    case Kind::All:
        return true;
    case Kind::Status:
        return kind == FrameKind::Status;
    case Kind::SetupReplies:
        return kind == FrameKind::SetupReply;
    case Kind::Commands:
        return kind == FrameKind::Command;
    case Kind::DroppedOrIgnored:
        return Dropped(r.outcome);
    case Kind::Noise:
        return kind == FrameKind::Noise;
    }
    return true;
}

void TrafficModel::SetFilter(const Filter& filter) {
    beginResetModel();
    filter_ = filter;
    rows_.clear();
    scanned_ = log_.FirstSeq();
    for (; scanned_ < log_.NextSeq(); ++scanned_)
        if (Passes(*log_.Find(scanned_)))
            rows_.push_back(scanned_);
    endResetModel();
}

int TrafficModel::Refresh() {
    const std::uint64_t first = log_.FirstSeq();
    std::size_t gone = 0;
    while (gone < rows_.size() && rows_[gone] < first)
        ++gone;
    if (gone == rows_.size() && gone > 0) {
        beginResetModel(); // all overwritten, or the log was cleared
        rows_.clear();
        endResetModel();
    } else if (gone > 0) {
        beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + static_cast<long>(gone));
        endRemoveRows();
    }
    scanned_ = std::max(scanned_, first);
    std::deque<std::uint64_t> fresh;
    for (; scanned_ < log_.NextSeq(); ++scanned_)
        if (Passes(*log_.Find(scanned_)))
            fresh.push_back(scanned_);
    if (fresh.empty())
        return 0;
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at + static_cast<int>(fresh.size()) - 1);
    rows_.insert(rows_.end(), fresh.begin(), fresh.end());
    endInsertRows();
    return static_cast<int>(fresh.size());
}

const FrameRecord* TrafficModel::RecordAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return nullptr;
    return log_.Find(rows_[static_cast<std::size_t>(row)]);
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const FrameRecord* r = RecordAt(index.row());
    if (!r)
        return index.column() == ColSummary ? QVariant("(overwritten)") : QVariant();
    switch (index.column()) {
    case ColTime: {
        const qint64 ms = (log_.WallStartNs() + r->timeNs) / 1'000'000;
        return QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm:ss.zzz");
    }
    case ColDirection:
        return r->direction == Direction::Inbound ? "from bus" : "to bus";
    case ColNode: {
        const int node = NodeOf(*r);
        return node ? QVariant(node) : QVariant();
    }
    case ColSummary:
        return QString::fromStdString(DecodeFrame(*r).summary);
    case ColOutcome:
        return OutcomeText(r->outcome);
    case ColHex:
        return QString::fromStdString(HexText(
            r->bytes.data(), r->length, role == Qt::ToolTipRole ? r->length : HEX_BYTES_SHOWN));
    }
    return {};
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    static const char* titles[ColumnCount] = {"Time",    "Direction", "Node",
                                              "Summary", "Outcome",   "Hex"};
    return section >= 0 && section < ColumnCount ? titles[section] : QVariant();
}
