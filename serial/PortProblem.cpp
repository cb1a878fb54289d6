#include "serial/PortProblem.h"

#include "serial/DirectoryEntries.h"
#include "serial/NetworkPort.h"
#include "serial/PortBackend.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <winsock2.h> // before windows.h

#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace orvik {

namespace {

std::string ErrorText(std::int32_t code) {
#ifdef _WIN32
    return "Windows error " + std::to_string(code);
#else
    return "error " + std::to_string(code) + ": " + std::strerror(code);
#endif
}

#ifndef _WIN32
std::string UserName() {
    if (const passwd* pw = ::getpwuid(::getuid()))
        return pw->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "$USER";
}

// Why the user may not use the device, and what to do about it.
std::string PermissionAdvice(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return "Your user needs to be in the group dialout: sudo usermod -aG dialout " +
               UserName() + ", then log in again.";
    const group* gr = ::getgrgid(st.st_gid);
    const std::string groupName = gr ? gr->gr_name : std::to_string(st.st_gid);
    // The group helps only when it may read and write the device.
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        return "Your user needs to be in the group " + groupName + ": sudo usermod -aG " +
               groupName + " " + UserName() + ", then log in again.";
    const passwd* pw = ::getpwuid(st.st_uid);
    const std::string owner = pw ? pw->pw_name : std::to_string(st.st_uid);
    return "It is for its owner (" + owner +
           ") only; ask the machine's administrator for access, for example a udev rule that "
           "gives the device to the group dialout with read and write for the group.";
}

// The pseudo-terminal number of /dev/pts/N, or -1.
long PtyNumber(const fs::path& device) {
    const std::string parent = device.parent_path().string();
    const std::string n = device.filename().string();
    if (parent != "/dev/pts" || n.empty() || n.size() > 9 ||
        n.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stol(n);
}

// Whether the process holds the far (master) end of pseudo-terminal `number`.
bool HoldsPtyMaster(const fs::path& proc, long number) {
    for (const auto& fd : DirectoryEntries(proc / "fd")) {
        std::error_code ec;
        if (fs::read_symlink(fd, ec).filename() != "ptmx")
            continue;
        std::ifstream info(proc / "fdinfo" / fd.filename());
        for (std::string line; std::getline(info, line);)
            if (line.rfind("tty-index:", 0) == 0 &&
                std::strtol(line.c_str() + 10, nullptr, 10) == number)
                return true;
    }
    return false;
}
#endif

} // namespace

PortProblem ClassifyPortError(std::int32_t code, bool stillOpen) {
    if (stillOpen)
        return PortProblem::Refused;
    if (code == -1)
        return PortProblem::NotSerial;
    switch (code) {
    case PORT_ERROR_BAD_ADDRESS:
        return PortProblem::BadAddress;
    case PORT_ERROR_NAME_NOT_FOUND:
        return PortProblem::NoHost;
    case PORT_ERROR_NOT_ACCEPTED:
        return PortProblem::NotAccepted;
    case PORT_ERROR_CLOSED:
        return PortProblem::Disconnected;
    }
#ifdef _WIN32
    switch (code) {
    case WSAECONNREFUSED:
        return PortProblem::ConnectRefused;
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAENETDOWN:
    case WSAEHOSTDOWN:
        return PortProblem::Unreachable;
    case WSAETIMEDOUT:
        return PortProblem::TimedOut;
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return PortProblem::Disconnected;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return PortProblem::NotConnected;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return PortProblem::Busy;
    default:
        return PortProblem::Other;
    }
#else
    switch (code) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return PortProblem::NotConnected;
    case EACCES:
    case EPERM:
        return PortProblem::NoPermission;
    case EBUSY:
        return PortProblem::Busy;
    case ENOTTY:
    case EISDIR:
    case ENOTDIR:
        return PortProblem::NotSerial;
    case ECONNREFUSED:
        return PortProblem::ConnectRefused;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
        return PortProblem::Unreachable;
    case ETIMEDOUT:
        return PortProblem::TimedOut;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
        return PortProblem::Disconnected;
    default:
        return PortProblem::Other;
    }
#endif
}

std::string PortProblemText(PortProblem problem, const std::string& device, std::int32_t code) {
    switch (problem) {
    case PortProblem::None:
        return {};
    case PortProblem::NotConnected:
        return device + " is not connected.";
    case PortProblem::NoPermission:
#ifdef _WIN32
        return "No permission to use " + device + ".";
#else
        return "No permission to use " + device + ". " + PermissionAdvice(device);
#endif
    case PortProblem::Busy:
        if (auto holder = FindPortHolder(device))
            return device + " is in use by another program: " + holder->name + " (PID " +
                   std::to_string(holder->pid) + ").";
        return device + " is in use by another program.";
    case PortProblem::NotSerial:
        return device + " is not a serial port.";
    case PortProblem::Refused:
        return device + " opened, but did not take the line settings (" + ErrorText(code) + ").";
    case PortProblem::ConnectRefused:
        return device + " refused the connection; is the server running on that port?";
    case PortProblem::Unreachable:
        return device + " cannot be reached: no route to the host (" + ErrorText(code) + ").";
    case PortProblem::TimedOut:
        return device + " did not answer within " + std::to_string(NETWORK_OPEN_TIMEOUT_MS / 1000) +
               " s.";
    case PortProblem::NoHost:
        return device + ": the host name is not known.";
    case PortProblem::NotAccepted:
        return device + " did not accept 57600 8N1; is the port in RFC 2217 mode?";
    case PortProblem::Disconnected:
        return device + " closed the connection.";
    case PortProblem::BadAddress:
        return device + " is not a network port name; write rfc2217://HOST:PORT or "
                        "socket://HOST:PORT.";
    case PortProblem::Other:
        break;
    }
    return device + " could not be opened (" + ErrorText(code) + ").";
}

std::optional<PortHolder> FindPortHolder(const std::string& device, const std::string& procRoot) {
#ifdef _WIN32
    (void)device;
    (void)procRoot;
    return std::nullopt;
#else
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    if (ec)
        return std::nullopt;
    const long self = static_cast<long>(::getpid());
    const long pty = PtyNumber(target);
    for (const auto& proc : DirectoryEntries(procRoot)) {
        const std::string pid = proc.filename().string();
        if (pid.empty() || pid.size() > 9 ||
            pid.find_first_not_of("0123456789") != std::string::npos || std::stol(pid) == self)
            continue;
        // The program at the far end of a pseudo-terminal keeps the near end open too; it is
        // not the one in the way.
        if (pty >= 0 && HoldsPtyMaster(proc, pty))
            continue;
        for (const auto& fd : DirectoryEntries(proc / "fd")) {
            std::error_code linkError;
            if (fs::read_symlink(fd, linkError) != target)
                continue;
            std::string name;
            std::getline(std::ifstream(proc / "comm"), name);
            return PortHolder{std::stol(pid), name.empty() ? "a program" : name};
        }
    }
    return std::nullopt;
#endif
}

} // namespace orvik
