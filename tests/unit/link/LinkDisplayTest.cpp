// What a status frame shows, what the timer blanks, and the texts behind both.
#include "link/protocol/StatusTexts.h"
#include "link/protocol/ValueTables.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvik;
using namespace orvik::test;

namespace {

// Node 3 present with breakers 1 and 8 on, breaker 2 faulted, and distinct values.
StatusRecord NodeThreeRecord() {
    StatusRecord r;
    r.SetNodePresent(0x05);
    r.SetBreakerOn(2, 0x81);
    r.SetBreakerFault(2, 0x02);
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
        r.SetCurrent(2, b, static_cast<std::uint16_t>(10 * b + 1));
    r.SetCurrent(1, 0, 999); // another node's entry
    r.SetInputVoltage(2, 138);
    r.SetDoublingOption(2, 3);
    r.SetPowerOnMask(2, 0x81);
    r.SetOptionFlags(2, 0x2E);
    r.SetWigwagInterval(2, 5);
    return r;
}

} // namespace

TEST(UpdateDisplay, ShowsTheSelectedNode) {
    Bench t;
    t.selected = 3;
    DisplayUpdate seen;
    t.link.SetDisplaySink([&](const DisplayUpdate& d) { seen = d; });
    t.Feed(StatusFrame(NodeThreeRecord()));

    const Rgb G = COLOUR_GREEN, R = COLOUR_RED;
    EXPECT_EQ(seen.NodeIndicator, (std::array<Rgb, 8>{G, R, G, R, R, R, R, R}));
    ASSERT_TRUE(seen.NodePresent);
    EXPECT_EQ(seen.SwitchOn,
              (std::array<bool, 8>{true, false, false, false, false, false, false, true}));
    EXPECT_EQ(seen.FaultIndicator, (std::array<Rgb, 8>{G, R, G, G, G, G, G, G}));
    EXPECT_EQ(seen.Current[0], "0.1");
    EXPECT_EQ(seen.Current[7], "7.1");
    EXPECT_EQ(seen.Edit9, "13.8");
    EXPECT_EQ(seen.Edit10, "1+2+3 are joined");
    EXPECT_EQ(seen.Edit11, "On Off Off Off Off Off Off On ");
    EXPECT_EQ(seen.Edit12, "Programmable");
    EXPECT_EQ(seen.Edit13, "Wigwag is steady");
    EXPECT_TRUE(seen.Edit14Changed);
    EXPECT_EQ(seen.Edit14, "Flasher on breaker 5");
    EXPECT_EQ(seen.Edit15, "0.5 seconds");
    EXPECT_EQ(seen.Edit16, "Yes");

    EXPECT_EQ(t.link.DisplayTimeout, TIMEOUT_TICKS);
    EXPECT_EQ(t.link.CurPowerOnMask, 0x81);
    EXPECT_TRUE(t.link.ProfileProgrammable);
    EXPECT_EQ(t.link.CurWigwagMode, 2);
    EXPECT_EQ(t.link.CurFlasherMode, 1);
    EXPECT_EQ(t.link.CurDualLed, 1);
    EXPECT_EQ(t.link.CurWigwagInterval, 5);
}

TEST(UpdateDisplay, AnAbsentNodeLeavesItsDisplayAndCacheAlone) {
    Bench t;
    t.selected = 3;
    t.Feed(StatusFrame(NodeThreeRecord()));
    t.link.DisplayTimeout = 4;
    t.selected = 2;
    auto d = t.link.UpdateDisplay();
    EXPECT_FALSE(d.NodePresent);
    EXPECT_EQ(d.NodeIndicator[0], COLOUR_GREEN);
    EXPECT_EQ(d.NodeIndicator[1], COLOUR_RED);
    EXPECT_EQ(t.link.DisplayTimeout, 4);
    EXPECT_EQ(t.link.CurWigwagMode, 2);
    EXPECT_TRUE(t.link.ProfileProgrammable);
}

TEST(UpdateDisplay, FixedProfileAndNoOptions) {
    Bench t;
    t.link.CurWigwagMode = 3;
    t.link.ProfileProgrammable = true;
    StatusRecord r;
    r.SetNodePresent(0x01);
    r.SetFixedProfile(0, 2);
    t.link.StatusRecord = r;
    auto d = t.link.UpdateDisplay();
    EXPECT_EQ(d.Edit12, "Fixed 3");
    EXPECT_EQ(d.Edit13, "No wigwag enabled");
    EXPECT_EQ(d.Edit14, "No Flasher enabled");
    EXPECT_EQ(d.Edit16, "No");
    EXPECT_EQ(d.Edit9, "0.0");
    EXPECT_FALSE(t.link.ProfileProgrammable);
    EXPECT_EQ(t.link.CurWigwagMode, 0);

    r.SetOptionFlags(0, 0x1B); // flasher 3, wigwag 3
    r.SetFixedProfile(0, 255);
    t.link.StatusRecord = r;
    d = t.link.UpdateDisplay();
    EXPECT_FALSE(d.Edit14Changed);
    EXPECT_EQ(t.link.CurFlasherMode, 3);
    EXPECT_EQ(d.Edit13, "Wigwag is flashing");
    EXPECT_EQ(d.Edit12, "Fixed 256");
}

