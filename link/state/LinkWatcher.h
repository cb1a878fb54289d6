// Told of what the link accepts and sends, for whatever keeps a history of the bus. It runs on
// the receive path and in SendCommand: an implementation allocates nothing and returns quickly.
#pragma once

#include "link/protocol/SentCommand.h"
#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"

namespace orvik {

class LinkWatcher {
public:
    virtual ~LinkWatcher() = default;
    // A status frame copied into the status record, before the display sees it.
    virtual void StatusAccepted(const StatusRecord& record) = 0;
    // A whole breaker setup reply, from whichever node.
    virtual void SetupReplied(const SetupReply& reply) = 0;
    // A command SendCommand built, whether or not the port took it.
    virtual void CommandSent(const SentCommand& command) = 0;
};

} // namespace orvik
