#include "link/history/HistoryRecorder.h"

namespace orvik {

HistoryRecorder::HistoryRecorder(BusHistory& history)
    : history_(history), wallStartMs_(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count()),
      steadyStart_(std::chrono::steady_clock::now()) {}

std::int64_t HistoryRecorder::Now() const noexcept {
    if (fixedMs_ >= 0)
        return fixedMs_;
    return wallStartMs_ + std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - steadyStart_)
                              .count();
}

void HistoryRecorder::StatusAccepted(const StatusRecord& record) {
    history_.AddStatus(Now(), record);
}

void HistoryRecorder::SetupReplied(const std::uint8_t* data) {
    history_.AddSetupReply(Now(), data);
}

void HistoryRecorder::CommandSent(const std::uint8_t* frame, std::size_t length, bool written) {
    // A command that never reached the line did nothing on the bus.
    if (!written || length < 7)
        return;
    history_.AddCommand(Now(), frame[2], frame[4], frame + 5, length - 7);
}

} // namespace orvik
