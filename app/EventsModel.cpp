#include "app/EventsModel.h"

#include "link/history/HistoryCsv.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include <algorithm>

using namespace orvik;

EventsModel::EventsModel(const BusHistory& history, QObject* parent)
    : QAbstractTableModel(parent), history_(history) {
    Refresh();
}

bool EventsModel::Passes(const BusEvent& e) const {
    return EventOfNode(e, node_) && (!group_ || GroupOf(e.kind) == *group_);
}

void EventsModel::SetFilter(int node, std::optional<EventGroup> group) {
    beginResetModel();
    node_ = node;
    group_ = group;
    rows_.clear();
    scanned_ = 0;
    endResetModel();
    Refresh();
}

void EventsModel::Refresh() {
    const BusEventLog& log = history_.Events();
    // Events the log let go of.
    const auto gone = std::lower_bound(rows_.begin(), rows_.end(), log.FirstSeq()) - rows_.begin();
    if (gone > 0) {
        beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + gone);
        endRemoveRows();
    }
    if (log.NextSeq() < scanned_) { // the history was cleared
        beginResetModel();
        rows_.clear();
        scanned_ = 0;
        endResetModel();
    }
    std::vector<std::uint64_t> added;
    for (std::uint64_t s = std::max(scanned_, log.FirstSeq()); s < log.NextSeq(); ++s)
        if (const BusEvent* e = log.Find(s); e && Passes(*e))
            added.push_back(s);
    scanned_ = log.NextSeq();
    if (added.empty())
        return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    rows_.insert(rows_.end(), added.begin(), added.end());
    endInsertRows();
}

const BusEvent* EventsModel::EventAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return nullptr;
    return history_.Events().Find(rows_[static_cast<std::size_t>(row)]);
}

int EventsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int EventsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

namespace {

QString Field(const BusEvent& e, int column) {
    switch (column) {
    case EventsModel::ColTime:
        return QDateTime::fromMSecsSinceEpoch(e.timeMs).toString("yyyy-MM-dd HH:mm:ss.zzz");
    case EventsModel::ColNode:
        return e.node ? QString("Orvik node %1").arg(e.node) : QString("the line");
    case EventsModel::ColBreaker:
        return e.breaker ? QString::number(e.breaker) : QString();
    default:
        return QString::fromStdString(EventText(e));
    }
}

} // namespace

QVariant EventsModel::data(const QModelIndex& index, int role) const {
    const BusEvent* e = EventAt(index.row());
    if (!e)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return Field(*e, index.column());
    if (role == Qt::ForegroundRole && e->kind == EventKind::Fault)
        return QBrush(QColor(200, 0, 0));
    return {};
}

QVariant EventsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* names[ColumnCount] = {"Time", "Node", "Breaker", "Event"};
    return names[section];
}

QString EventsModel::RowsText(const QList<int>& rows) const {
    QStringList lines;
    for (int row : rows)
        if (const BusEvent* e = EventAt(row)) {
            QStringList fields;
            for (int c = 0; c < ColumnCount; ++c)
                fields << Field(*e, c);
            lines << fields.join('\t');
        }
    return lines.join('\n');
}
