// The serial port component: one serial device, its line settings, byte I/O, and port
// events delivered on the main thread by a monitor thread.
//
// Every operation runs on the main thread, the thread that runs the invoker's jobs.
// Open and Close must not be called from inside one of the component's event handlers.
#pragma once

#include "serial/CommEventThread.h"
#include "serial/CommTypes.h"
#include "serial/EventInvoker.h"
#include "serial/PortBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace orvik {

class TCustomComm;

// The failure of a port operation. ErrorCode is the OS error code, or -1 when the failure
// is the component's own.
class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& Msg, std::int32_t Code)
        : std::runtime_error(Msg), ErrorCode(Code) {}
    std::int32_t ErrorCode;
};

// Raises ECommError with Msg + " (Error: <Code>) ".
[[noreturn]] void RaiseCommError(const std::string& Msg, std::int32_t Code);

using TCommNotifyEvent = std::function<void(TCustomComm* Sender)>;
using TCommRxCharEvent = std::function<void(TCustomComm* Sender, std::int32_t Count)>;
using TCommErrorEvent = std::function<void(TCustomComm* Sender, std::int32_t Errors)>;
// The line went away (unplugged, hung up): Error is the OS error that showed it.
using TCommLineLostEvent = std::function<void(TCustomComm* Sender, std::int32_t Error)>;

// The XON and XOFF characters of a component.
class TCommEventChars {
public:
    explicit TCommEventChars(TCustomComm& Owner) : Owner(Owner) {}
    char XonChar() const { return FXonChar; }
    char XoffChar() const { return FXoffChar; }
    void SetXonChar(char Value);
    void SetXoffChar(char Value);

private:
    TCustomComm& Owner;
    char FXonChar = 17;  // DC1
    char FXoffChar = 19; // DC3
};

class TCustomComm {
public:
    explicit TCustomComm(std::shared_ptr<TMainThreadInvoker> Invoker = nullptr);
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;
    virtual ~TCustomComm();

    void Open();
    void Close();
    bool IsOpen() const { return PortHandle != nullptr; }
    // The bytes that have arrived, oldest first; 0 when none wait, -1 on failure.
    std::int32_t Read(void* Buffer, std::int32_t Count);
    // As Read, but only bytes that arrived together, with the moment they were read off the line
    // (steady-clock nanoseconds, see SteadyNowNs), however late the main thread takes them.
    std::int32_t ReadStamped(void* Buffer, std::int32_t Count, std::int64_t& ArrivedNs);
    std::int32_t Write(const void* Buffer, std::int32_t Count);

    // Where deliveries run. Needed by Open; set while closed.
    void SetInvoker(std::shared_ptr<TMainThreadInvoker> Value) { Invoker = std::move(Value); }
    // The [Ports] section: "COMn" to device path, used when Open resolves DeviceName.
    void SetPortMap(PortMap Value) { FPortMap = std::move(Value); }
    const PortMap& GetPortMap() const { return FPortMap; }
    // The device the last Open resolved DeviceName to, whether or not it opened.
    const std::string& DevicePath() const { return FDevicePath; }

    // Whether the open line has gone away, and the OS error that showed it. OnLineLost is
    // called once per open line: from the monitor thread's last delivery, or from a Read or
    // Write that found the device gone. The port stays open until Close.
    bool LineLost() const { return FLineLost; }
    std::int32_t LineLostError() const { return FLineLostError; }

    // How far a network port has come since Open (connecting, negotiating ...); a local port,
    // and a closed one, is Ready.
    PortStage Stage() const { return PortHandle ? PortHandle->Stage() : PortStage::Ready; }

    // Main thread, after a delivery: the bytes the reader still expects. The monitor thread
    // waits for them after the next arrival before it delivers; 0 delivers every arrival.
    void SetRxHint(std::int32_t Bytes);
    // Main thread, outside a delivery: runs the delivery the monitor thread has handed over,
    // if any, now rather than when the main thread's queue comes to it.
    void DeliverPending();

protected:
    virtual void OpenDevice();
    virtual void DispatchEvent(std::uint32_t EventBit);
    void CloseDevice();
    void ApplyPortSettings();
    void ApplyFlowControl(TLineState& DCB) const;
    void ApplyTimeouts();
    void HandlePortEvents(TCommEventThread* Sender, std::uint32_t EventMask);
    void ReportLineLost(std::int32_t Error);
    // After a failed Read or Write: a device that has gone counts as a lost line.
    void CheckLineLost();
    TCommEventThread* GetMonitorThread() const { return MonitorThread.get(); }
    TPortDevice* GetPortHandle() const { return PortHandle.get(); }

