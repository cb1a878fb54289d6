// All nodes at a glance, and what the indicators and edits say to a screen reader.
#include "link/state/BusGlance.h"

#include <gtest/gtest.h>

using namespace orvik;

TEST(BusGlance, ShowsEveryNodeItsBreakersAndWhereAFaultIs) {
    StatusRecord r;
    r.SetNodePresent(0x0B); // nodes 1, 2 and 4
    r.SetBreakerOn(3, 0x13);
    r.SetBreakerFault(3, 0x12); // node 4: breakers 2 and 5
    r.SetCurrent(3, 0, 24);
    r.SetCurrent(3, 7, 65535);
    r.SetInputVoltage(3, 134);
    r.SetBreakerFault(2, 0xFF); // node 3 is not on the bus: its bytes say nothing
    const auto nodes = GlanceAtBus(r, true);
    EXPECT_EQ(nodes[0].name + ", " + nodes[0].state, "Orvik node 1, on the bus");
    EXPECT_EQ(nodes[2].state, "not on the bus");
    EXPECT_FALSE(nodes[2].Fault());
    EXPECT_EQ(nodes[2].breakers[0].state + nodes[2].voltage, "");
    const NodeGlance& four = nodes[3];
    EXPECT_EQ(four.faults, "fault on breakers 2, 5");
    EXPECT_EQ(FaultsText(0x10), "fault on breaker 5");
    EXPECT_EQ(NodeFaults(r, 3), 0x12);
    EXPECT_EQ(NodeFaults(r, 2), 0);
    EXPECT_EQ(four.breakers[0].state + " " + four.breakers[0].current, "on 2.4 A");
    EXPECT_EQ(four.breakers[1].state, "fault, on");
    EXPECT_EQ(four.breakers[2].state, "off");
    EXPECT_EQ(four.breakers[7].current, "6553.5 A");
    EXPECT_EQ(four.voltage, "13.4 V");
    // A second without frames: nothing is known, no fault is shown.
    for (const NodeGlance& g : GlanceAtBus(r, false))
        EXPECT_EQ(g.state + g.faults + g.breakers[4].current, "no data") << g.node;
}

TEST(BusGlance, IndicatorsAndEditsReadAsTheyShow) {
    EXPECT_EQ(NodeIndicatorReading(3, COLOUR_GREEN), "Orvik node 3: on the bus");
    EXPECT_EQ(NodeIndicatorReading(3, COLOUR_RED), "Orvik node 3: not on the bus");
    EXPECT_EQ(NodeIndicatorReading(8, COLOUR_WHITE), "Orvik node 8: no data");
    EXPECT_EQ(FaultIndicatorReading(5, COLOUR_RED), "Breaker 5 fault");
    EXPECT_EQ(FaultIndicatorReading(5, COLOUR_GREEN), "Breaker 5: no fault");
    EXPECT_EQ(FaultIndicatorReading(1, COLOUR_WHITE), "Breaker 1: no data");
    EXPECT_EQ(CurrentEditName(3), "Current, breaker 3");
}
