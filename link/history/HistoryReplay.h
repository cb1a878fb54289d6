// A history rebuilt from a capture (a recording of this program, orvik-cli capture or the
// simulator): what the bus sent goes through the link's own receiver, as it did on the line,
// and the commands recorded as sent count as this program's.
#pragma once

#include "link/capture/PcapngStream.h"
#include "link/history/BusHistory.h"

#include <string>

namespace orvik {

struct ReplayResult {
    CaptureScan scan;
    std::uint64_t statusFrames = 0; // accepted into the history
    std::int64_t lastPacketMs = -1; // time of the last packet read, -1 when none
    bool Ok() const { return scan.Ok(); }
    // Where a capture that breaks off broke: "cut short in the block at byte 1048576, after
    // 2025-03-01T14:02:03.250+01:00"; empty when it was read whole.
    std::string BreakText() const;
};

// Adds what the capture holds to `history` (normally a fresh one).
ReplayResult ReplayCapture(const std::string& path, BusHistory& history);
ReplayResult ReplayCaptureBytes(const std::uint8_t* data, std::size_t size, BusHistory& history);

} // namespace orvik
