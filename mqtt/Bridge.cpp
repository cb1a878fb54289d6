#include "mqtt/Bridge.h"

#include "link/base/PrintableText.h"
#include "link/line/BusSession.h"
#include "link/line/PortOpen.h"
#include "link/protocol/LinkFrame.h"
#include "link/protocol/StatusTexts.h"
#include "link/settings/Settings.h"
#include "mqtt/BusPublisher.h"
#include "mqtt/CommandRate.h"
#include "mqtt/CommandTopic.h"
#include "mqtt/EventFeed.h"
#include "mqtt/Log.h"
#include "mqtt/MqttClient.h"
#include "mqtt/SetupRequests.h"

#include <chrono>
#include <cmath>
#include <vector>

namespace orvik::mqtt {

namespace {

// A switch from the broker waits this long for a status frame that shows it.
constexpr std::int64_t CONFIRM_MS = 2000;
// Warnings about what came from the broker, at most this many a second.
constexpr int WARNINGS_PER_SECOND = 10;
// How long a clean exit waits for the broker to take "offline".
constexpr std::int64_t OFFLINE_WAIT_MS = 500;

class Bridge {
public:
    Bridge(const BridgeOptions& o, const std::atomic<bool>& stop)
        : options_(o), bus_(&stop), client_(Setup(o)),
          publisher_(topics_, Discovery(o), std::llround(o.interval * 1000),
                     [this](const MqttMessage& m) { Publish(m); }) {
        bus_.Link().SetWatcher(&events_);
        client_.OnConnected = [this] {
            publisher_.Republish(Record(), Line(), SteadyMilliseconds());
        };
        client_.OnMessage = [this](const std::string& topic, const std::string& payload,
                                   bool retained) { Received(topic, payload, retained); };
        bus_.OnTick = [this](LinkTime) { Step(SteadyMilliseconds()); };
        bus_.OnLine = [this](LineStatus state) { TellLine(state); };
        // One wait for the line and the broker: nothing wakes the bridge but what came and
        // the line's supervision.
        bus_.Wait = [this](std::chrono::milliseconds most) {
            client_.WaitFor(bus_.WakeDescriptor(), static_cast<int>(most.count()));
        };
    }

    int Run() {
        const std::string settings = SettingsFilePath();
        std::string port = options_.port;
        if (port.empty())
            port = ComDeviceName(ReadCommsPort(settings));
        Log(LogLevel::Info, "Orvik bus on " + port + " to the broker " + client_.BrokerName() +
                                " under " + topics_.base +
                                (options_.allowSwitching ? ", breakers switched from the broker"
                                                         : ", commands from the broker off"));
        std::string error;
        if (!bus_.Open(port, ReadPortMap(settings), settings, error)) {
            // The reason names the port, or is said of it: "/tmp is not a serial port."
            if (error.find(port) == std::string::npos)
                error = port + ": " + error;
            if (PortProblemIsSetting(bus_.OpenProblem())) {
                Log(LogLevel::Error, error + " A setting to change; not tried again.");
                return bus_.OpenProblem() == PortProblem::NotSerial ? EXIT_NOT_SERIAL : EXIT_USAGE;
            }
            const LineStatus state = bus_.Supervisor().State();
            if (state == LineStatus::Failed || state == LineStatus::Closed) {
                Log(LogLevel::Error, error);
                return EXIT_NO_BUS;
            }
            // Lost or busy: the line's supervision opens it when it can.
            Log(LogLevel::Warning, ReasonThen(error, "waiting for it"));
        }
        while (!bus_.StopRequested())
            bus_.RunUntil([] { return false; }, LinkClock::now() + std::chrono::seconds(1));
        if (client_.Close({topics_.Status(), OFFLINE, true}, OFFLINE_WAIT_MS))
            Log(LogLevel::Info, "stopped; offline published");
        else
            Log(LogLevel::Info, "stopped (not connected to the broker)");
        return EXIT_DONE;
    }

private:
    struct Pending {
        int node;
        int breaker;
        bool on;
        std::int64_t untilMs;
    };

