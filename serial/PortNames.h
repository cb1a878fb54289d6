// How "COMn" names a device on POSIX:
//   1. the entry of the [Ports] map (key in any letter case);
//   2. else the device it reached before ([PortsSeen]): that device only, present or not,
//      so that a new device or a missing adapter never moves COMn to another one;
//   3. else the n-th serial device present, in a stable order: /dev/serial/by-id links,
//      then ttyACM* and ttyUSB* that no such link names, then ttyS* with a UART behind it;
//   4. else /dev/ttyS<n-1>.
// Rules 2 to 4 never reach a system console (a serial console of the kernel, as
// /proc/consoles or /sys/class/tty/console/active list it): only [Ports] or a path opens one.
// A name starting with '/' is a path as it stands; any other name is left unchanged.
#pragma once

#include "serial/PortBackend.h"

#include <string>
#include <vector>

namespace orvik {

// Where to look; tests point both at a fake tree.
struct PortScanRoots {
    std::string dev = "/dev";              // holds ttyUSB0, serial/by-id/..., ttyS0
    std::string sysTty = "/sys/class/tty"; // holds ttyS0/type (0: no UART), console/active
    std::string consoles = "/proc/consoles";
};

// Whether `device` (or what it links to) is a system console.
bool IsSystemConsole(const std::string& device, const PortScanRoots& roots = {});

// The serial devices present, in the order above.
std::vector<std::string> ListSerialDevices(const PortScanRoots& roots = {});

// The port number of "COMn" (any letter case, n >= 1), or 0 for any other name.
int ComPortNumber(const std::string& name);

enum class PortSource { AsGiven, Ports, Seen, Position, Fallback };

struct PortResolution {
    std::string device; // "" when the only candidate was a system console
    PortSource source = PortSource::AsGiven;
    std::string console; // the console passed over, if any
};

// The device `name` resolves to, and by which rule. `seen`: the devices COM names reached
// before. The serial port dialog shows this beside each item.
PortResolution ResolvePort(const std::string& name, const PortMap& ports, const PortMap& seen,
                           const PortScanRoots& roots = {});
std::string ResolvePortName(const std::string& name, const PortMap& ports,
                            const PortScanRoots& roots = {});

// `ports` with the entries of `seen` added for the COM numbers `ports` does not name: the map
// the serial component resolves its DeviceName through.
PortMap MergePortMaps(const PortMap& ports, const PortMap& seen);

// The name to remember a device by: a /dev/serial/by-id link to it, else the device itself.
std::string StableDeviceName(const std::string& device, const PortScanRoots& roots = {});

// How a device is named to the user: the adapter's by-id name ("usb-Bench_Adapter_0001"),
// else its path.
std::string DeviceDisplayName(const std::string& device);

} // namespace orvik
