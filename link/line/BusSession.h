// The bus as a program without a window reaches it (orvik-cli, orvik-mqtt): the serial component
// with its deliveries pumped on this thread, the link state, the line's supervision, and the
// events the program waits for. The only place in such a program that uses the serial component.
#pragma once

#include "link/line/LineConnection.h"
#include "link/nodefiles/NodeRead.h"
#include "link/protocol/FrameLog.h"
#include "link/state/LinkState.h"
#include "serial/CommPort.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace orvik {

class BusSession {
public:
    // `stop`, when given, ends a RunUntil early once it is set (SIGINT, SIGTERM).
    explicit BusSession(const std::atomic<bool>* stop = nullptr);
    ~BusSession();
    BusSession(const BusSession&) = delete;
    BusSession& operator=(const BusSession&) = delete;

    // Opens `port` ("COM3", a device path or a network port name) at 57600 8N1; a network
    // port is waited for until it has connected and set its line; `ports` is the [Ports] section of
    // `settingsPath`, whose [PortsSeen] keeps a COM name with its adapter as the program
    // does. Bytes that were already waiting are dropped. On failure returns false with the
    // device and the reason in `error`.
    bool Open(const std::string& port, const PortMap& ports, const std::string& settingsPath,
              std::string& error);
    // Why the last Open failed (None after one that succeeded).
    PortProblem OpenProblem() const { return openProblem_; }

    LinkState& Link() { return link_; }
    // Records every frame that crosses the line from now on (orvik-cli capture).
    FrameLog& StartLog();
    // The COM name or path opened.
    const std::string& PortName() const { return portName_; }
    // The node whose setup replies the link stores.
    void SetNode(int node) { node_ = node; }

    // Each accepted status frame, each stored setup reply, and a tick at least every 50 ms
    // (100 ms with a Wait of its own).
    std::function<void(LinkTime)> OnStatus;
    std::function<void(LinkTime)> OnSetup;
    std::function<void(LinkTime)> OnTick;
    // Each change of the line's state: lost, reopening, receiving again ...
    std::function<void(LineStatus)> OnLine;

    // How RunUntil waits between its turns, for a program that waits on more than the line
    // (orvik-mqtt: its broker's socket too), given the longest wait; the deliveries that came
    // run after it. Unset: RunUntil waits for a delivery only.
    std::function<void(std::chrono::milliseconds)> Wait;
    // Readable while a delivery waits: what a Wait of its own waits on besides its own (-1 on
    // Windows).
    int WakeDescriptor();

    // The line's supervision: its state, and the status line's text for it.
    const LineSupervisor& Supervisor() const { return line_->Supervisor(); }
    std::string LineText() const { return line_->StatusText(SteadyMilliseconds()); }
    // Whether the line was lost since the open, and whether bytes came without a valid frame.
    bool LineWasLost() const { return lineLost_; }
    bool BytesWithoutFrames() const { return link_.BytesReceived > 0 && link_.FramesAccepted == 0; }

    // Runs the component's deliveries until `done` holds, `deadline` passes or a stop is asked
    // for, and the line's supervision (a lost line is reopened when it is back). Returns done().
    bool RunUntil(const std::function<bool()>& done, LinkTime deadline);
    bool StopRequested() const { return stop_ && stop_->load(); }

private:
    // What the port held before it opened may be seconds old (a pseudo-terminal keeps what
    // nobody read); it comes in at once, so what arrives right after the open is dropped.
    static constexpr std::chrono::milliseconds OPEN_SETTLE{100};
    // Beyond the network port's own bound for connecting and setting the line.
    static constexpr std::chrono::milliseconds CONNECT_WAIT{8000};
    void Drop(std::int32_t count);
    void Supervise();

    const std::atomic<bool>* stop_;
    std::shared_ptr<TPumpedInvoker> invoker_;
    std::unique_ptr<TComm> comm_;
    std::unique_ptr<LinkPort> port_;
    LinkState link_;
    std::unique_ptr<LineConnection> line_;
    std::unique_ptr<FrameLog> log_;
    std::string portName_;
    PortProblem openProblem_ = PortProblem::None;
    int node_ = 1;
    LinkTime dropUntil_{};
    LineStatus lineState_ = LineStatus::Closed;
    bool lineLost_ = false;
};

} // namespace orvik
