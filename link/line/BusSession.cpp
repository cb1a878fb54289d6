#include "link/line/BusSession.h"

#include "link/line/CommLinkPort.h"

#include <algorithm>

namespace orvik {

BusSession::BusSession(const std::atomic<bool>* stop)
    : stop_(stop), invoker_(std::make_shared<TPumpedInvoker>()),
      comm_(std::make_unique<TComm>(invoker_)) {
    port_ = std::make_unique<CommLinkPort>(*comm_);
    link_.SetPort(port_.get());
    link_.SetNodeSelector([this] { return node_; });
    link_.SetDisplaySink([this](const DisplayUpdate&) {
        if (OnStatus)
            OnStatus(LinkClock::now());
    });
    link_.SetSetupSink([this] {
        if (OnSetup)
            OnSetup(LinkClock::now());
    });
    comm_->OnRxChar = [this](TCustomComm*, std::int32_t count) {
        if (LinkClock::now() < dropUntil_) {
            Drop(count);
            return;
        }
        link_.Comm1RxChar(count);
    };
    comm_->OnLineLost = [this](TCustomComm*, std::int32_t error) {
        if (line_)
            line_->LineLost(error);
    };
}

BusSession::~BusSession() {
    // A delivery still pending runs inside Close; the callers' handlers, which may reach
    // variables already gone, are not called from there.
    OnStatus = nullptr;
    OnSetup = nullptr;
    OnTick = nullptr;
    OnLine = nullptr;
    link_.SetWatcher(nullptr);
    comm_->Close();
}

bool BusSession::Open(const std::string& port, const PortMap& ports,
                      const std::string& settingsPath, std::string& error) {
    portName_ = port;
    line_ = std::make_unique<LineConnection>(*comm_, link_, settingsPath);
    line_->SetPorts(ports);
    comm_->OnLineLost = [this](TCustomComm*, std::int32_t lost) { line_->LineLost(lost); };
    const OpenOutcome opened = line_->OpenPortName(port, false);
    openProblem_ = opened.problem;
    if (!opened.opened) {
        error = opened.reason;
        comm_->Close();
        return false;
    }
    // A network port connects and sets its line in the background, within its own bound.
    const LinkTime until = LinkClock::now() + CONNECT_WAIT;
    while (line_->Supervisor().State() == LineStatus::Connecting && LinkClock::now() < until &&
           !StopRequested()) {
        invoker_->WaitAndPump(std::chrono::milliseconds(20));
        line_->Service(SteadyMilliseconds());
        // What else the program serves (a broker, say) does not wait for the port.
        if (OnTick)
            OnTick(LinkClock::now());
    }
    if (!line_->Supervisor().IsOpen()) {
        error = line_->Supervisor().State() == LineStatus::Connecting ? port + " did not connect."
                                                                      : line_->FailureReason();
        openProblem_ = line_->Supervisor().State() == LineStatus::Connecting
                           ? PortProblem::TimedOut
                           : line_->Supervisor().Problem();
        comm_->Close();
        return false;
    }
    dropUntil_ = LinkClock::now() + OPEN_SETTLE;
    lineState_ = line_->Supervisor().State();
    return true;
}

void BusSession::Supervise() {
    if (!line_)
        return;
    line_->Service(SteadyMilliseconds());
    const LineStatus now = line_->Supervisor().State();
    if (now == lineState_)
        return;
    // A reopened line brings what it kept while nobody read: it is dropped as at the open.
    if (now == LineStatus::Silent &&
        (lineState_ == LineStatus::Reopening || lineState_ == LineStatus::Lost))
        dropUntil_ = LinkClock::now() + OPEN_SETTLE;
    if (now == LineStatus::Lost)
        lineLost_ = true;
    lineState_ = now;
    if (OnLine)
        OnLine(now);
}

FrameLog& BusSession::StartLog() {
    if (!log_) {
        log_ = std::make_unique<FrameLog>();
        link_.SetFrameLog(log_.get());
    }
    return *log_;
}

void BusSession::Drop(std::int32_t count) {
    std::uint8_t scrap[1024];
    while (count > 0) {
        const std::int32_t n = comm_->Read(
            scrap, std::min<std::int32_t>(count, static_cast<std::int32_t>(sizeof scrap)));
        if (n <= 0)
            break;
        count -= n;
    }
}

int BusSession::WakeDescriptor() {
    return invoker_->WakeDescriptor();
}

bool BusSession::RunUntil(const std::function<bool()>& done, LinkTime deadline) {
    using std::chrono::milliseconds;
    for (;;) {
        if (done())
            return true;
        const LinkTime now = LinkClock::now();
        if (now >= deadline || StopRequested())
            return false;
        const auto left = std::chrono::ceil<milliseconds>(deadline - now);
        if (Wait) {
            Wait(std::min(left, milliseconds(100)));
            invoker_->Pump();
        } else {
            invoker_->WaitAndPump(std::min(left, milliseconds(50)));
        }
        Supervise();
        if (OnTick)
            OnTick(LinkClock::now());
    }
}

} // namespace orvik
