// Feeds a bus history from the link: each status frame, setup reply and command sent, stamped
// with the time it happened. Live, that is now on a steady clock from the wall-clock time of
// the start; a capture read again sets the time of each packet.
#pragma once

#include "link/history/BusHistory.h"
#include "link/state/LinkWatcher.h"

#include <chrono>

namespace orvik {

class HistoryRecorder : public LinkWatcher {
public:
    explicit HistoryRecorder(BusHistory& history);

    // From now on, everything is stamped `timeMs` (ms since 1970) until the next call.
    void SetTime(std::int64_t timeMs) noexcept { fixedMs_ = timeMs; }
    // Live: stamped with the clock again.
    void UseClock() noexcept { fixedMs_ = -1; }
    std::int64_t Now() const noexcept;

    void StatusAccepted(const StatusRecord& record) override;
    void SetupReplied(const std::uint8_t* data) override;
    void CommandSent(const std::uint8_t* frame, std::size_t length, bool written) override;

private:
    BusHistory& history_;
    std::int64_t fixedMs_ = -1;
    std::int64_t wallStartMs_;
    std::chrono::steady_clock::time_point steadyStart_;
};

} // namespace orvik
