// The events of the bus as the bridge takes them from the link: each status frame, setup reply
// and command sent goes to an event deriver, stamped with the run's clock. Keeps only the
// last events, which the bridge takes as they come, and the setup replies not yet taken.
#pragma once

#include "link/base/RunClock.h"
#include "link/history/BusEventLog.h"
#include "link/history/EventDeriver.h"
#include "link/state/LinkWatcher.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace orvik::mqtt {

class EventFeed : public LinkWatcher {
public:
    EventFeed() = default;

    void StatusAccepted(const StatusRecord& record, std::int64_t timeMs) override {
        deriver_.Status(timeMs, record);
        lastStatusMs_ = timeMs;
    }
    void SetupReplied(const SetupReply& reply, std::int64_t timeMs) override {
        deriver_.SetupReply(timeMs, reply);
        if (replies_.size() < NODE_COUNT)
            replies_.push_back(reply);
    }
    void CommandSent(const SentCommand& command, std::int64_t timeMs) override {
        deriver_.Command(timeMs, command);
    }

    // Hands each event that came since the last call to `take`, oldest first; a silence of the
    // line is told once it is long enough.
    void Take(const std::function<void(const BusEvent&)>& take);
    // Hands each breaker setup reply that came since the last call to `take`.
    void TakeReplies(const std::function<void(const SetupReply&)>& take);
    // When the last status frame came, ms since 1970; 0 before the first.
    std::int64_t LastStatusMs() const { return lastStatusMs_; }

private:
    static constexpr std::size_t KEPT = 256;

    BusEventLog log_{KEPT};
    EventDeriver deriver_{log_};
    std::uint64_t next_ = 0;
    RunClock clock_;
    std::int64_t lastStatusMs_ = 0;
    std::vector<SetupReply> replies_;
};

} // namespace orvik::mqtt
