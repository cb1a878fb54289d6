#include "sim/SimBus.h"
#include "link/protocol/LinkFrame.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvik;
using namespace orvik::sim;

namespace {

// A bus with node 3 (index 2) present, exact currents, all breakers off.
class SimBusTest : public ::testing::Test {
protected:
    SimBusTest() {
        bus.SetDrift(false);
        bus.SetPresent(2, true);
    }

    CommandResult Send(std::uint8_t code, std::vector<std::uint8_t> data) {
        return bus.Apply(code, data.data(), data.size());
    }
    SimModule& Node() { return bus.Module(2); }

    SimBus bus{7};
};

} // namespace

TEST_F(SimBusTest, SwitchCommandsFollowTheJoiningOption) {
    EXPECT_TRUE(Send(CMD_SWITCH_BREAKER, {2, 4, 1}).applied);
    EXPECT_EQ(bus.BuildStatus().BreakerOn(2), 0x10);
    EXPECT_TRUE(Send(CMD_SWITCH_BREAKER, {2, 4, 0}).applied);
    EXPECT_EQ(bus.BuildStatus().BreakerOn(2), 0x00);

    // Option 4: 1+2+3 and 5+6 are joined.
    EXPECT_TRUE(Send(CMD_DOUBLING, {2, 4}).applied);
    EXPECT_EQ(Node().doublingOption, 4);
    Send(CMD_SWITCH_BREAKER, {2, 1, 1});
    EXPECT_EQ(bus.BuildStatus().BreakerOn(2), 0x07);
    Send(CMD_SWITCH_BREAKER, {2, 5, 1});
    EXPECT_EQ(bus.BuildStatus().BreakerOn(2), 0x37);
    Send(CMD_SWITCH_BREAKER, {2, 7, 1});
    EXPECT_EQ(bus.BuildStatus().BreakerOn(2), 0xB7);
    Send(CMD_SWITCH_BREAKER, {2, 0, 0});
    EXPECT_EQ(bus.BuildStatus().BreakerOn(2), 0xB0);

    // Option 2: 1+2 and 3+4.
    Send(CMD_DOUBLING, {2, 2});
    Send(CMD_SWITCH_BREAKER, {2, 3, 1});
    EXPECT_EQ(bus.BuildStatus().BreakerOn(2), 0xBC);
}

TEST_F(SimBusTest, DoublingNeedsTheProgrammableProfile) {
    Node().programmable = false;
    const CommandResult r = Send(CMD_DOUBLING, {2, 1});
    EXPECT_FALSE(r.applied);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_EQ(Node().doublingOption, 0);
    Node().programmable = true;
    EXPECT_FALSE(Send(CMD_DOUBLING, {2, 5}).applied);
    EXPECT_TRUE(Send(CMD_DOUBLING, {2, 3}).applied);
    EXPECT_EQ(bus.BuildStatus().DoublingOption(2), 3);
}

