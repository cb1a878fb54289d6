// Text commands that change the bus while it runs ("leave 2", "load 1 3 45", ...). The program
// reads them from standard input; its start options are turned into the same commands.
#pragma once

#include "sim/SimBus.h"

#include <string>
#include <string_view>

namespace orvik::sim {

// Switches of the program that the commands can flip.
struct RunFlags {
    bool silent = false;    // no status frames at all
    bool setupReply = true; // answer breaker setup requests
    bool quit = false;      // the program should end
};

struct LineResult {
    bool ok = false;
    std::string text; // what to tell the user: the change made, or what was wrong
};

// Carries out one command line. Node and breaker numbers are 1-based, values in tenths.
LineResult RunLineCommand(std::string_view line, SimBus& bus, RunFlags& flags);

// The commands and their arguments, for --help and "help".
const char* LineCommandHelp();

// Nodes 1, 2 and 4 with a mix of loads and settings; node 1 breaker 2 runs close to its
// trip current.
void LoadDefaultModel(SimBus& bus);

} // namespace orvik::sim
