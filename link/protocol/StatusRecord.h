// The 204-byte status block of all eight nodes, as a status frame carries it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvik {

inline constexpr std::size_t NODE_COUNT = 8;
inline constexpr std::size_t BREAKER_COUNT = 8;
inline constexpr std::size_t STATUS_RECORD_SIZE = 204;

// Byte offsets of the fields; per-node fields hold eight entries, node 1 first.
namespace status_offset {
inline constexpr std::size_t NodePresent = 0;      // bit n: node n+1 is on the bus
inline constexpr std::size_t BreakerOn = 4;        // per node; bit b: breaker b+1 on
inline constexpr std::size_t BreakerFault = 12;    // per node; bit b: breaker b+1 faulted
inline constexpr std::size_t Current = 20;         // 64 x u16, 8 * node + breaker, tenths of A
inline constexpr std::size_t InputVoltage = 148;   // per node u16, tenths of V
inline constexpr std::size_t DoublingOption = 164; // per node
inline constexpr std::size_t PowerOnMask = 172;    // per node
inline constexpr std::size_t OptionFlags = 180;    // per node
inline constexpr std::size_t WigwagInterval = 188; // per node, tenths of s
inline constexpr std::size_t FixedProfile = 196;   // per node, profile number minus one
} // namespace status_offset

// Bits of OptionFlags.
inline constexpr std::uint8_t OPT_WIGWAG = 0x03; // wigwag mode 0..3
inline constexpr std::uint8_t OPT_PROGRAMMABLE = 0x04;
inline constexpr std::uint8_t OPT_FLASHER = 0x18; // flasher mode 0..3, shifted by 3
inline constexpr std::uint8_t OPT_DUAL_LED = 0x20;

// Entry n is the mask of node n+1 or of breaker n+1.
inline constexpr std::array<std::uint8_t, 8> BitMaskTable = {0x01, 0x02, 0x04, 0x08,
                                                             0x10, 0x20, 0x40, 0x80};

// Node and breaker indexes are 0..7; callers keep them in range.
struct StatusRecord {
    std::array<std::uint8_t, STATUS_RECORD_SIZE> bytes{};

    std::uint8_t NodePresent() const { return bytes[status_offset::NodePresent]; }
    bool IsNodePresent(std::size_t node) const { return NodePresent() & BitMaskTable[node]; }
    std::uint8_t BreakerOn(std::size_t node) const {
        return bytes[status_offset::BreakerOn + node];
    }
    std::uint8_t BreakerFault(std::size_t node) const {
        return bytes[status_offset::BreakerFault + node];
    }
    std::uint16_t Current(std::size_t node, std::size_t breaker) const {
        return U16(status_offset::Current + 2 * (8 * node + breaker));
    }
    std::uint16_t InputVoltage(std::size_t node) const {
        return U16(status_offset::InputVoltage + 2 * node);
    }
    std::uint8_t DoublingOption(std::size_t node) const {
        return bytes[status_offset::DoublingOption + node];
    }
    std::uint8_t PowerOnMask(std::size_t node) const {
        return bytes[status_offset::PowerOnMask + node];
    }
    std::uint8_t OptionFlags(std::size_t node) const {
        return bytes[status_offset::OptionFlags + node];
    }
    std::uint8_t WigwagInterval(std::size_t node) const {
        return bytes[status_offset::WigwagInterval + node];
    }
    std::uint8_t FixedProfile(std::size_t node) const {
        return bytes[status_offset::FixedProfile + node];
    }

    // Writers, for whatever builds a record (the bus simulator, tests).
    void SetNodePresent(std::uint8_t v) { bytes[status_offset::NodePresent] = v; }
    void SetBreakerOn(std::size_t node, std::uint8_t v) {
        bytes[status_offset::BreakerOn + node] = v;
    }
    void SetBreakerFault(std::size_t node, std::uint8_t v) {
        bytes[status_offset::BreakerFault + node] = v;
    }
    void SetCurrent(std::size_t node, std::size_t breaker, std::uint16_t v) {
        SetU16(status_offset::Current + 2 * (8 * node + breaker), v);
    }
    void SetInputVoltage(std::size_t node, std::uint16_t v) {
        SetU16(status_offset::InputVoltage + 2 * node, v);
    }
    void SetDoublingOption(std::size_t node, std::uint8_t v) {
        bytes[status_offset::DoublingOption + node] = v;
    }
    void SetPowerOnMask(std::size_t node, std::uint8_t v) {
        bytes[status_offset::PowerOnMask + node] = v;
    }
    void SetOptionFlags(std::size_t node, std::uint8_t v) {
        bytes[status_offset::OptionFlags + node] = v;
    }
    void SetWigwagInterval(std::size_t node, std::uint8_t v) {
        bytes[status_offset::WigwagInterval + node] = v;
    }
    void SetFixedProfile(std::size_t node, std::uint8_t v) {
        bytes[status_offset::FixedProfile + node] = v;
    }

private:
    std::uint16_t U16(std::size_t at) const {
        return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
    }
    void SetU16(std::size_t at, std::uint16_t v) {
        bytes[at] = static_cast<std::uint8_t>(v & 0xFF);
        bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
};

} // namespace orvik
