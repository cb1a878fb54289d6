// The breaker setup reply, as a node sends it: node byte, 8 x u16 trip current (tenths of A),
// 8 x u8 trip time (tenths of s).
#pragma once

#include "link/protocol/StatusRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvik {

inline constexpr std::size_t SETUP_REPLY_SIZE = 25;

// The trip settings of a node's eight breakers.
struct BreakerSetupRecord {
    std::array<std::uint16_t, BREAKER_COUNT> TripCurrent{};
    std::array<std::uint8_t, BREAKER_COUNT> TripTime{};
    friend bool operator==(const BreakerSetupRecord&, const BreakerSetupRecord&) = default;
};

struct SetupReply {
    std::uint8_t node = 0; // node byte: node number minus one, as sent
    BreakerSetupRecord trips;
};

// The reply in a frame's `length` data bytes; nullopt when there are fewer than 25.
std::optional<SetupReply> DecodeSetupReply(const std::uint8_t* data, std::size_t length) noexcept;
std::array<std::uint8_t, SETUP_REPLY_SIZE> EncodeSetupReply(const SetupReply& reply) noexcept;

} // namespace orvik
