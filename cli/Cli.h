// orvik-cli as a function, so that tests run it in-process.
#pragma once

#include <atomic>
#include <ostream>

namespace orvik::cli {

// Exit statuses.
inline constexpr int EXIT_DONE = 0;          // done, and every setting confirmed
inline constexpr int EXIT_NOT_CONFIRMED = 1; // something not confirmed; each setting named
inline constexpr int EXIT_USAGE = 2;         // bad usage or a bad file
inline constexpr int EXIT_NO_BUS = 3;        // the port did not open, or no status frame in 2 s
inline constexpr int EXIT_NOT_SERIAL = 4;    // the port names a device that is no serial port

// Runs the command line; `stop`, when given, ends `status --watch` and any wait once set.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::atomic<bool>* stop = nullptr);

} // namespace orvik::cli
