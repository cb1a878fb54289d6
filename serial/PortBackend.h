// The thin port layer under the serial component. Each operation stands for one Windows
// serial call; one backend per platform implements it (PosixPort.cpp, Win32Port.cpp).
// The component's logic (CommPort.cpp) is written once over this layer.
//
// Threads: an open device is used by two threads at once. The monitor thread calls
// SetMask (before it starts waiting), WaitEvent, InQueue, Read and Purge (Read also the main
// thread, once the monitor thread has ended); the main thread calls
// everything else, also while a WaitEvent is blocked. Stop may be called from any thread at
// any time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace orvik {

// Event mask bits, as EV_* of the Windows API (same values).
inline constexpr std::uint32_t COMM_EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t COMM_EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t COMM_EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t COMM_EV_CTS = 0x0008;
inline constexpr std::uint32_t COMM_EV_DSR = 0x0010;
inline constexpr std::uint32_t COMM_EV_RLSD = 0x0020;
inline constexpr std::uint32_t COMM_EV_BREAK = 0x0040;
inline constexpr std::uint32_t COMM_EV_ERR = 0x0080;
inline constexpr std::uint32_t COMM_EV_RING = 0x0100;

// Line error flags, as CE_* (same values).
inline constexpr std::uint32_t COMM_CE_RXOVER = 0x0001;
inline constexpr std::uint32_t COMM_CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t COMM_CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t COMM_CE_FRAME = 0x0008;
inline constexpr std::uint32_t COMM_CE_BREAK = 0x0010;

// Purge flags, as PURGE_* (same values).
inline constexpr std::uint32_t COMM_PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t COMM_PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t COMM_PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t COMM_PURGE_RXCLEAR = 0x0008;

// Line setting values, as the DCB constants (same values).
inline constexpr std::uint8_t COMM_NOPARITY = 0;
inline constexpr std::uint8_t COMM_ODDPARITY = 1;
inline constexpr std::uint8_t COMM_EVENPARITY = 2;
inline constexpr std::uint8_t COMM_MARKPARITY = 3;
inline constexpr std::uint8_t COMM_SPACEPARITY = 4;
inline constexpr std::uint8_t COMM_ONESTOPBIT = 0;
inline constexpr std::uint8_t COMM_ONE5STOPBITS = 1;
inline constexpr std::uint8_t COMM_TWOSTOPBITS = 2;
inline constexpr std::uint8_t COMM_DTR_CONTROL_DISABLE = 0;
inline constexpr std::uint8_t COMM_DTR_CONTROL_ENABLE = 1;
inline constexpr std::uint8_t COMM_DTR_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint8_t COMM_RTS_CONTROL_DISABLE = 0;
inline constexpr std::uint8_t COMM_RTS_CONTROL_ENABLE = 1;
inline constexpr std::uint8_t COMM_RTS_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint8_t COMM_RTS_CONTROL_TOGGLE = 3;

inline constexpr std::uint32_t COMM_MAXDWORD = 0xFFFFFFFFu;

// The line settings: the members of the Windows DCB, bit fields as plain values.
struct TLineState {
    std::uint32_t BaudRate = 9600;
    bool fBinary = true;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    std::uint8_t fDtrControl = COMM_DTR_CONTROL_ENABLE;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    std::uint8_t fRtsControl = COMM_RTS_CONTROL_ENABLE;
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = COMM_NOPARITY;
    std::uint8_t StopBits = COMM_ONESTOPBIT;
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
};

// COMMTIMEOUTS, in milliseconds.
struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

// COMSTAT, the queue counts.
struct TCommStat {
    std::uint32_t cbInQue = 0;  // bytes received and not yet read
    std::uint32_t cbOutQue = 0; // bytes written and not yet sent
};

// Failures of network ports that have no OS error code of their own (bit 29 marks a code as
// the application's own on Windows; errno values never reach it).
inline constexpr std::int32_t PORT_ERROR_BAD_ADDRESS = 0x20000001;    // not HOST:PORT
inline constexpr std::int32_t PORT_ERROR_NAME_NOT_FOUND = 0x20000002; // the resolver knows no HOST
inline constexpr std::int32_t PORT_ERROR_NOT_ACCEPTED = 0x20000003;   // line settings not taken
inline constexpr std::int32_t PORT_ERROR_CLOSED = 0x20000004;         // the server hung up

// How far a port that reaches its line over the network has come. A local port is Ready as
// soon as it is open.
enum class PortStage { Resolving, Connecting, Negotiating, Ready, Failed };

enum class TWaitResult {
    Event,   // an event of the mask happened; the mask argument holds the events
    NoEvent, // the wait completed without a result to deliver (GetOverlappedResult failed);
             // the caller waits again
    Stopped, // Stop was called
    Failed,  // the wait itself failed, e.g. the device went away; the caller gives up
};

// One open device: the Windows handle and what the calls below do with it. Every
// operation that can fail returns false (or -1) and leaves its OS error code for
// PortGetLastError.
class TPortDevice {
public:
    virtual ~TPortDevice() = default; // CloseHandle. Only after the monitor thread ended.

