// At most so many commands a second from the broker, so that a flood there cannot flood the
// bus: a command is admitted while fewer than the most were admitted in the second before it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvik::mqtt {

class CommandRate {
public:
    static constexpr std::size_t MOST = 10;
    static constexpr std::int64_t WINDOW_MS = 1000;

    // Times in ms of a steady clock, never going back.
    bool Admit(std::int64_t nowMs) {
        const std::int64_t oldest = admitted_[next_];
        if (count_ == MOST && nowMs - oldest < WINDOW_MS)
            return false;
        admitted_[next_] = nowMs;
        next_ = (next_ + 1) % MOST;
        if (count_ < MOST)
            ++count_;
        return true;
    }

private:
    std::array<std::int64_t, MOST> admitted_{};
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

} // namespace orvik::mqtt
