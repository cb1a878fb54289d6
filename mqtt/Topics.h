// The bridge's topics under its base, as docs/mqtt.md gives them.
#pragma once

#include <string>

namespace orvik::mqtt {

struct BridgeTopics {
    std::string base; // "orvik/van12"

    std::string Status() const { return base + "/status"; }
    std::string Line() const { return base + "/line"; }
    // Events that belong to no node (a silence of the line).
    std::string Event() const { return base + "/event"; }
    std::string Node(int node) const { return base + "/node/" + std::to_string(node); }
    std::string State(int node) const { return Node(node) + "/state"; }
    std::string Availability(int node) const { return Node(node) + "/availability"; }
    std::string NodeEvent(int node) const { return Node(node) + "/event"; }
    std::string BreakerSet(int node, int breaker) const {
        return Node(node) + "/breaker/" + std::to_string(breaker) + "/set";
    }
    // Home Assistant's events: a breaker's trips and switching, a node's joining and leaving.
    std::string BreakerEvent(int node, int breaker) const {
        return Node(node) + "/breaker/" + std::to_string(breaker) + "/event";
    }
    std::string Presence(int node) const { return Node(node) + "/presence"; }
    // What a fleet manager reads of the bus and of each node's trip settings.
    std::string Diagnostics() const { return base + "/diagnostics"; }
    std::string TripSettings(int node) const { return Node(node) + "/trip_settings"; }
    // What the bridge subscribes to when it takes commands.
    std::string BreakerSetFilter() const { return base + "/node/+/breaker/+/set"; }
    // A node's "Read settings" button: PRESS there asks the node for its breaker setup.
    std::string ReadSettings(int node) const { return Node(node) + "/read_settings"; }
    std::string ReadSettingsFilter() const { return base + "/node/+/read_settings"; }
};

inline constexpr const char* ONLINE = "online";
inline constexpr const char* OFFLINE = "offline";

} // namespace orvik::mqtt
