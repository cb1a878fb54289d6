#include "mqtt/Discovery.h"

#include "mqtt/Diagnostics.h"
#include "mqtt/EventEntities.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cctype>

namespace orvik::mqtt {

namespace {

using Json = nlohmann::ordered_json;

// A value of the node's state; None while the node is not present.
std::string Template(const std::string& value) {
    return "{{ " + value + " if value_json.present else None }}";
}
std::string OnOff(const std::string& flag) {
    return Template("('ON' if " + flag + " else 'OFF')");
}
std::string Breaker(int b, const char* field) {
    return "value_json.breakers[" + std::to_string(b - 1) + "]." + field;
}

} // namespace

std::string BusName(const std::string& base) {
    return base.substr(base.rfind('/') + 1);
}

std::string BusId(const std::string& base) {
    std::string id;
    for (char c : base)
        id += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    return id;
}

std::string HomeAssistantStatusTopic(const std::string& prefix) {
    return prefix + "/status";
}

bool HomeAssistantStarted(const std::string& prefix, const std::string& topic,
                          const std::string& payload) {
    return topic == HomeAssistantStatusTopic(prefix) && payload == "online";
}

std::string EarlierDiscoveryFilter(const std::string& prefix) {
    return prefix + "/+/+/+/config";
}

bool AnnouncedEarlier(const std::string& prefix, const BridgeTopics& topics,
                      const std::string& topic, const std::string& payload) {
    // prefix/component/orvik_<bus>_nodeN/object/config, or orvik_<bus>_bus/object
    const std::string node = "orvik_" + BusId(topics.base) + "_node";
    const std::string bus = "orvik_" + BusId(topics.base) + "_bus/";
    if (payload.empty() || !topic.starts_with(prefix + "/") || !topic.ends_with("/config"))
        return false;
    const std::size_t at = topic.find('/', prefix.size() + 1);
    if (at != std::string::npos && topic.compare(at + 1, bus.size(), bus) == 0)
        return true;
    if (at == std::string::npos || topic.compare(at + 1, node.size(), node) != 0)
        return false;
    const std::size_t digit = at + 1 + node.size();
    return digit + 1 < topic.size() && topic[digit] >= '1' && topic[digit] <= '8' &&
           topic[digit + 1] == '/';
}

std::vector<MqttMessage> DiscoveryMessages(const DiscoverySetup& setup, int node) {
    const BridgeTopics& t = setup.topics;
    const std::string n = std::to_string(node);
    const std::string nodeId = "orvik_" + BusId(t.base) + "_node" + n;
    const Json device = {{"identifiers", {nodeId}},
                         {"name", "Orvik node " + n + " on " + BusName(t.base)},
                         {"manufacturer", "Tarnwell"},
                         {"model", "Orvik circuit-breaker module"}};
    const Json availability =
        Json::array({{{"topic", t.Status()}}, {{"topic", t.Availability(node)}}});

    std::vector<MqttMessage> out;
    auto topic = [&](const char* component, const std::string& object) {
        return setup.prefix + "/" + component + "/" + nodeId + "/" + object + "/config";
    };
    auto add = [&](const char* component, const std::string& object, Json config) {
        Json c = {{"name", config["name"]},
                  {"unique_id", nodeId + "_" + object},
                  {"state_topic", t.State(node)}};
        c.update(config);
        if (c["state_topic"].is_null()) // a button has none
            c.erase("state_topic");
        c["availability"] = availability;
        c["availability_mode"] = "all";
        c["device"] = device;
        c["origin"] = {{"name", "orvik-mqtt"}};
        out.push_back({topic(component, object), c.dump(), true});
    };
    auto remove = [&](const char* component, const std::string& object) {
        out.push_back({topic(component, object), "", true});
    };
    // An event entity, and a device trigger for each of its types, on the same topic.
    auto events = [&](const std::string& object, const std::string& name,
                      const std::string& eventTopic, const std::string& subtype, auto types) {
        add("event", object + "_events",
            {{"name", name + " events"},
             {"state_topic", eventTopic},
             {"event_types", Json(types)}});
        for (const char* type : types)
            out.push_back({topic("device_automation", object + "_" + type),
                           Json{{"automation_type", "trigger"},
                                {"topic", eventTopic},
                                {"type", type},
                                {"subtype", subtype},
                                {"payload", type},
                                {"value_template", "{{ value_json.event_type }}"},
                                {"device", device},
                                {"origin", {{"name", "orvik-mqtt"}}}}
                               .dump(),
                           true});
    };

    for (int b = 1; b <= 8; ++b) {
        const std::string breaker = "breaker" + std::to_string(b);
        const std::string name = "Breaker " + std::to_string(b);
        add("sensor", breaker + "_current",
            {{"name", name + " current"},
             {"value_template", Template(Breaker(b, "current"))},
             {"device_class", "current"},
             {"unit_of_measurement", "A"},
             {"state_class", "measurement"}});
        add("binary_sensor", breaker + "_fault",
            {{"name", name + " fault"},
             {"value_template", OnOff(Breaker(b, "fault"))},
             {"device_class", "problem"}});
        if (setup.switches) {
            add("switch", breaker,
                {{"name", name},
                 {"command_topic", t.BreakerSet(node, b)},
                 {"value_template", OnOff(Breaker(b, "on"))},
                 {"payload_on", "ON"},
                 {"payload_off", "OFF"}});
            remove("binary_sensor", breaker);
        } else {
            add("binary_sensor", breaker,
                {{"name", name},
                 {"value_template", OnOff(Breaker(b, "on"))},
                 {"device_class", "power"}});
            remove("switch", breaker);
        }
        events(breaker, name, t.BreakerEvent(node, b), name, BREAKER_EVENT_TYPES);
        const std::string trip = "value_json.breakers[" + std::to_string(b - 1) + "].trip_";
        for (const auto& [what, deviceClass, unit] :
             {std::array<const char*, 3>{"current", "current", "A"},
              std::array<const char*, 3>{"time", "duration", "s"}})
            add("sensor", breaker + "_trip_" + what,
                {{"name", name + " trip " + what},
                 {"state_topic", t.TripSettings(node)},
                 {"value_template", "{{ " + trip + what + " }}"},
                 {"device_class", deviceClass},
                 {"unit_of_measurement", unit},
                 {"entity_category", "diagnostic"}});
    }
    events("node", "Node", t.Presence(node), "Orvik node " + n, NODE_EVENT_TYPES);
    if (setup.readSettings)
        add("button", "read_settings",
            {{"name", "Read settings"},
             {"state_topic", nullptr},
             {"command_topic", t.ReadSettings(node)},
             {"payload_press", "PRESS"},
             {"entity_category", "diagnostic"}});
    else
        remove("button", "read_settings");
    add("sensor", "input_voltage",
        {{"name", "Input voltage"},
         {"value_template", Template("value_json.voltage")},
         {"device_class", "voltage"},
         {"unit_of_measurement", "V"},
         {"state_class", "measurement"}});
    return out;
}

std::vector<MqttMessage> BusDiscoveryMessages(const DiscoverySetup& setup) {
    const BridgeTopics& t = setup.topics;
    const std::string busId = "orvik_" + BusId(t.base) + "_bus";
    const Json device = {{"identifiers", {busId}},
                         {"name", "Orvik bus " + BusName(t.base)},
                         {"manufacturer", "Tarnwell"},
                         {"model", "orvik-mqtt bridge"},
                         {"sw_version", BridgeVersion()}};
    std::vector<MqttMessage> out;
    auto add = [&](const std::string& object, Json config) {
        Json c = {{"name", config["name"]},
                  {"unique_id", busId + "_" + object},
                  {"state_topic", t.Diagnostics()},
                  {"value_template", "{{ value_json." + object + " }}"},
                  {"entity_category", "diagnostic"}};
        c.update(config);
        // Told also while the line is down: that is when it matters.
        c["availability_topic"] = t.Status();
        c["device"] = device;
        c["origin"] = {{"name", "orvik-mqtt"}};
        out.push_back(
            {setup.prefix + "/sensor/" + busId + "/" + object + "/config", c.dump(), true});
    };
    Json words = Json::array();
    for (int s = static_cast<int>(LineStatus::Closed); s <= static_cast<int>(LineStatus::Failed);
         ++s)
        words.push_back(LineStatusWord(static_cast<LineStatus>(s)));
    add("line", {{"name", "Line"}, {"device_class", "enum"}, {"options", words}});
    add("reason", {{"name", "Line state"}});
    add("frames_per_second", {{"name", "Status frames per second"},
                              {"unit_of_measurement", "frames/s"},
                              {"state_class", "measurement"}});
    add("last_status_frame", {{"name", "Last status frame"}, {"device_class", "timestamp"}});
    add("version", {{"name", "Bridge version"}});
    return out;
}

} // namespace orvik::mqtt
