// The port layer on Linux: termios for the line, epoll for the event wait, an eventfd to
// stop it.
//
// What the Windows events become here:
//  - EV_RXCHAR: the device is registered edge-triggered, so one report per arrival of new
//    bytes; bytes that stay queued report nothing and the wait sleeps.
//  - EV_ERR, EV_BREAK, EV_CTS, EV_DSR, EV_RING, EV_RLSD: from the driver's interrupt counters
//    (TIOCGICOUNT) where the driver keeps them (UARTs and most USB adapters; not
//    pseudo-terminals). Linux cannot wait on them alone, so they are noticed when the wait
//    wakes for received bytes; a line error or a break always brings a byte with it.
//  - EV_RXFLAG and EV_TXEMPTY are never reported.
//  - a hang-up (the device unplugged, the far end of a pseudo-terminal closed) fails the
//    wait, which ends the monitor thread.
// Buffer sizes are the driver's own; SetupBuffers accepts any size.
//
// What a real line needs beyond a pseudo-terminal:
//  - every open starts from a known raw state (no hardware or software handshake, 8N1), so
//    that settings left by another program cannot stall writes on a three-wire cable;
//  - the driver is asked for low latency (USB adapters otherwise hold partial packets back);
//  - RTS toggling (RS-485 converters keyed by RTS) uses the driver's RS-485 mode, and is
//    refused where the driver has none, rather than leaving RTS raised;
//  - closing drains the output for a bounded time, then discards the rest, so that close()
//    never waits the driver's closing time for bytes a handshake holds back.
#include "serial/NetworkAddress.h"
#include "serial/NetworkPort.h"
#include "serial/PortBackend.h"
#include "serial/PortNames.h"
#include "serial/PortProblem.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace orvik {

namespace {

struct TSpeed {
    std::uint32_t Baud;
    speed_t Code;
};

constexpr TSpeed Speeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedCode(std::uint32_t baud, speed_t& code) {
    for (const auto& s : Speeds)
        if (s.Baud == baud) {
            code = s.Code;
            return true;
        }
    return false; // 14400, 56000, 128000, 256000 have no termios code
}

std::uint32_t BaudOf(speed_t code) {
    for (const auto& s : Speeds)
        if (s.Code == code)
            return s.Baud;
    return 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        fd = -1;
    }
}

class TPosixPort final : public TPortDevice {
public:
    explicit TPosixPort(int fd) : Fd(fd) {}
    TPosixPort(const TPosixPort&) = delete;
    TPosixPort& operator=(const TPosixPort&) = delete;

    ~TPosixPort() override {
        LowerVmin(); // the device keeps its termios for whoever opens it next
        if (::isatty(Fd)) {
            DrainOutput();
            if (Rs485Changed)
                ::ioctl(Fd, TIOCSRS485, &Rs485Found);
            if (LatencyChanged)
                ::ioctl(Fd, TIOCSSERIAL, &SerialFound);
        }
        if (Exclusive)
            ::ioctl(Fd, TIOCNXCL);
        CloseFd(EpollFd);
        CloseFd(WakeFd);
        CloseFd(Fd);
    }

    // Locks the tty and sets up the wait. errno tells why it failed.
    bool Prepare() {
        IsTty = ::isatty(Fd);
        if (!IsTty)
            return true; // IsCharDevice refuses it
        if (::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                errno = EBUSY;
            return false;
        }
        Exclusive = ::ioctl(Fd, TIOCEXCL) == 0;
        // A fresh port starts raw, 8N1, without any handshake, as on Windows: a terminal's
        // cooked defaults would eat or turn bytes of binary frames (0x11, 0x13, CR), and a
        // handshake left by another program would hold every write back.
        termios t{};
        if (::tcgetattr(Fd, &t) == 0) {
            MakeRaw(t);
            t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
            t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
            t.c_cflag |= CS8;
            t.c_iflag &= ~static_cast<tcflag_t>(INPCK | IGNPAR);
            ::tcsetattr(Fd, TCSANOW, &t);
        }
        AskLowLatency();
        HasRs485 = Quietly([&] { return ::ioctl(Fd, TIOCGRS485, &Rs485Found) == 0; });
        WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        EpollFd = ::epoll_create1(EPOLL_CLOEXEC);
        if (WakeFd < 0 || EpollFd < 0)
            return false;
        epoll_event wake{};
        wake.events = EPOLLIN;
        wake.data.fd = WakeFd;
        epoll_event data{};
        data.events = EPOLLIN | EPOLLET;
        data.data.fd = Fd;
        if (::epoll_ctl(EpollFd, EPOLL_CTL_ADD, WakeFd, &wake) != 0 ||
            ::epoll_ctl(EpollFd, EPOLL_CTL_ADD, Fd, &data) != 0)
            return false;
        HasCounts = ReadCounts(WaitCounts);
        ClearCounts = WaitCounts;
        return true;
    }

