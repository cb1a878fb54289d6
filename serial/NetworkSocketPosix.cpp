// BSD sockets under a network port, with an eventfd to stop the wait.
#include "serial/NetworkSocket.h"
#include "serial/PortBackend.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvik {

namespace {

using Clock = std::chrono::steady_clock;

// Keep-alive: the first probe after 4 s of quiet, then one a second, given up after 6; data
// that is not acknowledged within 10 s ends the connection as well.
constexpr int KEEPALIVE_IDLE_S = 4;
constexpr int KEEPALIVE_INTERVAL_S = 1;
constexpr int KEEPALIVE_COUNT = 6;
constexpr unsigned USER_TIMEOUT_MS = 10000;

class PosixSocket final : public NetworkSocket {
public:
    PosixSocket(int fd, int wake) : fd_(fd), wake_(wake) {}
    PosixSocket(const PosixSocket&) = delete;
    PosixSocket& operator=(const PosixSocket&) = delete;
    ~PosixSocket() override {
        const int saved = errno;
        if (fd_ >= 0)
            ::close(fd_);
        ::close(wake_);
        errno = saved;
    }

    SocketWait Connect(const SocketAddress& address, int timeoutMs) override {
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(address.bytes),
                      static_cast<socklen_t>(address.length)) == 0)
            return SocketWait::Ready;
        if (errno != EINPROGRESS)
            return SocketWait::Failed;
        const SocketWait w = Await(POLLOUT, timeoutMs);
        if (w != SocketWait::Ready)
            return w;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return SocketWait::Failed;
        if (error != 0) {
            errno = error;
            return SocketWait::Failed;
        }
        return SocketWait::Ready;
    }

    void Tune() override {
        const int saved = errno;
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
        ::setsockopt(fd_, IPPROTO_TCP, TCP_KEEPIDLE, &KEEPALIVE_IDLE_S, sizeof(int));
        ::setsockopt(fd_, IPPROTO_TCP, TCP_KEEPINTVL, &KEEPALIVE_INTERVAL_S, sizeof(int));
        ::setsockopt(fd_, IPPROTO_TCP, TCP_KEEPCNT, &KEEPALIVE_COUNT, sizeof(int));
        ::setsockopt(fd_, IPPROTO_TCP, TCP_USER_TIMEOUT, &USER_TIMEOUT_MS, sizeof USER_TIMEOUT_MS);
        errno = saved;
    }

    SocketWait AwaitReadable(int timeoutMs) override { return Await(POLLIN, timeoutMs); }

    int Receive(std::uint8_t* buffer, int count, bool& wouldBlock) override {
        wouldBlock = false;
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, static_cast<std::size_t>(count), 0);
            if (n >= 0)
                return static_cast<int>(n);
            if (errno == EINTR)
                continue;
            wouldBlock = errno == EAGAIN || errno == EWOULDBLOCK;
            return -1;
        }
    }

    bool Send(const std::uint8_t* bytes, int count, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int sent = 0;
        while (sent < count) {
            const ssize_t n =
                ::send(fd_, bytes + sent, static_cast<std::size_t>(count - sent), MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            long long left = -1;
            if (timeoutMs >= 0)
                left = std::max<long long>(
                    0,
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
            pollfd p{fd_, POLLOUT, 0};
            if (left == 0 || ::poll(&p, 1, static_cast<int>(left)) == 0) {
                errno = ETIMEDOUT;
                return false;
            }
        }
        return true;
    }

    void Stop() override {
        stopped_.store(true);
        const int saved = errno;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
        errno = saved;
    }

private:
    SocketWait Await(short events, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            pollfd p[2] = {{wake_, POLLIN, 0}, {fd_, events, 0}};
            int wait = -1;
            if (timeoutMs >= 0) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                wait = left > 0 ? static_cast<int>(left) : 0;
            }
            const int r = ::poll(p, 2, wait);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return SocketWait::Failed;
            if (p[0].revents)
                return SocketWait::Stopped;
            if (r == 0) {
                errno = ETIMEDOUT;
                return SocketWait::TimedOut;
            }
            if ((p[1].revents & (POLLERR | POLLNVAL)) && events == POLLIN) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
                errno = error != 0 ? error : EIO;
                return SocketWait::Failed;
            }
            return SocketWait::Ready; // also a hang-up: the read that follows tells
        }
    }

    int fd_;
    int wake_;
    std::atomic<bool> stopped_{false};
};

} // namespace

std::int32_t SocketErrorCode(SocketError error) {
    switch (error) {
    case SocketError::TimedOut:
        return ETIMEDOUT;
    case SocketError::NotConnected:
        return ENOTCONN;
    case SocketError::Invalid:
        break;
    }
    return EINVAL;
}

bool ResolveAddresses(const std::string& host, std::uint16_t port, bool numericOnly,
                      std::vector<SocketAddress>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const int r = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (r != 0) {
        errno = r == EAI_SYSTEM ? errno : PORT_ERROR_NAME_NOT_FOUND;
        return false;
    }
    out.clear();
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(SocketAddress::bytes))
            continue;
        SocketAddress address;
        std::memcpy(address.bytes, a->ai_addr, a->ai_addrlen);
        address.length = static_cast<int>(a->ai_addrlen);
        char text[NI_MAXHOST] = "";
        ::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST);
        address.text = text;
        out.push_back(std::move(address));
    }
    ::freeaddrinfo(found);
    if (out.empty())
        errno = PORT_ERROR_NAME_NOT_FOUND;
    return !out.empty();
}

std::unique_ptr<NetworkSocket> NetworkSocket::Create(const SocketAddress& address) {
    const auto* sa = reinterpret_cast<const sockaddr*>(address.bytes);
    const int fd = ::socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return nullptr;
    }
    return std::make_unique<PosixSocket>(fd, wake);
}

} // namespace orvik
