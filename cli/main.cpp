// orvik-cli: the Orvik module bus from the command line, for workshops and scripts.
#include "cli/Cli.h"

#include <atomic>
#include <csignal>
#include <iostream>

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) {
    stopRequested = true;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return orvik::cli::RunCli(argc, argv, std::cout, std::cerr, &stopRequested);
}
