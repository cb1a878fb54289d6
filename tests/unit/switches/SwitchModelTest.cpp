// Records, states, rebuilds, properties, grid placement and hit testing of the switch model.
#include "switchmodel/SwitchModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvik;

namespace {

std::vector<std::string> Breakers(int n) {
    std::vector<std::string> list;
    for (int i = 1; i <= n; ++i)
        list.push_back("Breaker " + std::to_string(i) + ",toggle," + std::to_string(i));
    return list;
}

// The main window's instance.
void MainWindowSetup(SwitchModel& m) {
    m.AssignSwitches(Breakers(8));
    m.SetSwitchesPerLine(8);
    m.SetRowFirst(true);
    m.SetDesignationOrientation(StVertical);
    m.SetHGap(24);
    m.SetVGap(20);
    m.SetIDSize(20);
    m.SetIDMove(0);
}

} // namespace

TEST(SwitchModel, EveryAddedStringRebuildsAndResetsStates) {
    SwitchModel m;
    int repaints = 0;
    m.SetRepaintRequest([&] { ++repaints; });
    m.Switches().Clear();
    EXPECT_EQ(m.GetNumberOfSwitches(), 0);
    const auto list = Breakers(3);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0) {
            m.Switch(0, true);
            ASSERT_EQ(m.GetSwitch(0), STATE_ON);
        }
        const int before = repaints;
        m.Switches().Add(list[i]);
        EXPECT_EQ(m.GetNumberOfSwitches(), i + 1);
        EXPECT_EQ(m.Records()[i].Id, i + 1);
        EXPECT_EQ(m.GetSwitch(0), STATE_UNDEFINED);
        EXPECT_GT(repaints, before);
    }
    // An edit, a deletion and an update block.
    m.Switch(1, false);
    m.Switches().Put(1, "Horn,redpush,9");
    EXPECT_EQ(m.Records()[1].Id, 9);
    EXPECT_EQ(m.GetSwitch(1), STATE_UNDEFINED);
    m.Switches().Delete(0);
    EXPECT_EQ(m.GetNumberOfSwitches(), 2);
    EXPECT_EQ(m.Records()[0].Designation, "Horn");
    m.Switches().BeginUpdate();
    m.Switches().Add("X,toggle,1");
    m.Switches().Add("Y,toggle,2");
    EXPECT_EQ(m.GetNumberOfSwitches(), 2);
    m.Switches().EndUpdate();
    EXPECT_EQ(m.GetNumberOfSwitches(), 4);
}

TEST(SwitchModel, SwitchSetsOnlyOnOrOffAndIgnoresOutOfRange) {
    SwitchModel m;
    m.AssignSwitches(Breakers(3));
    EXPECT_TRUE(m.Switch(2, true));
    EXPECT_EQ(m.GetSwitch(2), STATE_ON);
    EXPECT_FALSE(m.Switch(2, true)); // no change
    EXPECT_TRUE(m.Switch(2, false));
    EXPECT_EQ(m.GetSwitch(2), STATE_OFF);
    EXPECT_FALSE(m.Switch(3, true));
    EXPECT_EQ(m.GetSwitch(3), STATE_UNDEFINED);
    EXPECT_EQ(m.GetSwitch(65535), STATE_UNDEFINED);
    // The data pointer reads the records in place.
    TSwitchRecord* r = m.GetStatusDataPointer();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r[2].State, STATE_OFF);
    EXPECT_EQ(r[1].Designation, "Breaker 2");
}

TEST(SwitchModel, SettersStoreOnlyChanges) {
    SwitchModel m;
    int repaints = 0;
    m.SetRepaintRequest([&] { ++repaints; });
    m.SetHGap(30);
    m.SetVGap(20);
    m.SetIDSize(30);
    m.SetIDMove(0);
    m.SetSwitchesPerLine(2);
    m.SetRowFirst(true);
    m.SetSmallSwitches(false);
    m.SetDesignationOrientation(StHorizontal);
    EXPECT_EQ(repaints, 0);
    m.SetHGap(1);
    m.SetVGap(2);
    m.SetIDSize(3);
    m.SetIDMove(4);
    m.SetSwitchesPerLine(5);
    m.SetRowFirst(false);
    m.SetDesignationOrientation(StVertical);
    EXPECT_EQ(repaints, 7);
    m.SetSmallSwitches(true);
    EXPECT_EQ(repaints, 8);
    EXPECT_EQ(m.SwitchWidth(), 16);
    EXPECT_EQ(m.SwitchHeight(), 32);
    m.SetCtrlClick(true);
    EXPECT_EQ(repaints, 8);
    EXPECT_TRUE(m.CtrlClick());
}

TEST(SwitchModel, ReplacementIsDroppedWhileBusy) {
    SwitchModel m;
    m.SetBusy(true);
    m.AssignSwitches(Breakers(5));
    m.Switches().Add("Extra,toggle,9");
    EXPECT_EQ(m.GetNumberOfSwitches(), 2);
    m.SetBusy(false);
    m.AssignSwitches(Breakers(5));
    EXPECT_EQ(m.GetNumberOfSwitches(), 5);
}

