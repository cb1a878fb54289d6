#include "link/history/EventDeriver.h"

#include "link/protocol/JoinedBreakers.h"
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

// A length in ms as an event keeps it: two words, low first.
std::array<std::uint16_t, 4> MsWords(std::int64_t ms) {
    const auto v = static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 0, 0xFFFFFFFF));
    return {static_cast<std::uint16_t>(v), static_cast<std::uint16_t>(v >> 16), 0, 0};
}

} // namespace

void EventDeriver::Clear() {
    nodes_ = {};
    anyFrame_ = false;
    silent_ = false;
    lastFrameMs_ = 0;
    nowMs_ = NEVER;
}

void EventDeriver::Add(std::int64_t timeMs, EventKind kind, std::size_t node, std::size_t breaker,
                       std::uint8_t detail, std::array<std::uint16_t, 4> values) {
    log_.Add({timeMs, kind, static_cast<std::uint8_t>(node), static_cast<std::uint8_t>(breaker),
              detail, values});
}

void EventDeriver::ClockJumped(std::int64_t t, std::int64_t jumpMs, std::int64_t shiftMs) {
    if (nowMs_ != NEVER)
        nowMs_ += shiftMs;
    t = Later(t);
    lastFrameMs_ += shiftMs;
    for (Node& node : nodes_)
        for (Breaker& b : node.breakers) {
            if (b.commandMs >= 0)
                b.commandMs += shiftMs;
            if (b.ownSwitchMs >= 0)
                b.ownSwitchMs += shiftMs;
        }
    Tick(t); // a silence that was due comes first
    const auto v = static_cast<std::uint64_t>(jumpMs);
    Add(t, EventKind::ClockJumped, 0, 0, 0,
        {static_cast<std::uint16_t>(v), static_cast<std::uint16_t>(v >> 16),
         static_cast<std::uint16_t>(v >> 32), static_cast<std::uint16_t>(v >> 48)});
}

void EventDeriver::Tick(std::int64_t t) {
    t = Later(t);
    if (!anyFrame_ || silent_ || t - lastFrameMs_ < SILENCE_MS)
        return;
    // Stamped when it reached its length, also when told later (a recording read again).
    silent_ = true;
    Add(lastFrameMs_ + SILENCE_MS, EventKind::Silent, 0, 0, 0, MsWords(SILENCE_MS));
}

void EventDeriver::Status(std::int64_t t, const StatusRecord& record) {
    t = Later(t);
    Tick(t);
    if (silent_) {
        silent_ = false;
        Add(t, EventKind::FramesAgain, 0, 0, 0, MsWords(t - lastFrameMs_));
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
            Joined(t, n, node, record); // its breakers start afresh
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

void EventDeriver::Joined(std::int64_t t, std::size_t n, const Node& node, const StatusRecord& r) {
    Add(t, EventKind::Joined, n + 1, 0);
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
        if (r.BreakerFault(n) & BitMaskTable[b])
            Add(t, EventKind::Fault, n + 1, b + 1,
                static_cast<std::uint8_t>(FAULT_AT_JOIN | (node.tripKnown ? FAULT_TRIP_KNOWN : 0)),
                {r.Current(n, b), node.trips.TripCurrent[b], node.trips.TripTime[b], 0});
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
            Add(t, EventKind::Fault, n + 1, b + 1, node.tripKnown ? FAULT_TRIP_KNOWN : 0,
                {current, node.trips.TripCurrent[b], node.trips.TripTime[b], 0});
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

void EventDeriver::SetupReply(std::int64_t t, const orvik::SetupReply& reply) {
    t = Later(t);
    const std::size_t n = reply.node;
    if (n >= NODE_COUNT)
        return;
    Node& node = nodes_[n];
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        const std::uint16_t current = reply.trips.TripCurrent[b];
        const std::uint8_t time = reply.trips.TripTime[b];
        if (node.tripKnown && current != node.trips.TripCurrent[b])
            Add(t, EventKind::SettingChanged, n + 1, b + 1,
                static_cast<std::uint8_t>(SettingKind::TripCurrent),
                {node.trips.TripCurrent[b], current, 0, 0});
        if (node.tripKnown && time != node.trips.TripTime[b])
            Add(t, EventKind::SettingChanged, n + 1, b + 1,
                static_cast<std::uint8_t>(SettingKind::TripTime),
                {node.trips.TripTime[b], time, 0, 0});
    }
    node.trips = reply.trips;
    node.tripKnown = true;
}

void EventDeriver::Command(std::int64_t t, const SentCommand& c) {
    // A command that never reached the line did nothing on the bus.
    if (!c.written)
        return;
    t = Later(t);
    std::array<std::uint16_t, 4> values{
        static_cast<std::uint16_t>(std::min<std::size_t>(c.payloadLength, 0xFFFF)), c.Payload(0),
        c.Payload(1), c.Payload(2)};
    const bool aboutBreaker =
        (c.code == CMD_SWITCH_BREAKER || c.code == CMD_TRIP_CURRENT || c.code == CMD_TRIP_TIME) &&
        c.payloadLength > 0 && c.payload[0] < BREAKER_COUNT;
    Add(t, EventKind::Command, static_cast<std::uint8_t>(c.node + 1),
        aboutBreaker ? c.payload[0] + 1u : 0, c.code, values);
    if (c.code == CMD_SWITCH_BREAKER && aboutBreaker && c.payloadLength >= 2 &&
        c.node < NODE_COUNT) {
        Breaker& b = nodes_[c.node].breakers[c.payload[0]];
        b.commandMs = t;
        b.commandOn = c.payload[1] == 1;
    }
}

} // namespace orvik
