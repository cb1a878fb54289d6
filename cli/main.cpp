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

// Ctrl-C, SIGTERM and a hang-up end a command with what it has. The handler is installed
// without restarting calls, so that a write to a pipe nobody reads returns and sees the stop.
void CatchStopSignals() {
#ifdef _WIN32
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
#endif
}

} // namespace

int main(int argc, char** argv) {
    CatchStopSignals();
    return orvik::cli::RunCli(argc, argv, std::cout, std::cerr, &stopRequested);
}
