// A history rebuilt from a capture (a recording of this program, orvik-cli capture or the
// simulator): what the bus sent goes through the link's own receiver, as it did on the line,
// and the commands recorded as sent count as this program's.
#pragma once

#include "link/capture/PcapngStream.h"
#include "link/history/BusHistory.h"
#include "link/state/LinkWatcher.h"

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
    // "3 damaged blocks skipped"; empty when there were none.
    std::string DamageText() const;
};

// What a capture read again hands over: each packet's time before the packet, then what the
// link's receiver accepted of it and each command recorded as sent (as LinkWatcher calls,
// whose own times mean nothing here: the packet's time holds).
class ReplayTarget : public LinkWatcher {
public:
    virtual void PacketTime(std::int64_t timeMs) = 0;
};

// Feeds `target`, up to `untilMs` into the recording when that is not negative (see
// RecordingSpan).
ReplayResult ReplayCapture(const std::string& path, ReplayTarget& target, std::int64_t untilMs = -1,
                           ScanControl* control = nullptr);

// Adds what the capture holds to `history` (normally a fresh one), up to `untilMs` into the
// recording when that is not negative: the history then holds the day before it.
ReplayResult ReplayCapture(const std::string& path, BusHistory& history, std::int64_t untilMs = -1,
                           ScanControl* control = nullptr);
ReplayResult ReplayCaptureBytes(const std::uint8_t* data, std::size_t size, BusHistory& history);

// How long a recording runs: the time that passed from its first packet to its last, jumps of
// the clock (ClockJumps, as a recording is read) not counted.
struct RecordingSpan {
    CaptureScan scan;
    std::int64_t firstMs = -1; // the first packet's time, -1 when none
    std::int64_t spanMs = 0;
};
RecordingSpan ScanRecordingSpan(const std::string& path, ScanControl* control = nullptr);

} // namespace orvik
