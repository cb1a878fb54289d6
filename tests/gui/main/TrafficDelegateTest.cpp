#include "app/TrafficDelegate.h"

#include <QHeaderView>
#include <QImage>
#include <QStandardItemModel>
#include <QTableView>

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<QTableView> View(QStandardItemModel& model, bool ours) {
    auto view = std::make_unique<QTableView>();
    if (ours) {
        auto* delegate = new TrafficDelegate(view.get());
        view->setItemDelegate(delegate);
        delegate->TakeGrid(*view);
    }
    view->setModel(&model);
    view->setWordWrap(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    view->setColumnWidth(0, 90);
    view->setColumnWidth(1, 70);
    view->resize(420, 160);
    view->selectRow(1);
    return view;
}

// The monitor's cells and grid look exactly as the style and the view draw them: texts that fit
// and texts elided, a selected row, texts that look like markup, numbers, other alignments, and
// the same again from the kept layouts, at other widths and the grid from right to left.
TEST(TrafficDelegate, CellsLookAsTheStyleDrawsThem) {
    QString hex;
    for (int i = 0; i < 32; ++i)
        hex += QString("%1 ").arg((i * 37 + 0xD5) & 0xFF, 2, 16, QChar('0')).toUpper();
    const QStringList rows[] = {
        {"12:00:00.123", "from bus", hex.trimmed()},
        {"12:00:00.160", "to bus", "switch breaker 3 on: node 2"},
        {"12:00:00.196", "from bus", hex.left(47)},
        {"", "from bus", "<b>not markup</b> & more"},
        {"12:00:00.233", "from bus", "status: nodes 1, 2, 3, 4, 5, 6, 7, 8 present"},
    };
    QStandardItemModel model(5, 3);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 3; ++c)
            model.setData(model.index(r, c), rows[r][c]);
    model.setData(model.index(3, 0), 7); // a node number
    model.setData(model.index(3, 0), int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
    model.setData(model.index(4, 1), int(Qt::AlignCenter), Qt::TextAlignmentRole);
    const auto style = View(model, false);
    const auto ours = View(model, true);

    for (const int width : {420, 420, 300, 640}) {
        style->resize(width, 160);
        ours->resize(width, 160);
        EXPECT_EQ(ours->grab().toImage(), style->grab().toImage()) << "width " << width;
    }
    // The grid's lines sit on the other side of the cells from right to left (the texts are
    // left out: they are placed as from left to right).
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 3; ++c)
            model.setData(model.index(r, c), QString());
    style->setLayoutDirection(Qt::RightToLeft);
    ours->setLayoutDirection(Qt::RightToLeft);
    EXPECT_EQ(ours->grab().toImage(), style->grab().toImage()) << "right to left";
}

} // namespace
