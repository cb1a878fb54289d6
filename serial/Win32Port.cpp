// The port layer on Windows: the serial calls themselves, on one handle opened for
// overlapped I/O.
//
// Every overlapped call is finished before the operation returns: a read or write that
// comes back pending is waited for, or cancelled and then waited for, and the monitor
// thread's WaitCommEvent is cancelled and completed before WaitEvent returns. So no
// OVERLAPPED record, event mask or caller's buffer is in use by the system after a call.
// Each of the three kinds of transfer has its own record and event, since the monitor
// thread's wait and the main thread's reads and writes run at the same time.
#include "serial/NetworkAddress.h"
#include "serial/NetworkPort.h"
#include "serial/PortBackend.h"
#include "serial/PortProblem.h"

#include <winsock2.h> // before windows.h

#include <windows.h>

#include <atomic>
#include <cctype>
#include <cstdint>
#include <string>

namespace orvik {

namespace {

// A read asks only for bytes that have already arrived; the driver may still report it
// pending for a moment. After this long it is cancelled and gives what it took.
constexpr DWORD READ_SETTLE_MS = 50;
// A cancelled wait or transfer ends at once; this is only a bound before the stronger step.
constexpr DWORD CANCEL_SETTLE_MS = 500;

class TEventHandle {
public:
    TEventHandle(bool signalled)
        : Handle(CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr)) {}
    TEventHandle(const TEventHandle&) = delete;
    TEventHandle& operator=(const TEventHandle&) = delete;
    ~TEventHandle() {
        if (Handle != nullptr)
            CloseHandle(Handle);
    }
    HANDLE Get() const { return Handle; }

private:
    HANDLE Handle;
};

void ToDcb(const TLineState& s, DCB& d) {
    d.BaudRate = s.BaudRate;
    d.fBinary = s.fBinary;
    d.fParity = s.fParity;
    d.fOutxCtsFlow = s.fOutxCtsFlow;
    d.fOutxDsrFlow = s.fOutxDsrFlow;
    d.fDtrControl = s.fDtrControl;
    d.fDsrSensitivity = s.fDsrSensitivity;
    d.fTXContinueOnXoff = s.fTXContinueOnXoff;
    d.fOutX = s.fOutX;
    d.fInX = s.fInX;
    d.fErrorChar = s.fErrorChar;
    d.fNull = s.fNull;
    d.fRtsControl = s.fRtsControl;
    d.fAbortOnError = s.fAbortOnError;
    d.XonLim = s.XonLim;
    d.XoffLim = s.XoffLim;
    d.ByteSize = s.ByteSize;
    d.Parity = s.Parity;
    d.StopBits = s.StopBits;
    d.XonChar = s.XonChar;
    d.XoffChar = s.XoffChar;
    d.ErrorChar = s.ErrorChar;
    d.EofChar = s.EofChar;
    d.EvtChar = s.EvtChar;
}

void FromDcb(const DCB& d, TLineState& s) {
    s.BaudRate = d.BaudRate;
    s.fBinary = d.fBinary;
    s.fParity = d.fParity;
    s.fOutxCtsFlow = d.fOutxCtsFlow;
    s.fOutxDsrFlow = d.fOutxDsrFlow;
    s.fDtrControl = static_cast<std::uint8_t>(d.fDtrControl);
    s.fDsrSensitivity = d.fDsrSensitivity;
    s.fTXContinueOnXoff = d.fTXContinueOnXoff;
    s.fOutX = d.fOutX;
    s.fInX = d.fInX;
    s.fErrorChar = d.fErrorChar;
    s.fNull = d.fNull;
    s.fRtsControl = static_cast<std::uint8_t>(d.fRtsControl);
    s.fAbortOnError = d.fAbortOnError;
    s.XonLim = d.XonLim;
    s.XoffLim = d.XoffLim;
    s.ByteSize = d.ByteSize;
    s.Parity = d.Parity;
    s.StopBits = d.StopBits;
    s.XonChar = d.XonChar;
    s.XoffChar = d.XoffChar;
    s.ErrorChar = d.ErrorChar;
    s.EofChar = d.EofChar;
    s.EvtChar = d.EvtChar;
}

class TWin32Port final : public TPortDevice {
public:
    explicit TWin32Port(HANDLE handle)
        : Handle(handle), StopEvent(false), WaitDone(true), ReadDone(false), WriteDone(false) {}
    TWin32Port(const TWin32Port&) = delete;
    TWin32Port& operator=(const TWin32Port&) = delete;
    ~TWin32Port() override { CloseHandle(Handle); }