    static ClientSetup Setup(const BridgeOptions& o) {
        ClientSetup s;
        s.address = o.address;
        s.clientId = o.clientId;
        s.username = o.username;
        s.password = o.password;
        s.cafile = o.cafile;
        s.cert = o.cert;
        s.key = o.key;
        s.will = {BridgeTopics{o.base}.Status(), OFFLINE, true};
        if (o.allowSwitching)
            s.subscriptions.push_back(BridgeTopics{o.base}.BreakerSetFilter());
        if (o.setupRequests)
            s.subscriptions.push_back(BridgeTopics{o.base}.ReadSettingsFilter());
        // Without discovery, what earlier runs announced is looked for, to be taken back; with
        // it, Home Assistant's start, to announce everything again.
        s.subscriptions.push_back(o.discovery ? HomeAssistantStatusTopic(o.discoveryPrefix)
                                              : EarlierDiscoveryFilter(o.discoveryPrefix));
        return s;
    }
    static std::optional<DiscoverySetup> Discovery(const BridgeOptions& o) {
        if (!o.discovery)
            return std::nullopt;
        return DiscoverySetup{BridgeTopics{o.base}, o.discoveryPrefix, o.allowSwitching,
                              o.setupRequests};
    }

    const StatusRecord& Record() { return bus_.Link().StatusRecord; }
    LineStatus Line() const { return bus_.Supervisor().State(); }

    void Publish(const MqttMessage& m) {
        if (client_.Publish(m))
            Log(LogLevel::Debug, "published " + m.topic + " " + m.payload);
    }

    // One breaker setup request at a time, so that fault events carry the trip settings. A
    // read, allowed also without --allow-switching.
    void AskForSetup(std::int64_t nowMs) {
        if (!options_.setupRequests || Line() != LineStatus::Receiving)
            return;
        if (const std::optional<int> node = setups_.Next(nowMs)) {
            const std::uint8_t payload = 0;
            bus_.Link().SendCommand(static_cast<std::uint8_t>(*node - 1), CMD_REQUEST_BREAKER_SETUP,
                                    &payload, 1);
            Log(LogLevel::Debug,
                "asked Orvik node " + std::to_string(*node) + " for its breaker setup");
        }
    }

    void Step(std::int64_t nowMs) {
        client_.Service(nowMs);
        events_.Take([this](const BusEvent& e) {
            setups_.Saw(e);
            publisher_.Event(e);
            if (e.kind == EventKind::Fault || e.kind == EventKind::Joined ||
                e.kind == EventKind::Left)
                Log(e.kind == EventKind::Fault ? LogLevel::Warning : LogLevel::Info, EventText(e));
        });
        events_.TakeReplies(
            [this](const SetupReply& r) { publisher_.TripSettings(r.node + 1, r.trips); });
        AskForSetup(nowMs);
        const StatusRecord& record = Record();
        for (auto p = pending_.begin(); p != pending_.end();) {
            const auto n = static_cast<std::size_t>(p->node - 1);
            const bool on =
                record.BreakerOn(n) & BitMaskTable[static_cast<std::size_t>(p->breaker - 1)];
            const std::string what =
                "Orvik node " + std::to_string(p->node) + " breaker " + std::to_string(p->breaker);
            if (record.IsNodePresent(n) && on == p->on) {
                publisher_.PublishState(record, p->node, nowMs);
                Log(LogLevel::Info, what + " is " + (p->on ? "on" : "off"));
            } else if (nowMs >= p->untilMs) {
                Log(LogLevel::Warning,
                    what + " did not show " + (p->on ? "on" : "off") + " within 2 s");
            } else {
                ++p;
                continue;
            }
            p = pending_.erase(p);
        }
        publisher_.Update(record, Line(), nowMs);
        publisher_.Diagnostics({Line(), bus_.LineText(), bus_.Supervisor().FramesPerSecondTenths(),
                                events_.LastStatusMs()},
                               nowMs);
        if (nowMs - warningSecondMs_ >= 1000) {
            if (suppressed_ > 0)
                Log(LogLevel::Warning, std::to_string(suppressed_) +
                                           " more messages from the broker refused in a second");
            suppressed_ = 0;
            warnings_ = 0;
            warningSecondMs_ = nowMs;
        }
    }

    void TellLine(LineStatus state) {
        const std::string text =
            "line " + std::string(LineStatusWord(state)) + ": " + bus_.LineText();
        const bool fine = state == LineStatus::Receiving || state == LineStatus::Connecting;
        Log(fine ? LogLevel::Info : LogLevel::Warning, text);
    }

