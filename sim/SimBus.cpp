#include "sim/SimBus.h"

#include "link/protocol/LinkFrame.h"
#include "link/protocol/SentCommand.h"

#include <string>

namespace orvik::sim {

SimBus::SimBus(std::uint32_t seed) : rng_(seed) {}

void SimBus::SetPresent(std::size_t node, bool present) {
    if (present && !present_[node])
        modules_[node].PowerOn();
    present_[node] = present;
}

void SimBus::Advance(std::uint32_t ms) {
    nowMs_ += ms;
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        if (present_[n])
            modules_[n].Step(ms, rng_, drift_);
}

StatusRecord SimBus::BuildStatus() const {
    StatusRecord record;
    std::uint8_t presentMask = 0;
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        if (!present_[n])
            continue;
        presentMask |= BitMaskTable[n];
        modules_[n].Fill(record, n);
    }
    record.SetNodePresent(presentMask);
    return record;
}

std::array<std::uint8_t, SETUP_REPLY_SIZE> SimBus::BuildSetupReply(std::size_t node) const {
    SetupReply reply;
    reply.node = static_cast<std::uint8_t>(node);
    const SimModule& m = modules_[node];
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i) {
        reply.trips.TripCurrent[i] = m.breakers[i].tripCurrent;
        reply.trips.TripTime[i] = m.breakers[i].tripTime;
    }
    return EncodeSetupReply(reply);
}

CommandResult SimBus::Apply(std::uint8_t type, const std::uint8_t* data, std::size_t length) {
    CommandResult r;
    const std::optional<SentCommand> command = DecodeCommand(type, data, length);
    if (command)
        r.node = command->node;
    const std::size_t expected = CommandLengthByte(type);
    if (expected == 0) {
        r.reason = "unknown command code " + std::to_string(type);
        return r;
    }
    if (length != expected) {
        r.reason = "length " + std::to_string(length) + ", expected " + std::to_string(expected);
        return r;
    }
    if (r.node >= static_cast<int>(NODE_COUNT)) {
        r.reason = "node byte " + std::to_string(r.node) + " out of range";
        return r;
    }
    if (!present_[r.node]) {
        r.reason = "node " + std::to_string(r.node + 1) + " not on the bus";
        return r;
    }
    if (ignored_[r.node].test(type)) {
        r.reason = "node " + std::to_string(r.node + 1) + " ignores this command (--ignore)";
        return r;
    }
    if (type == CMD_REQUEST_BREAKER_SETUP) {
        r.applied = true;
        r.reply = true;
        r.setupReply = BuildSetupReply(r.node);
        return r;
    }
    r.reason = ApplyToModule(type, modules_[r.node], command->payload);
    r.applied = r.reason.empty();
    return r;
}

// Returns the reason for ignoring the command, or an empty text when it was carried out.
std::string SimBus::ApplyToModule(std::uint8_t type, SimModule& m, const std::uint8_t* p) {
    auto breakerIndex = [&](std::size_t& out) -> std::string {
        if (p[0] >= BREAKER_COUNT)
            return "breaker index " + std::to_string(p[0]) + " out of range";
        out = p[0];
        return {};
    };
    auto flag = [&](bool& out) -> std::string {
        if (p[0] > 1)
            return "value " + std::to_string(p[0]) + " is not 0 or 1";
        out = p[0] == 1;
        return {};
    };
    std::size_t b = 0;
    std::string why;
    switch (type) {
    case CMD_TRIP_CURRENT: {
        if (!(why = breakerIndex(b)).empty())
            return why;
        const auto current = static_cast<std::uint16_t>(p[1] | (p[2] << 8));
        if (current == 0)
            return "trip current 0";
        m.breakers[b].tripCurrent = current;
        return {};
    }
    case CMD_TRIP_TIME:
        if (!(why = breakerIndex(b)).empty())
            return why;
        m.breakers[b].tripTime = p[1];
        return {};
    case CMD_WIGWAG_MODE:
        if (p[0] > 2)
            return "wigwag mode " + std::to_string(p[0]) + " out of range";
        if (m.wigwagMode == 0)
            return "wigwag not enabled";
        m.wigwagMode = static_cast<std::uint8_t>(p[0] + 1);
        return {};
    case CMD_WIGWAG_INTERVAL:
        m.wigwagInterval = p[0];
        return {};
    case CMD_SWITCH_BREAKER: {
        if (!(why = breakerIndex(b)).empty())
            return why;
        if (p[1] > 1)
            return "switch value " + std::to_string(p[1]) + " is not 0 or 1";
        m.Switch(b, p[1] == 1);
        return {};
    }
    case CMD_DOUBLING:
        if (p[0] > 4)
            return "doubling option " + std::to_string(p[0]) + " out of range";
        if (!m.programmable)
            return "doubling needs the programmable profile";
        m.doublingOption = p[0];
        return {};
    case CMD_DUAL_LED:
        return flag(m.dualLed);
    case CMD_WIGWAG_ENABLE: {
        bool on = false;
        if (!(why = flag(on)).empty())
            return why;
        if (!on)
            m.wigwagMode = 0;
        else if (m.wigwagMode == 0)
            m.wigwagMode = 1;
        return {};
    }
    case CMD_POWER_ON_DEFAULTS:
        m.powerOnMask = p[0];
        return {};
    case CMD_FLASHER:
        if (p[0] > 2)
            return "flasher mode " + std::to_string(p[0]) + " out of range";
        m.flasherMode = p[0];
        return {};
    case CMD_FACTORY_DEFAULTS:
        m.FactoryDefaults();
        return {};
    default:
        return "unknown command code " + std::to_string(type);
    }
}

} // namespace orvik::sim