    bool EventsCreated() const {
        return StopEvent.Get() != nullptr && WaitDone.Get() != nullptr &&
               ReadDone.Get() != nullptr && WriteDone.Get() != nullptr;
    }

    bool IsCharDevice() override { return GetFileType(Handle) == FILE_TYPE_CHAR; }

    bool GetState(TLineState& state) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(Handle, &dcb))
            return false;
        FromDcb(dcb, state);
        return true;
    }

    bool SetState(const TLineState& state) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(Handle, &dcb); // keeps the members the line settings do not name
        dcb.DCBlength = sizeof dcb;
        ToDcb(state, dcb);
        return SetCommState(Handle, &dcb) != FALSE;
    }

    bool SetupBuffers(std::int32_t inQueue, std::int32_t outQueue) override {
        return SetupComm(Handle, static_cast<DWORD>(inQueue), static_cast<DWORD>(outQueue)) !=
               FALSE;
    }

    bool SetTimeouts(const TCommTimeouts& timeouts) override {
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
        t.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
        t.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
        t.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
        t.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
        if (!SetCommTimeouts(Handle, &t))
            return false;
        Timeouts = timeouts;
        return true;
    }

    bool SetMask(std::uint32_t mask) override { return SetCommMask(Handle, mask) != FALSE; }

    TWaitResult WaitEvent(std::uint32_t& events) override {
        if (WaitForSingleObject(StopEvent.Get(), 0) == WAIT_OBJECT_0)
            return TWaitResult::Stopped;
        WaitRecord = OVERLAPPED{};
        WaitRecord.hEvent = WaitDone.Get();
        WaitMask = 0;
        if (WaitCommEvent(Handle, &WaitMask, &WaitRecord)) {
            events = WaitMask;
            return WaitMask != 0 ? TWaitResult::Event : TWaitResult::NoEvent;
        }
        if (GetLastError() != ERROR_IO_PENDING)
            return TWaitResult::Failed; // e.g. the device went away; waiting again would spin
        const HANDLE handles[2] = {StopEvent.Get(), WaitDone.Get()};
        DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 + 1) {
            DWORD count = 0;
            if (!GetOverlappedResult(Handle, &WaitRecord, &count, FALSE)) {
                // A removed device fails every wait at once: that is the end, not a retry.
                return PortErrorMeansLoss(static_cast<std::int32_t>(GetLastError()))
                           ? TWaitResult::Failed
                           : TWaitResult::NoEvent;
            }
            if (WaitMask == 0)
                return TWaitResult::NoEvent;
            events = WaitMask;
            return TWaitResult::Event;
        }
        DWORD error = GetLastError();
        EndWait();
        if (r == WAIT_OBJECT_0)
            return TWaitResult::Stopped;
        SetLastError(error);
        return TWaitResult::Failed;
    }

    void Stop() override {
        DWORD error = GetLastError();
        SetEvent(StopEvent.Get());
        SetLastError(error);
    }

    bool ClearError(std::uint32_t& errors, TCommStat& stat) override {
        DWORD flags = 0;
        COMSTAT cs{};
        BOOL ok = ClearCommError(Handle, &flags, &cs);
        errors = flags | SeenErrors.exchange(0);
        stat.cbInQue = cs.cbInQue;
        stat.cbOutQue = cs.cbOutQue;
        return ok != FALSE;
    }

    std::int32_t InQueue() override {
        DWORD flags = 0;
        COMSTAT cs{};
        DWORD error = GetLastError();
        BOOL ok = ClearCommError(Handle, &flags, &cs);
        SetLastError(error);
        if (!ok)
            return -1;
        SeenErrors.fetch_or(flags); // reported by the next ClearError
        return static_cast<std::int32_t>(cs.cbInQue);
    }

    bool Purge(std::uint32_t flags) override { return PurgeComm(Handle, flags) != FALSE; }

    std::int32_t Read(void* buffer, std::int32_t count) override {
        if (count < 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        OVERLAPPED rec{};
        rec.hEvent = ReadDone.Get();
        DWORD n = 0;
        if (ReadFile(Handle, buffer, static_cast<DWORD>(count), &n, &rec))
            return static_cast<std::int32_t>(n);
        if (GetLastError() != ERROR_IO_PENDING)
            return -1;
        // Pending although the bytes are there: it completes at once. A read of more than
        // has arrived is cancelled; the bytes it took by then are the result.
        if (WaitForSingleObject(rec.hEvent, READ_SETTLE_MS) != WAIT_OBJECT_0)
            CancelIoEx(Handle, &rec);
        return Finish(rec, n) || GetLastError() == ERROR_OPERATION_ABORTED
                   ? static_cast<std::int32_t>(n)
                   : -1;
    }

    std::int32_t Write(const void* buffer, std::int32_t count) override {
        if (count < 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        OVERLAPPED rec{};
        rec.hEvent = WriteDone.Get();
        DWORD n = 0;
        if (!WriteFile(Handle, buffer, static_cast<DWORD>(count), &n, &rec)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return -1;
            // The driver ends the write by the time-out; the wait here is a bound on top of
            // that in case a driver does not.
            const std::uint64_t limit =
                std::uint64_t(Timeouts.WriteTotalTimeoutMultiplier) * std::uint64_t(count) +
                Timeouts.WriteTotalTimeoutConstant;
            const DWORD bound =
                limit == 0 ? INFINITE
                           : static_cast<DWORD>(limit < 0x7FFFFFFF ? limit * 2 + 100 : 0xFFFFFFFE);
            if (WaitForSingleObject(rec.hEvent, bound) != WAIT_OBJECT_0)
                CancelIoEx(Handle, &rec);
            if (!Finish(rec, n))
                return -1;
        }
        if (n != static_cast<DWORD>(count)) {
            SetLastError(ERROR_TIMEOUT);
            return -1;
        }
        return count;
    }

private:
    // Waits for the end of a transfer that was pending (maybe cancelled); its result.
    bool Finish(OVERLAPPED& rec, DWORD& n) {
        return GetOverlappedResult(Handle, &rec, &n, TRUE) != FALSE;
    }

    // Monitor thread: ends the outstanding WaitCommEvent and waits until the system has
    // let go of its record and mask. A change of the mask ends a pending wait on every
    // driver (Wine ignores the cancel of a wait); after a stop no later wait needs the mask.
    void EndWait() {
        SetCommMask(Handle, 0);
        if (WaitForSingleObject(WaitDone.Get(), CANCEL_SETTLE_MS) != WAIT_OBJECT_0)
            CancelIoEx(Handle, &WaitRecord);
        DWORD count = 0;
        GetOverlappedResult(Handle, &WaitRecord, &count, TRUE);
    }

    HANDLE Handle;
    TEventHandle StopEvent; // manual reset; set by Stop and never reset
    TEventHandle WaitDone;  // hEvent of WaitRecord
    TEventHandle ReadDone;
    TEventHandle WriteDone;
    OVERLAPPED WaitRecord{};                  // monitor thread
    DWORD WaitMask = 0;                       // monitor thread
    TCommTimeouts Timeouts;                   // main thread
    std::atomic<std::uint32_t> SeenErrors{0}; // line errors InQueue cleared
};

// "COMn" in any letter case: n, else 0.
int ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

} // namespace

