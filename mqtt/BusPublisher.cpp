#include "mqtt/BusPublisher.h"

#include "link/protocol/StatusJson.h"
#include "mqtt/EventEntities.h"

namespace orvik::mqtt {

BusPublisher::BusPublisher(BridgeTopics topics, std::optional<DiscoverySetup> discovery,
                           std::int64_t intervalMs, Sink sink)
    : topics_(std::move(topics)), discovery_(std::move(discovery)), intervalMs_(intervalMs),
      sink_(std::move(sink)) {}

BusPublisher::Snapshot BusPublisher::SnapshotOf(const StatusRecord& r, std::size_t n) {
    Snapshot s;
    s.present = r.IsNodePresent(n);
    if (!s.present)
        return s;
    s.on = r.BreakerOn(n);
    s.fault = r.BreakerFault(n);
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
        s.current[b] = r.Current(n, b);
    s.voltage = r.InputVoltage(n);
    s.settings = StatusSettingsOf(r, n);
    return s;
}

void BusPublisher::Update(const StatusRecord& record, LineStatus line, std::int64_t nowMs) {
    if (line != line_) {
        line_ = line;
        sink_({topics_.Line(), LineStatusWord(line), true});
    }
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        Node& node = nodes_[n];
        const bool present = record.IsNodePresent(n);
        if (!node.seen && !present)
            continue;
        if (!node.seen) {
            node.seen = true;
            Discover(n);
        }
        if (nowMs - node.publishedMs >= intervalMs_ && !(SnapshotOf(record, n) == node.published))
            PublishState(record, static_cast<int>(n + 1), nowMs);
        Availability(n, present && line == LineStatus::Receiving);
    }
}

void BusPublisher::Republish(const StatusRecord& record, LineStatus line, std::int64_t nowMs) {
    sink_({topics_.Status(), ONLINE, true});
    line_.reset();
    diagnosedLine_.reset();
    if (discovery_)
        for (const MqttMessage& m : BusDiscoveryMessages(*discovery_))
            sink_(m);
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        if (!nodes_[n].seen)
            continue;
        Discover(n);
        PublishState(record, static_cast<int>(n + 1), nowMs);
        // Told again, also when it did not change.
        nodes_[n].available = !(record.IsNodePresent(n) && line == LineStatus::Receiving);
        Availability(n, !nodes_[n].available);
        if (nodes_[n].trips)
            TripSettings(static_cast<int>(n + 1), *nodes_[n].trips);
    }
    Update(record, line, nowMs);
}

void BusPublisher::PublishState(const StatusRecord& record, int node, std::int64_t nowMs) {
    const auto n = static_cast<std::size_t>(node - 1);
    nodes_[n].published = SnapshotOf(record, n);
    nodes_[n].publishedMs = nowMs;
    sink_({topics_.State(node), NodeStatusJson(record, n).dump(), true});
}

void BusPublisher::Event(const BusEvent& event) {
    sink_({event.node ? topics_.NodeEvent(event.node) : topics_.Event(), EventJson(event), false});
    if (const std::optional<MqttMessage> m = EntityEventMessage(topics_, event))
        sink_(*m);
}

void BusPublisher::Diagnostics(const LineDiagnostics& d, std::int64_t nowMs) {
    if (d.line == diagnosedLine_ && (d.lastStatusMs > 0) == diagnosedFrame_ &&
        nowMs - diagnosedMs_ < DIAGNOSTICS_MS)
        return;
    diagnosedLine_ = d.line;
    diagnosedFrame_ = d.lastStatusMs > 0;
    diagnosedMs_ = nowMs;
    sink_({topics_.Diagnostics(), DiagnosticsJson(d), true});
}

void BusPublisher::TripSettings(int node, const BreakerSetupRecord& trips) {
    if (node < 1 || node > static_cast<int>(NODE_COUNT))
        return;
    nodes_[static_cast<std::size_t>(node - 1)].trips = trips;
    sink_({topics_.TripSettings(node), TripSettingsJson(node, trips), true});
}

void BusPublisher::Availability(std::size_t n, bool available) {
    if (nodes_[n].available == available)
        return;
    nodes_[n].available = available;
    sink_({topics_.Availability(static_cast<int>(n + 1)), available ? ONLINE : OFFLINE, true});
}

void BusPublisher::Discover(std::size_t n) {
    if (discovery_)
        for (const MqttMessage& m : DiscoveryMessages(*discovery_, static_cast<int>(n + 1)))
            sink_(m);
}

} // namespace orvik::mqtt
