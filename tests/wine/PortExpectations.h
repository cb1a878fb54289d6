// Where the serial line behaves differently on the three systems the tests run on: Linux
// (the POSIX backend), Windows, and Wine (the Windows backend on Linux). Everything else
// the line tests check holds on all three.
#pragma once

#include <cerrno>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace orvik::test {

inline bool RunningUnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// A port name that names no device, and the error code opening it gives.
#ifdef _WIN32
inline std::string AbsentPortName() {
    return "COM99";
}
inline constexpr int ABSENT_PORT_ERROR = ERROR_FILE_NOT_FOUND; // 2
#else
inline std::string AbsentPortName() {
    return "/dev/orvik-no-such-port";
}
inline constexpr int ABSENT_PORT_ERROR = ENOENT;
#endif

// The error code when a second component opens a port that is open: Windows opens a port
// for one handle only; Linux refuses through the advisory lock. Wine lets the second open
// through (nullopt).
inline std::optional<int> SecondOpenError() {
#ifdef _WIN32
    if (RunningUnderWine())
        return std::nullopt;
    return ERROR_ACCESS_DENIED;
#else
    return EBUSY;
#endif
}

// The flow-control modes other than fcDefault set RTS_CONTROL_TOGGLE. Windows takes it; Linux
// takes it only from a driver with an RS-485 mode (a pseudo-terminal has none: ENOTTY), and
// Wine refuses it with ERROR_NOT_SUPPORTED (returned as the error code).
inline std::optional<int> RtsToggleError() {
#ifdef _WIN32
    if (RunningUnderWine())
        return ERROR_NOT_SUPPORTED;
    return std::nullopt;
#else
    return ENOTTY;
#endif
}

} // namespace orvik::test
