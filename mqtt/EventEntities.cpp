#include "mqtt/EventEntities.h"

#include <nlohmann/json.hpp>

namespace orvik::mqtt {

const char* EventTypeOf(EventKind kind) noexcept {
    switch (kind) {
    case EventKind::Fault:
        return BREAKER_EVENT_TYPES[0];
    case EventKind::FaultCleared:
        return BREAKER_EVENT_TYPES[1];
    case EventKind::SwitchedOn:
        return BREAKER_EVENT_TYPES[2];
    case EventKind::SwitchedOff:
        return BREAKER_EVENT_TYPES[3];
    case EventKind::Joined:
        return NODE_EVENT_TYPES[0];
    case EventKind::Left:
        return NODE_EVENT_TYPES[1];
    default:
        return nullptr;
    }
}

std::optional<MqttMessage> EntityEventMessage(const BridgeTopics& topics, const BusEvent& e) {
    const char* type = EventTypeOf(e.kind);
    if (!type || e.node < 1 || e.node > 8)
        return std::nullopt;
    const bool ofBreaker = e.kind != EventKind::Joined && e.kind != EventKind::Left;
    if (ofBreaker && (e.breaker < 1 || e.breaker > 8))
        return std::nullopt;
    nlohmann::ordered_json j = {{"event_type", type}};
    const auto tenths = [](std::uint16_t v) { return v / 10.0; };
    if (e.kind == EventKind::Fault) {
        if (e.detail & FAULT_AT_JOIN)
            j["at_join"] = true;
        else
            j["current"] = tenths(e.values[0]);
        if (e.detail & FAULT_TRIP_KNOWN) {
            j["trip_current"] = tenths(e.values[1]);
            j["trip_time"] = tenths(e.values[2]);
        }
    } else if (e.kind == EventKind::SwitchedOn || e.kind == EventKind::SwitchedOff) {
        j["by_command"] = e.detail != 0;
    }
    return MqttMessage{ofBreaker ? topics.BreakerEvent(e.node, e.breaker) : topics.Presence(e.node),
                       j.dump(), false};
}

} // namespace orvik::mqtt