TEST(SwitchModel, ReportMayChangeTheListSafely) {
    // The report runs a message box in the program, in which anything may happen.
    SwitchModel m;
    int reports = 0;
    m.SetReporter([&](const std::string&) {
        if (++reports == 1)
            m.Switches().Add("Later,toggle,7");
    });
    m.Switches().Add("Bad,toggle,0");
    EXPECT_EQ(reports, 2); // the nested rebuild meets the same bad entry
    EXPECT_EQ(m.GetNumberOfSwitches(), 4);
    EXPECT_EQ(m.Records().size(), 4u);
    EXPECT_FALSE(m.Parsed());
}

TEST(SwitchModel, AtMost65535Switches) {
    SwitchModel m;
    std::vector<std::string> list(65536, "B,toggle,1");
    m.AssignSwitches(list);
    EXPECT_EQ(m.GetNumberOfSwitches(), 65535);
    EXPECT_EQ(m.Records().size(), 65535u);
    EXPECT_TRUE(m.Parsed());
    EXPECT_TRUE(m.Switch(65534, true));
}

TEST(SwitchGrid, WalksRowsOrColumnsFirst) {
    SwitchModel m;
    m.AssignSwitches(Breakers(5));
    m.SetSwitchesPerLine(2);
    m.SetRowFirst(false);
    const GridPos columnFirst[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}};
    for (std::uint32_t k = 0; k < 5; ++k)
        EXPECT_EQ(m.GridPosition(k), columnFirst[k]) << k;
    m.SetRowFirst(true);
    const GridPos rowFirst[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}};
    for (std::uint32_t k = 0; k < 5; ++k)
        EXPECT_EQ(m.GridPosition(k), rowFirst[k]) << k;
    // Cells: left margin HGap, no top margin, small cells with the same formulas.
    m.SetHGap(10);
    m.SetVGap(7);
    EXPECT_EQ(m.CellOrigin(3), (Point64{10 + 42, 71}));
    m.SetSmallSwitches(true);
    EXPECT_EQ(m.CellOrigin(3), (Point64{10 + 26, 39}));
    // A line of 0 switches counts as 1.
    m.SetSwitchesPerLine(0);
    EXPECT_EQ(m.GridPosition(0), (GridPos{0, 0}));
    EXPECT_EQ(m.GridPosition(4), (GridPos{0, 4}));
    m.SetRowFirst(false);
    EXPECT_EQ(m.GridPosition(4), (GridPos{4, 0}));
}

TEST(SwitchGrid, HitTestIsStrictAtTheLeftAndTopEdges) {
    SwitchModel m;
    MainWindowSetup(m);
    EXPECT_FALSE(m.HitTest(24, 10));
    EXPECT_EQ(m.HitTest(25, 10), 0);
    EXPECT_EQ(m.HitTest(55, 63), 0); // left + W - 1, top + H - 1
    EXPECT_FALSE(m.HitTest(56, 10));
    EXPECT_FALSE(m.HitTest(30, 0));
    EXPECT_FALSE(m.HitTest(30, 64));
    EXPECT_FALSE(m.HitTest(70, 30)); // gap
    EXPECT_EQ(m.HitTest(81, 1), 1);
    EXPECT_EQ(m.HitTest(447, 63), 7);
    EXPECT_FALSE(m.HitTest(-5, -5));
    // Second row of a wrapped grid.
    m.SetSwitchesPerLine(4);
    EXPECT_EQ(m.HitTest(25, 85), 4);
    EXPECT_FALSE(m.HitTest(25, 84));
}

TEST(SwitchGrid, PressCountsOnlyLeftButtonAndHonoursCtrlClick) {
    SwitchModel m;
    MainWindowSetup(m);
    EXPECT_EQ(m.Press(true, false, 30, 30), 0);
    EXPECT_EQ(m.Press(true, true, 30, 30), 0);
    EXPECT_FALSE(m.Press(false, false, 30, 30));
    m.SetCtrlClick(true);
    EXPECT_FALSE(m.Press(true, false, 30, 30));
    EXPECT_EQ(m.Press(true, true, 90, 30), 1);
    EXPECT_FALSE(m.Press(false, true, 30, 30));
}

TEST(SwitchGrid, KeysStepToTheNeighbouringCellAndStopAtTheEdges) {
    SwitchModel m;
    m.AssignSwitches(Breakers(5));
    m.SetSwitchesPerLine(2); // rows: 0 1 / 2 3 / 4
    EXPECT_EQ(m.Step(0, 1, 0), 1);
    EXPECT_EQ(m.Step(1, 1, 0), 1); // the right edge
    EXPECT_EQ(m.Step(1, 0, 1), 3);
    EXPECT_EQ(m.Step(3, 0, 1), 3);  // no switch below
    EXPECT_EQ(m.Step(2, -1, 0), 2); // the left edge
    EXPECT_EQ(m.Step(4, 0, -1), 2);
    m.SetRowFirst(false); // columns: 0 2 4 / 1 3
    EXPECT_EQ(m.Step(0, 1, 0), 2);
    EXPECT_EQ(m.Step(0, 0, 1), 1);
    EXPECT_EQ(m.Step(3, 1, 0), 3);
    EXPECT_EQ(m.Step(9, 1, 0), 9); // out of range stays
    EXPECT_TRUE(m.KeyPressCounts(false));
    m.SetCtrlClick(true);
    EXPECT_FALSE(m.KeyPressCounts(false));
    EXPECT_TRUE(m.KeyPressCounts(true));
}