    // Properties.
    const std::string& DeviceName() const { return FDeviceName; }
    void SetDeviceName(const std::string& Value);
    TCommEventType MonitorEvents() const { return FMonitorEvents; }
    void SetMonitorEvents(TCommEventType Value);
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate Value);
    TParity Parity() const { return FParity; }
    void SetParity(TParity Value);
    TStopbits Stopbits() const { return FStopbits; }
    void SetStopbits(TStopbits Value);
    TDatabits Databits() const { return FDatabits; }
    void SetDatabits(TDatabits Value);
    std::int32_t ReadBufSize() const { return FReadBufSize; }
    void SetReadBufSize(std::int32_t Value);
    std::int32_t WriteBufSize() const { return FWriteBufSize; }
    void SetWriteBufSize(std::int32_t Value);
    std::int32_t CharsTimeOut() const { return FCharsTimeOut; }
    void SetCharsTimeOut(std::int32_t Value);
    TCommOptions Options() const { return FOptions; }
    void SetOptions(TCommOptions Value);
    TFlowControl FlowControl() const { return FFlowControl; }
    void SetFlowControl(TFlowControl Value);
    TCommEventChars& EventChars() { return *FEventChars; }

    TCommNotifyEvent OnBreak;
    TCommNotifyEvent OnCTS;
    TCommNotifyEvent OnDSR;
    TCommErrorEvent OnError;
    TCommNotifyEvent OnRing;
    TCommNotifyEvent OnRLSD;
    TCommRxCharEvent OnRxChar;
    TCommNotifyEvent OnRxFlag;
    TCommNotifyEvent OnTxEmpty;
    TCommLineLostEvent OnLineLost;

    std::unique_ptr<TPortDevice> PortHandle; // none while closed
    TLineState ControlBlock;
    TCommStat QueueStatus;
    std::uint32_t LineErrors = 0;

private:
    friend class TCommEventChars;

    void CheckClosed() const;
    std::int32_t ReadArrived(void* Buffer, std::int32_t Count, bool OnePiece,
                             std::int64_t& ArrivedNs);

    std::shared_ptr<TMainThreadInvoker> Invoker;
    PortMap FPortMap;
    std::string FDevicePath;
    bool FLineLost = false;
    std::int32_t FLineLostError = 0;
    std::unique_ptr<TCommEventThread> MonitorThread; // exists exactly while open
    std::string FDeviceName = "Com2";
    TCommEventType FMonitorEvents = AllCommEvents;
    TBaudRate FBaudRate = cbr9600;
    TParity FParity = paNone;
    TStopbits FStopbits = sb10;
    TDatabits FDatabits = da8;
    std::int32_t FReadBufSize = 4096;
    std::int32_t FWriteBufSize = 2048;
    std::int32_t FCharsTimeOut = 250;
    TCommOptions FOptions;
    TFlowControl FFlowControl = fcDefault;
    std::unique_ptr<TCommEventChars> FEventChars;
};

// The component with its properties and events public.
class TComm : public TCustomComm {
public:
    using TCustomComm::TCustomComm;

    using TCustomComm::BaudRate;
    using TCustomComm::CharsTimeOut;
    using TCustomComm::Databits;
    using TCustomComm::DeviceName;
    using TCustomComm::EventChars;
    using TCustomComm::FlowControl;
    using TCustomComm::MonitorEvents;
    using TCustomComm::Options;
    using TCustomComm::Parity;
    using TCustomComm::ReadBufSize;
    using TCustomComm::SetBaudRate;
    using TCustomComm::SetCharsTimeOut;
    using TCustomComm::SetDatabits;
    using TCustomComm::SetDeviceName;
    using TCustomComm::SetFlowControl;
    using TCustomComm::SetMonitorEvents;
    using TCustomComm::SetOptions;
    using TCustomComm::SetParity;
    using TCustomComm::SetReadBufSize;
    using TCustomComm::SetStopbits;
    using TCustomComm::SetWriteBufSize;
    using TCustomComm::Stopbits;
    using TCustomComm::WriteBufSize;

    using TCustomComm::OnBreak;
    using TCustomComm::OnCTS;
    using TCustomComm::OnDSR;
    using TCustomComm::OnError;
    using TCustomComm::OnLineLost;
    using TCustomComm::OnRing;
    using TCustomComm::OnRLSD;
    using TCustomComm::OnRxChar;
    using TCustomComm::OnRxFlag;
    using TCustomComm::OnTxEmpty;
};

} // namespace orvik
