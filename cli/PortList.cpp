#include "cli/PortList.h"

#include "link/settings/Settings.h"
#include "serial/NetworkAddress.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>
#include <system_error>
#endif

namespace orvik::cli {

std::vector<PortEntry> ListPorts([[maybe_unused]] const PortMap& ports,
                                 [[maybe_unused]] const PortMap& seen,
                                 [[maybe_unused]] const PortScanRoots& roots) {
    std::vector<PortEntry> out;
    for (int n = 1; n <= MAX_COM_PORT; ++n) {
        PortEntry e;
        e.name = "COM" + std::to_string(n);
#ifdef _WIN32
        // The system's device behind the name, when there is one.
        char target[512];
        if (const std::string mapped = PortDevicePath(e.name, ports); IsNetworkPortName(mapped)) {
            e.device = mapped;
            e.network = true;
        } else if (QueryDosDeviceA(e.name.c_str(), target, sizeof target) != 0) {
            e.device = target;
            e.present = true;
        } else {
            e.device = PortDevicePath(e.name, {});
        }
#else
        const PortResolution where = ResolvePort(e.name, ports, seen, roots);
        e.device = where.device.empty() ? "(none: " + where.console + " is the system console)"
                                        : where.device;
        e.remembered = where.source == PortSource::Seen;
        e.network = IsNetworkPortName(e.device);
        std::error_code ec;
        e.present = !e.network && std::filesystem::exists(e.device, ec);
#endif
        out.push_back(std::move(e));
    }
    return out;
}

std::string PortLine(const PortEntry& entry) {
    const char* where = entry.network ? "network" : entry.present ? "present" : "not present";
    char line[600];
    std::snprintf(line, sizeof line, "%-6s %-50s %s%s", entry.name.c_str(), entry.device.c_str(),
                  where, entry.remembered ? ", remembered" : "");
    return line;
}

} // namespace orvik::cli
