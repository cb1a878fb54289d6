#include "serial/CommPort.h"

#include "serial/PortTrace.h"

#include <cstdio>
#include <exception>

namespace orvik {

namespace {

constexpr std::uint32_t BaudOf(TBaudRate rate) {
    constexpr std::uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                       19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return rates[rate];
}

} // namespace

void RaiseCommError(const std::string& Msg, std::int32_t Code) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " (Error: %d) ", static_cast<int>(Code));
    throw ECommError(Msg + suffix, Code);
}

void TCommEventChars::SetXonChar(char Value) {
    if (Value == FXonChar)
        return;
    FXonChar = Value;
    Owner.ApplyPortSettings();
}

void TCommEventChars::SetXoffChar(char Value) {
    if (Value == FXoffChar)
        return;
    FXoffChar = Value;
    Owner.ApplyPortSettings();
}

TCustomComm::TCustomComm(std::shared_ptr<TMainThreadInvoker> Invoker)
    : Invoker(std::move(Invoker)), FEventChars(std::make_unique<TCommEventChars>(*this)) {}

TCustomComm::~TCustomComm() {
    Close();
}

void TCustomComm::Open() {
    Close();
    if (!Invoker)
        RaiseCommError("No event invoker assigned", -1);
    PortSetLastError(0);
    FLineLost = false;
    FLineLostError = 0;
    OpenDevice();
    if (!IsOpen())
        return;
    MonitorThread = std::make_unique<TCommEventThread>(*PortHandle, FMonitorEvents, Invoker);
    MonitorThread->OnPortEvents = [this](TCommEventThread* Sender, std::uint32_t EventMask) {
        HandlePortEvents(Sender, EventMask);
    };
    MonitorThread->OnLineLost = [this](TCommEventThread*, std::int32_t Error) {
        ReportLineLost(Error);
    };
    MonitorThread->SetBaud(BaudOf(FBaudRate));
    MonitorThread->Resume();
    ApplyPortSettings();
    if (!PortHandle->SetupBuffers(FReadBufSize, FWriteBufSize))
        RaiseCommError("Error initializing Read/Write Buffers", PortGetLastError());
    ApplyTimeouts();
}

void TCustomComm::OpenDevice() {
    FDevicePath = PortDevicePath(FDeviceName, FPortMap);
    PortHandle = OpenTracedPortDevice(FDevicePath);
    if (!PortHandle)
        RaiseCommError("Error accessing specified device", PortGetLastError());
    if (!PortHandle->IsCharDevice()) {
        CloseDevice();
        RaiseCommError("Invalid device handle, access denied", -1);
    }
}

void TCustomComm::Close() {
    if (!IsOpen())
        return;
    if (MonitorThread) {
        MonitorThread->Stop();
        MonitorThread->WaitFor();
        MonitorThread.reset();
    }
    CloseDevice();
}

void TCustomComm::CloseDevice() {
    PortHandle.reset();
}

std::int32_t TCustomComm::Read(void* Buffer, std::int32_t Count) {
    std::int64_t stamp = 0;
    return ReadArrived(Buffer, Count, false, stamp);
}

std::int32_t TCustomComm::ReadStamped(void* Buffer, std::int32_t Count, std::int64_t& ArrivedNs) {
    return ReadArrived(Buffer, Count, true, ArrivedNs);
}

std::int32_t TCustomComm::ReadArrived(void* Buffer, std::int32_t Count, bool OnePiece,
                                      std::int64_t& ArrivedNs) {
    if (!IsOpen() || Count < 0 || (Buffer == nullptr && Count > 0))
        return -1;
    auto* bytes = static_cast<std::uint8_t*>(Buffer);
    const auto count = static_cast<std::size_t>(Count);
    if (MonitorThread) {
        TArrivalQueue& queue = MonitorThread->Arrivals();
        const std::size_t n =
            OnePiece ? queue.TakePiece(bytes, count, ArrivedNs) : queue.Take(bytes, count);
        // Once the thread has ended, nobody else reads the device: a read finds it gone.
        if (n > 0 || Count == 0 || !MonitorThread->Finished())
            return static_cast<std::int32_t>(n);
    }
    const std::int32_t n = PortHandle->Read(Buffer, Count);
    if (n < 0)
        CheckLineLost();
    ArrivedNs = SteadyNowNs();
    return n;
}