TEST(Timer1Timer, BlanksAfterTenTicksWithoutAFrame) {
    Bench t;
    StatusRecord r;
    r.SetNodePresent(0x01);
    r.SetWigwagInterval(0, 20);
    t.Feed(StatusFrame(r));
    for (int tick = 1; tick < 10; ++tick) {
        auto u = t.link.Timer1Timer();
        EXPECT_FALSE(u.BlankNodeIndicators || u.BlankNodeDisplay) << "tick " << tick;
    }
    auto u = t.link.Timer1Timer();
    EXPECT_TRUE(u.BlankNodeIndicators);
    EXPECT_TRUE(u.BlankNodeDisplay);
    u = t.link.Timer1Timer(); // counters stay at 0
    EXPECT_FALSE(u.BlankNodeIndicators || u.BlankNodeDisplay);
    EXPECT_EQ(t.link.NodeIndicatorTimeout, 0);
    EXPECT_EQ(t.link.CurWigwagInterval, 20); // cached values survive
}

TEST(Timer1Timer, FramesOfOtherTypesKeepOnlyTheIndicatorsAlive) {
    Bench t;
    StatusRecord r;
    r.SetNodePresent(0x01);
    t.Feed(StatusFrame(r));
    for (int tick = 0; tick < 5; ++tick)
        t.link.Timer1Timer();
    t.Feed(Frame(9, {1, 2, 3}));
    for (int tick = 0; tick < 4; ++tick)
        t.link.Timer1Timer();
    auto u = t.link.Timer1Timer();
    EXPECT_TRUE(u.BlankNodeDisplay);
    EXPECT_FALSE(u.BlankNodeIndicators);
    for (int tick = 0; tick < 4; ++tick)
        EXPECT_FALSE(t.link.Timer1Timer().BlankNodeIndicators);
    EXPECT_TRUE(t.link.Timer1Timer().BlankNodeIndicators);
}

TEST(StatusTexts, FormatTenths) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "0.0"},    {5, "0.5"},    {7, "0.7"},        {25, "2.5"},
        {100, "10.0"}, {123, "12.3"}, {65535, "6553.5"}, {4294967295u, "429496729.5"}};
    for (auto [value, text] : cases)
        EXPECT_EQ(FormatTenths(value), text);
}

TEST(StatusTexts, OptionTexts) {
    const char* joining[] = {"8 individual breakers",    "1+2 are joined",
                             "1+2 and 3+4 are joined",   "1+2+3 are joined",
                             "1+2+3 and 5+6 are joined", "Unknown option"};
    for (int i = 0; i < 6; ++i)
        EXPECT_STREQ(JoiningOptionText(static_cast<std::uint8_t>(i)), joining[i]);
    EXPECT_STREQ(JoiningOptionText(255), "Unknown option");

    const char* wigwag[] = {"No wigwag enabled", "Wigwag is off", "Wigwag is steady",
                            "Wigwag is flashing"};
    for (int i = 0; i < 4; ++i)
        EXPECT_STREQ(WigwagModeText(static_cast<std::uint8_t>(i)), wigwag[i]);

    EXPECT_STREQ(FlasherModeText(0), "No Flasher enabled");
    EXPECT_STREQ(FlasherModeText(1), "Flasher on breaker 5");
    EXPECT_STREQ(FlasherModeText(2), "Flasher on breakers 5 and 6");
    EXPECT_EQ(FlasherModeText(3), nullptr);
    EXPECT_STREQ(DualLedText(true), "Yes");
    EXPECT_STREQ(DualLedText(false), "No");

    ShortText text;
    PowerOnText(0x81, text);
    EXPECT_EQ(text, "On Off Off Off Off Off Off On ");
    PowerOnText(0x00, text);
    EXPECT_EQ(text, "Off Off Off Off Off Off Off Off ");
    PowerOnText(0x12, text);
    EXPECT_EQ(text, "Off On Off Off On Off Off Off ");
    ProfileText(0x00, 2, text);
    EXPECT_EQ(text, "Fixed 3");
    ProfileText(0xFB, 0, text);
    EXPECT_EQ(text, "Fixed 1");
    ProfileText(OPT_PROGRAMMABLE, 2, text);
    EXPECT_EQ(text, "Programmable");
}

TEST(StatusTexts, Messages) {
    EXPECT_EQ(FactoryDefaultsQuestion(4), "Set Orvik node 4 to factory default ?");
    EXPECT_EQ(ComDeviceName(2), "COM3");
    EXPECT_EQ(ComDeviceName(255), "COM256");
    EXPECT_EQ(PortUnavailableMessage(0),
              "The selected port COM1 is not available, please choose another if possible or "
              "free this port if it is in use by another application.");
}

// Each item text must name the value sent for it.
TEST(ValueTables, ItemTextsMatchTheirValues) {
    for (std::size_t i = 0; i < TripCurrentTable.size(); ++i)
        EXPECT_EQ(TripCurrentItems[i], FormatTenths(TripCurrentTable[i]) + "A");
    for (std::size_t i = 0; i < TripTimeTable.size(); ++i) {
        std::uint8_t v = TripTimeTable[i];
        std::string expected = v < 100 ? FormatTenths(v) : std::to_string(v / 10);
        EXPECT_EQ(TripTimeItems[i], expected + " seconds");
    }
    EXPECT_STREQ(WigwagIntervalItems[0], "Never flash");
    EXPECT_EQ(WigwagIntervalTable[0], 0);
    for (std::size_t i = 1; i < WigwagIntervalTable.size(); ++i)
        EXPECT_EQ(WigwagIntervalItems[i], FormatTenths(WigwagIntervalTable[i]) + " seconds");
}
