// What "COM1" .. "COM16" reach on this machine, for `orvik-cli ports`.
#pragma once

#include "serial/PortBackend.h"
#include "serial/PortNames.h"

#include <string>
#include <vector>

namespace orvik::cli {

struct PortEntry {
    std::string name;   // "COM3"
    std::string device; // what opening it opens
    bool present = false;
    bool network = false;    // a port on the network (rfc2217://, socket://) named in [Ports]
    bool remembered = false; // the device the COM name reached before ([PortsSeen])
};

// COM1 .. COM16 in order. On POSIX each resolves through `ports` (the [Ports] section), `seen`
// ([PortsSeen]) and the devices under `roots`; on Windows through the system's own names.
std::vector<PortEntry> ListPorts(const PortMap& ports, const PortMap& seen = {},
                                 const PortScanRoots& roots = {});

// The line `orvik-cli ports` prints for `entry`: its name, its device and whether it is there.
std::string PortLine(const PortEntry& entry);

} // namespace orvik::cli
