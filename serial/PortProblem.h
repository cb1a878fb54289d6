// Why a port did not open, in words a technician can act on: the device and the reason, from
// the OS error of the failed open (ECommError::ErrorCode).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvik {

enum class PortProblem {
    None,
    NotConnected, // no such device (ENOENT, ENXIO, ENODEV; Windows error 2 or 3)
    NoPermission, // EACCES, EPERM
    Busy,         // held by another program (EBUSY; Windows error 5)
    NotSerial,    // opened, but no serial line (ErrorCode -1, ENOTTY)
    Refused,      // opened, but the driver refused the line settings
    // Network ports (the device is the port's name, "rfc2217://bench-pi:3001"):
    ConnectRefused, // nothing listens on that port (ECONNREFUSED)
    Unreachable,    // no route to the host or its network
    TimedOut,       // the host did not answer within the bound
    NoHost,         // the host name is not known
    NotAccepted,    // the server did not take 57600 8N1 (RFC 2217)
    Disconnected,   // the server closed the connection
    BadAddress,     // not rfc2217://HOST:PORT or socket://HOST:PORT
    Other,
};

// The problem an open failed with (also what a lost network connection is classed as). `stillOpen`:
// the port opened and only its configuration failed.
PortProblem ClassifyPortError(std::int32_t code, bool stillOpen = false);

// One sentence naming the device and the reason, e.g. "/dev/ttyUSB0 is in use by another
// program: minicom (PID 4242)."
std::string PortProblemText(PortProblem problem, const std::string& device, std::int32_t code);

// A program that holds `device` open, found through `procRoot` (POSIX; nullopt elsewhere).
struct PortHolder {
    long pid = 0;
    std::string name;
};
std::optional<PortHolder> FindPortHolder(const std::string& device,
                                         const std::string& procRoot = "/proc");

// Whether the device node (or what it links to) is there; `device` as the component opens it.
bool PortDevicePresent(const std::string& device);

} // namespace orvik
