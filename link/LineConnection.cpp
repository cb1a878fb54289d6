#include "link/LineConnection.h"

#include "serial/PortTrace.h"

#include "link/Settings.h"
#include "link/StatusTexts.h"

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

TLineConnection::TLineConnection(TComm& comm, LinkState& link, std::string settingsPath,
                                 TPortScanRoots roots)
    : comm_(comm), link_(link), settingsPath_(std::move(settingsPath)), roots_(std::move(roots)) {
#ifndef _WIN32
    if (!settingsPath_.empty())
        seen_ = ReadSeenPortMap(settingsPath_);
#endif
}

void TLineConnection::SetPorts(TPortMap ports) {
    ports_ = std::move(ports);
}

TOpenOutcome TLineConnection::OpenPort(std::uint8_t comPortIndex, bool chosenNow) {
    comName_ = ComDeviceName(comPortIndex);
#ifdef _WIN32
    (void)chosenNow; // Windows names its ports itself
#else
    const int number = ComPortNumber(comName_);
    if (chosenNow && seen_.erase(comName_) > 0 && !settingsPath_.empty()) {
        try {
            ForgetPort(settingsPath_, number);
        } catch (const SettingsWriteError&) {
            // Kept in memory for this run; the next start looks for it again.
        }
    }
#endif
    return Open(SteadyMilliseconds());
}

TOpenOutcome TLineConnection::Open(std::int64_t nowMs) {
    TOpenOutcome out;
    comm_.Close();
    std::string device = comName_;
#ifndef _WIN32
    const TPortResolution where = ResolvePort(comName_, ports_, seen_, roots_);
    device = where.Device;
    device_ = device;
    byPosition_ = where.Source == TPortSource::Position || where.Source == TPortSource::Fallback;
    lastLookAt_ = nowMs;
    // The component opens exactly the device resolved here.
    comm_.SetPortMap({{comName_, device}});
#else
    comm_.SetPortMap(ports_);
#endif
    comm_.SetDeviceName(comName_);
    try {
        comm_.Open();
        out.Opened = true;
        supervisor_.Opened(nowMs, link_.BytesReceived, link_.FramesAccepted);
#ifndef _WIN32
        if (where.Source == TPortSource::Position) {
            const std::string stable = StableDeviceName(device, roots_);
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
    } catch (const ECommError& e) {
        out.Error = e.ErrorCode;
        out.Problem = ClassifyPortError(e.ErrorCode, comm_.IsOpen());
        out.Reason = PortProblemText(out.Problem, device, e.ErrorCode);
        supervisor_.OpenFailed(nowMs, out.Problem, e.ErrorCode);
    }
    lossNoted_ = false;
    return out;
}

void TLineConnection::LineLost(std::int32_t error) {
    lossNoted_ = true;
    lossError_ = error;
}

void TLineConnection::Service(std::int64_t nowMs) {
    if (lossNoted_) {
        lossNoted_ = false;
        supervisor_.Lost(nowMs, lossError_);
    }
    const bool present = !supervisor_.IsOpen() && DevicePresent(nowMs);
    switch (supervisor_.Tick(nowMs, present, link_.BytesReceived, link_.FramesAccepted)) {
    case TLineAction::Close:
        comm_.Close();
        break;
    case TLineAction::Open:
        Open(nowMs);
        break;
    case TLineAction::None:
        break;
    }
    if (supervisor_.State() != tracedState_) {
        tracedState_ = supervisor_.State();
        TraceLineState(StatusText(nowMs));
    }
}

bool TLineConnection::DevicePresent(std::int64_t nowMs) {
#ifdef _WIN32
    (void)nowMs;
    return PortDevicePresent(comName_);
#else
    if (!byPosition_ || nowMs - lastLookAt_ >= SCAN_INTERVAL_MS) {
        const TPortResolution where = ResolvePort(comName_, ports_, seen_, roots_);
        device_ = where.Device;
        byPosition_ =
            where.Source == TPortSource::Position || where.Source == TPortSource::Fallback;
        lastLookAt_ = nowMs;
        lastPresent_ = PortDevicePresent(device_);
    }
    return lastPresent_;
#endif
}

void TLineConnection::Reconnect(std::int64_t nowMs) {
    supervisor_.Reconnect(nowMs);
    Service(nowMs);
}

std::string TLineConnection::DeviceName() const {
#ifdef _WIN32
    return {};
#else
    return device_.empty() ? std::string() : DeviceDisplayName(device_);
#endif
}

std::string TLineConnection::StatusText(std::int64_t nowMs) const {
    const TLineSupervisor& s = supervisor_;
    std::string text = comName_;
    const std::string device = DeviceName();
    if (!device.empty())
        text += " - " + device;
    text += ": ";
    const std::int64_t retry = s.SecondsToRetry(nowMs);
    switch (s.State()) {
    case TLineStatus::Closed:
        return text + "not open";
    case TLineStatus::Receiving:
        return text + "receiving, " + FormatTenths(s.FramesPerSecondTenths()) + " frames/s";
    case TLineStatus::Silent:
        return text + "open, no valid frame for " + std::to_string(s.SecondsWithoutFrame(nowMs)) +
               " s";
    case TLineStatus::NoFrames:
        return text + "bytes arriving but no valid frame (wrong port or baud rate?)";
    case TLineStatus::Lost:
        return text + (s.WasLost() ? "connection lost, waiting for the adapter"
                                   : "not connected, waiting for the adapter");
    case TLineStatus::Reopening:
        if (retry == 0)
            return text + "reopening";
        if (s.Problem() == TPortProblem::Busy)
            return text + "in use by another program, trying again in " + std::to_string(retry) +
                   " s";
        if (s.Problem() == TPortProblem::NoPermission)
            return text + "no permission, trying again in " + std::to_string(retry) + " s";
        return text + "reopening in " + std::to_string(retry) + " s";
    case TLineStatus::Failed:
        break;
    }
    switch (s.Problem()) {
    case TPortProblem::NotSerial:
        return text + "not open: not a serial port";
    case TPortProblem::Refused:
        return text + "open, but the line settings were refused (error " +
               std::to_string(s.Error()) + ")";
    default:
        return text + "not open (error " + std::to_string(s.Error()) + ")";
    }
}

std::string TLineConnection::DescribePort(int comNumber) const {
    const std::string name = "COM" + std::to_string(comNumber);
#ifdef _WIN32
    return name + (PortDevicePresent(name) ? "" : ", not connected");
#else
    const TPortResolution where = ResolvePort(name, ports_, seen_, roots_);
    std::string text = where.Device;
    if (where.Source == TPortSource::Seen)
        text += " (remembered)";
    if (!PortDevicePresent(where.Device))
        text += ", not connected";
    return text;
#endif
}

} // namespace orvik
