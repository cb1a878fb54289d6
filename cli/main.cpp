// orvik-cli: the Orvik module bus from the command line, for workshops and scripts.
#include "cli/Cli.h"
#include "link/line/StopSignals.h"

#include <iostream>

int main(int argc, char** argv) {
    orvik::CatchStopSignals();
    return orvik::cli::RunCli(argc, argv, std::cout, std::cerr, &orvik::StopRequested());
}
