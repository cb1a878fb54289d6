// One JSON line per received command frame, for tests and users.
#pragma once

#include "sim/SimBus.h"

#include <cstdint>
#include <string>

namespace orvik::sim {

// {"t_ms":1200,"node":3,"cmd":"CMD_SWITCH_BREAKER","code":6,"payload":[4,1],"applied":true}
// "node" is the node number (node byte + 1), null for a frame without data; "cmd" is null
// for an unknown code; an ignored command also carries "reason". No trailing newline.
std::string CommandJson(std::uint64_t tMs, std::uint8_t code, const std::uint8_t* data,
                        std::size_t length, const CommandResult& result);

// Lowercase hex of `length` bytes, without separators.
std::string HexBytes(const std::uint8_t* data, std::size_t length);

} // namespace orvik::sim