std::unique_ptr<TPortDevice> OpenPortDevice(const std::string& path) {
    if (IsNetworkPortName(path))
        return OpenNetworkPort(path);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    auto port = std::make_unique<TWin32Port>(h);
    if (!port->EventsCreated()) {
        DWORD error = GetLastError();
        port.reset();
        SetLastError(error);
        return nullptr;
    }
    return port;
}

// COM10 and above are reachable only through the device namespace. A COM name that the
// [Ports] section maps to a network port opens that.
std::string PortDevicePath(const std::string& deviceName, const PortMap& ports) {
    const int n = ComNumber(deviceName);
    for (const auto& [key, target] : ports)
        if (n > 0 && ComNumber(key) == n && IsNetworkPortName(target))
            return target;
    if (n >= 10)
        return "\\\\.\\" + deviceName;
    return deviceName;
}

std::int32_t PortGetLastError() {
    return static_cast<std::int32_t>(GetLastError());
}

void PortSetLastError(std::int32_t code) {
    SetLastError(static_cast<DWORD>(code));
}

bool PortDevicePresent(const std::string& device) {
    if (IsNetworkPortName(device))
        return true; // only a connection can tell
    std::string name = device;
    if (name.rfind("\\\\.\\", 0) == 0)
        name = name.substr(4);
    char target[512];
    const DWORD error = GetLastError();
    const bool present = QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
    SetLastError(error);
    return present;
}

// What the drivers of USB serial adapters answer once the adapter has been pulled out.
bool PortErrorMeansLoss(std::int32_t code) {
    switch (static_cast<DWORD>(code)) {
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case 433: // ERROR_NO_SUCH_DEVICE, absent from some headers
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAETIMEDOUT:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAENETRESET:
    case static_cast<DWORD>(PORT_ERROR_CLOSED):
        return true;
    default:
        return false;
    }
}

} // namespace orvik
