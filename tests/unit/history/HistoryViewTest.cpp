// The History plot's view of ten minutes of node 1: following the clock, spans, zoom, panning
// and centring, on a clock the test moves.
#include "link/history/HistoryView.h"
#include "tests/unit/history/HistoryTestSupport.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

constexpr std::int64_t T0 = 1'740'000'000'000; // ms since 1970
constexpr std::int64_t MINUTE = 60'000;

class HistoryViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        history.AddStatus(T0, Record(0x01));
        history.AddStatus(T0 + 10 * MINUTE, Record(0x01));
    }
    std::int64_t Middle() const { return (view.From() + view.To()) / 2; }

    BusHistory history;
    std::int64_t now = T0 + 10 * MINUTE + 500;
    HistoryView view{history, [this] { return now; }};
};

TEST_F(HistoryViewTest, LiveFollowsTheClockAndARecordingEndsAfterItsLastFrame) {
    EXPECT_TRUE(view.Live());
    EXPECT_EQ(view.To(), now);
    now += 7000;
    EXPECT_EQ(view.To(), now);
    EXPECT_EQ(view.To() - view.From(), 10 * MINUTE);
    view.SetSpan(0);
    EXPECT_EQ(view.From(), T0); // everything: from the first frame

    HistoryView recording(history, {});
    EXPECT_EQ(recording.To(), T0 + 10 * MINUTE + 1);
    BusHistory empty;
    HistoryView nothing(empty, {});
    nothing.SetSpan(0);
    EXPECT_EQ(nothing.To() - nothing.From(), HistoryView::SHORTEST_SPAN_MS);
}

TEST_F(HistoryViewTest, ZoomAboutAPointKeepsItsTimeThereAndStaysWithinTheSpans) {
    // Live, too, the time under the point stays there, and the view leaves live; so does
    // everything shown.
    const std::int64_t live = view.Window().TimeAt(0.25);
    view.ZoomAbout(true, 0.25);
    EXPECT_FALSE(view.Live());
    EXPECT_NEAR(view.Window().TimeAt(0.25), live, 1);
    EXPECT_EQ(view.Span(), 8 * MINUTE);
    view.GoLive();
    view.SetSpan(0);
    const std::int64_t under = view.Window().TimeAt(0.25);
    view.ZoomAbout(true, 0.25);
    EXPECT_FALSE(view.Live());
    EXPECT_NEAR(view.Window().TimeAt(0.25), under, 1);
    view.ZoomAbout(false, 0.25);
    view.ZoomAbout(false, 0.25);
    EXPECT_NEAR(view.Window().FractionOf(under), 0.25, 1e-5);

    for (int i = 0; i < 40; ++i)
        view.ZoomAbout(true, 0.5);
    EXPECT_EQ(view.Span(), HistoryView::SHORTEST_SPAN_MS);
    for (int i = 0; i < 60; ++i)
        view.ZoomAbout(false, 0.5);
    EXPECT_EQ(view.Span(), HistoryView::LONGEST_SPAN_MS);
}

TEST_F(HistoryViewTest, ZoomWithoutAPointKeepsTheMiddleOrStaysLive) {
    view.Zoom(false);
    EXPECT_TRUE(view.Live());
    EXPECT_EQ(view.To(), now);
    EXPECT_EQ(view.Span(), 12 * MINUTE + 30'000);
    view.CentreOn(T0 + 3 * MINUTE);
    view.Zoom(true);
    EXPECT_NEAR(Middle(), T0 + 3 * MINUTE, 1);
}

TEST_F(HistoryViewTest, StepsAndDragsMoveTheViewAndLeaveLive) {
    view.Step(-1);
    EXPECT_FALSE(view.Live());
    EXPECT_EQ(view.To(), now - MINUTE);
    now += 5000; // out of live the clock no longer moves it
    view.Step(1);
    EXPECT_EQ(view.To(), now - 5000);

    // A drag to the right by a tenth of the columns shows a tenth of the span earlier; each
    // move counts from where the drag began.
    view.GoLive();
    view.StartDrag();
    view.DragBy(50, 1000);
    view.DragBy(100, 1000);
    EXPECT_FALSE(view.Live());
    EXPECT_EQ(view.To(), now - MINUTE);
    view.DragBy(0, 1000);
    EXPECT_EQ(view.To(), now);
}

TEST_F(HistoryViewTest, CentringAndSpansOutOfLiveKeepTheMiddle) {
    view.SetSpan(0);
    view.CentreOn(T0 + MINUTE);
    EXPECT_FALSE(view.Live());
    EXPECT_EQ(view.Span(), 10 * MINUTE + 500); // what everything covered
    EXPECT_EQ(Middle(), T0 + MINUTE);
    view.SetSpan(MINUTE);
    EXPECT_EQ(view.To() - view.From(), MINUTE);
    EXPECT_EQ(Middle(), T0 + MINUTE);
    view.GoLive();
    EXPECT_EQ(view.To(), now);
}

} // namespace
