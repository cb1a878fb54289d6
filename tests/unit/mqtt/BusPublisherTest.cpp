// What the bridge publishes of the bus, and when, with the broker's side as a list.
#include "mqtt/BusPublisher.h"
#include "mqtt/SetupRequests.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvik;
using namespace orvik::mqtt;

namespace {

class MqttPublisher : public ::testing::Test {
protected:
    MqttPublisher() {
        record.SetNodePresent(0x04); // node 3
        record.SetBreakerOn(2, 0x01);
        record.SetCurrent(2, 0, 72);
        record.SetInputVoltage(2, 137);
    }
    BusPublisher Make(bool switches, std::int64_t intervalMs = 1000) {
        return BusPublisher({"fleet/van12"},
                            DiscoverySetup{{"fleet/van12"}, "homeassistant", switches}, intervalMs,
                            [this](const MqttMessage& m) { sent.push_back(m); });
    }
    std::vector<MqttMessage> Taken() { return std::exchange(sent, {}); }
    static int Count(const std::vector<MqttMessage>& ms, const std::string& topic) {
        return static_cast<int>(std::count_if(
            ms.begin(), ms.end(), [&](const MqttMessage& m) { return m.topic == topic; }));
    }
    static const MqttMessage* Find(const std::vector<MqttMessage>& ms, const std::string& topic) {
        for (const auto& m : ms)
            if (m.topic == topic)
                return &m;
        return nullptr;
    }