    bool IsCharDevice() override {
        return EpollFd >= 0;
    }

    bool GetState(TLineState& state) override {
        termios t{};
        if (::tcgetattr(Fd, &t) != 0)
            return false;
        state = Shadow;
        state.BaudRate = BaudOf(::cfgetospeed(&t));
        switch (t.c_cflag & CSIZE) {
        case CS5:
            state.ByteSize = 5;
            break;
        case CS6:
            state.ByteSize = 6;
            break;
        case CS7:
            state.ByteSize = 7;
            break;
        default:
            state.ByteSize = 8;
        }
        state.Parity = COMM_NOPARITY;
        if (t.c_cflag & PARENB) {
#ifdef CMSPAR
            if (t.c_cflag & CMSPAR)
                state.Parity = (t.c_cflag & PARODD) ? COMM_MARKPARITY : COMM_SPACEPARITY;
            else
#endif
                state.Parity = (t.c_cflag & PARODD) ? COMM_ODDPARITY : COMM_EVENPARITY;
        }
        state.StopBits = (t.c_cflag & CSTOPB) ? COMM_TWOSTOPBITS : COMM_ONESTOPBIT;
        state.fOutxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
        if (state.fOutxCtsFlow)
            state.fRtsControl = COMM_RTS_CONTROL_HANDSHAKE;
        serial_rs485 rs{};
        if (HasRs485 && Quietly([&] { return ::ioctl(Fd, TIOCGRS485, &rs) == 0; }) &&
            (rs.flags & SER_RS485_ENABLED) && (rs.flags & SER_RS485_RTS_ON_SEND))
            state.fRtsControl = COMM_RTS_CONTROL_TOGGLE;
        state.fOutX = (t.c_iflag & IXON) != 0;
        state.fInX = (t.c_iflag & IXOFF) != 0;
        state.fParity = (t.c_iflag & INPCK) != 0;
        state.XonChar = static_cast<char>(t.c_cc[VSTART]);
        state.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
        return true;
    }

