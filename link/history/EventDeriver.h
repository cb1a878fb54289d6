// Turns consecutive status frames, setup replies and the commands this program sent into
// events. It keeps the last state of each node, a few bytes each; it allocates only through
// the event log it adds to.
#pragma once

#include "link/history/BusEventLog.h"
#include "link/protocol/SentCommand.h"
#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"
#include "link/protocol/StatusSettings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace orvik {

class EventDeriver {
public:
    // Status frames that stop for this long make a silence of the line.
    static constexpr std::int64_t SILENCE_MS = 2000;
    // A switch within this long after this program sent that switch counts as its doing.
    static constexpr std::int64_t COMMAND_WINDOW_MS = 2000;
    // A breaker that switches on its own again within this long is flashing (a flasher or
    // the wigwag): its switches are no events until it keeps still for as long.
    static constexpr std::int64_t FLASHING_MS = 12000;

    explicit EventDeriver(BusEventLog& log) : log_(log) {}

    // Times in ms since 1970, in the order things happened; a time earlier than one told
    // before counts as that one, so that the events stay in order.
    void Status(std::int64_t timeMs, const StatusRecord& record);
    // The time now, between frames: a silence is told when it reaches SILENCE_MS.
    void Tick(std::int64_t timeMs);
    void SetupReply(std::int64_t timeMs, const orvik::SetupReply& reply);
    // A command this program sent; one the port did not take is no event.
    void Command(std::int64_t timeMs, const SentCommand& command);
    // The computer's clock jumped by `jumpMs` at `timeMs`: what this keeps of earlier times
    // moves by `shiftMs`, onto the new clock, so that no time passes across the jump.
    void ClockJumped(std::int64_t timeMs, std::int64_t jumpMs, std::int64_t shiftMs);
    void Clear();

private:
    struct Breaker {
        std::uint16_t current = 0;
        std::int64_t commandMs = -1; // when this program last sent it a switch
        bool commandOn = false;
        std::int64_t ownSwitchMs = -1; // its last switch without a command
    };
    struct Node {
        bool present = false;
        bool seen = false; // in some status frame of this run
        std::uint8_t on = 0;
        std::uint8_t fault = 0;
        StatusSettings raw{};                    // as the last frame showed them
        std::array<std::uint16_t, 7> settings{}; // each setting's value, from raw
        std::array<Breaker, BREAKER_COUNT> breakers{};
        bool tripKnown = false;
        BreakerSetupRecord trips{};
    };

    void Add(std::int64_t timeMs, EventKind kind, std::size_t node, std::size_t breaker,
             std::uint8_t detail = 0, std::array<std::uint16_t, 4> values = {});
    void Joined(std::int64_t timeMs, std::size_t n, const Node& node, const StatusRecord& record);
    void Breakers(std::int64_t timeMs, std::size_t n, Node& node, const StatusRecord& record);
    void Settings(std::int64_t timeMs, std::size_t n, Node& node, const StatusRecord& record);
    bool AfterCommand(std::int64_t timeMs, const Node& node, std::size_t breaker, bool on,
                      std::uint8_t doubling) const;

    BusEventLog& log_;
    std::array<Node, NODE_COUNT> nodes_{};
    bool anyFrame_ = false;
    bool silent_ = false; // a silence told, its end not yet
    std::int64_t lastFrameMs_ = 0;
    std::int64_t nowMs_ = NEVER; // the latest time told

    static constexpr std::int64_t NEVER = std::numeric_limits<std::int64_t>::min();
    std::int64_t Later(std::int64_t timeMs) { return nowMs_ = std::max(nowMs_, timeMs); }
};

} // namespace orvik
