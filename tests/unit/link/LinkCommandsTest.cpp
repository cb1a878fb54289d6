// The main-window commands: the value each one sends and what it steps.
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

// Command code and payload of each frame written, after checking the frame is whole.
std::vector<Bytes> Commands(const FakePort& port) {
    std::vector<Bytes> out;
    for (const auto& f : port.written) {
        EXPECT_GE(f.size(), 7u);
        EXPECT_EQ(f.size(), f[3] + 6u);
        Bytes check(f.begin() + 2, f.end() - 2);
        check.resize(check.size() + 2);
        AddChecksums(check.data(), static_cast<std::uint16_t>(f.size() - 4));
        EXPECT_TRUE(std::equal(check.begin(), check.end(), f.begin() + 2));
        Bytes cmd = {f[2]};
        cmd.insert(cmd.end(), f.begin() + 5, f.end() - 2);
        out.push_back(cmd);
    }
    return out;
}

} // namespace

TEST(Commands, BreakerSwitchAsksForTheOppositeOfWhatItShows) {
    Bench t;
    t.selected = 3;
    EXPECT_TRUE(t.link.SwitchArray1Switch(2, 2)); // on -> off
    EXPECT_TRUE(t.link.SwitchArray1Switch(2, 1)); // off -> on
    EXPECT_TRUE(t.link.SwitchArray1Switch(4, 0)); // no state -> on
    EXPECT_FALSE(t.link.SwitchArray1Switch(8, 1));
    EXPECT_FALSE(t.link.SwitchArray1Switch(-1, 1));
    EXPECT_EQ(Commands(t.port), (std::vector<Bytes>{{CMD_SWITCH_BREAKER, 2, 0},
                                                    {CMD_SWITCH_BREAKER, 2, 1},
                                                    {CMD_SWITCH_BREAKER, 4, 1}}));
    EXPECT_EQ(t.port.written[2], (Bytes{0xD5, 0x82, 0x06, 0x03, 0x02, 0x04, 0x01, 0x10, 0x02}));
}

TEST(Commands, DoublingNeedsTheProgrammableProfile) {
    Bench t;
    t.selected = 2;
    t.link.StatusRecord.SetDoublingOption(1, 1);
    EXPECT_FALSE(t.link.Button1Click());
    EXPECT_TRUE(t.port.written.empty());

    t.link.ProfileProgrammable = true;
    const std::pair<std::uint8_t, std::uint8_t> steps[] = {
        {0, 1}, {3, 4}, {4, 0}, {7, 0}, {255, 0}};
    for (auto [option, sent] : steps) {
        t.link.StatusRecord.SetDoublingOption(1, option);
        EXPECT_TRUE(t.link.Button1Click());
        EXPECT_EQ(Commands(t.port).back(), (Bytes{CMD_DOUBLING, sent})) << int(option);
    }
    // Read from the record: a second click before the next status frame sends the same.
    t.link.StatusRecord.SetDoublingOption(1, 2);
    t.link.Button1Click();
    t.link.Button1Click();
    auto sent = Commands(t.port);
    EXPECT_EQ(sent[sent.size() - 2], (Bytes{CMD_DOUBLING, 3}));
    EXPECT_EQ(sent.back(), (Bytes{CMD_DOUBLING, 3}));
    EXPECT_EQ(t.port.written.back()[4], 1); // node 2
}

TEST(Commands, WigwagModeStepsTheCachedValue) {
    Bench t;
    t.link.CurWigwagMode = 3;
    for (int i = 0; i < 3; ++i)
        t.link.Button6Click();
    EXPECT_EQ(
        Commands(t.port),
        (std::vector<Bytes>{{CMD_WIGWAG_MODE, 0}, {CMD_WIGWAG_MODE, 1}, {CMD_WIGWAG_MODE, 2}}));
    EXPECT_EQ(t.link.CurWigwagMode, 3);
    t.link.CurWigwagMode = 0;
    t.link.Button6Click();
    EXPECT_EQ(Commands(t.port).back(), (Bytes{CMD_WIGWAG_MODE, 0}));
    EXPECT_EQ(t.link.CurWigwagMode, 1);
}

TEST(Commands, FlasherStepsTheCachedValue) {
    Bench t;
    const std::pair<std::uint8_t, std::uint8_t> steps[] = {{0, 1}, {1, 2}, {2, 0}, {3, 0}};
    for (auto [from, to] : steps) {
        t.link.CurFlasherMode = from;
        t.link.Button5Click();
        EXPECT_EQ(Commands(t.port).back(), (Bytes{CMD_FLASHER, to}));
        EXPECT_EQ(t.link.CurFlasherMode, to);
    }
}