TEST_F(SimBusTest, SettingCommandsChangeTheModel) {
    EXPECT_TRUE(Send(CMD_POWER_ON_DEFAULTS, {2, 0x81}).applied);
    EXPECT_EQ(Node().powerOnMask, 0x81);

    // Wigwag: enable gives "off" (1); the mode command then sets steady/flashing.
    EXPECT_FALSE(Send(CMD_WIGWAG_MODE, {2, 1}).applied); // not enabled yet
    EXPECT_TRUE(Send(CMD_WIGWAG_ENABLE, {2, 1}).applied);
    EXPECT_EQ(Node().wigwagMode, 1);
    EXPECT_TRUE(Send(CMD_WIGWAG_MODE, {2, 2}).applied);
    EXPECT_EQ(Node().wigwagMode, 3);
    EXPECT_TRUE(Send(CMD_WIGWAG_ENABLE, {2, 1}).applied); // enabling again keeps the mode
    EXPECT_EQ(Node().wigwagMode, 3);
    EXPECT_TRUE(Send(CMD_WIGWAG_MODE, {2, 1}).applied);
    EXPECT_EQ(Node().wigwagMode, 2);
    EXPECT_TRUE(Send(CMD_WIGWAG_INTERVAL, {2, 15}).applied);
    EXPECT_EQ(Node().wigwagInterval, 15);

    EXPECT_TRUE(Send(CMD_FLASHER, {2, 2}).applied);
    EXPECT_EQ(Node().flasherMode, 2);
    EXPECT_TRUE(Send(CMD_DUAL_LED, {2, 1}).applied);
    EXPECT_TRUE(Node().dualLed);

    // All of it in OptionFlags: wigwag 2, programmable, flasher 2, dual LED.
    EXPECT_EQ(bus.BuildStatus().OptionFlags(2), 0x02 | 0x04 | 0x10 | 0x20);

    EXPECT_TRUE(Send(CMD_WIGWAG_ENABLE, {2, 0}).applied);
    EXPECT_EQ(Node().wigwagMode, 0);
    EXPECT_TRUE(Send(CMD_DUAL_LED, {2, 0}).applied);
    EXPECT_FALSE(Node().dualLed);

    EXPECT_TRUE(Send(CMD_TRIP_CURRENT, {2, 3, 0x19, 0x01}).applied);
    EXPECT_EQ(Node().breakers[3].tripCurrent, 0x0119);
    EXPECT_TRUE(Send(CMD_TRIP_TIME, {2, 7, 150}).applied);
    EXPECT_EQ(Node().breakers[7].tripTime, 150);
}

TEST_F(SimBusTest, MalformedCommandsAreIgnored) {
    const SimModule before = Node();
    const StatusRecord status = bus.BuildStatus();
    const std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> bad = {
        {CMD_SWITCH_BREAKER, {2, 4}},           // too short
        {CMD_SWITCH_BREAKER, {2, 4, 1, 0}},     // too long
        {CMD_SWITCH_BREAKER, {2, 8, 1}},        // breaker index above 7
        {CMD_SWITCH_BREAKER, {2, 1, 2}},        // neither on nor off
        {CMD_SWITCH_BREAKER, {0, 1, 1}},        // node 1 not present
        {CMD_SWITCH_BREAKER, {9, 1, 1}},        // no such node
        {CMD_TRIP_CURRENT, {2, 8, 10, 0}},      // breaker index above 7
        {CMD_TRIP_CURRENT, {2, 1, 0, 0}},       // trip current 0
        {CMD_TRIP_TIME, {2, 200, 10}},          // breaker index above 7
        {CMD_WIGWAG_MODE, {2, 3}},              // mode out of range
        {CMD_FLASHER, {2, 3}},                  // flasher mode 3
        {CMD_DUAL_LED, {2, 2}},                 // neither on nor off
        {CMD_WIGWAG_ENABLE, {2, 7}},            // neither on nor off
        {CMD_DOUBLING, {2, 0xFF}},              // option out of range
        {CMD_FACTORY_DEFAULTS, {2}},            // no payload
        {CMD_REQUEST_BREAKER_SETUP, {2, 0, 0}}, // too long
        {0, {2, 0}},                            // status type as command
        {1, {2, 0}},
        {14, {2, 0}},
        {0xFF, {}},
    };
    for (const auto& [code, data] : bad) {
        const CommandResult r = Send(code, data);
        EXPECT_FALSE(r.applied) << "code " << int(code) << " length " << data.size();
        EXPECT_FALSE(r.reply);
        EXPECT_FALSE(r.reason.empty());
    }
    EXPECT_EQ(bus.BuildStatus().bytes, status.bytes);
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i) {
        EXPECT_EQ(Node().breakers[i].tripCurrent, before.breakers[i].tripCurrent);
        EXPECT_EQ(Node().breakers[i].tripTime, before.breakers[i].tripTime);
    }
    EXPECT_EQ(Node().wigwagMode, before.wigwagMode);
}

