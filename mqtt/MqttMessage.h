// One publication of the bridge.
#pragma once

#include <string>

namespace orvik::mqtt {

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retain = true;
};

} // namespace orvik::mqtt
