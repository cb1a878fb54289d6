// The events of the bus as the bridge takes them from the link: each status frame, setup reply
// and command sent goes to an event deriver, stamped with the run's clock. Keeps only the
// last events, which the bridge takes as they come.
#pragma once

#include "link/base/RunClock.h"
#include "link/history/BusEventLog.h"
#include "link/history/EventDeriver.h"
#include "link/state/LinkWatcher.h"

#include <cstdint>
#include <functional>

namespace orvik::mqtt {

class EventFeed : public LinkWatcher {
public:
    EventFeed() = default;

    void StatusAccepted(const StatusRecord& record, std::int64_t timeMs) override {
        deriver_.Status(timeMs, record);
    }
    void SetupReplied(const SetupReply& reply, std::int64_t timeMs) override {
        deriver_.SetupReply(timeMs, reply);
    }
    void CommandSent(const SentCommand& command, std::int64_t timeMs) override {
        deriver_.Command(timeMs, command);
    }

    // Hands each event that came since the last call to `take`, oldest first; a silence of the
    // line is told once it is long enough.
    void Take(const std::function<void(const BusEvent&)>& take);

private:
    static constexpr std::size_t KEPT = 256;

    BusEventLog log_{KEPT};
    EventDeriver deriver_{log_};
    std::uint64_t next_ = 0;
    RunClock clock_;
};

} // namespace orvik::mqtt
