#include "link/line/PortOpen.h"

#include "link/settings/Settings.h"
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

std::string PortNameProblem(const std::string& name) {
    const bool comLike = name.size() > 3 && (name[0] == 'C' || name[0] == 'c') &&
                         (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
                         name.find_first_not_of("0123456789", 3) == std::string::npos;
    const int com = ComPortNumber(name);
    if (comLike && (com < 1 || com > MAX_COM_PORT))
        return "the COM names are COM1 to COM16";
    if (IsNetworkPortName(name) && !ParseNetworkPortName(name))
        return "not a network port name; write rfc2217://HOST:PORT or socket://HOST:PORT";
    return {};
}

} // namespace orvik
