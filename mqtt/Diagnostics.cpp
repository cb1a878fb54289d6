#include "mqtt/Diagnostics.h"

#include "link/base/LocalTime.h"

#include <nlohmann/json.hpp>

namespace orvik::mqtt {

const char* BridgeVersion() noexcept {
    return ORVIK_VERSION;
}

std::string DiagnosticsJson(const LineDiagnostics& d) {
    nlohmann::ordered_json j = {{"line", LineStatusWord(d.line)},
                                {"reason", d.reason},
                                {"frames_per_second", d.framesPerSecondTenths / 10.0},
                                {"last_status_frame", nullptr},
                                {"version", BridgeVersion()}};
    if (d.lastStatusMs > 0)
        j["last_status_frame"] = LocalTimeText(d.lastStatusMs);
    return j.dump();
}

std::string TripSettingsJson(int node, const BreakerSetupRecord& trips) {
    nlohmann::ordered_json breakers = nlohmann::ordered_json::array();
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
        breakers.push_back({{"trip_current", trips.TripCurrent[b] / 10.0},
                            {"trip_time", trips.TripTime[b] / 10.0}});
    return nlohmann::ordered_json{{"node", node}, {"breakers", breakers}}.dump();
}

} // namespace orvik::mqtt
