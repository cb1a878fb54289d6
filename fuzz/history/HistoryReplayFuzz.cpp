// Arbitrary bytes as a recording: the block-by-block reader agrees with the whole-file reader
// (the same packets, or both name a fault); a history rebuilt from it holds no more frames
// than were read, and its points, columns, events, texts and CSV come out of it in order.
#include "link/capture/Pcapng.h"
#include "link/history/HistoryCsv.h"
#include "link/history/HistoryReplay.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvik;
    const CaptureReadResult whole = ReadPcapng(data, size);
    std::size_t seen = 0;
    const CaptureScan scan = ScanPcapng(data, size, [&](const PacketView& p) {
        if (whole.Ok()) {
            Check(seen < whole.packets.size());
            const CapturedPacket& w = whole.packets[seen];
            Check(w.timestampNs == p.timestampNs && w.direction == p.direction &&
                  w.comment == p.comment && w.bytes.size() == p.length &&
                  std::equal(w.bytes.begin(), w.bytes.end(), p.bytes));
        }
        ++seen;
    });
    Check(scan.Ok() == whole.Ok());
    Check(!whole.Ok() || seen == whole.packets.size());
    Check(scan.packets == seen);

    BusHistory history;
    const ReplayResult replay = ReplayCaptureBytes(data, size, history);
    Check(replay.scan.packets == seen && replay.statusFrames <= seen);
    for (int node = 1; node <= 8; ++node) {
        std::int64_t last = std::numeric_limits<std::int64_t>::min();
        for (std::size_t i = 0; i < history.PointCount(node); ++i) {
            const HistoryPoint p = history.Point(node, i);
            Check(p.timeMs >= last && p.timeMs <= history.LastMs());
            last = p.timeMs;
        }
        ValueColumn columns[7];
        history.ValueColumns(node, node, history.FirstMs(), history.LastMs() + 1, columns);
    }
    const BusEventLog& events = history.Events();
    std::int64_t last = std::numeric_limits<std::int64_t>::min();
    for (auto seq = events.FirstSeq(); seq < events.NextSeq(); ++seq) {
        const BusEvent& e = *events.Find(seq);
        Check(e.timeMs >= last);
        last = e.timeMs;
        Check(!EventText(e).empty() && EventJson(e).front() == '{');
    }
    std::ostringstream csv;
    WriteStatusCsv(csv, history, 0);
    WriteEventsCsv(csv, history, 0);
    return 0;
}