    bool SetState(const TLineState& state) override {
        termios t{};
        if (::tcgetattr(Fd, &t) != 0)
            return false;
        speed_t speed{};
        tcflag_t size = 0;
        switch (state.ByteSize) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        }
        bool stopOk = state.StopBits == COMM_ONESTOPBIT || state.StopBits == COMM_TWOSTOPBITS ||
                      (state.StopBits == COMM_ONE5STOPBITS && state.ByteSize == 5);
        if (!SpeedCode(state.BaudRate, speed) || size == 0 || !stopOk ||
            state.Parity > COMM_SPACEPARITY) {
            errno = EINVAL;
            return false;
        }
#ifndef CMSPAR
        if (state.Parity >= COMM_MARKPARITY) {
            errno = EINVAL;
            return false;
        }
#endif
        if (!SetRtsToggle(state.fRtsControl == COMM_RTS_CONTROL_TOGGLE))
            return false; // refused before anything changed
        MakeRaw(t);
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK | IGNPAR);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
        t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
        t.c_cflag |= size;
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        switch (state.Parity) {
        case COMM_ODDPARITY:
            t.c_cflag |= PARENB | PARODD;
            break;
        case COMM_EVENPARITY:
            t.c_cflag |= PARENB;
            break;
#ifdef CMSPAR
        case COMM_MARKPARITY:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case COMM_SPACEPARITY:
            t.c_cflag |= PARENB | CMSPAR;
            break;
#endif
        }
        if (state.StopBits != COMM_ONESTOPBIT)
            t.c_cflag |= CSTOPB;
        if (state.fParity)
            t.c_iflag |= INPCK;
        if (state.fOutxCtsFlow || state.fRtsControl == COMM_RTS_CONTROL_HANDSHAKE)
            t.c_cflag |= CRTSCTS;
        if (state.fOutX)
            t.c_iflag |= IXON;
        if (state.fInX)
            t.c_iflag |= IXOFF;
        t.c_cc[VSTART] = static_cast<cc_t>(state.XonChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(state.XoffChar);
        if (::tcsetattr(Fd, TCSANOW, &t) != 0)
            return false;
        termios now{};
        if (::tcgetattr(Fd, &now) != 0)
            return false;
        if (::cfgetospeed(&now) != speed || (now.c_cflag & CSIZE) != size) {
            errno = EINVAL; // the driver took only part of it
            return false;
        }
        // DTR and RTS as far as the driver has them; with TOGGLE the driver's RS-485 mode
        // drives RTS. DSR flow, DSR sensitivity, continue-on-XOFF, error and null characters
        // have no termios counterpart and are only kept.
        SetLine(TIOCM_DTR, state.fDtrControl != COMM_DTR_CONTROL_DISABLE);
        if (state.fRtsControl == COMM_RTS_CONTROL_ENABLE ||
            state.fRtsControl == COMM_RTS_CONTROL_DISABLE)
            SetLine(TIOCM_RTS, state.fRtsControl == COMM_RTS_CONTROL_ENABLE);
        Shadow = state;
        return true;
    }

    bool SetupBuffers(std::int32_t, std::int32_t) override {
        return true;
    }

    bool SetTimeouts(const TCommTimeouts& timeouts) override {
        Timeouts = timeouts;
        return true;
    }

    bool SetMask(std::uint32_t mask) override {
        Mask.store(mask);
        return true;
    }

    TWaitResult WaitEvent(std::uint32_t& events) override {
        LowerVmin();
        for (;;) {
            epoll_event ready[2];
            int n = ::epoll_wait(EpollFd, ready, 2, -1);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return TWaitResult::Failed;
            }
            bool arrived = false;
            bool gone = false;
            for (int i = 0; i < n; ++i) {
                if (ready[i].data.fd == WakeFd)
                    return TWaitResult::Stopped;
                if (ready[i].events & (EPOLLHUP | EPOLLERR))
                    gone = true;
                if (ready[i].events & EPOLLIN)
                    arrived = true;
            }
            if (gone) {
                errno = EIO;
                return TWaitResult::Failed;
            }
            // An edge for bytes that an earlier delivery has read already is no arrival.
            if (arrived && InQueue() == 0)
                arrived = false;
            std::uint32_t got = arrived ? COMM_EV_RXCHAR : 0;
            got |= LineEvents();
            got &= Mask.load();
            if (got != 0) {
                events = got;
                return TWaitResult::Event;
            }
        }
    }

    // A tty wakes a poll only once VMIN bytes are queued (VTIME 0), so the wait ends with the
    // frame's last byte rather than a guess of when it comes. VMIN is set for this wait only,
    // and set back by the next WaitEvent, after the delivery rather than before it: every
    // other wait wakes on the first byte.
    TWaitResult WaitForInput(std::int32_t count, std::int64_t timeoutUs) override {
        if (count <= 0 || count > 255 || !IsTty)
            return TWaitResult::Failed;
        if (InQueue() >= count)
            return TWaitResult::Event; // already there: no termios change, no wake-up
        termios t{};
        if (::tcgetattr(Fd, &t) != 0)
            return TWaitResult::Failed;
        if (!VminRaised)
            VminBefore = t;
        t.c_cc[VMIN] = static_cast<cc_t>(count);
        t.c_cc[VTIME] = 0;
        if (::tcsetattr(Fd, TCSANOW, &t) != 0)
            return TWaitResult::Failed;
        VminRaised = true;
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(timeoutUs);
        TWaitResult result = TWaitResult::NoEvent;
        for (;;) {
            if (InQueue() >= count) {
                result = TWaitResult::Event;
                break;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p[2] = {{Fd, POLLIN, 0}, {WakeFd, POLLIN, 0}};
            const int n = ::poll(p, 2, static_cast<int>(left.count()));
            if (n < 0 && errno != EINTR)
                break;
            if (p[1].revents & POLLIN) {
                result = TWaitResult::Stopped;
                break;
            }
            if (p[0].revents & (POLLHUP | POLLERR))
                break; // the next wait finds the device gone
        }
        return result;
    }

    bool CanWaitForInput() const override {
        return IsTty;
    }

    void LowerVmin() {
        if (VminRaised) {
            ::tcsetattr(Fd, TCSANOW, &VminBefore);
            VminRaised = false;
        }
    }

    void Stop() override {
        const std::uint64_t one = 1;
        int saved = errno;
        [[maybe_unused]] auto n = ::write(WakeFd, &one, sizeof one);
        errno = saved;
    }

    bool ClearError(std::uint32_t& errors, TCommStat& stat) override {
        int in = 0;
        int out = 0;
        bool ok = ::ioctl(Fd, FIONREAD, &in) == 0;
        ok = ::ioctl(Fd, TIOCOUTQ, &out) == 0 && ok;
        stat.cbInQue = in > 0 ? static_cast<std::uint32_t>(in) : 0;
        stat.cbOutQue = out > 0 ? static_cast<std::uint32_t>(out) : 0;
        errors = 0;
        serial_icounter_struct now{};
        if (HasCounts && ReadCounts(now)) {
            if (now.buf_overrun != ClearCounts.buf_overrun)
                errors |= COMM_CE_RXOVER;
            if (now.overrun != ClearCounts.overrun)
                errors |= COMM_CE_OVERRUN;
            if (now.parity != ClearCounts.parity)
                errors |= COMM_CE_RXPARITY;
            if (now.frame != ClearCounts.frame)
                errors |= COMM_CE_FRAME;
            if (now.brk != ClearCounts.brk)
                errors |= COMM_CE_BREAK;
            ClearCounts = now;
        }
        return ok;
    }

    std::int32_t InQueue() override {
        int in = 0;
        if (!Quietly([&] { return ::ioctl(Fd, FIONREAD, &in) == 0; }))
            return -1;
        return in > 0 ? in : 0;
    }

    bool Purge(std::uint32_t flags) override {
        // Nothing is ever left in progress here, so the aborts have nothing to do.
        bool ok = true;
        if (flags & COMM_PURGE_RXCLEAR)
            ok = ::tcflush(Fd, TCIFLUSH) == 0 && ok;
        if (flags & COMM_PURGE_TXCLEAR)
            ok = ::tcflush(Fd, TCOFLUSH) == 0 && ok;
        return ok;
    }

    std::int32_t Read(void* buffer, std::int32_t count) override {
        auto* p = static_cast<unsigned char*>(buffer);
        std::int32_t total = 0;
        while (total < count) {
            ssize_t n = ::read(Fd, p + total, static_cast<std::size_t>(count - total));
            if (n > 0) {
                total += static_cast<std::int32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                break;
            if (n == 0)
                errno = EIO; // hung up
            return total > 0 ? total : -1;
        }
        return total;
    }

    std::int32_t Write(const void* buffer, std::int32_t count) override {
        using Clock = std::chrono::steady_clock;
        const auto* p = static_cast<const unsigned char*>(buffer);
        const std::uint64_t limitMs =
            std::uint64_t(Timeouts.WriteTotalTimeoutMultiplier) * std::uint64_t(count) +
            Timeouts.WriteTotalTimeoutConstant;
        const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
        std::int32_t sent = 0;
        while (sent < count) {
            ssize_t n = ::write(Fd, p + sent, static_cast<std::size_t>(count - sent));
            if (n > 0) {
                sent += static_cast<std::int32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return -1;
            int waitMs = -1;
            if (limitMs != 0) {
                auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0) {
                    errno = ETIMEDOUT;
                    return -1;
                }
                waitMs = static_cast<int>(left.count());
            }
            pollfd pfd{Fd, POLLOUT, 0};
            int r = ::poll(&pfd, 1, waitMs);
            if (r < 0 && errno != EINTR)
                return -1;
            if (r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                errno = EIO;
                return -1;
            }
        }
        return sent;
    }

private:
    // Raw bytes both ways, as a Windows port always is. VMIN 1 makes a read without bytes
    // fail with EAGAIN, so that 0 means the line hung up.
    static void MakeRaw(termios& t) {
        t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                            ICRNL | IXANY | IXON | IXOFF);
        t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag |= CREAD | CLOCAL;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
    }

    // Runs an ioctl that may fail where a driver lacks it, keeping errno as it was.
    template <typename F> static bool Quietly(F&& call) {
        const int saved = errno;
        const bool ok = call();
        errno = saved;
        return ok;
    }

    void AskLowLatency() {
        if (!Quietly([&] { return ::ioctl(Fd, TIOCGSERIAL, &SerialFound) == 0; }) ||
            (SerialFound.flags & ASYNC_LOW_LATENCY))
            return;
        serial_struct low = SerialFound;
        low.flags |= ASYNC_LOW_LATENCY;
        LatencyChanged = Quietly([&] { return ::ioctl(Fd, TIOCSSERIAL, &low) == 0; });
    }

    // RTS high while sending, low after it, by the driver's RS-485 mode. False with errno set
    // when toggling is asked for and the driver cannot do it.
    bool SetRtsToggle(bool on) {
        if (!on) {
            if (Rs485Changed && ::ioctl(Fd, TIOCSRS485, &Rs485Found) == 0)
                Rs485Changed = false;
            return true;
        }
        if (!HasRs485) {
            errno = ENOTTY;
            return false;
        }
        serial_rs485 rs = Rs485Found;
        rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        rs.flags &= ~static_cast<decltype(rs.flags)>(SER_RS485_RTS_AFTER_SEND);
        if (::ioctl(Fd, TIOCSRS485, &rs) != 0)
            return false;
        Rs485Changed = true;
        return true;
    }

    // Lets queued output go for a bounded time, then discards what is left.
    void DrainOutput() {
        using Clock = std::chrono::steady_clock;
        const auto until = Clock::now() + std::chrono::milliseconds(DRAIN_MS);
        int out = 0;
        while (Quietly([&] { return ::ioctl(Fd, TIOCOUTQ, &out) == 0; }) && out > 0 &&
               Clock::now() < until)
            ::poll(nullptr, 0, 5);
        Quietly([&] { return ::tcflush(Fd, TCOFLUSH) == 0; });
    }

    bool ReadCounts(serial_icounter_struct& counts) {
        int saved = errno;
        bool ok = ::ioctl(Fd, TIOCGICOUNT, &counts) == 0;
        errno = saved;
        return ok;
    }

    void SetLine(int line, bool on) {
        int saved = errno;
        ::ioctl(Fd, on ? TIOCMBIS : TIOCMBIC, &line); // pseudo-terminals have no lines
        errno = saved;
    }

    // Monitor thread: events shown by the interrupt counters since the last look.
    std::uint32_t LineEvents() {
        serial_icounter_struct now{};
        if (!HasCounts || !ReadCounts(now))
            return 0;
        std::uint32_t got = 0;
        const auto& was = WaitCounts;
        if (now.brk != was.brk)
            got |= COMM_EV_BREAK;
        if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity ||
            now.buf_overrun != was.buf_overrun)
            got |= COMM_EV_ERR;
        if (now.cts != was.cts)
            got |= COMM_EV_CTS;
        if (now.dsr != was.dsr)
            got |= COMM_EV_DSR;
        if (now.rng != was.rng)
            got |= COMM_EV_RING;
        if (now.dcd != was.dcd)
            got |= COMM_EV_RLSD;
        WaitCounts = now;
        return got;
    }

    static constexpr int DRAIN_MS = 250;

    int Fd;
    int WakeFd = -1;
    int EpollFd = -1;
    bool Exclusive = false;
    bool IsTty = false;
    // Monitor thread: WaitForInput raised VMIN, and what the termios were before.
    bool VminRaised = false;
    termios VminBefore{};
    bool HasRs485 = false;
    bool Rs485Changed = false;
    bool LatencyChanged = false;
    serial_rs485 Rs485Found{};
    serial_struct SerialFound{};
    bool HasCounts = false;
    std::atomic<std::uint32_t> Mask{0};
    TCommTimeouts Timeouts;               // main thread
    TLineState Shadow;                    // main thread
    serial_icounter_struct ClearCounts{}; // main thread
    serial_icounter_struct WaitCounts{};  // monitor thread
};

} // namespace

std::unique_ptr<TPortDevice> OpenPortDevice(const std::string& path) {
    if (IsNetworkPortName(path))
        return OpenNetworkPort(path);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto port = std::make_unique<TPosixPort>(fd);
    if (!port->Prepare()) {
        int saved = errno;
        port.reset();
        errno = saved;
        return nullptr;
    }
    return port;
}

std::string PortDevicePath(const std::string& deviceName, const PortMap& ports) {
    return ResolvePortName(deviceName, ports);
}

std::int32_t PortGetLastError() {
    return errno;
}

bool PortDevicePresent(const std::string& device) {
    if (IsNetworkPortName(device))
        return true; // only a connection can tell
    struct stat st {};
    return ::stat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool PortErrorMeansLoss(std::int32_t code) {
    return code == EIO || code == ENXIO || code == ENODEV || code == EPIPE || code == ECONNRESET ||
           code == ECONNABORTED || code == ETIMEDOUT || code == EHOSTUNREACH ||
           code == ENETUNREACH || code == PORT_ERROR_CLOSED;
}

void PortSetLastError(std::int32_t code) {
    errno = code;
}

} // namespace orvik
