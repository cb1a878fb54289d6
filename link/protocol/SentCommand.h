// A command frame to the bus: D5 82 code length node payload sum xor, where the length byte
// counts the node byte and the payload.
#pragma once

#include "link/protocol/LinkFrame.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvik {

inline constexpr std::size_t COMMAND_OVERHEAD = FRAME_OVERHEAD + 1; // and the node byte
inline constexpr std::size_t MAX_COMMAND_PAYLOAD = FRAME_DATA_SIZE - 1;

// A view of a command; the payload belongs to whoever built it.
struct SentCommand {
    std::uint8_t code = 0;
    std::uint8_t node = 0; // node byte: node number minus one
    const std::uint8_t* payload = nullptr;
    std::size_t payloadLength = 0;
    bool written = true; // the port took all of it

    std::uint8_t Payload(std::size_t i) const noexcept {
        return i < payloadLength ? payload[i] : 0;
    }
};

// Writes the whole frame to `out` (payloadLength + 7 bytes); returns its length, or 0 when
// the payload is too long for a frame.
std::size_t EncodeCommand(const SentCommand& command, std::uint8_t* out) noexcept;

// The command in a frame's type and `length` data bytes (node byte first); nullopt without
// a node byte. The view points into `data`.
std::optional<SentCommand> DecodeCommand(std::uint8_t code, const std::uint8_t* data,
                                         std::size_t length) noexcept;

// Length byte that each command code carries (node byte + payload); 0 for an unknown code.
std::size_t CommandLengthByte(std::uint8_t code) noexcept;

} // namespace orvik
