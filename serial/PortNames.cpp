#include "serial/PortNames.h"

#include "serial/DirectoryEntries.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace orvik {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool AllDigits(const std::string& s) {
    return !s.empty() && s.size() <= 9 && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// Entries of `dir` named prefix<digits>, in numeric order (ttyUSB2 before ttyUSB10).
std::vector<std::string> Numbered(const fs::path& dir, const std::string& prefix) {
    std::vector<std::pair<long, std::string>> found;
    for (const auto& entry : DirectoryEntries(dir)) {
        std::string name = entry.filename().string();
        if (name.rfind(prefix, 0) == 0 && AllDigits(name.substr(prefix.size())))
            found.emplace_back(std::stol(name.substr(prefix.size())), name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& f : found)
        names.push_back(std::move(f.second));
    return names;
}

std::string Canonical(const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::canonical(p, ec);
    return ec ? std::string() : c.string();
}

bool HasUart(const PortScanRoots& roots, const std::string& name) {
    std::ifstream in(fs::path(roots.sysTty) / name / "type");
    long type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

// The names of the system's consoles ("ttyS0"), from both places the kernel tells them.
std::set<std::string> ConsoleNames(const PortScanRoots& roots) {
    std::set<std::string> names;
    std::ifstream consoles(roots.consoles);
    for (std::string line; std::getline(consoles, line);) {
        std::istringstream words(line);
        if (std::string name; words >> name)
            names.insert(name);
    }
    std::ifstream active(fs::path(roots.sysTty) / "console" / "active");
    for (std::string name; active >> name;)
        names.insert(name);
    return names;
}

bool IsConsoleIn(const std::set<std::string>& consoles, const fs::path& device) {
    if (consoles.empty())
        return false;
    const std::string target = Canonical(device);
    return consoles.count(device.filename().string()) ||
           (!target.empty() && consoles.count(fs::path(target).filename().string()));
}

} // namespace

bool IsSystemConsole(const std::string& device, const PortScanRoots& roots) {
    return IsConsoleIn(ConsoleNames(roots), device);
}

std::vector<std::string> ListSerialDevices(const PortScanRoots& roots) {
    const fs::path dev(roots.dev);
    const std::set<std::string> consoles = ConsoleNames(roots);
    std::vector<std::string> devices;
    std::set<std::string> named; // canonical targets of the by-id links

    std::vector<std::string> links;
    for (const auto& entry : DirectoryEntries(dev / "serial" / "by-id"))
        links.push_back(entry.string());
    std::sort(links.begin(), links.end());
    for (const auto& link : links) {
        std::string target = Canonical(link);
        if (target.empty() || !named.insert(target).second)
            continue; // dangling, or a second name of the same device
        if (!IsConsoleIn(consoles, link))
            devices.push_back(link);
    }

    for (const char* prefix : {"ttyACM", "ttyUSB"})
        for (const auto& name : Numbered(dev, prefix)) {
            fs::path p = dev / name;
            if (!named.count(Canonical(p)) && !IsConsoleIn(consoles, p))
                devices.push_back(p.string());
        }

    for (const auto& name : Numbered(dev, "ttyS"))
        if (HasUart(roots, name) && !IsConsoleIn(consoles, dev / name))
            devices.push_back((dev / name).string());
    return devices;
}

int ComPortNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 7 || Upper(name.substr(0, 3)) != "COM" ||
        !AllDigits(name.substr(3)))
        return 0;
    return std::stoi(name.substr(3));
}

namespace {

const std::string* Entry(const PortMap& map, int n) {
    for (const auto& [key, path] : map)
        if (ComPortNumber(key) == n && !path.empty())
            return &path;
    return nullptr;
}

} // namespace

PortResolution ResolvePort(const std::string& name, const PortMap& ports, const PortMap& seen,
                           const PortScanRoots& roots) {
    if (!name.empty() && name[0] == '/')
        return {name, PortSource::AsGiven, {}};
    int n = ComPortNumber(name);
    if (n < 1)
        return {name, PortSource::AsGiven, {}};
    if (const std::string* path = Entry(ports, n))
        return {*path, PortSource::Ports, {}};
    // A console remembered by an older version is forgotten.
    if (const std::string* path = Entry(seen, n); path && !IsSystemConsole(*path, roots))
        return {*path, PortSource::Seen, {}};
    std::vector<std::string> present = ListSerialDevices(roots);
    if (static_cast<std::size_t>(n) <= present.size())
        return {present[static_cast<std::size_t>(n - 1)], PortSource::Position, {}};
    const std::string fallback = (fs::path(roots.dev) / ("ttyS" + std::to_string(n - 1))).string();
    if (IsSystemConsole(fallback, roots))
        return {{}, PortSource::Fallback, fallback};
    return {fallback, PortSource::Fallback, {}};
}

std::string ResolvePortName(const std::string& name, const PortMap& ports,
                            const PortScanRoots& roots) {
    return ResolvePort(name, ports, {}, roots).device;
}

PortMap MergePortMaps(const PortMap& ports, const PortMap& seen) {
    PortMap merged = ports;
    for (const auto& [key, path] : seen) {
        const int n = ComPortNumber(key);
        if (n >= 1 && !path.empty() && !Entry(ports, n))
            merged["COM" + std::to_string(n)] = path;
    }
    return merged;
}

std::string StableDeviceName(const std::string& device, const PortScanRoots& roots) {
    const fs::path byId = fs::path(roots.dev) / "serial" / "by-id";
    if (fs::path(device).parent_path() == byId)
        return device;
    const std::string target = Canonical(device);
    if (target.empty())
        return device;
    std::vector<std::string> links;
    for (const auto& entry : DirectoryEntries(byId))
        if (Canonical(entry) == target)
            links.push_back(entry.string());
    if (links.empty())
        return device;
    std::sort(links.begin(), links.end());
    return links.front();
}

std::string DeviceDisplayName(const std::string& device) {
    const fs::path p(device);
    if (p.parent_path().filename() == "by-id" &&
        p.parent_path().parent_path().filename() == "serial")
        return p.filename().string();
    return device;
}

} // namespace orvik
