#include "link/line/LineConnection.h"

#include "serial/NetworkAddress.h"
#include "serial/PortTrace.h"

#include "link/protocol/StatusTexts.h"
#include "link/settings/Settings.h"

#include <chrono>

namespace orvik {

namespace {

// Presence of a device found by position needs a look at the whole device tree; once a second
// is enough for that. A fixed device is one stat, every tick.
constexpr std::int64_t SCAN_INTERVAL_MS = 1000;

} // namespace

std::int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

LineConnection::LineConnection(TComm& comm, LinkState& link, std::string settingsPath,
                               PortScanRoots roots)
    : comm_(comm), link_(link), settingsPath_(std::move(settingsPath)), roots_(std::move(roots)) {
#ifndef _WIN32
    if (!settingsPath_.empty())
        seen_ = ReadSeenPortMap(settingsPath_);
#endif
}

void LineConnection::SetPorts(PortMap ports) {
    ports_ = std::move(ports);
}

OpenOutcome LineConnection::OpenPort(std::uint8_t comPortIndex, bool chosenNow) {
    return OpenPortName(ComDeviceName(comPortIndex), chosenNow);
}

OpenOutcome LineConnection::OpenPortName(const std::string& name, bool chosenNow) {
    comName_ = name;
#ifdef _WIN32
    (void)chosenNow; // Windows names its ports itself
#else
    const int number = ComPortNumber(comName_);
    if (chosenNow && number > 0 && seen_.erase(comName_) > 0 && !settingsPath_.empty()) {
        try {
            ForgetPort(settingsPath_, number);
        } catch (const SettingsWriteError&) {
            // Kept in memory for this run; the next start looks for it again.
        }
    }
#endif
    return Open(SteadyMilliseconds());
}

OpenOutcome LineConnection::Open(std::int64_t nowMs) {
    OpenOutcome out = OpenBusPort(comm_, comName_, ports_, seen_, roots_);
    device_ = out.device;
#ifndef _WIN32
    byPosition_ = out.source == PortSource::Position || out.source == PortSource::Fallback;
    lastLookAt_ = nowMs;
#endif
    if (out.opened && comm_.Stage() != PortStage::Ready) {
        supervisor_.Connecting(nowMs);
    } else if (out.opened) {
        supervisor_.Opened(nowMs, link_.BytesReceived, link_.FramesAccepted);
#ifndef _WIN32
        if (out.source == PortSource::Position) {
            const std::string stable = StableDeviceName(out.device, roots_);
            seen_[comName_] = stable;
            device_ = stable;
            byPosition_ = false;
            if (!settingsPath_.empty()) {
                try {
                    RememberPort(settingsPath_, ComPortNumber(comName_), stable);
                } catch (const SettingsWriteError&) {
                    // Remembered for this run only.
                }
            }
        }
#endif
    } else {
        supervisor_.OpenFailed(nowMs, out.problem, out.error);
    }
    lossNoted_ = false;
    return out;
}

void LineConnection::LineLost(std::int32_t error) {
    lossNoted_ = true;
    lossError_ = error;
}

void LineConnection::Service(std::int64_t nowMs) {
    if (supervisor_.State() == LineStatus::Connecting) {
        // A network port that failed to connect or to set its line: an open that failed.
        if (lossNoted_) {
            lossNoted_ = false;
            comm_.Close();
            supervisor_.OpenFailed(nowMs, ClassifyPortError(lossError_), lossError_);
        } else if (comm_.Stage() == PortStage::Ready) {
            supervisor_.Opened(nowMs, link_.BytesReceived, link_.FramesAccepted);
        }
    }
    if (lossNoted_) {
        lossNoted_ = false;
        supervisor_.Lost(nowMs, lossError_);
    }
    const bool present = !supervisor_.IsOpen() && DevicePresent(nowMs);
    switch (supervisor_.Tick(nowMs, present, link_.BytesReceived, link_.FramesAccepted)) {
    case LineAction::Close:
        comm_.Close();
        break;
    case LineAction::Open:
        Open(nowMs);
        break;
    case LineAction::None:
        break;
    }
    const PortStage stage = comm_.Stage();
    if (supervisor_.State() != tracedState_ || stage != tracedStage_) {
        tracedState_ = supervisor_.State();
        tracedStage_ = stage;
        TraceLineState(StatusText(nowMs));
    }
}

bool LineConnection::DevicePresent(std::int64_t nowMs) {
#ifdef _WIN32
    (void)nowMs;
    return PortDevicePresent(IsNetworkPortName(device_) ? device_ : comName_);
#else
    if (!byPosition_ || nowMs - lastLookAt_ >= SCAN_INTERVAL_MS) {
        const PortResolution where = ResolvePort(comName_, ports_, seen_, roots_);
        device_ = where.device;
        byPosition_ = where.source == PortSource::Position || where.source == PortSource::Fallback;
        lastLookAt_ = nowMs;
        lastPresent_ = PortDevicePresent(device_);
    }
    return lastPresent_;
#endif
}

void LineConnection::Reconnect(std::int64_t nowMs) {
    supervisor_.Reconnect(nowMs);
    Service(nowMs);
}

std::string LineConnection::DeviceName() const {
#ifdef _WIN32
    return IsNetworkPortName(device_) ? device_ : std::string();
#else
    return device_.empty() ? std::string() : DeviceDisplayName(device_);
#endif
}

std::string LineConnection::StatusText(std::int64_t nowMs) const {
    const LineSupervisor& s = supervisor_;
    std::string text = comName_;
    const std::string device = DeviceName();
    if (!device.empty() && device != comName_)
        text += " - " + device;
    text += ": ";
    const std::int64_t retry = s.SecondsToRetry(nowMs);
    if (IsNetworkPortName(device_)) {
        const std::string network = NetworkStatus(nowMs);
        if (!network.empty())
            return text + network;
    }
    switch (s.State()) {
    case LineStatus::Closed:
        return text + "not open";
    case LineStatus::Connecting:
        return text + "connecting";
    case LineStatus::Receiving:
        return text + "receiving, " + FormatTenths(s.FramesPerSecondTenths()) + " frames/s";
    case LineStatus::Silent:
        return text + "open, no valid frame for " + std::to_string(s.SecondsWithoutFrame(nowMs)) +
               " s";
    case LineStatus::NoFrames:
        return text + NO_VALID_FRAME_TEXT;
    case LineStatus::Lost:
        return text + (s.WasLost() ? "connection lost, waiting for the adapter"
                                   : "not connected, waiting for the adapter");
    case LineStatus::Reopening:
        if (retry == 0)
            return text + "reopening";
        if (s.Problem() == PortProblem::Busy)
            return text + "in use by another program, trying again in " + std::to_string(retry) +
                   " s";
        if (s.Problem() == PortProblem::NoPermission)
            return text + "no permission, trying again in " + std::to_string(retry) + " s";
        return text + "reopening in " + std::to_string(retry) + " s";
    case LineStatus::Failed:
        break;
    }
    switch (s.Problem()) {
    case PortProblem::NotSerial:
        return text + "not open: not a serial port";
    case PortProblem::Refused:
        return text + "open, but the line settings were refused (error " +
               std::to_string(s.Error()) + ")";
    case PortProblem::BadAddress:
        return text + "not open: not a network port name (rfc2217://HOST:PORT)";
    default:
        return text + "not open (error " + std::to_string(s.Error()) + ")";
    }
}

// The states a network port words its own way; "" for the others.
std::string LineConnection::NetworkStatus(std::int64_t nowMs) const {
    const LineSupervisor& s = supervisor_;
    if (s.State() == LineStatus::Connecting) {
        switch (comm_.Stage()) {
        case PortStage::Resolving:
            return "looking up the host";
        case PortStage::Negotiating:
            return "connected, setting 57600 8N1";
        default:
            return "connecting";
        }
    }
    if (s.State() == LineStatus::Lost)
        return "connection lost";
    if (s.State() != LineStatus::Reopening)
        return {};
    const std::int64_t retry = s.SecondsToRetry(nowMs);
    if (retry == 0)
        return "reconnecting";
    const std::string again = ", trying again in " + std::to_string(retry) + " s";
    switch (s.Problem()) {
    case PortProblem::NotConnected:
        return "connection lost, reconnecting in " + std::to_string(retry) + " s";
    case PortProblem::ConnectRefused:
        return "connection refused" + again;
    case PortProblem::Unreachable:
        return "host unreachable" + again;
    case PortProblem::TimedOut:
        return "no answer" + again;
    case PortProblem::NoHost:
        return "host name not known" + again;
    case PortProblem::NotAccepted:
        return "57600 8N1 not accepted (is the port in RFC 2217 mode?)" + again;
    case PortProblem::Disconnected:
        return "closed by the server" + again;
    default:
        return "not connected" + again;
    }
}

std::string LineConnection::FailureReason() const {
    return PortProblemText(supervisor_.Problem(), device_, supervisor_.Error());
}

std::string LineConnection::DescribePort(int comNumber) const {
    const std::string name = "COM" + std::to_string(comNumber);
#ifdef _WIN32
    const std::string path = PortDevicePath(name, ports_);
    if (IsNetworkPortName(path))
        return path;
    return name + (PortDevicePresent(name) ? "" : ", not connected");
#else
    const PortResolution where = ResolvePort(name, ports_, seen_, roots_);
    if (where.device.empty())
        return "no serial adapter (" + where.console + " is the system console)";
    std::string text = where.device;
    if (where.source == PortSource::Seen)
        text += " (remembered)";
    if (!PortDevicePresent(where.device))
        text += ", not connected";
    return text;
#endif
}

} // namespace orvik
