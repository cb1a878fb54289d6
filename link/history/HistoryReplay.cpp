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

// The time a recording has run at each packet, jumps of the clock not counted.
class RecordingClock {
public:
    std::int64_t At(std::int64_t timeMs) {
        if (!any_) {
            any_ = true;
            firstMs_ = timeMs;
        }
        jumpsMs_ += clock_.See(timeMs);
        runMs_ = std::max(runMs_, timeMs - jumpsMs_ - firstMs_);
        return runMs_;
    }

private:
    ClockJumps clock_;
    bool any_ = false;
    std::int64_t firstMs_ = 0;
    std::int64_t jumpsMs_ = 0;
    std::int64_t runMs_ = 0;
};

// Counts the status frames the link accepts on their way to the target.
class Counting : public LinkWatcher {
public:
    explicit Counting(ReplayTarget& target) : target_(target) {}
    void StatusAccepted(const StatusRecord& record, std::int64_t timeMs) override {
        ++statusFrames;
        target_.StatusAccepted(record, timeMs);
    }
    void SetupReplied(const SetupReply& reply, std::int64_t timeMs) override {
        target_.SetupReplied(reply, timeMs);
    }
    void CommandSent(const SentCommand& command, std::int64_t timeMs) override {
        target_.CommandSent(command, timeMs);
    }
    std::uint64_t statusFrames = 0;

private:
    ReplayTarget& target_;
};

template <typename Scan>
ReplayResult Replay(ReplayTarget& target, std::int64_t untilMs, Scan&& scan) {
    ReplayResult result;
    auto link = std::make_unique<LinkState>();
    Counting counting(target);
    link->SetWatcher(&counting);
    FrameReceiver commands;
    RecordingClock run;
    bool done = false;
    result.scan = scan([&](const PacketView& p) {
        const auto ms = static_cast<std::int64_t>(p.timestampNs / 1'000'000);
        done = done || (untilMs >= 0 && run.At(ms) >= untilMs);
        if (done)
            return;
        result.lastPacketMs = ms;
        target.PacketTime(ms);
        if (p.direction != OUTBOUND) {
            link->FeedBytes(p.bytes, p.length, 0);
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
                target.CommandSent(*command, ms);
        }
    });
    result.statusFrames = counting.statusFrames;
    return result;
}

// A history fed as the program fed it on the line; commands count only once written.
class HistoryTarget : public ReplayTarget {
public:
    explicit HistoryTarget(BusHistory& history) : history_(history), recorder_(history) {}
    void PacketTime(std::int64_t timeMs) override {
        recorder_.SetTime(timeMs);
        recorder_.Tick();
    }
    void StatusAccepted(const StatusRecord& r, std::int64_t t) override {
        recorder_.StatusAccepted(r, t);
    }
    void SetupReplied(const SetupReply& r, std::int64_t t) override {
        recorder_.SetupReplied(r, t);
    }
    void CommandSent(const SentCommand& c, std::int64_t) override {
        history_.AddCommand(recorder_.Now(), c);
    }

private:
    BusHistory& history_;
    HistoryRecorder recorder_;
};

} // namespace

std::string ReplayResult::BreakText() const {
    if (scan.Ok())
        return {};
    std::string text = scan.error;
    if (lastPacketMs >= 0)
        text += ", after " + LocalTimeText(lastPacketMs);
    return text;
}

std::string ReplayResult::DamageText() const {
    if (scan.damagedBlocks == 0)
        return {};
    return std::to_string(scan.damagedBlocks) +
           (scan.damagedBlocks == 1 ? " damaged block skipped" : " damaged blocks skipped");
}

ReplayResult ReplayCapture(const std::string& path, ReplayTarget& target, std::int64_t untilMs,
                           ScanControl* control) {
    return Replay(target, untilMs,
                  [&](const PacketSink& sink) { return ScanPcapngFile(path, sink, control); });
}

ReplayResult ReplayCapture(const std::string& path, BusHistory& history, std::int64_t untilMs,
                           ScanControl* control) {
    HistoryTarget target(history);
    return ReplayCapture(path, target, untilMs, control);
}

ReplayResult ReplayCaptureBytes(const std::uint8_t* data, std::size_t size, BusHistory& history) {
    HistoryTarget target(history);
    return Replay(target, -1, [&](const PacketSink& sink) { return ScanPcapng(data, size, sink); });
}

RecordingSpan ScanRecordingSpan(const std::string& path, ScanControl* control) {
    RecordingSpan span;
    RecordingClock run;
    span.scan = ScanPcapngFile(
        path,
        [&](const PacketView& p) {
            const auto ms = static_cast<std::int64_t>(p.timestampNs / 1'000'000);
            if (span.firstMs < 0)
                span.firstMs = ms;
            span.spanMs = run.At(ms);
        },
        control);
    return span;
}

} // namespace orvik
