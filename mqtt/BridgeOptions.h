// What orvik-mqtt is told: options on its command line and keys of its configuration file
// (--config FILE, INI: the same names without the dashes, in no section or in [mqtt]); the
// command line wins. The password comes only from a file or the environment.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvik::mqtt {

struct BrokerAddress {
    bool tls = false; // mqtts://
    std::string host;
    int port = 1883;
};

struct BridgeOptions {
    std::string broker = "mqtt://localhost";
    BrokerAddress address;
    std::string port;      // "": the program's port from its settings file
    std::string base;      // "": orvik/<host name>
    std::string clientId;  // "": orvik-mqtt- and the base
    double interval = 1.0; // seconds between two states of a node, at most
    bool discovery = true;
    bool setupRequests = true; // ask each node for its breaker setup when it joins
    std::string discoveryPrefix = "homeassistant";
    bool allowSwitching = false;
    std::string cafile;
    std::string cert;
    std::string key;
    std::string username;
    std::string passwordFile;
    std::string password; // from passwordFile or ORVIK_MQTT_PASSWORD
    bool verbose = false;
};

struct OptionsResult {
    bool ok = false;
    std::string error;                 // what is wrong, naming the option, key or file
    std::vector<std::string> warnings; // told, and the bridge runs
    std::string help;                  // what --help or --version prints; then the program ends
};

// What the parser needs of the system, so that tests give their own.
struct OptionSources {
    std::function<const char*(const char*)> environment; // getenv
    std::string hostName;
};

// Reads `args` (without the program's name) with CLI11, as orvik-cli reads its own, then the
// configuration file it names and the password, and fills in the defaults.
OptionsResult ParseBridgeOptions(const std::vector<std::string>& args, const OptionSources& sources,
                                 BridgeOptions& out);

// "mqtt://host[:port]" or "mqtts://host[:port]"; a host may be "[::1]". "" on success, else why.
std::string ParseBrokerUrl(const std::string& url, BrokerAddress& out);

// Whether `topic` may be a base or prefix: not empty, no wildcard, no empty level, no NUL.
bool TopicPrefixOk(const std::string& topic);

} // namespace orvik::mqtt
