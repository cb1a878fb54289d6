#include "link/history/HistoryReplay.h"

#include "link/base/LocalTime.h"
#include "link/capture/Pcapng.h"
#include "link/history/HistoryRecorder.h"
#include "link/protocol/FrameLog.h"
#include "link/state/LinkState.h"

#include <memory>

namespace orvik {

namespace {

constexpr std::uint8_t OUTBOUND = static_cast<std::uint8_t>(Direction::Outbound);

template <typename Scan> ReplayResult Replay(BusHistory& history, Scan&& scan) {
    ReplayResult result;
    auto link = std::make_unique<LinkState>();
    HistoryRecorder recorder(history);
    link->SetWatcher(&recorder);
    FrameReceiver commands;
    const std::uint64_t framesBefore = history.StatusFrames();
    result.scan = scan([&](const PacketView& p) {
        const auto ms = static_cast<std::int64_t>(p.timestampNs / 1'000'000);
        result.lastPacketMs = ms;
        recorder.SetTime(ms);
        recorder.Tick();
        if (p.direction != OUTBOUND) {
            link->FeedBytes(p.bytes, p.length);
            return;
        }
        // What the program sent; a command the port did not take never reached the bus.
        if (RecordedOutcome(p.comment) == FrameOutcome::NotSent)
            return;
        for (std::size_t i = 0; i < p.length; ++i) {
            if (!commands.Feed(p.bytes[i]))
                continue;
            if (const auto command = DecodeCommand(commands.RxType(), commands.FrameData().data(),
                                                   commands.ReceivedLength()))
                history.AddCommand(ms, *command);
        }
    });
    result.statusFrames = history.StatusFrames() - framesBefore;
    return result;
}

} // namespace

std::string ReplayResult::BreakText() const {
    if (scan.Ok())
        return {};
    std::string text = scan.error;
    if (lastPacketMs >= 0)
        text += ", after " + LocalTimeText(lastPacketMs);
    return text;
}

ReplayResult ReplayCapture(const std::string& path, BusHistory& history) {
    return Replay(history, [&](const PacketSink& sink) { return ScanPcapngFile(path, sink); });
}

ReplayResult ReplayCaptureBytes(const std::uint8_t* data, std::size_t size, BusHistory& history) {
    return Replay(history, [&](const PacketSink& sink) { return ScanPcapng(data, size, sink); });
}

} // namespace orvik
