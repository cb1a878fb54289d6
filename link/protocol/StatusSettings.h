// A node's settings as a status frame shows them, five bytes to compare and keep.
#pragma once

#include "link/protocol/StatusRecord.h"

#include <cstdint>

namespace orvik {

struct StatusSettings {
    std::uint8_t doubling = 0;
    std::uint8_t powerOnMask = 0;
    std::uint8_t optionFlags = 0; // bits 0..5; bits 6 and 7 mean nothing
    std::uint8_t wigwagInterval = 0;
    std::uint8_t fixedProfile = 0;
    friend bool operator==(const StatusSettings&, const StatusSettings&) = default;
};

inline StatusSettings StatusSettingsOf(const StatusRecord& r, std::size_t node) {
    return {r.DoublingOption(node), r.PowerOnMask(node),
            static_cast<std::uint8_t>(r.OptionFlags(node) & 0x3F), r.WigwagInterval(node),
            r.FixedProfile(node)};
}

} // namespace orvik
