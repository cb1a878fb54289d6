// Feeds a bus history from the link: each status frame, setup reply and command sent, stamped
// with the time it happened. Live, that is the time the link gives (when the frame came off the
// line); a capture read again sets the time of each packet.
#pragma once

#include "link/base/RunClock.h"
#include "link/history/BusHistory.h"
#include "link/state/LinkWatcher.h"

namespace orvik {

class HistoryRecorder : public LinkWatcher {
public:
    explicit HistoryRecorder(BusHistory& history) : history_(history) {}

    // From now on, everything is stamped `timeMs` (ms since 1970) until the next call.
    void SetTime(std::int64_t timeMs) noexcept { fixedMs_ = timeMs; }
    // Live: stamped with the clock again.
    void UseClock() noexcept { fixedMs_ = -1; }
    std::int64_t Now() const noexcept { return fixedMs_ >= 0 ? fixedMs_ : clock_.NowMs(); }
    // Between frames: lets the history see the time pass.
    void Tick() { history_.Tick(Now()); }

    void StatusAccepted(const StatusRecord& record, std::int64_t timeMs) override {
        history_.AddStatus(At(timeMs), record);
    }
    void SetupReplied(const SetupReply& reply, std::int64_t timeMs) override {
        history_.AddSetupReply(At(timeMs), reply);
    }
    void CommandSent(const SentCommand& command, std::int64_t timeMs) override {
        history_.AddCommand(At(timeMs), command);
    }

private:
    std::int64_t At(std::int64_t timeMs) const noexcept {
        return fixedMs_ >= 0 ? fixedMs_ : timeMs;
    }

    BusHistory& history_;
    std::int64_t fixedMs_ = -1;
    RunClock clock_;
};

} // namespace orvik
