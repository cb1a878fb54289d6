#include "mqtt/EventFeed.h"

#include <algorithm>

namespace orvik::mqtt {

void EventFeed::Take(const std::function<void(const BusEvent&)>& take) {
    deriver_.Tick(clock_.NowMs());
    for (next_ = std::max(next_, log_.FirstSeq()); next_ < log_.NextSeq(); ++next_)
        take(*log_.Find(next_));
}

void EventFeed::TakeReplies(const std::function<void(const SetupReply&)>& take) {
    for (const SetupReply& r : replies_)
        take(r);
    replies_.clear();
}

} // namespace orvik::mqtt
