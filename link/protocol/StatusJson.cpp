#include "link/protocol/StatusJson.h"

#include "link/protocol/NodeSettings.h"
#include "link/protocol/StatusTexts.h"

namespace orvik {

namespace {

double Tenths(unsigned v) {
    return v / 10.0;
}

} // namespace

nlohmann::ordered_json NodeStatusJson(const StatusRecord& r, std::size_t n) {
    using Json = nlohmann::ordered_json;
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

nlohmann::ordered_json StatusJson(const StatusRecord& record, int onlyNode) {
    nlohmann::ordered_json nodes = nlohmann::ordered_json::array();
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        if (onlyNode == 0 || static_cast<int>(n + 1) == onlyNode)
            nodes.push_back(NodeStatusJson(record, n));
    return {{"nodes", std::move(nodes)}};
}

} // namespace orvik