    // GetFileType(handle) == FILE_TYPE_CHAR: the device is a serial line (POSIX: a tty).
    virtual bool IsCharDevice() = 0;

    // GetCommState / SetCommState. SetState fails when the driver refuses a value.
    virtual bool GetState(TLineState& state) = 0;
    virtual bool SetState(const TLineState& state) = 0;

    // SetupComm: driver input and output buffer sizes in bytes.
    virtual bool SetupBuffers(std::int32_t inQueue, std::int32_t outQueue) = 0;

    // SetCommTimeouts. They govern Read and Write below.
    virtual bool SetTimeouts(const TCommTimeouts& timeouts) = 0;

    // SetCommMask: the COMM_EV_* bits that WaitEvent reports.
    virtual bool SetMask(std::uint32_t mask) = 0;

    // WaitCommEvent + WaitForMultipleObjects({stop, wait}, INFINITE) + GetOverlappedResult,
    // as one blocking call of the monitor thread. Blocks until an event of the mask happens
    // (Event, with `events` set), Stop is or was called (Stopped), or the wait fails (Failed).
    // COMM_EV_RXCHAR means new bytes arrived since the last wait began or since the last
    // report; bytes that merely stay queued report nothing. When this returns, no wait is
    // outstanding in the OS: a backend that waits asynchronously cancels and completes its
    // wait before returning, so the wait record and mask may be released afterwards.
    virtual TWaitResult WaitEvent(std::uint32_t& events) = 0;

    // SetEvent(StopEvent): wakes a blocked WaitEvent at once, and makes every later
    // WaitEvent return Stopped at once. Safe from any thread, also before the first wait.
    virtual void Stop() = 0;

    // ClearCommError: the COMM_CE_* flags gathered since the last call (then cleared) and
    // the queue counts.
    virtual bool ClearError(std::uint32_t& errors, TCommStat& stat) = 0;

    // Monitor thread: the bytes in the input queue now, or -1 when the device cannot tell.
    // Clears no error state: flags it sees are kept for the next ClearError.
    virtual std::int32_t InQueue() = 0;

    // Monitor thread: waits until the input queue holds `count` bytes, or `timeoutUs` passed,
    // with no delivery for each piece on the way. Event: they are there; NoEvent: the time
    // passed first; Stopped. Where CanWaitForInput is false, or the wait returns Failed, the
    // caller waits the time the line needs instead.
    virtual TWaitResult WaitForInput(std::int32_t count, std::int64_t timeoutUs) {
        (void)count;
        (void)timeoutUs;
        return TWaitResult::Failed;
    }
    virtual bool CanWaitForInput() const { return false; }

    // PurgeComm with COMM_PURGE_* flags.
    virtual bool Purge(std::uint32_t flags) = 0;

    // ReadFile: takes up to `count` bytes that have already arrived and returns at once with
    // how many it took (0 when none), or -1 on failure. The buffer is not used after return.
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;

    // WriteFile: hands all `count` bytes to the driver, in order, waiting at most the write
    // time-out (WriteTotalTimeoutMultiplier * count + WriteTotalTimeoutConstant; no limit
    // when both are 0). Returns `count`, or -1 when not all bytes went within that time or
    // the write failed. The buffer is not used after return.
    virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;

    // Beyond the Windows calls, any thread: a network port connects and sets its line on the
    // monitor thread after the open; until then it reads nothing and refuses writes. Its
    // failure ends the monitor thread's wait (Failed) with the reason's error code.
    virtual PortStage Stage() { return PortStage::Ready; }
};

// Port names mapped to devices, e.g. "COM3" -> "/dev/ttyUSB0" (the [Ports] section of the
// settings file; keys in any letter case).
using PortMap = std::map<std::string, std::string>;

// What OpenPortDevice gets for the component's DeviceName: POSIX resolves "COMn" through
// `ports` and the devices present (PortNames.h); Win32 passes the name on ("\\.\" put in
// front of COM10 and above), unless `ports` maps it to a network port.
std::string PortDevicePath(const std::string& deviceName, const PortMap& ports);

// CreateFileA(path, read|write, no sharing, OPEN_EXISTING, overlapped). Returns the open
// device, or nullptr with the OS error code for PortGetLastError. A device that is held
// by another program, or by another component of this one, fails. "rfc2217://HOST:PORT" and
// "socket://HOST:PORT" open a network port (NetworkPort.h) on either platform.
std::unique_ptr<TPortDevice> OpenPortDevice(const std::string& path);

// GetLastError / SetLastError: the error code of the last failed port call on this thread.
std::int32_t PortGetLastError();
void PortSetLastError(std::int32_t code);

// Whether a failed read, write or wait with this OS error means the device has gone (unplugged,
// hung up), rather than a failure of the one call.
bool PortErrorMeansLoss(std::int32_t code);

} // namespace orvik
