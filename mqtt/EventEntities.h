// The bus's events as Home Assistant's event entities and device triggers take them: per
// breaker tripped, fault_cleared, switched_on and switched_off, per node joined and left, each
// on a topic of its own as {"event_type":"tripped","current":7.2,...}.
#pragma once

#include "link/history/BusEvent.h"
#include "mqtt/MqttMessage.h"
#include "mqtt/Topics.h"

#include <array>
#include <optional>

namespace orvik::mqtt {

inline constexpr std::array<const char*, 4> BREAKER_EVENT_TYPES = {"tripped", "fault_cleared",
                                                                   "switched_on", "switched_off"};
inline constexpr std::array<const char*, 2> NODE_EVENT_TYPES = {"joined", "left"};

// The event's type for Home Assistant; nullptr for a kind it is not told of.
const char* EventTypeOf(EventKind kind) noexcept;

// The event on its entity's topic, not retained; nullopt for other kinds.
std::optional<MqttMessage> EntityEventMessage(const BridgeTopics& topics, const BusEvent& event);

} // namespace orvik::mqtt
