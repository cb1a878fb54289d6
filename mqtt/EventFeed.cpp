#include "mqtt/EventFeed.h"

#include <algorithm>
#include <chrono>

namespace orvik::mqtt {

std::int64_t EventFeed::NowMs() const {
    using namespace std::chrono;
    return wallStartMs_ + duration_cast<milliseconds>(steady_clock::now() - steadyStart_).count();
}

void EventFeed::StatusAccepted(const StatusRecord& record) {
    deriver_.Status(NowMs(), record);
}

void EventFeed::SetupReplied(const std::uint8_t* data) {
    deriver_.SetupReply(NowMs(), data);
}

void EventFeed::CommandSent(const std::uint8_t* frame, std::size_t length, bool written) {
    // A command that never reached the line did nothing on the bus.
    if (!written || length < 7)
        return;
    deriver_.Command(NowMs(), frame[2], frame[4], frame + 5, length - 7);
}

void EventFeed::Take(const std::function<void(const BusEvent&)>& take) {
    for (next_ = std::max(next_, log_.FirstSeq()); next_ < log_.NextSeq(); ++next_)
        take(*log_.Find(next_));
}

} // namespace orvik::mqtt
