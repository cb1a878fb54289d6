// A recording written out as it is read, in memory that does not grow with its length: the
// status rows of each frame and the events, in the formats of HistoryCsv, with the times of the
// recording (a jump of the clock is an event; nothing before or after it is moved or lost).
#pragma once

#include "link/history/HistoryReplay.h"

#include <functional>
#include <ostream>

namespace orvik {

struct ExportSinks {
    int node = 0;                                 // 1..8, or 0 for every node
    std::ostream* status = nullptr;               // status rows, when wanted
    std::ostream* events = nullptr;               // event rows, when wanted
    std::function<void(const BusEvent&)> onEvent; // each event of the node, when wanted
    // Called once before anything is written, when the file turns out to be a capture.
    std::function<void()> begin;
};

struct ExportResult : ReplayResult {
    std::uint8_t nodes = 0;   // bit n: node n+1 was in some status frame
    std::uint64_t events = 0; // of every node
};

ExportResult ExportCapture(const std::string& path, const ExportSinks& sinks);

} // namespace orvik
