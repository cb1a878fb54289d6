// orvik-mqtt: one bus of Orvik modules on an MQTT broker, with Home Assistant discovery.
#include "link/line/StopSignals.h"
#include "mqtt/Bridge.h"
#include "mqtt/BridgeOptions.h"
#include "mqtt/Log.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

std::string HostName() {
#ifdef _WIN32
    const char* name = std::getenv("COMPUTERNAME");
    return name ? name : "";
#else
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
#endif
}

} // namespace

int main(int argc, char** argv) {
    using namespace orvik::mqtt;
    orvik::CatchStopSignals();
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN); // a broker that went away is a failed write, not an end
#endif
    OptionSources sources{[](const char* name) { return std::getenv(name); }, HostName()};
    BridgeOptions options;
    const OptionsResult parsed =
        ParseBridgeOptions(std::vector<std::string>(argv + 1, argv + argc), sources, options);
    if (!parsed.ok) {
        std::fprintf(stderr, "orvik-mqtt: %s\n", parsed.error.c_str());
        return EXIT_USAGE;
    }
    if (!parsed.help.empty()) {
        std::fputs(parsed.help.c_str(), stdout);
        return EXIT_DONE;
    }
    SetLogVerbose(options.verbose);
    for (const std::string& w : parsed.warnings)
        Log(LogLevel::Warning, w);
    return RunBridge(options, orvik::StopRequested());
}
