// What the bridge publishes of the bus, and when: the line's word on change; each node's
// availability on change; its state on change, at most once an interval; its discovery when
// it is first seen; events as they come. After a connect, all of it again from the latest
// state: nothing is kept for a broker that is away.
#pragma once

#include "link/history/BusEvent.h"
#include "link/line/LineSupervisor.h"
#include "link/protocol/StatusRecord.h"
#include "link/protocol/StatusSettings.h"
#include "mqtt/Diagnostics.h"
#include "mqtt/Discovery.h"
#include "mqtt/MqttMessage.h"
#include "mqtt/Topics.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace orvik::mqtt {

class BusPublisher {
public:
    using Sink = std::function<void(const MqttMessage&)>;

    // `discovery`: none with --no-discovery. Times are ms of a steady clock.
    BusPublisher(BridgeTopics topics, std::optional<DiscoverySetup> discovery,
                 std::int64_t intervalMs, Sink sink);

    // Each status frame and each tick, with the line's state now.
    void Update(const StatusRecord& record, LineStatus line, std::int64_t nowMs);
    // After a connect: online, the line, and for each node seen its discovery, availability
    // and state.
    void Republish(const StatusRecord& record, LineStatus line, std::int64_t nowMs);
    // Node 1..8's state now, whatever the interval.
    void PublishState(const StatusRecord& record, int node, std::int64_t nowMs);
    void Event(const BusEvent& event);
    // The line's diagnostics: at once when its state changed and at the first status frame,
    // else once in DIAGNOSTICS_MS.
    void Diagnostics(const LineDiagnostics& diagnostics, std::int64_t nowMs);
    // A node's trip settings, from its breaker setup reply.
    void TripSettings(int node, const BreakerSetupRecord& trips);

    static constexpr std::int64_t DIAGNOSTICS_MS = 10'000;

    const BridgeTopics& Topics() const { return topics_; }

private:
    // What a node's state is made of, to tell a change without building its JSON.
    struct Snapshot {
        bool present = false;
        std::uint8_t on = 0;
        std::uint8_t fault = 0;
        std::array<std::uint16_t, BREAKER_COUNT> current{};
        std::uint16_t voltage = 0;
        StatusSettings settings{};
        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };
    struct Node {
        bool seen = false;
        bool available = false;
        Snapshot published{};
        std::int64_t publishedMs = 0;
        std::optional<BreakerSetupRecord> trips;
    };
    static Snapshot SnapshotOf(const StatusRecord& record, std::size_t n);
    void Availability(std::size_t n, bool available);
    void Discover(std::size_t n);

    BridgeTopics topics_;
    std::optional<DiscoverySetup> discovery_;
    std::int64_t intervalMs_;
    Sink sink_;
    std::array<Node, NODE_COUNT> nodes_{};
    std::optional<LineStatus> line_;
    std::optional<LineStatus> diagnosedLine_;
    std::int64_t diagnosedMs_ = 0;
    bool diagnosedFrame_ = false;
};

} // namespace orvik::mqtt
