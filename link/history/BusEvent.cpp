#include "link/history/BusEvent.h"

#include "link/base/LocalTime.h"
#include "link/protocol/FrameDecode.h"
#include "link/protocol/NodeSettings.h"
#include "link/protocol/SentCommand.h"
#include "link/protocol/StatusTexts.h"

#include <algorithm>
#include <cstdio>

namespace orvik {

namespace {

constexpr const char* KIND_NAMES[EVENT_KIND_COUNT] = {
    "fault",  "fault_cleared", "switched_on",     "switched_off", "joined",      "left",
    "silent", "frames_again",  "setting_changed", "command",      "clock_jumped"};

std::string NodeName(const BusEvent& e) {
    return "Orvik node " + std::to_string(e.node);
}

std::string BreakerName(const BusEvent& e) {
    return "breaker " + std::to_string(e.breaker);
}

// Silent: ms since the last frame; FramesAgain: the silence's length.
std::uint32_t SilenceMs(const BusEvent& e) {
    return e.values[0] | static_cast<std::uint32_t>(e.values[1]) << 16;
}

bool IsTripSetting(const BusEvent& e) {
    return e.detail == static_cast<std::uint8_t>(SettingKind::TripCurrent) ||
           e.detail == static_cast<std::uint8_t>(SettingKind::TripTime);
}

SettingId SettingOf(const BusEvent& e) {
    return {static_cast<SettingKind>(e.detail),
            static_cast<std::uint8_t>(e.breaker > 0 ? e.breaker - 1 : 0)};
}

std::string SettingNameOf(const BusEvent& e) {
    return e.detail == PROFILE_SETTING ? "profile" : SettingName(SettingOf(e));
}

std::string Reading(const BusEvent& e, std::uint16_t value) {
    if (e.detail == PROFILE_SETTING)
        return ProfileName({value == 0, static_cast<std::uint16_t>(value == 0 ? 1 : value)});
    return SettingReading(SettingOf(e), value);
}

// The command as the bus monitor summarises it: the frame is built again from what the event
// kept (payload bytes beyond the third were not kept and read as zeros).
std::string CommandSummary(const BusEvent& e) {
    std::uint8_t payload[MAX_COMMAND_PAYLOAD] = {};
    const std::size_t length = std::min<std::size_t>(e.values[0], MAX_COMMAND_PAYLOAD);
    for (std::size_t i = 0; i < 3 && i < length; ++i)
        payload[i] = static_cast<std::uint8_t>(e.values[1 + i]);
    FrameRecord r;
    r.direction = Direction::Outbound;
    r.outcome = FrameOutcome::Sent;
    const auto node = static_cast<std::uint8_t>(e.node > 0 ? e.node - 1 : 0);
    r.length = static_cast<std::uint16_t>(
        EncodeCommand({e.detail, node, payload, length}, r.bytes.data()));
    return DecodeFrame(r).summary;
}

void Escaped(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    out += '"';
}

// A value of a setting as a JSON number in its unit: amperes, seconds, or the plain code.
std::string SettingNumber(const BusEvent& e, std::uint16_t value) {
    if (e.detail == static_cast<std::uint8_t>(SettingKind::TripCurrent) ||
        e.detail == static_cast<std::uint8_t>(SettingKind::TripTime) ||
        e.detail == static_cast<std::uint8_t>(SettingKind::WigwagInterval))
        return FormatTenths(value);
    return std::to_string(value);
}

std::string ValuesJson(const BusEvent& e) {
    std::string v;
    switch (e.kind) {
    case EventKind::Fault:
        v = "\"current\":" + FormatTenths(e.values[0]);
        if (e.detail & FAULT_AT_JOIN)
            v += ",\"at_join\":true";
        if (e.detail & FAULT_TRIP_KNOWN)
            v += ",\"trip_current\":" + FormatTenths(e.values[1]) +
                 ",\"trip_time\":" + FormatTenths(e.values[2]);
        break;
    case EventKind::SwitchedOn:
    case EventKind::SwitchedOff:
        v = std::string("\"after_command\":") + (e.detail ? "true" : "false");
        break;
    case EventKind::Silent:
        v = "\"since\":\"" + LocalTimeText(e.timeMs - SilenceMs(e)) + "\"";
        break;
    case EventKind::FramesAgain:
        v = "\"seconds\":" + FormatTenths((SilenceMs(e) + 50) / 100);
        break;
    case EventKind::SettingChanged:
        v = "\"setting\":";
        Escaped(v, SettingNameOf(e));
        v += ",\"from\":" + SettingNumber(e, e.values[0]) +
             ",\"to\":" + SettingNumber(e, e.values[1]) + ",\"from_text\":";
        Escaped(v, Reading(e, e.values[0]));
        v += ",\"to_text\":";
        Escaped(v, Reading(e, e.values[1]));
        break;
    case EventKind::ClockJumped:
        v = "\"seconds\":" + std::to_string(JumpOf(e) / 1000);
        break;
    case EventKind::Command: {
        const char* name = CommandName(e.detail);
        v = "\"code\":" + std::to_string(e.detail) + ",\"command\":";
        Escaped(v, name ? name : "unknown");
        v += ",\"payload\":[";
        for (std::size_t i = 0; i < 3 && i < e.values[0]; ++i)
            v += (i ? "," : "") + std::to_string(e.values[1 + i]);
        v += "]";
        break;
    }
    default:
        break;
    }
    return "{" + v + "}";
}

} // namespace

std::uint16_t ProfileValue(std::uint8_t optionFlags, std::uint8_t fixedProfile) noexcept {
    return (optionFlags & OPT_PROGRAMMABLE) ? 0 : static_cast<std::uint16_t>(fixedProfile + 1);
}

EventGroup GroupOf(EventKind kind) noexcept {
    switch (kind) {
    case EventKind::Fault:
    case EventKind::FaultCleared:
        return EventGroup::Faults;
    case EventKind::SwitchedOn:
    case EventKind::SwitchedOff:
        return EventGroup::Switches;
    case EventKind::Joined:
    case EventKind::Left:
    case EventKind::Silent:
    case EventKind::FramesAgain:
    case EventKind::ClockJumped:
        return EventGroup::NodesAndLine;
    case EventKind::SettingChanged:
        return EventGroup::Settings;
    case EventKind::Command:
        break;
    }
    return EventGroup::Commands;
}

const char* EventGroupName(EventGroup group) noexcept {
    switch (group) {
    case EventGroup::Faults:
        return "Faults";
    case EventGroup::Switches:
        return "Switches";
    case EventGroup::NodesAndLine:
        return "Nodes and line";
    case EventGroup::Settings:
        return "Settings";
    case EventGroup::Commands:
        break;
    }
    return "Commands";
}

std::string JumpText(std::int64_t jumpMs) {
    constexpr struct {
        std::int64_t ms;
        const char* unit;
    } UNITS[] = {{86'400'000, " d"}, {3'600'000, " h"}, {60'000, " min"}, {1000, " s"}};
    // In magnitude, without overflowing at the far end.
    const std::uint64_t size =
        jumpMs < 0 ? 0 - static_cast<std::uint64_t>(jumpMs) : static_cast<std::uint64_t>(jumpMs);
    std::string text = jumpMs < 0 ? "-" : "+";
    for (const auto& u : UNITS) {
        const auto unit = static_cast<std::uint64_t>(u.ms);
        if (size >= unit || u.ms == 1000)
            return text + std::to_string(size / unit + (size % unit >= unit / 2)) + u.unit;
    }
    return text;
}

std::int64_t JumpOf(const BusEvent& e) noexcept {
    std::uint64_t v = 0;
    for (std::size_t i = 4; i-- > 0;)
        v = v << 16 | e.values[i];
    return static_cast<std::int64_t>(v);
}

const char* EventKindName(EventKind kind) noexcept {
    const auto i = static_cast<std::size_t>(kind);
    return i < EVENT_KIND_COUNT ? KIND_NAMES[i] : "unknown";
}

std::string EventText(const BusEvent& e) {
    switch (e.kind) {
    case EventKind::Fault: {
        std::string s =
            NodeName(e) + ", " + BreakerName(e) +
            (e.detail & FAULT_AT_JOIN ? std::string(": fault, already faulted when the node joined")
                                      : ": fault (tripped) at " + FormatTenths(e.values[0]) + " A");
        if (e.detail & FAULT_TRIP_KNOWN)
            s += ", trip " + FormatTenths(e.values[1]) + " A after " + FormatTenths(e.values[2]) +
                 " seconds";
        return s;
    }
    case EventKind::FaultCleared:
        return NodeName(e) + ", " + BreakerName(e) + ": fault cleared";
    case EventKind::SwitchedOn:
    case EventKind::SwitchedOff:
        return NodeName(e) + ", " + BreakerName(e) + " switched " +
               (e.kind == EventKind::SwitchedOn ? "on" : "off") +
               (e.detail ? " after a command from this program" : "");
    case EventKind::Joined:
        return NodeName(e) + " joined the bus";
    case EventKind::Left:
        return NodeName(e) + " left the bus";
    case EventKind::Silent:
        return "No status frames since " + LocalClockText(e.timeMs - SilenceMs(e));
    case EventKind::FramesAgain:
        return "status frames again after " + std::to_string((SilenceMs(e) + 500) / 1000) + " s";
    case EventKind::SettingChanged:
        return NodeName(e) + (IsTripSetting(e) ? ", " : ": ") + SettingNameOf(e) +
               " changed: " + Reading(e, e.values[0]) + " -> " + Reading(e, e.values[1]);
    case EventKind::Command:
        return CommandSummary(e);
    case EventKind::ClockJumped:
        return "the computer's clock jumped by " + JumpText(JumpOf(e));
    }
    return "";
}

std::string EventJson(const BusEvent& e) {
    std::string j = "{\"kind\":\"";
    j += EventKindName(e.kind);
    j += "\",\"time\":\"" + LocalTimeText(e.timeMs) + "\",\"node\":";
    j += e.node ? std::to_string(e.node) : "null";
    j += ",\"breaker\":";
    j += e.breaker ? std::to_string(e.breaker) : "null";
    j += ",\"values\":" + ValuesJson(e) + ",\"text\":";
    Escaped(j, EventText(e));
    j += "}";
    return j;
}

} // namespace orvik
