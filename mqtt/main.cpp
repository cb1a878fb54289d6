// orvik-mqtt: one bus of Orvik modules on an MQTT broker, with Home Assistant discovery.
#include "mqtt/Bridge.h"
#include "mqtt/BridgeOptions.h"
#include "mqtt/Log.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) {
    stopRequested = true;
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    using namespace orvik::mqtt;
    CatchStopSignals();
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        host[0] = '\0';
    OptionSources sources{[](const char* name) { return std::getenv(name); }, host};
    BridgeOptions options;
    const OptionsResult parsed =
        ParseBridgeOptions(std::vector<std::string>(argv + 1, argv + argc), sources, options);
    if (!parsed.ok) {
        std::fprintf(stderr, "orvik-mqtt: %s\n", parsed.error.c_str());
        return EXIT_USAGE;
    }
    if (options.help) {
        std::fputs(BridgeHelp(), stdout);
        return EXIT_DONE;
    }
    if (options.version) {
        std::puts("orvik-mqtt " ORVIK_VERSION);
        return EXIT_DONE;
    }
    SetLogVerbose(options.verbose);
    for (const std::string& w : parsed.warnings)
        Log(LogLevel::Warning, w);
    return RunBridge(options, stopRequested);
}
