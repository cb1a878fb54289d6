#include "cli/StatusOutput.h"

#include "link/NodeSettings.h"
#include "link/StatusTexts.h"

#include <cstdio>

namespace orvik::cli {

namespace {

double Tenths(unsigned v) {
    return v / 10.0;
}

Json NodeJson(const StatusRecord& r, std::size_t n) {
    Json node = {{"node", n + 1}, {"present", r.IsNodePresent(n)}};
    if (!r.IsNodePresent(n))
        return node;
    Json breakers = Json::array();
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
        breakers.push_back({{"on", (r.BreakerOn(n) & BitMaskTable[b]) != 0},
                            {"fault", (r.BreakerFault(n) & BitMaskTable[b]) != 0},
                            {"current", Tenths(r.Current(n, b))}});
    const NodeSettings s = SettingsFromStatus(r, n);
    auto value = [&](SettingKind k) { return s.Get({k, 0}).value_or(0); };
    node["breakers"] = std::move(breakers);
    node["voltage"] = Tenths(r.InputVoltage(n));
    node["doubling"] = value(SettingKind::Doubling);
    node["power_on_mask"] = value(SettingKind::PowerOnMask);
    node["wigwag"] = value(SettingKind::Wigwag);
    node["wigwag_interval"] = Tenths(value(SettingKind::WigwagInterval));
    node["flasher"] = value(SettingKind::Flasher);
    node["dual_led"] = value(SettingKind::DualLed) != 0;
    node["profile"] = ProfileName(*s.profile);
    return node;
}

std::string NodeText(const StatusRecord& r, std::size_t n) {
    std::string out = "Orvik node " + std::to_string(n + 1);
    if (!r.IsNodePresent(n))
        return out + ": not on the bus\n";
    const NodeSettings s = SettingsFromStatus(r, n);
    out += ": input voltage " + FormatTenths(r.InputVoltage(n)) + " V, profile " +
           ProfileName(*s.profile) + "\n";
    char cell[32];
    std::string rows[4] = {"  breaker ", "  state   ", "  current ", "  fault   "};
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        const bool on = r.BreakerOn(n) & BitMaskTable[b];
        const bool fault = r.BreakerFault(n) & BitMaskTable[b];
        std::snprintf(cell, sizeof cell, "%7zu", b + 1);
        rows[0] += cell;
        std::snprintf(cell, sizeof cell, "%7s", on ? "on" : "off");
        rows[1] += cell;
        std::snprintf(cell, sizeof cell, "%5s A", FormatTenths(r.Current(n, b)).c_str());
        rows[2] += cell;
        std::snprintf(cell, sizeof cell, "%7s", fault ? "FAULT" : "-");
        rows[3] += cell;
    }
    for (const auto& row : rows)
        out += row + "\n";
    for (SettingId id : AllSettings()) {
        const auto v = s.Get(id);
        if (!v)
            continue;
        std::snprintf(cell, sizeof cell, "  %-19s", SettingName(id).c_str());
        out += cell + SettingReading(id, *v) + "\n";
    }
    return out;
}

} // namespace

Json StatusJson(const StatusRecord& record, int onlyNode) {
    Json nodes = Json::array();
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        if (onlyNode == 0 || static_cast<int>(n + 1) == onlyNode)
            nodes.push_back(NodeJson(record, n));
    return {{"nodes", std::move(nodes)}};
}

std::string StatusText(const StatusRecord& record, int onlyNode) {
    std::string out;
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        if (onlyNode == 0 || static_cast<int>(n + 1) == onlyNode)
            out += NodeText(record, n);
    return out;
}

} // namespace orvik::cli
