// The pcapng blocks and options that the capture writer and reader know.
#pragma once

#include <cstdint>

namespace orvik::pcapng {

inline constexpr std::uint32_t BLOCK_SECTION = 0x0A0D0D0A;
inline constexpr std::uint32_t BLOCK_INTERFACE = 1;
inline constexpr std::uint32_t BLOCK_ENHANCED_PACKET = 6;
inline constexpr std::uint32_t BYTE_ORDER_MAGIC = 0x1A2B3C4D;
inline constexpr std::uint32_t BYTE_ORDER_SWAPPED = 0x4D3C2B1A;
inline constexpr std::uint16_t OPT_END = 0;
inline constexpr std::uint16_t OPT_COMMENT = 1;
inline constexpr std::uint16_t OPT_SHB_USERAPPL = 4;
inline constexpr std::uint16_t OPT_IF_NAME = 2;
inline constexpr std::uint16_t OPT_IF_DESCRIPTION = 3;
inline constexpr std::uint16_t OPT_IF_TSRESOL = 9;
inline constexpr std::uint16_t OPT_EPB_FLAGS = 2;

} // namespace orvik::pcapng
