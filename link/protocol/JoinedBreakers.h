// The breakers that a node's joining option (doubling/tripling) switches together.
#pragma once

#include "link/protocol/StatusRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvik {

// Groups of joined breakers for joining options 0..4, as bit masks.
inline constexpr std::array<std::array<std::uint8_t, 2>, 5> JOINED_GROUPS = {{
    {0x00, 0x00}, // 8 individual breakers
    {0x03, 0x00}, // 1+2
    {0x03, 0x0C}, // 1+2 and 3+4
    {0x07, 0x00}, // 1+2+3
    {0x07, 0x30}, // 1+2+3 and 5+6
}};

// The mask of the breakers switched with `breaker` (0..7) under `option`, itself included.
constexpr std::uint8_t JoinedWith(std::uint8_t option, std::size_t breaker) noexcept {
    const std::uint8_t bit = BitMaskTable[breaker];
    if (option < JOINED_GROUPS.size())
        for (std::uint8_t group : JOINED_GROUPS[option])
            if (group & bit)
                return group;
    return bit;
}

} // namespace orvik