TEST_F(SimBusTest, TripsAfterTheTripTimeAndNotBefore) {
    SimBreaker& b = Node().breakers[1];
    b.load = 80;
    Send(CMD_TRIP_CURRENT, {2, 1, 50, 0});
    Send(CMD_TRIP_TIME, {2, 1, 10}); // 1.0 s
    Send(CMD_SWITCH_BREAKER, {2, 1, 1});
    EXPECT_EQ(bus.BuildStatus().Current(2, 1), 80);

    bus.Advance(999);
    StatusRecord s = bus.BuildStatus();
    EXPECT_EQ(s.BreakerOn(2), 0x02);
    EXPECT_EQ(s.BreakerFault(2), 0x00);

    bus.Advance(1);
    s = bus.BuildStatus();
    EXPECT_EQ(s.BreakerOn(2), 0x00);
    EXPECT_EQ(s.BreakerFault(2), 0x02);
    EXPECT_EQ(s.Current(2, 1), 0);

    // Switching it on clears the fault and starts the timer afresh.
    Send(CMD_SWITCH_BREAKER, {2, 1, 1});
    s = bus.BuildStatus();
    EXPECT_EQ(s.BreakerOn(2), 0x02);
    EXPECT_EQ(s.BreakerFault(2), 0x00);
    bus.Advance(500);
    EXPECT_EQ(bus.BuildStatus().BreakerFault(2), 0x00);
}

