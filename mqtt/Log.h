// The bridge's log: one line a message on standard error, with its level; under systemd the
// level goes to the journal as its priority.
#pragma once

#include <string>

namespace orvik::mqtt {

enum class LogLevel { Error, Warning, Info, Debug };

// Debug lines (each publish) are written only when verbose.
void SetLogVerbose(bool verbose);
bool LogVerbose();
void Log(LogLevel level, const std::string& text);

} // namespace orvik::mqtt
