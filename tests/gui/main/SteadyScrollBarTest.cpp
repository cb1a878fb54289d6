#include "app/SteadyScrollBar.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

QImage Picture(QScrollBar& bar, int maximum, int value) {
    bar.setRange(0, maximum);
    bar.setValue(value);
    return bar.grab().toImage();
}

// The bar of a view that follows its newest rows: the range grows at every refresh. The
// picture is always the plain bar's, and the style draws it again only when it changes.
TEST(SteadyScrollBar, DrawsAgainOnlyWhenThePictureChanges) {
    SteadyScrollBar steady(Qt::Vertical);
    QScrollBar plain(Qt::Vertical);
    for (QScrollBar* bar : {static_cast<QScrollBar*>(&steady), &plain}) {
        bar->setPageStep(15);
        bar->resize(16, 300);
    }
    // The handle shrinks while the rows are few, then stays at its smallest, at the end.
    int drawn = steady.Drawn();
    for (int rows = 20; rows <= 2000; rows += 14) {
        const QImage picture = Picture(steady, rows, rows);
        ASSERT_EQ(picture, Picture(plain, rows, rows)) << rows << " rows";
        if (rows > 1000) {
            EXPECT_EQ(steady.Drawn(), drawn) << rows << " rows";
        }
        drawn = steady.Drawn();
    }
    // Off the end, the handle moves and the end arrow shows it.
    EXPECT_EQ(Picture(steady, 2000, 1990), Picture(plain, 2000, 1990));
    EXPECT_EQ(steady.Drawn(), drawn + 1);
    EXPECT_EQ(Picture(steady, 2000, 0), Picture(plain, 2000, 0));
    // Another size or state is drawn afresh.
    steady.resize(16, 200);
    plain.resize(16, 200);
    EXPECT_EQ(Picture(steady, 2000, 0), Picture(plain, 2000, 0));
    steady.setEnabled(false);
    plain.setEnabled(false);
    EXPECT_EQ(Picture(steady, 2000, 0), Picture(plain, 2000, 0));
}

} // namespace
