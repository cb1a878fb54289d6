// The one way to open the bus's port, for the program and orvik-cli alike: resolve the name,
// open the serial component at the bus's line settings, and say why when it did not open.
#pragma once

#include "serial/CommPort.h"
#include "serial/PortNames.h"
#include "serial/PortProblem.h"

#include <cstdint>
#include <string>

namespace orvik {

struct OpenOutcome {
    bool opened = false;
    PortProblem problem = PortProblem::None;
    std::int32_t error = 0;
    std::string reason; // "/dev/ttyUSB0 is in use by another program: minicom (PID 4242)."
    std::string device; // what the name reached ("" on Windows, where the system resolves it)
    PortSource source = PortSource::AsGiven;
};

// Closes `comm`, resolves `name` ("COM3" through `ports`, `seen` and the devices present; a
// path or a network port name as it stands) and opens it at 57600 8N1 without flow control.
// A network port is open at once and connects in the background (TComm::Stage); its failure
// comes as a lost line.
OpenOutcome OpenBusPort(TComm& comm, const std::string& name, const PortMap& ports,
                        const PortMap& seen, const PortScanRoots& roots = {});

// What is wrong with a port's name before it is opened: a COM number beyond COM1 to COM16, or a
// network port name that is not well formed. "" when it may be opened.
std::string PortNameProblem(const std::string& name);

// Whether a failed open is one that trying again does not mend: a name that is not well formed,
// or a device that is no serial port.
inline bool PortProblemIsSetting(PortProblem problem) {
    return problem == PortProblem::BadAddress || problem == PortProblem::NotSerial;
}

} // namespace orvik
