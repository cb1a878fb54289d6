#include "sim/CommandLog.h"

#include "link/protocol/LinkFrame.h"
#include "link/protocol/SentCommand.h"

namespace orvik::sim {

namespace {

// Escapes what our reasons can hold; they are plain ASCII.
std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            continue;
        out += c;
    }
    return out + "\"";
}

} // namespace

std::string HexBytes(const std::uint8_t* data, std::size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * length);
    for (std::size_t i = 0; i < length; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
    }
    return out;
}

std::string CommandJson(std::uint64_t tMs, std::uint8_t code, const std::uint8_t* data,
                        std::size_t length, const CommandResult& result) {
    std::string out = "{\"t_ms\":" + std::to_string(tMs) + ",\"node\":";
    const std::optional<SentCommand> command = DecodeCommand(code, data, length);
    out += command ? std::to_string(command->node + 1) : "null";
    const char* name = CommandName(code);
    out += ",\"cmd\":";
    out += name ? JsonString(name) : "null";
    out += ",\"code\":" + std::to_string(code) + ",\"payload\":[";
    for (std::size_t i = 0; command && i < command->payloadLength; ++i) {
        if (i > 0)
            out += ',';
        out += std::to_string(command->payload[i]);
    }
    out += "],\"applied\":";
    out += result.applied ? "true" : "false";
    if (!result.applied)
        out += ",\"reason\":" + JsonString(result.reason);
    out += '}';
    return out;
}

} // namespace orvik::sim