TEST(Commands, TogglesFollowTheCachedValues) {
    Bench t;
    t.link.CurWigwagMode = 0;
    t.link.Button3Click();
    t.link.CurWigwagMode = 2;
    t.link.Button3Click();
    t.link.CurDualLed = 0;
    t.link.Button7Click();
    t.link.CurDualLed = 1;
    t.link.Button7Click();
    EXPECT_EQ(
        Commands(t.port),
        (std::vector<Bytes>{
            {CMD_WIGWAG_ENABLE, 1}, {CMD_WIGWAG_ENABLE, 0}, {CMD_DUAL_LED, 1}, {CMD_DUAL_LED, 0}}));
    EXPECT_EQ(t.link.CurWigwagMode, 2); // not stepped
    EXPECT_EQ(t.link.CurDualLed, 1);
}

TEST(Commands, FactoryDefaultsAndBreakerSetupRequest) {
    Bench t;
    t.selected = 4;
    t.link.SendFactoryDefaults();
    EXPECT_EQ(Commands(t.port).back(), (Bytes{CMD_FACTORY_DEFAULTS, 0}));
    EXPECT_EQ(t.port.written.back()[4], 3);

    t.selected = 1;
    t.link.SetupReceived = true;
    t.link.RequestBreakerSetup();
    EXPECT_FALSE(t.link.SetupReceived);
    EXPECT_EQ(t.port.written.back(), (Bytes{0xD5, 0x82, 0x0D, 0x02, 0x00, 0x00, 0x0F, 0x0F}));
    // The reply arrives and is stored even when the wait was cancelled.
    t.link.WaitCancelled = true;
    t.Feed(Frame(FRAME_BREAKER_SETUP, SetupReplyData(0)));
    EXPECT_TRUE(t.link.SetupReceived);
}

TEST(DialogCommands, TripCurrentAndTripTime) {
    Bench t;
    t.selected = 2;
    EXPECT_TRUE(t.link.SendTripCurrent(2, 22)); // "10.0A"
    EXPECT_TRUE(t.link.SendTripTime(7, 20));    // "20 seconds"
    EXPECT_TRUE(t.link.SendTripCurrent(0, 0));  // "0.1A"
    EXPECT_FALSE(t.link.SendTripCurrent(0, -1));
    EXPECT_FALSE(t.link.SendTripCurrent(0, 23));
    EXPECT_FALSE(t.link.SendTripTime(8, 0));
    EXPECT_FALSE(t.link.SendTripTime(0, 21));
    EXPECT_EQ(Commands(t.port), (std::vector<Bytes>{{CMD_TRIP_CURRENT, 2, 100, 0},
                                                    {CMD_TRIP_TIME, 7, 200},
                                                    {CMD_TRIP_CURRENT, 0, 1, 0}}));
    EXPECT_EQ(t.port.written[0][4], 1);
    EXPECT_EQ(t.link.BreakerSetupRecord.TripCurrent[2], 0); // the record is not written
}

TEST(DialogCommands, WigwagIntervalAndPowerOnMaskUpdateTheirCache) {
    Bench t;
    EXPECT_TRUE(t.link.ChooseWigwagInterval(11)); // "1.2 seconds"
    EXPECT_EQ(t.link.CurWigwagInterval, 12);
    EXPECT_TRUE(t.link.ChooseWigwagInterval(0));
    EXPECT_EQ(t.link.CurWigwagInterval, 0);
    EXPECT_FALSE(t.link.ChooseWigwagInterval(17));
    EXPECT_EQ(t.link.CurWigwagInterval, 0);

    t.link.CurPowerOnMask = 0x81;
    EXPECT_TRUE(t.link.SetPowerOnDefault(2, true));
    EXPECT_TRUE(t.link.SetPowerOnDefault(7, false));
    EXPECT_TRUE(t.link.SetPowerOnDefault(0, true)); // already on: mask unchanged
    EXPECT_FALSE(t.link.SetPowerOnDefault(8, true));
    EXPECT_EQ(t.link.CurPowerOnMask, 0x05);
    EXPECT_EQ(Commands(t.port), (std::vector<Bytes>{{CMD_WIGWAG_INTERVAL, 12},
                                                    {CMD_WIGWAG_INTERVAL, 0},
                                                    {CMD_POWER_ON_DEFAULTS, 0x85},
                                                    {CMD_POWER_ON_DEFAULTS, 0x05},
                                                    {CMD_POWER_ON_DEFAULTS, 0x05}}));
}
