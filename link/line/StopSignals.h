// Ctrl-C, SIGTERM and a hang-up end a program on the core with what it has: they set a flag
// that its waits look at. The handler does not restart calls, so that a write to a pipe nobody
// reads returns and sees the stop.
#pragma once

#include <atomic>
#include <csignal>

namespace orvik {

// The flag the signals set; one for the process.
inline std::atomic<bool>& StopRequested() {
    static std::atomic<bool> stop{false};
    return stop;
}

inline void CatchStopSignals() {
    static void (*const handler)(int) = [](int) { StopRequested() = true; };
#ifdef _WIN32
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
#else
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
#endif
}

} // namespace orvik
