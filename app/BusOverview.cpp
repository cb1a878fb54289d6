#include "app/BusOverview.h"

#include <QHeaderView>
#include <QScreen>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace orvik;

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Two lines in the cell; one line with commas for a screen reader.
void SetCell(QTableWidgetItem* item, const std::string& first, const std::string& second,
             bool red) {
    item->setText(second.empty() ? Q(first) : Q(first + "\n" + second));
    item->setData(Qt::AccessibleTextRole, second.empty() ? Q(first) : Q(first + ", " + second));
    item->setBackground(red ? QBrush(QColor(COLOUR_RED.r, COLOUR_RED.g, COLOUR_RED.b)) : QBrush());
    item->setForeground(red ? QBrush(Qt::black) : QBrush());
}

} // namespace

BusOverview::BusOverview(const LinkState& link, std::function<void(int)> select, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link), select_(std::move(select)) {
    setObjectName("BusOverview");
    setWindowTitle("Bus overview");

    table_ = new QTableWidget(static_cast<int>(NODE_COUNT), COL_VOLTAGE + 1, this);
    table_->setObjectName("Nodes");
    table_->setAccessibleName("Orvik nodes");
    QStringList headers{"Node"};
    for (std::size_t b = 1; b <= BREAKER_COUNT; ++b)
        headers << QString("Breaker %1").arg(b);
    headers << "Input voltage";
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // No selection colour: it would hide the red of a fault. The keyboard's cell has its frame.
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setTabKeyNavigation(false);
    table_->setWordWrap(true);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int r = 0; r < table_->rowCount(); ++r)
        for (int c = 0; c < table_->columnCount(); ++c)
            table_->setItem(r, c, new QTableWidgetItem);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);

    connect(table_, &QTableWidget::cellClicked, this, [this](int row, int) { select_(row + 1); });
    // Enter (and a double click) on a cell.
    connect(table_, &QTableWidget::activated, this,
            [this](const QModelIndex& at) { select_(at.row() + 1); });
    auto* close = new QShortcut(QKeySequence::Cancel, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        shown_[n].node = 0; // none shown yet: the first refresh fills every cell
    Refresh();
    table_->setCurrentCell(0, COL_NODE);

    // Beside the main window, where the screen has room: right of it, else below it, else at
    // the screen's right edge, over the main window's right part but not its node strip.
    if (parent && parent->screen()) {
        const QRect room = parent->screen()->availableGeometry();
        const QRect main = parent->frameGeometry();
        if (main.right() + 8 + width() <= room.right())
            move(main.topRight() + QPoint(8, 0));
        else if (main.bottom() + 8 + height() <= room.bottom())
            move(main.bottomLeft() + QPoint(0, 8));
        else
            move(std::max(room.left(), room.right() - width()), main.top());
    }
}

void BusOverview::Refresh() {
    bool changed = false;
    for (const NodeGlance& g : GlanceAtBus(link_)) {
        if (!(g == shown_[static_cast<std::size_t>(g.node - 1)])) {
            ShowNode(g);
            changed = true;
        }
    }
    if (changed) {
        table_->resizeColumnsToContents();
        for (int c = 0; c < table_->columnCount(); ++c) // room beside the longest text
            table_->setColumnWidth(c, table_->columnWidth(c) + 8);
        table_->resizeRowsToContents();
        FitToTable();
    }
}

void BusOverview::ShowNode(const NodeGlance& g) {
    const int row = g.node - 1;
    SetCell(table_->item(row, COL_NODE), g.name, g.Fault() ? g.faults : g.state, g.Fault());
    QFont font = table_->font();
    font.setBold(g.node == selected_);
    table_->item(row, COL_NODE)->setFont(font);
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        const BreakerGlance& br = g.breakers[b];
        SetCell(table_->item(row, static_cast<int>(b) + 1), br.state, br.current, br.fault);
    }
    SetCell(table_->item(row, COL_VOLTAGE), g.voltage, "", false);
    shown_[static_cast<std::size_t>(row)] = g;
}

void BusOverview::ShowSelected(int node) {
    if (node == selected_)
        return;
    const int before = selected_;
    selected_ = node;
    for (int n : {before, node}) {
        if (n < 1 || n > static_cast<int>(NODE_COUNT))
            continue;
        QFont font = table_->font();
        font.setBold(n == selected_);
        table_->item(n - 1, COL_NODE)->setFont(font);
    }
}

void BusOverview::showEvent(QShowEvent* event) {
    Refresh();
    QWidget::showEvent(event);
}

// The window holds the whole table and grows with its texts, never shrinks while shown.
void BusOverview::FitToTable() {
    int w = 2 * table_->frameWidth();
    for (int c = 0; c < table_->columnCount(); ++c)
        w += table_->columnWidth(c);
    int h = 2 * table_->frameWidth() + table_->horizontalHeader()->sizeHint().height();
    for (int r = 0; r < table_->rowCount(); ++r)
        h += table_->rowHeight(r);
    table_->setMinimumSize(w, h);
    const QSize need = sizeHint().expandedTo(size());
    if (need != size())
        resize(need);
}