TEST_F(SimBusTest, ALoadAtTheTripCurrentOrAShortOverloadDoesNotTrip) {
    SimBreaker& b = Node().breakers[0];
    b.load = 50;
    b.tripCurrent = 50;
    b.tripTime = 5;
    Node().Switch(0, true);
    bus.Advance(10'000);
    EXPECT_EQ(bus.BuildStatus().BreakerFault(2), 0x00);

    // Over for 0.4 s, back under, over again for 0.4 s: the timer restarts.
    b.load = 60;
    bus.Advance(400);
    b.load = 40;
    bus.Advance(100);
    b.load = 60;
    bus.Advance(400);
    EXPECT_EQ(bus.BuildStatus().BreakerFault(2), 0x00);
    bus.Advance(100);
    EXPECT_EQ(bus.BuildStatus().BreakerFault(2), 0x01);
}

TEST_F(SimBusTest, ATripSwitchesTheJoinedGroupOff) {
    Send(CMD_DOUBLING, {2, 3}); // 1+2+3
    Node().breakers[2].load = 200;
    Node().breakers[0].load = 10;
    Send(CMD_SWITCH_BREAKER, {2, 0, 1});
    bus.Advance(1000); // default trip: 10.0 A for 1.0 s
    const StatusRecord s = bus.BuildStatus();
    EXPECT_EQ(s.BreakerOn(2), 0x00);
    EXPECT_EQ(s.BreakerFault(2), 0x04);
    Send(CMD_SWITCH_BREAKER, {2, 1, 1});
    EXPECT_EQ(bus.BuildStatus().BreakerFault(2), 0x00);
}

TEST_F(SimBusTest, FactoryDefaultsRestoreANewModulesSettings) {
    Send(CMD_DOUBLING, {2, 2});
    Send(CMD_POWER_ON_DEFAULTS, {2, 0xFF});
    Send(CMD_WIGWAG_ENABLE, {2, 1});
    Send(CMD_WIGWAG_MODE, {2, 2});
    Send(CMD_WIGWAG_INTERVAL, {2, 30});
    Send(CMD_FLASHER, {2, 1});
    Send(CMD_DUAL_LED, {2, 1});
    Send(CMD_TRIP_CURRENT, {2, 4, 25, 0});
    Send(CMD_TRIP_TIME, {2, 4, 200});
    Node().programmable = false;
    Node().fixedProfile = 4;
    Node().breakers[5].load = 33;
    Send(CMD_SWITCH_BREAKER, {2, 5, 1});

    EXPECT_TRUE(Send(CMD_FACTORY_DEFAULTS, {2, 0}).applied);
    const SimModule fresh;
    const SimModule& m = Node();
    EXPECT_EQ(m.doublingOption, fresh.doublingOption);
    EXPECT_EQ(m.powerOnMask, fresh.powerOnMask);
    EXPECT_EQ(m.wigwagMode, 0);
    EXPECT_EQ(m.wigwagInterval, DEFAULT_WIGWAG_INTERVAL);
    EXPECT_EQ(m.flasherMode, 0);
    EXPECT_FALSE(m.dualLed);
    for (const auto& b : m.breakers) {
        EXPECT_EQ(b.tripCurrent, DEFAULT_TRIP_CURRENT);
        EXPECT_EQ(b.tripTime, DEFAULT_TRIP_TIME);
    }
    // The profile selection, the loads and the outputs are not settings.
    EXPECT_FALSE(m.programmable);
    EXPECT_EQ(m.fixedProfile, 4);
    EXPECT_EQ(m.breakers[5].load, 33);
    EXPECT_EQ(bus.BuildStatus().BreakerOn(2), 0x20);
}

TEST_F(SimBusTest, StatusRecordBytesOfAKnownModel) {
    bus.SetPresent(0, true);
    SimModule& n1 = bus.Module(0);
    n1.breakers[0].load = 25;
    n1.breakers[7].load = 0x0123;
    n1.breakers[7].tripCurrent = 0x0200;
    n1.Switch(0, true);
    n1.Switch(7, true);
    n1.Switch(3, true); // on with no load: 0.0 A
    n1.powerOnMask = 0x81;
    n1.wigwagInterval = 12;
    n1.flasherMode = 2;
    n1.dualLed = true;
    Node().programmable = false;
    Node().fixedProfile = 2;
    Node().doublingOption = 0;

    const StatusRecord s = bus.BuildStatus();
    const auto& b = s.bytes;
    EXPECT_EQ(b[0], 0x05); // nodes 1 and 3
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[4], 0x89); // node 1: breakers 1, 4, 8 on
    EXPECT_EQ(b[6], 0x00);
    EXPECT_EQ(b[12], 0x00);
    EXPECT_EQ(b[20], 25); // node 1 breaker 1, little-endian
    EXPECT_EQ(b[21], 0);
    EXPECT_EQ(b[20 + 14], 0x23); // node 1 breaker 8
    EXPECT_EQ(b[20 + 15], 0x01);
    // Input voltage sags with the total load.
    EXPECT_EQ(b[148] | (b[149] << 8), 138 - (25 + 0x123) / SAG_DIVISOR);
    EXPECT_EQ(b[152] | (b[153] << 8), 138); // node 3, no load
    EXPECT_EQ(b[150], 0);                   // node 2 absent: zeros
    EXPECT_EQ(b[172], 0x81);
    EXPECT_EQ(b[180], 0x04 | 0x10 | 0x20); // programmable, flasher 2, dual LED
    EXPECT_EQ(b[182], 0x00);               // node 3: fixed profile, nothing on
    EXPECT_EQ(b[188], 12);
    EXPECT_EQ(b[190], DEFAULT_WIGWAG_INTERVAL);
    EXPECT_EQ(b[198], 2);
    // Node 2 is absent: all its fields are zero.
    EXPECT_EQ(s.BreakerOn(1) | s.BreakerFault(1) | s.DoublingOption(1) | s.PowerOnMask(1) |
                  s.OptionFlags(1) | s.WigwagInterval(1) | s.FixedProfile(1),
              0);
    EXPECT_EQ(s.InputVoltage(1), 0);
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i)
        EXPECT_EQ(s.Current(1, i), 0);
}

