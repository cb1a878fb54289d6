#include "link/protocol/LinkFrame.h"

#include <cstring>

namespace orvik {

const char* CommandName(std::uint8_t code) {
    switch (code) {
    case CMD_TRIP_CURRENT:
        return "CMD_TRIP_CURRENT";
    case CMD_TRIP_TIME:
        return "CMD_TRIP_TIME";
    case CMD_WIGWAG_MODE:
        return "CMD_WIGWAG_MODE";
    case CMD_WIGWAG_INTERVAL:
        return "CMD_WIGWAG_INTERVAL";
    case CMD_SWITCH_BREAKER:
        return "CMD_SWITCH_BREAKER";
    case CMD_DOUBLING:
        return "CMD_DOUBLING";
    case CMD_DUAL_LED:
        return "CMD_DUAL_LED";
    case CMD_WIGWAG_ENABLE:
        return "CMD_WIGWAG_ENABLE";
    case CMD_POWER_ON_DEFAULTS:
        return "CMD_POWER_ON_DEFAULTS";
    case CMD_FLASHER:
        return "CMD_FLASHER";
    case CMD_FACTORY_DEFAULTS:
        return "CMD_FACTORY_DEFAULTS";
    case CMD_REQUEST_BREAKER_SETUP:
        return "CMD_REQUEST_BREAKER_SETUP";
    default:
        return nullptr;
    }
}

void AddChecksums(std::uint8_t* bytes, std::uint16_t count) {
    std::uint8_t sum = 0;
    std::uint8_t x = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
        x ^= bytes[i];
    }
    bytes[count] = sum;
    bytes[count + 1] = x;
}

std::size_t EncodeFrame(std::uint8_t type, const std::uint8_t* data, std::size_t dataLength,
                        std::uint8_t* out) {
    if (dataLength == 0 || dataLength > FRAME_DATA_SIZE)
        return 0;
    out[0] = SYNC1;
    out[1] = SYNC2;
    out[2] = type;
    out[3] = static_cast<std::uint8_t>(dataLength); // 256 wraps to 0
    std::memcpy(out + 4, data, dataLength);
    AddChecksums(out + 2, static_cast<std::uint16_t>(dataLength + 2));
    return dataLength + FRAME_OVERHEAD;
}

std::size_t FrameReceiver::BytesToCome(std::size_t wholeFrame) const noexcept {
    switch (state_) {
    case RX_SYNC1:
        return wholeFrame;
    case RX_SYNC2:
    case RX_TYPE:
    case RX_LENGTH:
        // The length is not known yet: the rest of a frame that long.
        return wholeFrame > static_cast<std::size_t>(state_) ? wholeFrame - state_ : 1;
    case RX_DATA:
        return (rxRemaining_ == 0 ? 256u : rxRemaining_) + 2u;
    case RX_SUM:
        return 2;
    case RX_XOR:
        return 1;
    }
    return wholeFrame;
}

} // namespace orvik
