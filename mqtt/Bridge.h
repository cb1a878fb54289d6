// orvik-mqtt's run: the bus through a BusSession, the broker through an MqttClient, and between
// them what is published and the breaker commands taken from the broker.
#pragma once

#include "mqtt/BridgeOptions.h"

#include <atomic>

namespace orvik::mqtt {

// Exit codes.
inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_NO_BUS = 3;

// Runs until `stop` is set; then publishes offline and disconnects. Returns an exit code.
int RunBridge(const BridgeOptions& options, const std::atomic<bool>& stop);

} // namespace orvik::mqtt
