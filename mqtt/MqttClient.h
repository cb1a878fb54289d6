// The bridge's one connection to its broker, on libmosquitto, serviced from the bridge's own
// loop (no thread of its own): it connects, reconnects with back-off after a failure or a
// loss, says why in the log, and hands over the messages that came. A connection that ends
// takes nothing with it into the next: each connect starts from a new client.
#pragma once

#include "mqtt/BridgeOptions.h"
#include "mqtt/MqttMessage.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace orvik::mqtt {

struct ClientSetup {
    BrokerAddress address;
    std::string clientId;
    std::string username;
    std::string password;
    std::string cafile; // "": the system's certificates, for mqtts://
    std::string cert;
    std::string key;
    MqttMessage will;
    std::vector<std::string> subscriptions;
};

class MqttClient {
public:
    static constexpr std::int64_t FIRST_RETRY_MS = 1000;
    static constexpr std::int64_t LONGEST_RETRY_MS = 60000;
    static constexpr std::int64_t CONNECT_WAIT_MS = 10000;
    static constexpr int KEEPALIVE_S = 30;

    explicit MqttClient(ClientSetup setup);
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Carries out what is due now (ms of a steady clock): a connect, reads, writes, keepalive.
    // Calls OnConnected after each connect and OnMessage for each message that came.
    void Service(std::int64_t nowMs);
    bool Connected() const { return connected_; }
#ifndef _WIN32
    // Sleeps until the broker's socket has something to read (or room for what waits to be
    // written), `other` is readable, or `timeoutMs` passes: the bridge's one wait.
    void WaitFor(int other, int timeoutMs) const;
#endif
    // Sends at QoS 1; false, and nothing kept, while not connected.
    bool Publish(const MqttMessage& message);
    // A clean end: `last` published and acknowledged (or `waitMs` passed), then disconnected.
    // Whether the broker took `last`.
    bool Close(const MqttMessage& last, std::int64_t waitMs);

    std::function<void()> OnConnected;
    std::function<void(const std::string& topic, const std::string& payload, bool retained)>
        OnMessage;

    // "mqtt://host:1883".
    std::string BrokerName() const;

private:
    struct Free {
        void operator()(mosquitto* m) const;
    };
    struct Received {
        std::string topic;
        std::string payload;
        bool retained;
    };
    static void ConnectCallback(mosquitto*, void* self, int code);
    static void PublishCallback(mosquitto*, void* self, int mid);
    static void MessageCallback(mosquitto*, void* self, const mosquitto_message* message);
    static void LogCallback(mosquitto*, void* self, int level, const char* text);

    bool Start(std::int64_t nowMs);
    // Ends the connection, tells `why` and when the next try comes.
    void Drop(std::int64_t nowMs, const std::string& why);
    std::string ErrorText(int code, int error) const;
    // Waits up to `ms` for the broker's socket to have something to read.
    bool WaitReadable(int ms) const;

    ClientSetup setup_;
    std::unique_ptr<mosquitto, Free> handle_;
    bool connected_ = false;
    int refusal_ = 0; // the broker's answer to the last connect, when it refused
    std::string lastLibraryError_;
    std::int64_t startedMs_ = 0;
    std::int64_t retryAtMs_ = 0;
    std::int64_t retryMs_ = FIRST_RETRY_MS;
    bool connectedOnce_ = false;
    int closeMid_ = -1;
    bool closeAcked_ = false;
    bool justConnected_ = false;
    std::vector<Received> received_;
};

} // namespace orvik::mqtt
