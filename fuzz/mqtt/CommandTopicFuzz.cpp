// Arbitrary topics and payloads from the broker: the command parser takes only
// <base>/node/N/breaker/B/set with N and B 1..8 and the payload ON or OFF, and a press of
// Read settings only as PRESS on <base>/node/N/read_settings; anything else is refused with a
// reason that is printable and short, whatever bytes came. Of the discovery configurations,
// only a node 1..8 of the base's own or its bus's, with a payload, is taken back.
#include "mqtt/CommandTopic.h"
#include "mqtt/Discovery.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

void CheckReason(const std::string& problem) {
    Check(!problem.empty() && problem.size() < 600);
    for (unsigned char ch : problem)
        Check(ch >= 0x20 && ch != 0x7F);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte is the topic's length; the rest is topic, then payload.
    const std::string bytes(reinterpret_cast<const char*>(in) + 1, size - 1);
    const std::size_t split = std::min<std::size_t>(in[0], bytes.size());
    const std::string topic = bytes.substr(0, split);
    const std::string payload = bytes.substr(split);
    const std::string base = "orvik/van12";

    if (orvik::mqtt::HomeAssistantStarted("homeassistant", topic, payload))
        Check(topic == "homeassistant/status" && payload == "online");
    if (orvik::mqtt::AnnouncedEarlier("homeassistant", {base}, topic, payload)) {
        const std::string own = "homeassistant/";
        Check(!payload.empty() && topic.starts_with(own) && topic.ends_with("/config") &&
              (topic.find("/orvik_orvik_van12_node") != std::string::npos ||
               topic.find("/orvik_orvik_van12_bus/") != std::string::npos));
    }

    const orvik::mqtt::ReadSettingsPress press =
        orvik::mqtt::ParseReadSettings(base, topic, payload);
    if (press.ok)
        Check(press.node >= 1 && press.node <= 8 && payload == "PRESS" &&
              topic == base + "/node/" + std::to_string(press.node) + "/read_settings");
    else
        CheckReason(press.problem);

    const orvik::mqtt::BreakerCommand c = orvik::mqtt::ParseBreakerCommand(base, topic, payload);
    if (c.ok) {
        Check(c.node >= 1 && c.node <= 8 && c.breaker >= 1 && c.breaker <= 8);
        Check(topic == base + "/node/" + std::to_string(c.node) + "/breaker/" +
                           std::to_string(c.breaker) + "/set");
        Check(payload == (c.on ? "ON" : "OFF"));
        Check(c.problem.empty());
        return 0;
    }
    CheckReason(c.problem);
    return 0;
}
