// Which nodes the bridge asks for their breaker setup (trip current and time of each breaker),
// so that its fault events can say what a breaker trips at: each node once when it joins the
// bus and again after a change of its settings, one request at a time, spaced out, so that the
// line is never crowded by them. A press of a node's "Read settings" asks it again, at most once
// in a few seconds.
#pragma once

#include "link/history/BusEvent.h"

#include <array>
#include <cstdint>
#include <optional>

namespace orvik::mqtt {

class SetupRequests {
public:
    // Requests at most this often.
    static constexpr std::int64_t SPACING_MS = 2000;
    // A node's "Read settings" is taken at most this often.
    static constexpr std::int64_t PRESS_SPACING_MS = 5000;

    // An event of the bus: a node that joined, or whose settings changed, is to be asked.
    void Saw(const BusEvent& event);
    // A press of node 1..8's "Read settings": false when it was pressed less than
    // PRESS_SPACING_MS before, else the node is asked at its turn.
    bool Press(int node, std::int64_t nowMs);
    // The node (1..8) to ask now, if any is due and the last request is far enough back.
    std::optional<int> Next(std::int64_t nowMs);

private:
    std::array<bool, 8> due_{};
    // Long enough ago that a first press is taken.
    std::array<std::int64_t, 8> pressedMs_{[] {
        std::array<std::int64_t, 8> a;
        a.fill(-PRESS_SPACING_MS);
        return a;
    }()};
    std::int64_t lastMs_ = -SPACING_MS;
};

} // namespace orvik::mqtt
