// The link state's side of the frame log: what comes in goes through a line recorder beside
// the receiver, each command sent is one record.
#include "link/state/LinkState.h"

namespace orvik {

void LinkState::FeedBytesLogged(const std::uint8_t* bytes, std::size_t count,
                                std::int64_t arrivedNs) {
    inbound_.Feed(*log_, FrameReceiver, bytes, count, log_->At(arrivedNs),
                  [this] { return AcceptFrame(); });
}

void LinkState::LogSent(std::size_t length, int written) {
    log_->CountBytes(Direction::Outbound, written > 0 ? static_cast<std::size_t>(written) : 0);
    const bool sent = written == static_cast<int>(length);
    log_->Add(Direction::Outbound, sent ? FrameOutcome::Sent : FrameOutcome::NotSent, log_->Now(),
              TxFrame.data(), length);
}

} // namespace orvik
