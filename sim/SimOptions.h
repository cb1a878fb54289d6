// Command-line options of orvik-bus-sim.
#pragma once

#include "sim/TxQueue.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvik::sim {

enum class Pacing { Line, Unpaced, FullRate };

struct TimedCommand {
    std::uint64_t atMs = 0;
    std::string command; // a line command (LineCommands.h)
};

struct SimOptions {
    std::string device; // empty: a new pseudo-terminal
    std::string link;
    std::uint16_t listenPort = 0; // --listen tcp:PORT: raw TCP on 127.0.0.1 instead
    unsigned periodMs = 200;
    Pacing pacing = Pacing::Line;
    std::uint32_t seed = 1;
    bool drift = true;
    bool nodesGiven = false;
    std::uint8_t nodes = 0; // presence mask when nodesGiven
    Faults faults;
    bool setupReply = true;
    std::string logFile;     // empty: standard output
    std::string traceSent;   // file of every frame queued, hex
    std::string captureFile; // pcapng of what goes over the line
    std::string replayFile;  // pcapng whose inbound records are played instead of the model's
    double replaySpeed = 1.0;
    bool replayLoop = false;
    bool exitOnEof = false;
    std::uint64_t runForMs = 0; // 0: until stopped
    bool help = false;
    std::vector<std::string> startCommands; // run once before the first frame
    std::vector<TimedCommand> timed;        // run when the clock reaches atMs
    struct Ignored {
        std::uint8_t node = 0; // index 0..7
        std::uint8_t code = 0;
    };
    std::vector<Ignored> ignored; // command codes that a node does not carry out
};

// Parses argv. On an error returns false with a message in `error`.
bool ParseOptions(int argc, const char* const* argv, SimOptions& out, std::string& error);

const char* OptionsHelp();

} // namespace orvik::sim
