// The program's line to the bus: the serial component, the COM name it opens, the devices COM
// names stay with, and the supervisor that reopens the line after a loss. The main window and
// orvik-cli drive it the same way: OpenPort for a choice of the user (start-up, the serial
// port dialog), Service from their timer and right after a loss, StatusText for the user.
#pragma once

#include "link/line/LineSupervisor.h"
#include "link/line/PortOpen.h"
#include "link/state/LinkState.h"
#include "serial/CommPort.h"
#include "serial/PortNames.h"
#include "serial/PortProblem.h"

#include <cstdint>
#include <string>

namespace orvik {

class LineConnection {
public:
    // `settingsPath`: where [PortsSeen] is kept ("" keeps it in memory only).
    LineConnection(TComm& comm, LinkState& link, std::string settingsPath,
                   PortScanRoots roots = {});

    // The [Ports] section, the user's own map.
    void SetPorts(PortMap ports);
    const PortMap& Ports() const { return ports_; }
    const PortMap& SeenPorts() const { return seen_; }

    // Opens COM<comPortIndex + 1>, closing the port first. `chosenNow`: the user picked the
    // port just now, so a device it was remembered with is forgotten and it is looked for
    // again. A COM name found by position is remembered with the device it reached.
    OpenOutcome OpenPort(std::uint8_t comPortIndex, bool chosenNow);
    // The same for any port name: "COM3", or a device path.
    OpenOutcome OpenPortName(const std::string& name, bool chosenNow);

    // The component's OnLineLost: notes the loss only; Service acts on it.
    void LineLost(std::int32_t error);
    // Carries out what the supervisor asks now. Never call it from inside a handler of the
    // component.
    void Service(std::int64_t nowMs);
    // A new attempt at once (the user's "Reconnect").
    void Reconnect(std::int64_t nowMs);

    const LineSupervisor& Supervisor() const { return supervisor_; }
    TComm& Comm() { return comm_; }
    // The sentence why the last open failed or the line was lost, naming the device:
    // "rfc2217://bench-pi:3001 refused the connection; ...".
    std::string FailureReason() const;
    // "COM1" (or the path opened), and the device it reaches as the user knows it
    // ("usb-Bench_Adapter_0001", "rfc2217://bench-pi:3001").
    const std::string& ComName() const { return comName_; }
    std::string DeviceName() const;
    // The status line: "COM1 - usb-Bench_Adapter_0001: receiving, 5.0 frames/s",
    // "COM3 - rfc2217://bench-pi:3001: connection refused, trying again in 4 s".
    std::string StatusText(std::int64_t nowMs) const;

    // What COM<number> reaches, as the serial port dialog and `orvik-cli ports` show it:
    // "/dev/serial/by-id/usb-... (remembered), not connected".
    std::string DescribePort(int comNumber) const;

private:
    OpenOutcome Open(std::int64_t nowMs);
    bool DevicePresent(std::int64_t nowMs);
    std::string NetworkStatus(std::int64_t nowMs) const;

    TComm& comm_;
    LinkState& link_;
    std::string settingsPath_;
    PortScanRoots roots_;
    PortMap ports_;
    PortMap seen_;
    std::string comName_ = "COM1";
    std::string device_;      // what comName_ reaches, as last resolved
    bool byPosition_ = false; // device_ depends on the devices present
    bool lastPresent_ = false;
    std::int64_t lastLookAt_ = 0;
    LineSupervisor supervisor_;
    LineStatus tracedState_ = LineStatus::Closed;
    PortStage tracedStage_ = PortStage::Ready;
    bool lossNoted_ = false;
    std::int32_t lossError_ = 0;
};

// The steady clock in milliseconds, as the connection takes it.
std::int64_t SteadyMilliseconds();

} // namespace orvik
