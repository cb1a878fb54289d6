#include "link/line/PortOpen.h"

#include "serial/NetworkAddress.h"

namespace orvik {

OpenOutcome OpenBusPort(TComm& comm, const std::string& name, const PortMap& ports,
                        const PortMap& seen, const PortScanRoots& roots) {
    OpenOutcome out;
    comm.Close();
#ifdef _WIN32
    (void)seen;
    (void)roots;
    out.device = name;
    comm.SetPortMap(ports); // Windows names its ports itself
    if (const std::string path = PortDevicePath(name, ports); IsNetworkPortName(path))
        out.device = path;
#else
    const PortResolution where = ResolvePort(name, ports, seen, roots);
    out.device = where.device;
    out.source = where.source;
    // The component opens exactly the device resolved here.
    comm.SetPortMap({{name, where.device}});
    if (out.device.empty()) {
        out.problem = PortProblem::NotConnected;
        out.reason = "No serial adapter was found for " + name + "; " + where.console +
                     " is the system console, which opens only when named in [Ports] or as a path.";
        return out;
    }
#endif
    comm.SetDeviceName(name);
    comm.SetBaudRate(cbr57600);
    try {
        comm.Open();
        out.opened = true;
    } catch (const ECommError& e) {
        out.error = e.ErrorCode;
        out.problem = ClassifyPortError(e.ErrorCode, comm.IsOpen());
        out.reason = PortProblemText(out.problem, out.device, e.ErrorCode);
    }
    return out;
}

} // namespace orvik
