// Applies a settings file to one node and checks that each setting took effect, without
// blocking. The link has no acknowledgement, so the node's own reports close the loop: the
// following status frames for its own settings, a fresh breaker setup reply for the trip
// settings. Only the differences are sent, in a safe order (trip settings, doubling, power-on
// mask, wigwag enable before its mode, interval, flasher, dual LED); a setting that does not
// show is sent again, at most MAX_TRIES times in all. Factory defaults are never sent.
#pragma once

#include "link/nodefiles/NodeRead.h"
#include "link/protocol/NodeSettings.h"

#include <vector>

namespace orvik {

enum class ApplyResult { Pending, Confirmed, NotConfirmed, NotApplicable };
// "confirmed", "not confirmed", "not applicable".
const char* ApplyResultText(ApplyResult result);

struct SettingOutcome {
    SettingDifference difference;
    ApplyResult result = ApplyResult::Pending;
    int sends = 0; // command frames sent for it
};

// Whether an apply can send the setting to a node with these settings: doubling needs the
// programmable profile.
bool Applicable(const SettingDifference& difference, const NodeSettings& node);

class NodeApply {
public:
    static constexpr int MAX_TRIES = 3;
    // A send is looked for in this many status frames after it, or for REPLY_WAIT at most.
    static constexpr int VERIFY_FRAMES = 3;

    // `now`: the node's settings as a NodeRead found them; `file`: what to make of them. The
    // link's node selector must name `node` while the apply runs.
    NodeApply(LinkState& link, int node, const NodeSettings& now, const NodeSettings& file);

    const std::vector<SettingOutcome>& Outcomes() const { return items_; }

    void Start(LinkTime now);
    void OnStatus(LinkTime now); // a status frame was accepted
    void OnSetupStored(LinkTime now);
    void Tick(LinkTime now);
    bool Finished() const;

private:
    struct Flight {
        bool inFlight = false;
        bool enabling = false; // wigwag: the enable went out, its mode is still to come
        LinkTime sentAt{};
        int frames = 0; // status frames since the send
    };

    void Send(std::size_t i, LinkTime now);
    // The send did not show: again, or not confirmed after MAX_TRIES.
    void Retry(std::size_t i, LinkTime now);
    void RequestSetup(LinkTime now);
    bool IsTrip(std::size_t i) const;

    LinkState& link_;
    int node_;
    std::vector<SettingOutcome> items_;
    std::vector<Flight> flights_;
    bool awaitingReply_ = false;
    LinkTime requestAt_{};
};

} // namespace orvik
