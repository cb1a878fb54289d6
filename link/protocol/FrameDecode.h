// A frame log record in the system's terms: what kind of frame it is, which node it concerns,
// a one-line summary ("switch breaker 5 on, node 3") and, when asked, its fields with units.
#pragma once

#include "link/protocol/FrameLog.h"
#include "link/protocol/SentCommand.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

enum class FrameKind : std::uint8_t {
    Status,     // from the bus, type 1
    SetupReply, // from the bus, type 0
    OtherType,  // from the bus, any other type
    Command,    // to the bus
    Noise,      // bytes that belong to no frame
};

struct DecodedField {
    std::string name;
    std::string value;
};

struct DecodedFrame {
    FrameKind kind = FrameKind::Noise;
    int node = 0; // node number (node byte + 1) of a command or setup reply; 0: none
    std::string summary;
    std::vector<DecodedField> fields; // sync, type, length, node, payload, checks
};

// The cheap part, for filters: no texts.
FrameKind KindOf(const FrameRecord& record) noexcept;
int NodeOf(const FrameRecord& record) noexcept;

DecodedFrame DecodeFrame(const FrameRecord& record, bool withFields = false);

// "D5 82 06 ..." of the first `maxBytes` bytes, with " ..." when there are more.
std::string HexText(const std::uint8_t* bytes, std::size_t length, std::size_t maxBytes);

} // namespace orvik
