// Told of what the link accepts and sends, for whatever keeps a history of the bus. It runs on
// the receive path and in SendCommand: an implementation allocates nothing and returns quickly.
#pragma once

#include "link/protocol/StatusRecord.h"

#include <cstddef>
#include <cstdint>

namespace orvik {

class LinkWatcher {
public:
    virtual ~LinkWatcher() = default;
    // A status frame copied into the status record, before the display sees it.
    virtual void StatusAccepted(const StatusRecord& record) = 0;
    // A whole breaker setup reply (25 data bytes, node byte first), from whichever node.
    virtual void SetupReplied(const std::uint8_t* data) = 0;
    // A command frame SendCommand built; `written`: the port took all of it.
    virtual void CommandSent(const std::uint8_t* frame, std::size_t length, bool written) = 0;
};

} // namespace orvik
