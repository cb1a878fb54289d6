#include "link/state/BusGlance.h"

#include "link/protocol/StatusTexts.h"

namespace orvik {

std::uint8_t NodeFaults(const StatusRecord& record, std::size_t node) {
    return record.IsNodePresent(node) ? record.BreakerFault(node) : 0;
}

std::string FaultsText(std::uint8_t faults) {
    std::string list;
    int count = 0;
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
        if (faults & BitMaskTable[b])
            list += (count++ ? ", " : "") + std::to_string(b + 1);
    if (count == 0)
        return {};
    return (count == 1 ? "fault on breaker " : "fault on breakers ") + list;
}

const char* NodeReportText(NodeReport report) {
    switch (report) {
    case NodeReport::OnBus:
        return "on the bus";
    case NodeReport::NotOnBus:
        return "not on the bus";
    case NodeReport::NoData:
        break;
    }
    return "no data";
}

std::array<NodeGlance, NODE_COUNT> GlanceAtBus(const StatusRecord& record, bool haveData) {
    std::array<NodeGlance, NODE_COUNT> nodes{};
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        NodeGlance& g = nodes[n];
        g.node = static_cast<int>(n + 1);
        g.name = "Orvik node " + std::to_string(g.node);
        g.report = !haveData                 ? NodeReport::NoData
                   : record.IsNodePresent(n) ? NodeReport::OnBus
                                             : NodeReport::NotOnBus;
        g.state = NodeReportText(g.report);
        if (g.report != NodeReport::OnBus)
            continue;
        for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
            BreakerGlance& br = g.breakers[b];
            br.on = (record.BreakerOn(n) & BitMaskTable[b]) != 0;
            br.fault = (record.BreakerFault(n) & BitMaskTable[b]) != 0;
            br.state = std::string(br.fault ? "fault, " : "") + (br.on ? "on" : "off");
            br.current = FormatTenths(record.Current(n, b)) + " A";
        }
        g.faults = FaultsText(record.BreakerFault(n));
        g.voltage = FormatTenths(record.InputVoltage(n)) + " V";
    }
    return nodes;
}

std::array<NodeGlance, NODE_COUNT> GlanceAtBus(const LinkState& link) {
    return GlanceAtBus(link.StatusRecord, link.NodeIndicatorTimeout > 0);
}

std::string NodeIndicatorReading(int node, const Rgb& colour) {
    const NodeReport report = colour == COLOUR_GREEN ? NodeReport::OnBus
                              : colour == COLOUR_RED ? NodeReport::NotOnBus
                                                     : NodeReport::NoData;
    return "Orvik node " + std::to_string(node) + ": " + NodeReportText(report);
}

std::string FaultIndicatorReading(int breaker, const Rgb& colour) {
    const std::string name = "Breaker " + std::to_string(breaker);
    if (colour == COLOUR_RED)
        return name + " fault";
    return name + (colour == COLOUR_GREEN ? ": no fault" : ": no data");
}

std::string CurrentEditName(int breaker) {
    return "Current, breaker " + std::to_string(breaker);
}

} // namespace orvik