std::int32_t TCustomComm::Write(const void* Buffer, std::int32_t Count) {
    if (!IsOpen() || Count < 0 || (Buffer == nullptr && Count > 0))
        return -1;
    const std::int32_t n = PortHandle->Write(Buffer, Count);
    if (n < 0)
        CheckLineLost();
    return n;
}

void TCustomComm::DeliverPending() {
    if (MonitorThread)
        MonitorThread->RunPending();
}

void TCustomComm::SetRxHint(std::int32_t Bytes) {
    if (MonitorThread)
        MonitorThread->SetRxHint(Bytes);
}

void TCustomComm::CheckLineLost() {
    const std::int32_t error = PortGetLastError();
    if (PortErrorMeansLoss(error))
        ReportLineLost(error);
    PortSetLastError(error);
}

void TCustomComm::ReportLineLost(std::int32_t Error) {
    if (FLineLost)
        return;
    FLineLost = true;
    FLineLostError = Error;
    if (!OnLineLost)
        return;
    try {
        OnLineLost(this, Error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Serial port event handler failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Serial port event handler failed\n");
    }
}

void TCustomComm::ApplyPortSettings() {
    if (!IsOpen())
        return;
    PortHandle->GetState(ControlBlock);
    ControlBlock.BaudRate = BaudOf(FBaudRate);
    ControlBlock.Parity = static_cast<std::uint8_t>(FParity); // NOPARITY .. SPACEPARITY
    ControlBlock.StopBits = static_cast<std::uint8_t>(FStopbits);
    ControlBlock.ByteSize = static_cast<std::uint8_t>(4 + FDatabits);
    ControlBlock.XonChar = FEventChars->XonChar();
    ControlBlock.XoffChar = FEventChars->XoffChar();
    ControlBlock.XonLim = static_cast<std::uint16_t>(FReadBufSize / 4);
    ControlBlock.XoffLim = static_cast<std::uint16_t>(FReadBufSize / 4);
    ApplyFlowControl(ControlBlock);
    ControlBlock.fParity = FOptions.Contains(coParityCheck);
    ControlBlock.fDsrSensitivity = FOptions.Contains(coDsrSensitivity);
    ControlBlock.fTXContinueOnXoff = FOptions.Contains(coIgnoreXOff);
    ControlBlock.fErrorChar = FOptions.Contains(coErrorChar);
    ControlBlock.fNull = FOptions.Contains(coNullStrip);
    // An error must not stop all reads and writes until someone clears it.
    ControlBlock.fAbortOnError = false;
    if (MonitorThread)
        MonitorThread->SetBaud(ControlBlock.BaudRate);
    if (!PortHandle->SetState(ControlBlock))
        RaiseCommError("Error updating DataControlBlock", PortGetLastError());
}

void TCustomComm::ApplyFlowControl(TLineState& DCB) const {
    if (FFlowControl == fcDefault)
        return; // the driver's own settings stay
    DCB.fOutxCtsFlow = FFlowControl == fcCTS;
    DCB.fOutxDsrFlow = FFlowControl == fcDTR;
    DCB.fDtrControl = COMM_DTR_CONTROL_ENABLE;
    DCB.fRtsControl = COMM_RTS_CONTROL_TOGGLE;
    DCB.fOutX = FFlowControl == fcSoftware;
    DCB.fInX = FFlowControl == fcSoftware;
}

void TCustomComm::ApplyTimeouts() {
    if (!IsOpen())
        return;
    TCommTimeouts t;
    t.ReadIntervalTimeout =
        FCharsTimeOut == 0 ? COMM_MAXDWORD : static_cast<std::uint32_t>(FCharsTimeOut);
    t.WriteTotalTimeoutConstant = 1500;
    if (!PortHandle->SetTimeouts(t))
        RaiseCommError("Error updating CommTimeouts", PortGetLastError());
}

void TCustomComm::HandlePortEvents(TCommEventThread* Sender, std::uint32_t EventMask) {
    PortHandle->ClearError(LineErrors, QueueStatus);
    // The device's input is read by the monitor thread: what waits is in its queue.
    TArrivalQueue& queue = Sender->Arrivals();
    QueueStatus.cbInQue = static_cast<std::uint32_t>(queue.Size());
    if (queue.TakeDropped() > 0) {
        LineErrors |= COMM_CE_RXOVER;
        EventMask |= COMM_EV_ERR;
    }
    for (std::uint32_t bit : EventMaskTable) {
        if ((EventMask & bit) == 0)
            continue;
        try {
            DispatchEvent(bit);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Serial port event handler failed: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Serial port event handler failed\n");
        }
    }
}

void TCustomComm::DispatchEvent(std::uint32_t EventBit) {
    switch (EventBit) {
    case COMM_EV_BREAK:
        if (OnBreak)
            OnBreak(this);
        break;
    case COMM_EV_CTS:
        if (OnCTS)
            OnCTS(this);
        break;
    case COMM_EV_DSR:
        if (OnDSR)
            OnDSR(this);
        break;
    case COMM_EV_ERR:
        if (OnError)
            OnError(this, static_cast<std::int32_t>(LineErrors));
        break;
    case COMM_EV_RING:
        if (OnRing)
            OnRing(this);
        break;
    case COMM_EV_RLSD:
        if (OnRLSD)
            OnRLSD(this);
        break;
    case COMM_EV_RXCHAR:
        if (OnRxChar)
            OnRxChar(this, static_cast<std::int32_t>(QueueStatus.cbInQue));
        break;
    case COMM_EV_RXFLAG:
        if (OnRxFlag)
            OnRxFlag(this);
        break;
    case COMM_EV_TXEMPTY:
        if (OnTxEmpty)
            OnTxEmpty(this);
        break;
    }
}

void TCustomComm::CheckClosed() const {
    if (IsOpen())
        RaiseCommError("Device already assigned (open)", -1);
}

void TCustomComm::SetDeviceName(const std::string& Value) {
    CheckClosed();
    FDeviceName = Value;
}

void TCustomComm::SetMonitorEvents(TCommEventType Value) {
    CheckClosed();
    FMonitorEvents = Value;
}

void TCustomComm::SetReadBufSize(std::int32_t Value) {
    CheckClosed();
    FReadBufSize = Value;
}

void TCustomComm::SetWriteBufSize(std::int32_t Value) {
    CheckClosed();
    FWriteBufSize = Value;
}

void TCustomComm::SetBaudRate(TBaudRate Value) {
    if (Value == FBaudRate)
        return;
    FBaudRate = Value;
    ApplyPortSettings();
}

void TCustomComm::SetParity(TParity Value) {
    if (Value == FParity)
        return;
    FParity = Value;
    ApplyPortSettings();
}

void TCustomComm::SetStopbits(TStopbits Value) {
    if (Value == FStopbits)
        return;
    FStopbits = Value;
    ApplyPortSettings();
}

void TCustomComm::SetDatabits(TDatabits Value) {
    if (Value == FDatabits)
        return;
    FDatabits = Value;
    ApplyPortSettings();
}

void TCustomComm::SetCharsTimeOut(std::int32_t Value) {
    FCharsTimeOut = Value;
    ApplyTimeouts();
}

void TCustomComm::SetOptions(TCommOptions Value) {
    if (Value == FOptions)
        return;
    FOptions = Value;
    ApplyPortSettings();
}

void TCustomComm::SetFlowControl(TFlowControl Value) {
    if (Value == FFlowControl)
        return;
    FFlowControl = Value;
    ApplyPortSettings();
}

} // namespace orvik
