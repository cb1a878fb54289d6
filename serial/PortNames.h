// How "COMn" names a device on POSIX:
//   1. the entry of the [Ports] map (key in any letter case);
//   2. else the n-th serial device present, in a stable order: /dev/serial/by-id links,
//      then ttyACM* and ttyUSB* that no such link names, then ttyS* with a UART behind it;
//   3. else /dev/ttyS<n-1>.
// A name starting with '/' is a path as it stands; any other name is left unchanged.
#pragma once

#include "PortBackend.h"

#include <string>
#include <vector>

namespace orvik {

// Where to look; tests point both at a fake tree.
struct TPortScanRoots {
    std::string Dev = "/dev";              // holds ttyUSB0, serial/by-id/..., ttyS0
    std::string SysTty = "/sys/class/tty"; // holds ttyS0/type (0: no UART)
};

// The serial devices present, in the order above.
std::vector<std::string> ListSerialDevices(const TPortScanRoots& roots = {});

// The port number of "COMn" (any letter case, n >= 1), or 0 for any other name.
int ComPortNumber(const std::string& name);

// The device `name` resolves to. The serial port dialog shows this beside each item.
std::string ResolvePortName(const std::string& name, const TPortMap& ports,
                            const TPortScanRoots& roots = {});

} // namespace orvik
