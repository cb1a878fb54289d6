#include "link/protocol/SentCommand.h"

#include <cstring>

namespace orvik {

std::size_t EncodeCommand(const SentCommand& c, std::uint8_t* out) noexcept {
    if (c.payloadLength > MAX_COMMAND_PAYLOAD)
        return 0;
    out[0] = SYNC1;
    out[1] = SYNC2;
    out[2] = c.code;
    out[3] = static_cast<std::uint8_t>(c.payloadLength + 1); // 256 data bytes: 0
    out[4] = c.node;
    if (c.payloadLength > 0)
        std::memmove(out + 5, c.payload, c.payloadLength);
    AddChecksums(out + 2, static_cast<std::uint16_t>(c.payloadLength + 3));
    return c.payloadLength + COMMAND_OVERHEAD;
}

std::optional<SentCommand> DecodeCommand(std::uint8_t code, const std::uint8_t* data,
                                         std::size_t length) noexcept {
    if (length == 0)
        return std::nullopt;
    return SentCommand{code, data[0], data + 1, length - 1};
}

std::size_t CommandLengthByte(std::uint8_t code) noexcept {
    switch (code) {
    case CMD_TRIP_CURRENT:
        return 4;
    case CMD_TRIP_TIME:
    case CMD_SWITCH_BREAKER:
        return 3;
    case CMD_WIGWAG_MODE:
    case CMD_WIGWAG_INTERVAL:
    case CMD_DOUBLING:
    case CMD_DUAL_LED:
    case CMD_WIGWAG_ENABLE:
    case CMD_POWER_ON_DEFAULTS:
    case CMD_FLASHER:
    case CMD_FACTORY_DEFAULTS:
    case CMD_REQUEST_BREAKER_SETUP:
        return 2;
    default:
        return 0;
    }
}

} // namespace orvik