    StatusRecord record;
    std::vector<MqttMessage> sent;
    const std::string state = "fleet/van12/node/3/state";
    const std::string available = "fleet/van12/node/3/availability";
};

TEST_F(MqttPublisher, StatesOnChangeAtMostOnceAnIntervalAndAvailabilityWithTheLine) {
    BusPublisher p = Make(false);
    p.Update(record, LineStatus::Receiving, 10'000);
    auto first = Taken();
    ASSERT_NE(Find(first, state), nullptr);
    const auto json = nlohmann::json::parse(Find(first, state)->payload);
    EXPECT_EQ(json["present"], true);
    EXPECT_EQ(json["breakers"][0]["current"], 7.2);
    EXPECT_EQ(json["voltage"], 13.7);
    EXPECT_EQ(Find(first, "fleet/van12/line")->payload, "receiving");
    EXPECT_EQ(Find(first, available)->payload, "online");
    for (const auto& m : first) // node 1 was never seen
        EXPECT_TRUE(m.topic.find("node1") == std::string::npos &&
                    m.topic.find("node/1/") == std::string::npos)
            << m.topic;

    record.SetCurrent(2, 0, 80);
    p.Update(record, LineStatus::Receiving, 10'500);
    EXPECT_TRUE(Taken().empty()) << "within the interval";
    p.Update(record, LineStatus::Receiving, 11'000);
    EXPECT_EQ(Count(Taken(), state), 1);
    p.Update(record, LineStatus::Receiving, 13'000);
    EXPECT_TRUE(Taken().empty()) << "no change";

    p.Update(record, LineStatus::Silent, 13'100);
    auto silent = Taken();
    EXPECT_EQ(Find(silent, "fleet/van12/line")->payload, "silent");
    EXPECT_EQ(Find(silent, available)->payload, "offline");
    p.Update(record, LineStatus::Receiving, 13'200);
    EXPECT_EQ(Find(Taken(), available)->payload, "online");

    record.SetNodePresent(0);
    p.Update(record, LineStatus::Receiving, 14'000);
    auto left = Taken();
    EXPECT_EQ(Find(left, state)->payload, R"({"node":3,"present":false})");
    EXPECT_EQ(Find(left, available)->payload, "offline");
}

// The discovery's values are checked at a real broker (tests/e2e/mqtt); here, what a
// template reads and what goes again after a reconnect.
TEST_F(MqttPublisher, DiscoveryTemplatesAndARepublishOfEverything) {
    BusPublisher p = Make(true);
    p.Update(record, LineStatus::Receiving, 10'000);
    auto first = Taken();
    const auto sw = nlohmann::json::parse(
        Find(first, "homeassistant/switch/orvik_fleet_van12_node3/breaker5/config")->payload);
    EXPECT_EQ(
        sw["value_template"],
        "{{ ('ON' if value_json.breakers[4].on else 'OFF') if value_json.present else None }}");
    EXPECT_EQ(sw["availability"][1]["topic"], available);

    BusEvent trip;
    trip.kind = EventKind::Fault;
    trip.node = 3;
    trip.breaker = 5;
    trip.detail = FAULT_TRIP_KNOWN;
    trip.values = {72, 50, 20, 0};
    p.Event(trip);
    auto event = Taken();
    ASSERT_EQ(event.size(), 2u);
    EXPECT_EQ(event[0].topic, "fleet/van12/node/3/event");
    EXPECT_FALSE(event[0].retain);
    // Home Assistant's event entity of breaker 5, and its device triggers, read this one.
    EXPECT_EQ(event[1].topic, "fleet/van12/node/3/breaker/5/event");
    EXPECT_EQ(event[1].payload,
              R"({"event_type":"tripped","current":7.2,"trip_current":5.0,"trip_time":2.0})");
    EXPECT_FALSE(event[1].retain);

    // Back from a lost broker, nothing changed: everything again, online first.
    p.Republish(record, LineStatus::Receiving, 10'100);
    auto again = Taken();
    EXPECT_EQ(again.front().topic, "fleet/van12/status");
    EXPECT_EQ(again.front().payload, "online");
    EXPECT_EQ(Count(again, state), 1);
    EXPECT_EQ(Find(again, available)->payload, "online");
    EXPECT_EQ(Find(again, "fleet/van12/line")->payload, "receiving");
    const auto bus = BusDiscoveryMessages({{"fleet/van12"}, "homeassistant", true});
    EXPECT_EQ(Count(again, bus.front().topic), 1);
    EXPECT_EQ(again.size(), first.size() + 1 + bus.size());
}

// The line's diagnostics at once when its state changes, else every ten seconds; a node's trip
// settings as its setup reply gave them, again after a reconnect.
TEST_F(MqttPublisher, DiagnosticsOfTheLineAndTripSettingsOfANode) {
    BusPublisher p = Make(false);
    const std::string topic = "fleet/van12/diagnostics";
    p.Diagnostics({LineStatus::Receiving, "/dev/ttyUSB0: receiving, 5.0 frames/s", 50, 0}, 1'000);
    auto first = Taken();
    ASSERT_EQ(Count(first, topic), 1);
    auto json = nlohmann::json::parse(Find(first, topic)->payload);
    EXPECT_EQ(json["line"], "receiving");
    EXPECT_EQ(json["reason"], "/dev/ttyUSB0: receiving, 5.0 frames/s");
    EXPECT_EQ(json["frames_per_second"], 5.0);
    EXPECT_TRUE(json["last_status_frame"].is_null());
    EXPECT_EQ(json["version"], BridgeVersion());
    EXPECT_FALSE(std::string(BridgeVersion()).empty());

    p.Diagnostics({LineStatus::Receiving, "", 50, 1'765'000'000'000}, 1'100);
    json = nlohmann::json::parse(Find(Taken(), topic)->payload);
    EXPECT_TRUE(json["last_status_frame"].get<std::string>().starts_with("2025-12-"));
    p.Diagnostics({LineStatus::Receiving, "", 60, 1'765'000'000'100}, 11'099);
    EXPECT_TRUE(Taken().empty()) << "within ten seconds";
    p.Diagnostics({LineStatus::Receiving, "", 60, 1'765'000'000'100}, 11'100);
    EXPECT_EQ(Count(Taken(), topic), 1);
    p.Diagnostics({LineStatus::Lost, "/dev/ttyUSB0: connection lost", 0, 1}, 11'001);
    EXPECT_EQ(nlohmann::json::parse(Find(Taken(), topic)->payload)["line"], "lost");

    BreakerSetupRecord trips;
    trips.TripCurrent[4] = 50;
    trips.TripTime[4] = 20;
    p.TripSettings(3, trips);
    const std::string tripTopic = "fleet/van12/node/3/trip_settings";
    const auto breaker5 = nlohmann::json::parse(Find(Taken(), tripTopic)->payload)["breakers"][4];
    EXPECT_EQ(breaker5["trip_current"], 5.0);
    EXPECT_EQ(breaker5["trip_time"], 2.0);
    p.Update(record, LineStatus::Receiving, 12'000);
    p.Republish(record, LineStatus::Receiving, 12'100);
    EXPECT_EQ(Count(Taken(), tripTopic), 1);
}

} // namespace

// The bus's diagnostics are Home Assistant's diagnostic sensors of their own device, told also
// while the line is down; each breaker's trip settings are diagnostic sensors of its node.
TEST(MqttDiscovery, DiagnosticsOfTheBusAndTripSettingsOfTheBreakers) {
    const DiscoverySetup setup{{"fleet/van12"}, "homeassistant", false};
    nlohmann::json line, last;
    for (const auto& m : BusDiscoveryMessages(setup)) {
        const auto c = nlohmann::json::parse(m.payload);
        EXPECT_EQ(c["entity_category"], "diagnostic") << m.topic;
        EXPECT_EQ(c["availability_topic"], "fleet/van12/status") << m.topic;
        EXPECT_EQ(c["state_topic"], "fleet/van12/diagnostics") << m.topic;
        if (m.topic == "homeassistant/sensor/orvik_fleet_van12_bus/line/config")
            line = c;
        if (m.topic == "homeassistant/sensor/orvik_fleet_van12_bus/last_status_frame/config")
            last = c;
    }
    EXPECT_EQ(line["value_template"], "{{ value_json.line }}");
    EXPECT_NE(std::ranges::find(line["options"], "lost"), line["options"].end());
    EXPECT_EQ(last["device_class"], "timestamp");

    for (const auto& m : DiscoveryMessages(setup, 3))
        if (m.topic == "homeassistant/sensor/orvik_fleet_van12_node3/breaker5_trip_time/config") {
            const auto c = nlohmann::json::parse(m.payload);
            EXPECT_EQ(c["state_topic"], "fleet/van12/node/3/trip_settings");
            EXPECT_EQ(c["value_template"], "{{ value_json.breakers[4].trip_time }}");
            EXPECT_EQ(c["unit_of_measurement"], "s");
            EXPECT_EQ(c["entity_category"], "diagnostic");
            return;
        }
    ADD_FAILURE() << "no trip time sensor of breaker 5";
}

// Each node is asked for its breaker setup when it joins and after a change of its own
// settings, one request at a time and spaced out; a trip setting that changed came in a reply.
TEST(SetupRequestsTest, JoinsAndSettingChangesAskOneNodeAtATime) {
    SetupRequests asks;
    const auto event = [](EventKind kind, std::uint8_t node, std::uint8_t breaker = 0) {
        BusEvent e;
        e.kind = kind;
        e.node = node;
        e.breaker = breaker;
        return e;
    };
    asks.Saw(event(EventKind::Joined, 3));
    asks.Saw(event(EventKind::Joined, 5));
    asks.Saw(event(EventKind::Joined, 6));
    asks.Saw(event(EventKind::Left, 6));
    EXPECT_EQ(asks.Next(10'000), 3);
    EXPECT_EQ(asks.Next(11'000), std::nullopt);
    EXPECT_EQ(asks.Next(12'000), 5);
    EXPECT_EQ(asks.Next(20'000), std::nullopt); // node 6 left before its turn
    asks.Saw(event(EventKind::SettingChanged, 3, 2));
    EXPECT_EQ(asks.Next(30'000), std::nullopt);
    asks.Saw(event(EventKind::SettingChanged, 3));
    EXPECT_EQ(asks.Next(40'000), 3);
}

// "Read settings" asks its node once at its turn, and not again within its spacing.
TEST(SetupRequestsTest, AReadSettingsPressAsksItsNodeOnceInAFewSeconds) {
    SetupRequests asks;
    EXPECT_TRUE(asks.Press(4, 10'000));
    EXPECT_FALSE(asks.Press(4, 10'100));
    EXPECT_TRUE(asks.Press(2, 10'100)); // each node its own
    EXPECT_EQ(asks.Next(10'200), 2);
    EXPECT_EQ(asks.Next(12'200), 4);
    EXPECT_EQ(asks.Next(14'200), std::nullopt);
    EXPECT_FALSE(asks.Press(4, 14'999));
    EXPECT_TRUE(asks.Press(4, 15'000));
    EXPECT_EQ(asks.Next(16'200), 4);
}

// A bridge without discovery takes back what earlier runs of its own base announced, nothing of
// another base and nothing already taken back.
TEST(MqttDiscovery, WhatAnEarlierRunAnnouncedIsFoundAmongTheConfigurations) {
    const BridgeTopics van12{"fleet/van12"};
    const std::string ha = "homeassistant";
    EXPECT_EQ(EarlierDiscoveryFilter(ha), "homeassistant/+/+/+/config");
    EXPECT_TRUE(AnnouncedEarlier(
        ha, van12, "homeassistant/switch/orvik_fleet_van12_node7/breaker2/config", "{}"));
    EXPECT_TRUE(AnnouncedEarlier(
        ha, van12, "homeassistant/sensor/orvik_fleet_van12_node1/input_voltage/config", "{}"));
    EXPECT_TRUE(AnnouncedEarlier(
        ha, van12, "homeassistant/device_automation/orvik_fleet_van12_node2/node_left/config",
        "{}"));
    EXPECT_TRUE(AnnouncedEarlier(
        ha, van12, "homeassistant/sensor/orvik_fleet_van12_bus/version/config", "{}"));
    EXPECT_FALSE(AnnouncedEarlier(
        ha, van12, "homeassistant/sensor/orvik_fleet_van12_busy/version/config", "{}"));
    EXPECT_FALSE(AnnouncedEarlier(
        ha, van12, "homeassistant/switch/orvik_fleet_van12_node7/breaker2/config", ""));
    EXPECT_FALSE(AnnouncedEarlier(
        ha, van12, "homeassistant/switch/orvik_fleet_van13_node7/breaker2/config", "{}"));
    EXPECT_FALSE(AnnouncedEarlier(
        ha, van12, "homeassistant/switch/orvik_fleet_van12_node9/breaker2/config", "{}"));
    EXPECT_FALSE(AnnouncedEarlier(
        ha, van12, "homeassistant/switch/orvik_fleet_van12_node17/breaker2/config", "{}"));
    EXPECT_FALSE(
        AnnouncedEarlier(ha, van12, "other/switch/orvik_fleet_van12_node7/b/config", "{}"));
}

// A node's event entities and device triggers: the types Home Assistant is told and the
// topics and payloads the bridge publishes them on, under the node's device.
TEST(MqttDiscovery, EventEntitiesAndDeviceTriggersOfANode) {
    const auto ms = DiscoveryMessages({{"fleet/van12"}, "homeassistant", false}, 3);
    const auto config = [&](const std::string& topic) {
        for (const auto& m : ms)
            if (m.topic == "homeassistant/" + topic + "/config")
                return nlohmann::json::parse(m.payload);
        ADD_FAILURE() << "no " << topic;
        return nlohmann::json::object();
    };
    const auto node = "orvik_fleet_van12_node3/";
    const auto current = config(std::string("sensor/") + node + "breaker5_current");
    const auto events = config(std::string("event/") + node + "breaker5_events");
    EXPECT_EQ(events["state_topic"], "fleet/van12/node/3/breaker/5/event");
    EXPECT_EQ(events["event_types"],
              nlohmann::json({"tripped", "fault_cleared", "switched_on", "switched_off"}));
    EXPECT_EQ(events["availability"], current["availability"]);
    EXPECT_EQ(config(std::string("event/") + node + "node_events")["event_types"],
              nlohmann::json({"joined", "left"}));

    const auto trip = config(std::string("device_automation/") + node + "breaker5_tripped");
    EXPECT_EQ(trip["automation_type"], "trigger");
    EXPECT_EQ(trip["topic"], events["state_topic"]);
    EXPECT_EQ(trip["type"], "tripped");
    EXPECT_EQ(trip["subtype"], "Breaker 5");
    EXPECT_EQ(trip["payload"], "tripped");
    EXPECT_EQ(trip["value_template"], "{{ value_json.event_type }}");
    EXPECT_EQ(trip["device"], current["device"]);
    const auto left = config(std::string("device_automation/") + node + "node_left");
    EXPECT_EQ(left["topic"], "fleet/van12/node/3/presence");
    EXPECT_EQ(left["payload"], "left");

    const auto button = config(std::string("button/") + node + "read_settings");
    EXPECT_EQ(button["command_topic"], "fleet/van12/node/3/read_settings");
    EXPECT_EQ(button["payload_press"], "PRESS");
    EXPECT_FALSE(button.contains("state_topic"));
}
