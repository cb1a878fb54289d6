// The events of the bus as the bridge takes them from the link: each status frame, setup reply
// and command sent goes to an event deriver, stamped with the time. Keeps only the
// last events, which the bridge takes as they come.
#pragma once

#include "link/history/BusEventLog.h"
#include "link/history/EventDeriver.h"
#include "link/state/LinkWatcher.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace orvik::mqtt {

class EventFeed : public LinkWatcher {
public:
    EventFeed() = default;

    void StatusAccepted(const StatusRecord& record) override;
    void SetupReplied(const std::uint8_t* data) override;
    void CommandSent(const std::uint8_t* frame, std::size_t length, bool written) override;

    // Hands each event that came since the last call to `take`, oldest first.
    void Take(const std::function<void(const BusEvent&)>& take);

private:
    static constexpr std::size_t KEPT = 256;
    // The wall-clock time of the start, then on a steady clock: no step back.
    std::int64_t NowMs() const;

    BusEventLog log_{KEPT};
    EventDeriver deriver_{log_};
    std::uint64_t next_ = 0;
    std::int64_t wallStartMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
    std::chrono::steady_clock::time_point steadyStart_ = std::chrono::steady_clock::now();
};

} // namespace orvik::mqtt