    // A message from the broker that sends nothing: told, a few a second.
    void Refuse(const std::string& why) {
        if (++warnings_ <= WARNINGS_PER_SECOND)
            Log(LogLevel::Warning, ReasonThen(why, "nothing sent"));
        else
            ++suppressed_;
    }

    void Received(const std::string& topic, const std::string& payload, bool retained) {
        if (options_.discovery && HomeAssistantStarted(options_.discoveryPrefix, topic, payload)) {
            // Its birth message; a retained one only says it runs, as it did at our connect.
            if (retained)
                return;
            Log(LogLevel::Info, "Home Assistant started: discovery and states published again");
            publisher_.Republish(Record(), Line(), SteadyMilliseconds());
            return;
        }
        if (!options_.discovery &&
            AnnouncedEarlier(options_.discoveryPrefix, topics_, topic, payload)) {
            // An empty retained configuration: Home Assistant drops the entity.
            Publish({topic, "", true});
            Log(LogLevel::Info, "took back " + topic + ", announced by an earlier run");
            return;
        }
        if (options_.setupRequests && topic.ends_with("/read_settings"))
            return ReadSettings(topic, payload, retained);
        if (options_.allowSwitching)
            Command(topic, payload, retained);
    }

    // A press of a node's "Read settings": its breaker setup asked for at the next turn.
    void ReadSettings(const std::string& topic, const std::string& payload, bool retained) {
        const ReadSettingsPress p = ParseReadSettings(topics_.base, topic, payload);
        if (!p.ok)
            return Refuse(p.problem);
        const std::string what = "Orvik node " + std::to_string(p.node) + ": Read settings";
        if (retained)
            return Refuse(what + ": a retained press (kept by the broker) is not taken");
        if (Line() != LineStatus::Receiving)
            return Refuse(what + ": the line is " + LineStatusWord(Line()));
        if (!Record().IsNodePresent(static_cast<std::size_t>(p.node - 1)))
            return Refuse(what + ": Orvik node " + std::to_string(p.node) + " is not on the bus");
        if (!setups_.Press(p.node, SteadyMilliseconds()))
            return Refuse(what + ": pressed again within " +
                          std::to_string(SetupRequests::PRESS_SPACING_MS / 1000) + " s");
        Log(LogLevel::Info, what + " pressed; its breaker setup is asked for");
    }

    void Command(const std::string& topic, const std::string& payload, bool retained) {
        const std::int64_t nowMs = SteadyMilliseconds();
        const BreakerCommand c = ParseBreakerCommand(topics_.base, topic, payload);
        if (!c.ok)
            return Refuse(c.problem);
        const std::string what = "Orvik node " + std::to_string(c.node) + " breaker " +
                                 std::to_string(c.breaker) + " " + (c.on ? "ON" : "OFF");
        if (retained)
            return Refuse(what + ": a retained command (kept by the broker) is not taken");
        if (!rate_.Admit(nowMs))
            return Refuse(what + ": more than " + std::to_string(CommandRate::MOST) +
                          " commands a second");
        if (Line() != LineStatus::Receiving)
            return Refuse(what + ": the line is " + LineStatusWord(Line()));
        const auto n = static_cast<std::size_t>(c.node - 1);
        if (!Record().IsNodePresent(n))
            return Refuse(what + ": Orvik node " + std::to_string(c.node) + " is not on the bus");
        const std::uint8_t payloadBytes[2] = {static_cast<std::uint8_t>(c.breaker - 1),
                                              static_cast<std::uint8_t>(c.on ? 1 : 0)};
        bus_.Link().SendCommand(static_cast<std::uint8_t>(n), CMD_SWITCH_BREAKER, payloadBytes, 2);
        Log(LogLevel::Info, what + " from the broker: sent");
        pending_.push_back({c.node, c.breaker, c.on, nowMs + CONFIRM_MS});
    }

    const BridgeOptions& options_;
    BridgeTopics topics_{options_.base};
    BusSession bus_;
    EventFeed events_;
    SetupRequests setups_;
    MqttClient client_;
    BusPublisher publisher_;
    CommandRate rate_;
    std::vector<Pending> pending_;
    int warnings_ = 0;
    int suppressed_ = 0;
    std::int64_t warningSecondMs_ = 0;
};

} // namespace

int RunBridge(const BridgeOptions& options, const std::atomic<bool>& stop) {
    Bridge bridge(options, stop);
    return bridge.Run();
}

} // namespace orvik::mqtt
