#include "cli/StatusOutput.h"

#include "link/protocol/NodeSettings.h"
#include "link/protocol/StatusTexts.h"

#include <cstdio>

namespace orvik::cli {

namespace {

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

std::string StatusText(const StatusRecord& record, int onlyNode) {
    std::string out;
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        if (onlyNode == 0 || static_cast<int>(n + 1) == onlyNode)
            out += NodeText(record, n);
    return out;
}

} // namespace orvik::cli
