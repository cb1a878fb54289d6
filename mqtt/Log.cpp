#include "mqtt/Log.h"

#include <cstdio>
#include <cstdlib>

namespace orvik::mqtt {

namespace {

bool verbose = false;

} // namespace

void SetLogVerbose(bool on) {
    verbose = on;
}

bool LogVerbose() {
    return verbose;
}

void Log(LogLevel level, const std::string& text) {
    if (level == LogLevel::Debug && !verbose)
        return;
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    // Syslog priorities: err, warning, info, debug.
    static constexpr int PRIORITY[] = {3, 4, 6, 7};
    static constexpr const char* WORD[] = {"error", "warning", "info", "debug"};
    const auto i = static_cast<int>(level);
    if (journal)
        std::fprintf(stderr, "<%d>%s: %s\n", PRIORITY[i], WORD[i], text.c_str());
    else
        std::fprintf(stderr, "orvik-mqtt: %s: %s\n", WORD[i], text.c_str());
    std::fflush(stderr);
}

} // namespace orvik::mqtt
