// Reads one node's settings from the bus without blocking: the next status frame gives its own
// settings, one breaker setup request its trip settings. The owner feeds it the link's events
// and the time; it never waits by itself.
#pragma once

#include "link/protocol/NodeSettings.h"
#include "link/state/LinkState.h"

#include <chrono>
#include <string>

namespace orvik {

using LinkClock = std::chrono::steady_clock;
using LinkTime = LinkClock::time_point;

// How long a read waits for a status frame, and for the reply to a breaker setup request.
inline constexpr std::chrono::milliseconds REPLY_WAIT{2000};

// Asks `node` (1..8) for its breaker setup through the link.
void SendSetupRequest(LinkState& link, int node);

class NodeRead {
public:
    enum class State {
        Reading,
        Read,     // Settings() holds the node's settings; see TripSettingsRead()
        NoStatus, // no status frame within REPLY_WAIT
        NotOnBus, // the status frame does not show the node
    };

    // The link's node selector must name `node` while the read runs: setup replies of other
    // nodes are not stored.
    NodeRead(LinkState& link, int node) : link_(link), node_(node) {}

    void Start(LinkTime now);
    void OnStatus(LinkTime now); // a status frame was accepted
    void OnSetupStored(LinkTime now);
    void Tick(LinkTime now);

    State GetState() const { return state_; }
    bool Finished() const { return state_ != State::Reading; }
    int Node() const { return node_; }
    // Whether the node answered the setup request; without it the trip settings are not known.
    bool TripSettingsRead() const { return replied_; }
    const NodeSettings& Settings() const { return settings_; }
    // What went wrong, for the user; empty when the read is complete.
    std::string Problem() const;

private:
    void Finish(LinkTime now);

    LinkState& link_;
    int node_;
    State state_ = State::Reading;
    LinkTime started_{};
    bool haveStatus_ = false;
    bool replied_ = false;
    BreakerSetupRecord setup_{};
    NodeSettings settings_;
};

} // namespace orvik
