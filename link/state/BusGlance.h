// All eight nodes at a glance from the last status record: what the bus overview shows, and
// what the main window's indicators and edits say to a screen reader.
#pragma once

#include "link/protocol/StatusRecord.h"
#include "link/state/LinkState.h"

#include <array>
#include <cstdint>
#include <string>

namespace orvik {

// What the bus says of a node: nothing within the last second, present, or absent.
enum class NodeReport : std::uint8_t { NoData, OnBus, NotOnBus };

// One breaker of a node on the bus; empty texts for a node that is not.
struct BreakerGlance {
    bool on = false;
    bool fault = false;
    std::string state;   // "on", "off", "fault, off", "fault, on"
    std::string current; // "2.4 A"
    friend bool operator==(const BreakerGlance&, const BreakerGlance&) = default;
};

struct NodeGlance {
    int node = 1; // 1..8
    NodeReport report = NodeReport::NoData;
    std::string name;   // "Orvik node 3"
    std::string state;  // "on the bus", "not on the bus", "no data"
    std::string faults; // "fault on breaker 2, 5", or "" without a fault: shown red
    std::array<BreakerGlance, BREAKER_COUNT> breakers{};
    std::string voltage; // "13.4 V", or ""
    bool Fault() const { return !faults.empty(); }
    friend bool operator==(const NodeGlance&, const NodeGlance&) = default;
};

// haveData: a frame came within the last second (the node strip is not blank).
std::array<NodeGlance, NODE_COUNT> GlanceAtBus(const StatusRecord& record, bool haveData);
// The link's own: its record, with data while the node strip's timeout runs.
std::array<NodeGlance, NODE_COUNT> GlanceAtBus(const LinkState& link);

// The faulted breakers of node index n when the record reports it present: a bit per breaker.
std::uint8_t NodeFaults(const StatusRecord& record, std::size_t node);
// "fault on breaker 5", "fault on breakers 2, 5"; "" for no bit set.
std::string FaultsText(std::uint8_t faults);

// The words of a report: "on the bus", "not on the bus", "no data".
const char* NodeReportText(NodeReport report);
// Node indicator n (1..8) by its colour: "Orvik node 3: on the bus" (green), ": not on the
// bus" (red), ": no data" (white).
std::string NodeIndicatorReading(int node, const Rgb& colour);
// Fault indicator of breaker b (1..8) by its colour: "Breaker 5 fault" (red), "Breaker 5: no
// fault" (green), "Breaker 5: no data" (white).
std::string FaultIndicatorReading(int breaker, const Rgb& colour);
// The name of the current edit of breaker b (1..8): "Current, breaker 3".
std::string CurrentEditName(int breaker);

} // namespace orvik
