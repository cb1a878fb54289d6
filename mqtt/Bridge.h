// orvik-mqtt's run: the bus through a BusSession, the broker through an MqttClient, and between
// them what is published and the breaker commands taken from the broker.
#pragma once

#include "mqtt/BridgeOptions.h"

#include <atomic>

namespace orvik::mqtt {

// Exit codes, as orvik-cli's. A service tries again after EXIT_NO_BUS only.
inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_USAGE = 2;      // bad usage, a bad file or a port name not well formed
inline constexpr int EXIT_NO_BUS = 3;     // the port cannot be opened
inline constexpr int EXIT_NOT_SERIAL = 4; // the port names a device that is no serial port

// Runs until `stop` is set; then publishes offline and disconnects. Returns an exit code.
int RunBridge(const BridgeOptions& options, const std::atomic<bool>& stop);

} // namespace orvik::mqtt
