// Home Assistant's discovery of a node: one device "Orvik node N on <bus>", with a load-current
// sensor per breaker, the input voltage, a fault binary sensor per breaker, and per breaker a
// switch when the bridge takes commands, else a binary sensor; an event entity per breaker and
// one for the node, with a device trigger for each of their event types; a "Read settings"
// button unless the bridge never asks for breaker setups. Each entity is
// available while the bridge is online and its node available (present on a receiving line).
#pragma once

#include "mqtt/MqttMessage.h"
#include "mqtt/Topics.h"

#include <string>
#include <vector>

namespace orvik::mqtt {

struct DiscoverySetup {
    BridgeTopics topics;
    std::string prefix = "homeassistant";
    bool switches = false;
    bool readSettings = true; // a "Read settings" button per node
};

// The bus's name in the devices' names: the base's last level ("van12").
std::string BusName(const std::string& base);
// The base as an identifier: letters, digits, _ and - kept, anything else _.
std::string BusId(const std::string& base);

// The retained configurations of node 1..8, and an empty one for each breaker entity of the
// kind not in use, which removes it when commands were allowed before and are not now, or
// the other way round.
std::vector<MqttMessage> DiscoveryMessages(const DiscoverySetup& setup, int node);

// The bus's own device, "Orvik bus <bus>", with the diagnostics of <base>/diagnostics; available
// while the bridge is online.
std::vector<MqttMessage> BusDiscoveryMessages(const DiscoverySetup& setup);

// Where Home Assistant says that it (re)started: "online" there asks for everything again.
std::string HomeAssistantStatusTopic(const std::string& prefix);
bool HomeAssistantStarted(const std::string& prefix, const std::string& topic,
                          const std::string& payload);

// Where a bridge without discovery looks for what earlier runs announced: every configuration
// under the prefix. Of what it finds, AnnouncedEarlier picks this base's own (a configuration
// with a payload, of a node of this base or of its bus).
std::string EarlierDiscoveryFilter(const std::string& prefix);
bool AnnouncedEarlier(const std::string& prefix, const BridgeTopics& topics,
                      const std::string& topic, const std::string& payload);

} // namespace orvik::mqtt
