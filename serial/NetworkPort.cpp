#include "serial/NetworkPort.h"

#include "serial/NetworkAddress.h"
#include "serial/NetworkSocket.h"
#include "serial/PortTrace.h"
#include "serial/Rfc2217.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace orvik {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t RX_QUEUE_BYTES = 64 * 1024;
constexpr int READ_CHUNK = 4096;

std::atomic<NameResolver> nameResolver{nullptr};

// A host name resolved on a thread of its own, so that a resolver that does not answer never
// holds up a stop. Whoever waits longer than the bound leaves the thread to finish alone.
struct ResolveJob {
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
    bool abandoned = false;
    bool ok = false;
    std::int32_t error = 0;
    std::vector<SocketAddress> addresses;
};

// The bytes received and not yet read: a ring of fixed size, as a driver's input queue.
class RxQueue {
public:
    RxQueue() : bytes_(RX_QUEUE_BYTES) {}
    std::size_t Size() const { return size_; }
    // False when some did not fit (they are dropped, as an overrun).
    bool Push(const std::uint8_t* in, std::size_t count) {
        const bool fits = count <= bytes_.size() - size_;
        count = std::min(count, bytes_.size() - size_);
        for (std::size_t i = 0; i < count; ++i)
            bytes_[(head_ + size_ + i) % bytes_.size()] = in[i];
        size_ += count;
        return fits;
    }
    std::size_t Take(std::uint8_t* out, std::size_t count) {
        count = std::min(count, size_);
        for (std::size_t i = 0; i < count; ++i)
            out[i] = bytes_[(head_ + i) % bytes_.size()];
        head_ = (head_ + count) % bytes_.size();
        size_ -= count;
        return count;
    }
    void Clear() { head_ = size_ = 0; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

class NetworkPort final : public TPortDevice {
public:
    NetworkPort(NetworkAddress address, std::string name, int timeoutMs)
        : address_(std::move(address)), name_(std::move(name)), timeoutMs_(timeoutMs) {
        negotiation_.OnStep = [this](const std::string& text) { Trace(text); };
    }
    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    bool IsCharDevice() override { return true; }
    PortStage Stage() override { return stage_.load(); }

    bool GetState(TLineState& state) override {
        std::lock_guard<std::mutex> lk(lock_);
        state = line_;
        return true;
    }

    bool SetState(const TLineState& state) override {
        if (address_.protocol == NetworkProtocol::Raw) {
            std::lock_guard<std::mutex> lk(lock_);
            line_ = state; // the server's line; nothing to ask for
            return true;
        }
        if (state.BaudRate == 0 || state.ByteSize < 5 || state.ByteSize > 8 ||
            state.Parity > COMM_SPACEPARITY || state.StopBits > COMM_TWOSTOPBITS) {
            PortSetLastError(SocketErrorCode(SocketError::Invalid));
            return false;
        }
        ComPortLine asked;
        asked.baud = state.BaudRate;
        asked.dataSize = state.ByteSize;
        asked.parity = static_cast<std::uint8_t>(state.Parity + 1);
        asked.stopSize = state.StopBits == COMM_ONESTOPBIT    ? 1
                         : state.StopBits == COMM_TWOSTOPBITS ? 2
                                                              : 3;
        asked.control = state.fOutxCtsFlow || state.fRtsControl == COMM_RTS_CONTROL_HANDSHAKE ? 3
                        : state.fOutX || state.fInX                                           ? 2
                                                                                              : 1;
        std::string out;
        {
            std::lock_guard<std::mutex> lk(lock_);
            line_ = state;
            negotiation_.SetLine(asked, out);
        }
        SendProtocol(out);
        return true;
    }

    bool SetupBuffers(std::int32_t, std::int32_t) override { return true; }

    bool SetTimeouts(const TCommTimeouts& timeouts) override {
        std::lock_guard<std::mutex> lk(lock_);
        timeouts_ = timeouts;
        return true;
    }

    bool SetMask(std::uint32_t mask) override {
        mask_.store(mask);
        return true;
    }

    TWaitResult WaitEvent(std::uint32_t& events) override {
        if (IsStopped())
            return TWaitResult::Stopped;
        if (stage_.load() != PortStage::Ready && !Establish())
            return IsStopped() ? TWaitResult::Stopped : Failed();
        for (;;) {
            if (endError_ != 0) {
                PortSetLastError(endError_);
                return Failed();
            }
            {
                std::lock_guard<std::mutex> lk(lock_);
                if (negotiation_.Result() == ComPortNegotiation::Outcome::Refused) {
                    PortSetLastError(PORT_ERROR_NOT_ACCEPTED);
                    return Failed();
                }
                const std::uint32_t got = pending_ & mask_.load();
                pending_ = 0;
                if (got != 0) {
                    events = got;
                    return TWaitResult::Event;
                }
            }
            switch (socket_->AwaitReadable(-1)) {
            case SocketWait::Stopped:
                return TWaitResult::Stopped;
            case SocketWait::Ready:
                if (!Pull(true))
                    return Failed();
                break;
            default:
                return Failed();
            }
        }
    }

    void Stop() override {
        std::lock_guard<std::mutex> lk(lock_);
        stopped_ = true;
        if (job_) {
            std::lock_guard<std::mutex> jl(job_->lock);
            job_->abandoned = true;
            job_->changed.notify_all();
        }
        if (socket_)
            socket_->Stop();
    }

    bool ClearError(std::uint32_t& errors, TCommStat& stat) override {
        std::lock_guard<std::mutex> lk(lock_);
        errors = errors_;
        errors_ = 0;
        stat.cbInQue = static_cast<std::uint32_t>(rx_.Size());
        stat.cbOutQue = 0;
        return true;
    }

    std::int32_t InQueue() override {
        // Takes what the socket holds, so that a wait for the rest of a frame sees it come.
        if (stage_.load() == PortStage::Ready && endError_ == 0) {
            const std::int32_t saved = PortGetLastError();
            if (!Pull(false))
                endError_ = PortGetLastError();
            PortSetLastError(saved);
        }
        std::lock_guard<std::mutex> lk(lock_);
        return static_cast<std::int32_t>(rx_.Size());
    }

    bool Purge(std::uint32_t flags) override {
        if (flags & COMM_PURGE_RXCLEAR) {
            std::lock_guard<std::mutex> lk(lock_);
            rx_.Clear();
        }
        return true;
    }

    std::int32_t Read(void* buffer, std::int32_t count) override {
        if (count < 0) {
            PortSetLastError(SocketErrorCode(SocketError::Invalid));
            return -1;
        }
        std::lock_guard<std::mutex> lk(lock_);
        return static_cast<std::int32_t>(
            rx_.Take(static_cast<std::uint8_t*>(buffer), static_cast<std::size_t>(count)));
    }

    std::int32_t Write(const void* buffer, std::int32_t count) override {
        if (count < 0) {
            PortSetLastError(SocketErrorCode(SocketError::Invalid));
            return -1;
        }
        if (stage_.load() != PortStage::Ready) {
            PortSetLastError(SocketErrorCode(SocketError::NotConnected));
            return -1;
        }
        int limit = -1;
        {
            std::lock_guard<std::mutex> lk(lock_);
            const std::uint64_t ms =
                std::uint64_t(timeouts_.WriteTotalTimeoutMultiplier) * std::uint64_t(count) +
                timeouts_.WriteTotalTimeoutConstant;
            if (ms != 0)
                limit = static_cast<int>(std::min<std::uint64_t>(ms, 0x7FFFFFFF));
        }
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        std::lock_guard<std::mutex> sl(sendLock_);
        if (address_.protocol == NetworkProtocol::Raw)
            return socket_->Send(in, count, limit) ? count : -1;
        // Escaped piece by piece: no frame of the bus needs more than one piece.
        std::uint8_t escaped[2 * 512];
        for (std::int32_t done = 0; done < count;) {
            const std::int32_t piece = std::min<std::int32_t>(512, count - done);
            const std::size_t n = EscapeIac(in + done, static_cast<std::size_t>(piece), escaped);
            if (!socket_->Send(escaped, static_cast<int>(n), limit))
                return -1;
            done += piece;
        }
        return count;
    }

private:
    bool IsStopped() {
        std::lock_guard<std::mutex> lk(lock_);
        return stopped_;
    }

    TWaitResult Failed() {
        stage_.store(PortStage::Failed);
        return TWaitResult::Failed;
    }

    void Trace(const std::string& text) { TracePortStep(name_ + ": " + text); }

    std::int64_t LeftMs() const {
        return std::max<std::int64_t>(
            0, std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()).count());
    }

    // Monitor thread: resolve, connect and set the line. False with the error code set, or
    // when stopped.
    bool Establish() {
        deadline_ = Clock::now() + std::chrono::milliseconds(timeoutMs_);
        std::vector<SocketAddress> addresses;
        stage_.store(PortStage::Resolving);
        if (!Resolve(addresses))
            return false;
        stage_.store(PortStage::Connecting);
        if (!Connect(addresses))
            return false;
        if (address_.protocol == NetworkProtocol::Raw) {
            Trace("raw TCP: the line is the server's");
            stage_.store(PortStage::Ready);
            return true;
        }
        stage_.store(PortStage::Negotiating);
        return Negotiate();
    }

    bool Resolve(std::vector<SocketAddress>& addresses) {
        Trace("resolving " + address_.host);
        if (ResolveAddresses(address_.host, address_.port, true, addresses))
            return true; // written as numbers: nothing to ask
        auto job = std::make_shared<ResolveJob>();
        {
            std::lock_guard<std::mutex> lk(lock_);
            if (stopped_)
                return false;
            job_ = job;
        }
        std::thread([job, host = address_.host, port = address_.port,
                     resolver = nameResolver.load()] {
            std::vector<SocketAddress> found;
            const bool ok =
                resolver ? resolver(host, port, found) : ResolveAddresses(host, port, false, found);
            const std::int32_t error = ok ? 0 : PortGetLastError();
            std::lock_guard<std::mutex> lk(job->lock);
            job->ok = ok;
            job->error = error;
            job->addresses = std::move(found);
            job->done = true;
            job->changed.notify_all();
        }).detach();
        std::unique_lock<std::mutex> lk(job->lock);
        job->changed.wait_until(lk, deadline_, [&] { return job->done || job->abandoned; });
        if (job->abandoned)
            return false;
        if (!job->done) {
            Trace("no answer from the resolver within the bound");
            PortSetLastError(SocketErrorCode(SocketError::TimedOut));
            return false;
        }
        if (!job->ok) {
            Trace("resolving " + address_.host + " failed, error " + std::to_string(job->error));
            PortSetLastError(job->error);
            return false;
        }
        addresses = std::move(job->addresses);
        return true;
    }

    bool Connect(const std::vector<SocketAddress>& addresses) {
        std::int32_t error = SocketErrorCode(SocketError::TimedOut);
        const std::string port = std::to_string(address_.port);
        for (const SocketAddress& a : addresses) {
            if (LeftMs() == 0)
                break;
            Trace("connecting to " + a.text + " port " + port);
            std::unique_ptr<NetworkSocket> s = NetworkSocket::Create(a);
            if (!s) {
                error = PortGetLastError();
                continue;
            }
            NetworkSocket* socket = s.get();
            {
                std::lock_guard<std::mutex> lk(lock_);
                if (stopped_)
                    return false;
                socket_ = std::move(s);
            }
            const SocketWait w = socket->Connect(a, static_cast<int>(LeftMs()));
            if (w == SocketWait::Ready) {
                socket->Tune();
                Trace("connected to " + a.text + " port " + port);
                return true;
            }
            if (w == SocketWait::Stopped)
                return false;
            error = PortGetLastError();
            Trace("connecting to " + a.text + " failed, error " + std::to_string(error));
        }
        PortSetLastError(error);
        return false;
    }

    bool Negotiate() {
        std::string out;
        {
            std::lock_guard<std::mutex> lk(lock_);
            negotiation_.Start(out);
        }
        SendProtocol(out);
        for (;;) {
            ComPortNegotiation::Outcome outcome;
            std::string why;
            {
                std::lock_guard<std::mutex> lk(lock_);
                outcome = negotiation_.Result();
                why = negotiation_.Why();
            }
            if (outcome == ComPortNegotiation::Outcome::Accepted) {
                stage_.store(PortStage::Ready);
                return true;
            }
            if (outcome == ComPortNegotiation::Outcome::Refused) {
                PortSetLastError(PORT_ERROR_NOT_ACCEPTED);
                return false;
            }
            if (LeftMs() == 0) {
                Trace("not accepted within " + std::to_string(timeoutMs_) + " ms: " + why);
                PortSetLastError(PORT_ERROR_NOT_ACCEPTED);
                return false;
            }
            switch (socket_->AwaitReadable(static_cast<int>(LeftMs()))) {
            case SocketWait::Ready:
                if (!Pull(false))
                    return false;
                break;
            case SocketWait::TimedOut:
                break;
            default:
                return false;
            }
        }
    }

    // Monitor thread: takes what has arrived without waiting. `report`: new data is an
    // arrival to report (not so while a delivery is being gathered). False with the error
    // code set when the connection has ended.
    bool Pull(bool report) {
        std::uint8_t raw[READ_CHUNK];
        std::uint8_t data[READ_CHUNK];
        for (;;) {
            bool wouldBlock = false;
            const int n = socket_->Receive(raw, READ_CHUNK, wouldBlock);
            if (n == 0) {
                Trace("the server closed the connection");
                PortSetLastError(PORT_ERROR_CLOSED);
                return false;
            }
            if (n < 0) {
                if (wouldBlock)
                    return true;
                Trace("the connection failed, error " + std::to_string(PortGetLastError()));
                return false;
            }
            const std::uint8_t* got = raw;
            std::size_t count = static_cast<std::size_t>(n);
            if (address_.protocol == NetworkProtocol::Rfc2217) {
                count = parser_.Feed(raw, count, data, notices_);
                got = data;
            }
            std::string answer;
            {
                std::lock_guard<std::mutex> lk(lock_);
                for (const TelnetNotice& notice : notices_)
                    negotiation_.Take(notice, answer);
                notices_.clear();
                pending_ |= negotiation_.TakeEvents();
                errors_ |= negotiation_.TakeErrors();
                // Bytes before the line is set may be at another baud rate; the piece in which
                // it was set counts, since the server may send the bus right behind its answer.
                const bool ready = stage_.load() == PortStage::Ready;
                if (count > 0 &&
                    (ready || negotiation_.Result() == ComPortNegotiation::Outcome::Accepted)) {
                    if (!rx_.Push(got, count)) {
                        errors_ |= COMM_CE_RXOVER;
                        pending_ |= COMM_EV_ERR;
                    }
                    if (report || !ready)
                        pending_ |= COMM_EV_RXCHAR;
                }
            }
            SendProtocol(answer);
        }
    }

    // Telnet commands of either thread; a failure shows on the reading side.
    void SendProtocol(const std::string& bytes) {
        if (bytes.empty())
            return;
        const std::int32_t saved = PortGetLastError();
        std::lock_guard<std::mutex> sl(sendLock_);
        socket_->Send(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                      static_cast<int>(bytes.size()), timeoutMs_);
        PortSetLastError(saved);
    }

    const NetworkAddress address_;
    const std::string name_;
    const int timeoutMs_;
    std::atomic<PortStage> stage_{PortStage::Resolving};
    std::atomic<std::uint32_t> mask_{0};
    Clock::time_point deadline_;            // monitor thread
    TelnetParser parser_;                   // monitor thread
    std::vector<TelnetNotice> notices_;     // monitor thread
    std::int32_t endError_ = 0;             // monitor thread
    std::unique_ptr<NetworkSocket> socket_; // set under lock_ while connecting; fixed after
    std::mutex sendLock_;                   // one sender at a time
    std::mutex lock_;                       // guards what follows
    bool stopped_ = false;
    std::shared_ptr<ResolveJob> job_;
    TLineState line_;
    TCommTimeouts timeouts_;
    ComPortNegotiation negotiation_;
    RxQueue rx_;
    std::uint32_t pending_ = 0;
    std::uint32_t errors_ = 0;
};

} // namespace

void SetNameResolver(NameResolver resolver) {
    nameResolver.store(resolver);
}

std::unique_ptr<TPortDevice> OpenNetworkPort(const std::string& name, int timeoutMs) {
    std::optional<NetworkAddress> address = ParseNetworkPortName(name);
    if (!address) {
        PortSetLastError(PORT_ERROR_BAD_ADDRESS);
        return nullptr;
    }
    return std::make_unique<NetworkPort>(std::move(*address), name, timeoutMs);
}

} // namespace orvik