TEST_F(SimBusTest, SetupRequestIsAnsweredWithTheTripSettings) {
    for (std::uint8_t i = 0; i < 8; ++i) {
        Node().breakers[i].tripCurrent = static_cast<std::uint16_t>(0x0100 * i + 10 + i);
        Node().breakers[i].tripTime = static_cast<std::uint8_t>(5 * i + 1);
    }
    const CommandResult r = Send(CMD_REQUEST_BREAKER_SETUP, {2, 0});
    ASSERT_TRUE(r.applied);
    ASSERT_TRUE(r.reply);
    const std::array<std::uint8_t, 25> expected = {
        2,                                                         // node index
        10, 0, 11, 1,  12, 2,  13, 3,  14, 4, 15, 5, 16, 6, 17, 7, // currents
        1,  6, 11, 16, 21, 26, 31, 36,                             // times
    };
    EXPECT_EQ(r.setupReply, expected);
    EXPECT_FALSE(Send(CMD_REQUEST_BREAKER_SETUP, {4, 0}).reply); // node 5 absent
}

TEST_F(SimBusTest, LightFunctionsDriveTheirBreakers) {
    SimModule& m = Node();
    // Flasher mode 1: breaker 5 blinks 0.5 s on, 0.5 s off while switched on.
    m.flasherMode = 1;
    m.Switch(4, true);
    m.Switch(5, true);
    EXPECT_EQ(m.OnMask(), 0x30);
    bus.Advance(500);
    EXPECT_EQ(m.OnMask(), 0x20);
    bus.Advance(500);
    EXPECT_EQ(m.OnMask(), 0x30);
    m.flasherMode = 2;
    bus.Advance(500);
    EXPECT_EQ(m.OnMask(), 0x00);
    m.Switch(4, false);
    m.Switch(5, false);

    // Wigwag: breakers 7 and 8 belong to it while enabled.
    m.Switch(6, true);
    m.wigwagMode = 1; // off
    EXPECT_EQ(m.OnMask(), 0x00);
    m.wigwagMode = 2; // steady
    EXPECT_EQ(m.OnMask(), 0xC0);
    m.wigwagMode = 3; // flashing, each lamp on for the interval in turn
    m.wigwagInterval = 3;
    const std::uint8_t first = m.OnMask();
    EXPECT_TRUE(first == 0x40 || first == 0x80);
    bus.Advance(300);
    EXPECT_EQ(m.OnMask(), first ^ 0xC0);
    bus.Advance(300);
    EXPECT_EQ(m.OnMask(), first);
    m.wigwagMode = 0; // back to the switches
    EXPECT_EQ(m.OnMask(), 0x40);
}

TEST(SimBusDrift, CurrentsDriftALittleAndVoltageSags) {
    auto make = [](SimBus& bus) {
        bus.SetPresent(0, true);
        SimModule& m = bus.Module(0);
        m.breakers[0].load = 100;
        m.breakers[1].load = 300;
        m.breakers[0].tripCurrent = 400;
        m.breakers[1].tripCurrent = 400;
        m.Switch(0, true);
        m.Switch(1, true);
        m.Switch(2, true); // on, nothing connected
    };
    SimBus bus(3);
    make(bus);
    bool moved = false;
    for (int i = 0; i < 100; ++i) {
        bus.Advance(100);
        const StatusRecord s = bus.BuildStatus();
        EXPECT_GE(s.Current(0, 0), 98);
        EXPECT_LE(s.Current(0, 0), 102);
        EXPECT_GE(s.Current(0, 1), 294);
        EXPECT_LE(s.Current(0, 1), 306);
        EXPECT_EQ(s.Current(0, 2), 0);
        EXPECT_EQ(s.InputVoltage(0), 138 - (s.Current(0, 0) + s.Current(0, 1)) / SAG_DIVISOR);
        moved = moved || s.Current(0, 0) != 100;
    }
    EXPECT_TRUE(moved);

    // The same seed gives the same run.
    SimBus again(3);
    make(again);
    again.Advance(100 * 100);
    EXPECT_EQ(again.BuildStatus().bytes, bus.BuildStatus().bytes);
}
