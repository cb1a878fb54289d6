#include "link/history/EventDeriver.h"

#include "link/protocol/LinkFrame.h"
#include "link/protocol/NodeSettings.h"

#include <algorithm>

namespace orvik {

namespace {

// The node settings a status frame shows, in the order their events come.
constexpr std::array<std::uint8_t, 7> SETTINGS = {
    static_cast<std::uint8_t>(SettingKind::Doubling),
    static_cast<std::uint8_t>(SettingKind::PowerOnMask),
    PROFILE_SETTING,
    static_cast<std::uint8_t>(SettingKind::Wigwag),
    static_cast<std::uint8_t>(SettingKind::WigwagInterval),
    static_cast<std::uint8_t>(SettingKind::Flasher),
    static_cast<std::uint8_t>(SettingKind::DualLed),
};

std::uint16_t SettingValue(const StatusRecord& r, std::size_t node, std::uint8_t setting) {
    if (setting == PROFILE_SETTING)
        return ProfileValue(r.OptionFlags(node), r.FixedProfile(node));
    return StatusValue(r, node, {static_cast<SettingKind>(setting), 0}).value_or(0);
}

// The breakers that the joining option switches together with `breaker`, itself included.
std::uint8_t JoinedWith(std::uint8_t option, std::size_t breaker) {
    static constexpr std::array<std::array<std::uint8_t, 2>, 5> groups = {{
        {0x00, 0x00}, // 8 individual breakers
        {0x03, 0x00}, // 1+2
        {0x03, 0x0C}, // 1+2 and 3+4
        {0x07, 0x00}, // 1+2+3
        {0x07, 0x30}, // 1+2+3 and 5+6
    }};
    const std::uint8_t bit = BitMaskTable[breaker];
    if (option < groups.size())
        for (std::uint8_t g : groups[option])
            if (g & bit)
                return g;
    return bit;
}

} // namespace

void EventDeriver::Clear() {
    nodes_ = {};
    anyFrame_ = false;
    lastFrameMs_ = 0;
}

void EventDeriver::Add(std::int64_t timeMs, EventKind kind, std::size_t node, std::size_t breaker,
                       std::uint8_t detail, std::array<std::uint16_t, 4> values) {
    log_.Add({timeMs, kind, static_cast<std::uint8_t>(node), static_cast<std::uint8_t>(breaker),
              detail, values});
}

void EventDeriver::Status(std::int64_t t, const StatusRecord& record) {
    if (anyFrame_ && t - lastFrameMs_ >= SILENCE_MS) {
        const auto gap =
            static_cast<std::uint32_t>(std::min<std::int64_t>(t - lastFrameMs_, 0xFFFFFFFF));
        Add(t, EventKind::Silent, 0, 0, 0,
            {static_cast<std::uint16_t>(gap), static_cast<std::uint16_t>(gap >> 16), 0, 0});
        Add(t, EventKind::FramesAgain, 0, 0);
    }
    anyFrame_ = true;
    lastFrameMs_ = t;
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        Node& node = nodes_[n];
        const bool present = record.IsNodePresent(n);
        if (!present) {
            if (node.present)
                Add(t, EventKind::Left, n + 1, 0);
            node.present = false;
            continue;
        }
        const StatusSettings raw = StatusSettingsOf(record, n);
        if (!node.present)
            Add(t, EventKind::Joined, n + 1, 0); // its breakers start afresh
        else if (record.BreakerOn(n) != node.on || record.BreakerFault(n) != node.fault)
            Breakers(t, n, node, record);
        // Also what changed while it was away.
        if (!node.seen || !(raw == node.raw))
            Settings(t, n, node, record);
        node.present = node.seen = true;
        node.raw = raw;
        node.on = record.BreakerOn(n);
        node.fault = record.BreakerFault(n);
        for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
            node.breakers[b].current = record.Current(n, b);
    }
}

