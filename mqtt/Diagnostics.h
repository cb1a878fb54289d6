// What a fleet manager reads of a bus without a laptop in the van: the line's state and why,
// the status frames a second, the time of the last one, the bridge's version on
// <base>/diagnostics; each node's trip settings, from its breaker setup reply, on
// <base>/node/N/trip_settings. Both retained.
#pragma once

#include "link/line/LineSupervisor.h"
#include "link/protocol/SetupReply.h"

#include <cstdint>
#include <string>

namespace orvik::mqtt {

// orvik-mqtt's version, the project's.
const char* BridgeVersion() noexcept;

struct LineDiagnostics {
    LineStatus line = LineStatus::Closed;
    std::string reason; // the status line's text of the line
    std::uint32_t framesPerSecondTenths = 0;
    std::int64_t lastStatusMs = 0; // ms since 1970; 0 before the first status frame
};

// {"line":"receiving","reason":"...","frames_per_second":5.0,"last_status_frame":
// "2026-12-10T19:40:01.250+00:00","version":"..."}; the time null before the first frame.
std::string DiagnosticsJson(const LineDiagnostics& diagnostics);

// {"node":3,"breakers":[{"trip_current":10.0,"trip_time":1.0}, ...]}: amperes and seconds.
std::string TripSettingsJson(int node, const BreakerSetupRecord& trips);

} // namespace orvik::mqtt
