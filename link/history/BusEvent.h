// What happened on the bus, one event at a time: a trip, a switch, a node that came or went, a
// silent line, a changed setting, a command this program sent. An event keeps its values in
// the wire's units; its text and its JSON form are made when asked for.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orvik {

enum class EventKind : std::uint8_t {
    Fault,          // a breaker's fault appeared (it tripped)
    FaultCleared,   // a breaker's fault went away
    SwitchedOn,     // a breaker's output came on
    SwitchedOff,    // a breaker's output went off, other than by a trip
    Joined,         // a node appeared on the bus
    Left,           // a node was no longer reported present
    Silent,         // status frames stopped: told when the silence reaches its length
    FramesAgain,    // status frames came again after a silence
    SettingChanged, // a node setting, or a breaker's trip setting, changed
    Command,        // this program sent a command
    ClockJumped,    // the computer's clock was set forward or back (see ClockJumps)
};
inline constexpr std::size_t EVENT_KIND_COUNT = 11;

inline constexpr std::uint8_t FAULT_TRIP_KNOWN = 0x01;
inline constexpr std::uint8_t FAULT_AT_JOIN = 0x02;

// Which setting a SettingChanged event is about: a SettingKind value, or the profile.
inline constexpr std::uint8_t PROFILE_SETTING = 0xFF;

struct BusEvent {
    std::int64_t timeMs = 0; // since 1970-01-01 UTC
    EventKind kind = EventKind::Command;
    std::uint8_t node = 0;    // 1..8; 0 for the line
    std::uint8_t breaker = 0; // 1..8; 0 when the event is not about one breaker
    // Fault: FAULT_TRIP_KNOWN when a setup reply told the trip settings, FAULT_AT_JOIN when
    // the node was faulted as it joined. Switched: 1 after a command from this program.
    // SettingChanged: which setting. Command: the command code.
    std::uint8_t detail = 0;
    // Fault: current, trip current, trip time (tenths). Silent: ms since the last frame;
    // FramesAgain: the silence's whole length in ms (both two words, low first). SettingChanged:
    // the old and the new value as the wire carries it (the profile as ProfileValue gives it).
    // Command: payload length, then up to three payload bytes. ClockJumped: the jump in ms, as
    // a signed 64-bit number in four words, low first.
    std::array<std::uint16_t, 4> values{};

    friend bool operator==(const BusEvent&, const BusEvent&) = default;
};

// The profile as one value: 0 programmable, else the fixed profile's number (1..256).
std::uint16_t ProfileValue(std::uint8_t optionFlags, std::uint8_t fixedProfile) noexcept;

// "fault", "fault_cleared", "switched_on", ... "command".
const char* EventKindName(EventKind kind) noexcept;

// The kinds as a user filters them: trips and clearing, switching, nodes and the line,
// settings, commands sent.
enum class EventGroup : std::uint8_t { Faults, Switches, NodesAndLine, Settings, Commands };
inline constexpr std::size_t EVENT_GROUP_COUNT = 5;
EventGroup GroupOf(EventKind kind) noexcept;
// "Faults", "Switches", "Nodes and line", "Settings", "Commands".
const char* EventGroupName(EventGroup group) noexcept;

// In the bus's words: "Orvik node 3, breaker 5: fault (tripped) at 7.2 A, trip 5.0 A after 2.0
// seconds", "Orvik node 3: breaker 5 switched on after a command from this program", "Orvik
// node 3 left the bus", "No status frames since 07:37:12", "switch breaker 5 on, node 3",
// "the computer's clock jumped by +6 d".
std::string EventText(const BusEvent& event);

// A clock jump in the largest whole unit it reaches: "+6 d", "-2 h", "+35 s", "-12 min".
std::string JumpText(std::int64_t jumpMs);
// The jump a ClockJumped event keeps, in ms.
std::int64_t JumpOf(const BusEvent& event) noexcept;

// One JSON object: {"kind":"fault","time":"2025-03-01T14:02:03.250+01:00","node":3,
// "breaker":5,"values":{"current":7.2,"trip_current":5.0,"trip_time":2.0},"text":"..."}; node
// and breaker are null where the event has none; amperes, volts and seconds.
std::string EventJson(const BusEvent& event);

} // namespace orvik