void EventDeriver::Breakers(std::int64_t t, std::size_t n, Node& node, const StatusRecord& r) {
    const std::uint8_t on = r.BreakerOn(n);
    const std::uint8_t fault = r.BreakerFault(n);
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        const std::uint8_t bit = BitMaskTable[b];
        Breaker& breaker = node.breakers[b];
        const bool tripped = (fault & bit) && !(node.fault & bit);
        if (tripped) {
            // The frame that shows the fault shows the output off already: the current
            // that tripped it is the one before.
            const std::uint16_t current = std::max(breaker.current, r.Current(n, b));
            Add(t, EventKind::Fault, n + 1, b + 1, node.tripKnown ? 1 : 0,
                {current, node.tripCurrent[b], node.tripTime[b], 0});
        } else if (!(fault & bit) && (node.fault & bit)) {
            Add(t, EventKind::FaultCleared, n + 1, b + 1);
        }
        const bool isOn = on & bit;
        if (isOn == static_cast<bool>(node.on & bit) || (tripped && !isOn))
            continue;
        const EventKind kind = isOn ? EventKind::SwitchedOn : EventKind::SwitchedOff;
        if (AfterCommand(t, node, b, isOn, r.DoublingOption(n))) {
            Add(t, kind, n + 1, b + 1, 1);
            continue;
        }
        const bool flashing = breaker.ownSwitchMs >= 0 && t - breaker.ownSwitchMs < FLASHING_MS;
        breaker.ownSwitchMs = t;
        if (!flashing)
            Add(t, kind, n + 1, b + 1);
    }
}

bool EventDeriver::AfterCommand(std::int64_t t, const Node& node, std::size_t breaker, bool on,
                                std::uint8_t doubling) const {
    const std::uint8_t joined = JoinedWith(doubling, breaker);
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        const Breaker& other = node.breakers[b];
        if ((joined & BitMaskTable[b]) && other.commandMs >= 0 &&
            t - other.commandMs <= COMMAND_WINDOW_MS && other.commandOn == on)
            return true;
    }
    return false;
}

void EventDeriver::Settings(std::int64_t t, std::size_t n, Node& node, const StatusRecord& r) {
    for (std::size_t i = 0; i < SETTINGS.size(); ++i) {
        const std::uint16_t now = SettingValue(r, n, SETTINGS[i]);
        if (node.seen && now != node.settings[i])
            Add(t, EventKind::SettingChanged, n + 1, 0, SETTINGS[i], {node.settings[i], now, 0, 0});
        node.settings[i] = now;
    }
}

void EventDeriver::SetupReply(std::int64_t t, const std::uint8_t* data) {
    const std::size_t n = data[0];
    if (n >= NODE_COUNT)
        return;
    Node& node = nodes_[n];
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        const auto current = static_cast<std::uint16_t>(data[1 + 2 * b] | data[2 + 2 * b] << 8);
        const std::uint8_t time = data[17 + b];
        if (node.tripKnown && current != node.tripCurrent[b])
            Add(t, EventKind::SettingChanged, n + 1, b + 1,
                static_cast<std::uint8_t>(SettingKind::TripCurrent),
                {node.tripCurrent[b], current, 0, 0});
        if (node.tripKnown && time != node.tripTime[b])
            Add(t, EventKind::SettingChanged, n + 1, b + 1,
                static_cast<std::uint8_t>(SettingKind::TripTime), {node.tripTime[b], time, 0, 0});
        node.tripCurrent[b] = current;
        node.tripTime[b] = time;
    }
    node.tripKnown = true;
}

void EventDeriver::Command(std::int64_t t, std::uint8_t code, std::uint8_t nodeByte,
                           const std::uint8_t* payload, std::size_t payloadLength) {
    std::array<std::uint16_t, 4> values{
        static_cast<std::uint16_t>(std::min<std::size_t>(payloadLength, 0xFFFF))};
    for (std::size_t i = 0; i < 3 && i < payloadLength; ++i)
        values[1 + i] = payload[i];
    const bool aboutBreaker =
        (code == CMD_SWITCH_BREAKER || code == CMD_TRIP_CURRENT || code == CMD_TRIP_TIME) &&
        payloadLength > 0 && payload[0] < BREAKER_COUNT;
    Add(t, EventKind::Command, static_cast<std::uint8_t>(nodeByte + 1),
        aboutBreaker ? payload[0] + 1u : 0, code, values);
    if (code == CMD_SWITCH_BREAKER && aboutBreaker && payloadLength >= 2 && nodeByte < NODE_COUNT) {
        Breaker& b = nodes_[nodeByte].breakers[payload[0]];
        b.commandMs = t;
        b.commandOn = payload[1] == 1;
    }
}

} // namespace orvik
