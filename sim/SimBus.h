// The simulated bus: up to eight modules, the status record of all of them, and the command
// set as the modules carry it out.
#pragma once

#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"
#include "sim/SimModule.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <random>
#include <string>

namespace orvik::sim {

// What became of one command frame.
struct CommandResult {
    bool applied = false;
    int node = -1;      // node index from the frame, -1 when the frame has no data
    std::string reason; // why it was ignored; empty when applied
    bool reply = false; // setupReply holds a FRAME_BREAKER_SETUP answer to send
    std::array<std::uint8_t, SETUP_REPLY_SIZE> setupReply{};
};

class SimBus {
public:
    explicit SimBus(std::uint32_t seed = 1);

    // Carries out one command frame: `type` is its command code, `data` the node byte and the
    // payload, `length` their count. Malformed frames change nothing.
    CommandResult Apply(std::uint8_t type, const std::uint8_t* data, std::size_t length);

    // Moves the bus clock on by `ms`.
    void Advance(std::uint32_t ms);

    // The status record as the next status frame carries it. Absent nodes show as zeros.
    StatusRecord BuildStatus() const;
    // The 25 data bytes of the setup reply of node index `node`.
    std::array<std::uint8_t, SETUP_REPLY_SIZE> BuildSetupReply(std::size_t node) const;

    // A node that joins the bus has just got power (PowerOn); one that leaves keeps its state.
    void SetPresent(std::size_t node, bool present);
    bool Present(std::size_t node) const { return present_[node]; }

    SimModule& Module(std::size_t node) { return modules_[node]; }
    const SimModule& Module(std::size_t node) const { return modules_[node]; }

    // Node index `node` leaves every command frame of `code` undone, as a module that does
    // not take it would.
    void Ignore(std::size_t node, std::uint8_t code) { ignored_[node].set(code); }

    // Random drift of the measured currents; off gives exact loads.
    void SetDrift(bool on) { drift_ = on; }
    std::uint64_t NowMs() const { return nowMs_; }

private:
    std::string ApplyToModule(std::uint8_t type, SimModule& m, const std::uint8_t* p);

    std::array<SimModule, NODE_COUNT> modules_{};
    std::array<bool, NODE_COUNT> present_{};
    std::array<std::bitset<256>, NODE_COUNT> ignored_{};
    std::mt19937 rng_;
    bool drift_ = true;
    std::uint64_t nowMs_ = 0;
};

} // namespace orvik::sim
