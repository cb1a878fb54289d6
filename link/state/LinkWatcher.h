// Told of what the link accepts and sends, for whatever keeps a history of the bus. It runs on
// the receive path and in SendCommand: an implementation allocates nothing and returns quickly.
// `timeMs` (ms since 1970, the run's clock) is when the frame's last byte was read off the
// line, or when the command was sent.
#pragma once

#include "link/protocol/SentCommand.h"
#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"

#include <cstdint>

namespace orvik {

class LinkWatcher {
public:
    virtual ~LinkWatcher() = default;
    // A status frame copied into the status record, before the display sees it.
    virtual void StatusAccepted(const StatusRecord& record, std::int64_t timeMs) = 0;
    // A whole breaker setup reply, from whichever node.
    virtual void SetupReplied(const SetupReply& reply, std::int64_t timeMs) = 0;
    // A command SendCommand built, whether or not the port took it.
    virtual void CommandSent(const SentCommand& command, std::int64_t timeMs) = 0;
};

} // namespace orvik
