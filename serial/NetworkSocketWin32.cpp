// Winsock under a network port: the socket's events and a stop event in one wait.
#include "serial/NetworkSocket.h"
#include "serial/PortBackend.h"

// Winsock first; the helpers need its types.
#include <winsock2.h>

#include <ws2tcpip.h>

#include <mstcpip.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <utility>

#ifndef TCP_MAXRT
#define TCP_MAXRT 5
#endif

namespace orvik {

namespace {

using Clock = std::chrono::steady_clock;

// Keep-alive: the first probe after 4 s of quiet, then every 0.6 s; Windows gives up after 10
// probes, so a dead peer is found after about 10 s. Unacknowledged data: 10 s as well.
constexpr ULONG KEEPALIVE_IDLE_MS = 4000;
constexpr ULONG KEEPALIVE_INTERVAL_MS = 600;
constexpr DWORD MAX_RETRANSMIT_S = 10;

bool StartWinsock() {
    static int result = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (result != 0)
        WSASetLastError(result);
    return result == 0;
}

DWORD LeftMs(Clock::time_point deadline, int timeoutMs) {
    if (timeoutMs < 0)
        return INFINITE;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

class WinsockSocket final : public NetworkSocket {
public:
    WinsockSocket(SOCKET s, HANDLE stop, WSAEVENT events) : s_(s), stop_(stop), events_(events) {}
    WinsockSocket(const WinsockSocket&) = delete;
    WinsockSocket& operator=(const WinsockSocket&) = delete;
    ~WinsockSocket() override {
        const DWORD saved = GetLastError();
        closesocket(s_);
        WSACloseEvent(events_);
        CloseHandle(stop_);
        SetLastError(saved);
    }

    SocketWait Connect(const SocketAddress& address, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        if (connect(s_, reinterpret_cast<const sockaddr*>(address.bytes), address.length) == 0)
            return SocketWait::Ready;
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return SocketWait::Failed;
        for (;;) {
            WSANETWORKEVENTS happened{};
            const SocketWait w = Await(deadline, timeoutMs, happened);
            if (w != SocketWait::Ready)
                return w;
            if (happened.lNetworkEvents & FD_CONNECT) {
                const int error = happened.iErrorCode[FD_CONNECT_BIT];
                // The server may have written (or closed) already: that event is taken with
                // the connect's and is not recorded again until a read.
                readable_ = (happened.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0;
                if (error == 0)
                    return SocketWait::Ready;
                WSASetLastError(error);
                return SocketWait::Failed;
            }
        }
    }

    void Tune() override {
        const DWORD saved = GetLastError();
        const BOOL one = TRUE;
        setsockopt(s_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        tcp_keepalive alive{1, KEEPALIVE_IDLE_MS, KEEPALIVE_INTERVAL_MS};
        DWORD returned = 0;
        WSAIoctl(s_, SIO_KEEPALIVE_VALS, &alive, sizeof alive, nullptr, 0, &returned, nullptr,
                 nullptr);
        setsockopt(s_, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&MAX_RETRANSMIT_S),
                   sizeof MAX_RETRANSMIT_S);
        SetLastError(saved);
    }

    SocketWait AwaitReadable(int timeoutMs) override {
        if (std::exchange(readable_, false))
            return SocketWait::Ready;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            WSANETWORKEVENTS happened{};
            const SocketWait w = Await(deadline, timeoutMs, happened);
            if (w != SocketWait::Ready)
                return w;
            if (happened.lNetworkEvents & (FD_READ | FD_CLOSE))
                return SocketWait::Ready; // the read that follows tells which
        }
    }

    int Receive(std::uint8_t* buffer, int count, bool& wouldBlock) override {
        const int n = recv(s_, reinterpret_cast<char*>(buffer), count, 0);
        wouldBlock = n < 0 && WSAGetLastError() == WSAEWOULDBLOCK;
        return n < 0 ? -1 : n;
    }

    bool Send(const std::uint8_t* bytes, int count, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int sent = 0;
        while (sent < count) {
            const int n = send(s_, reinterpret_cast<const char*>(bytes) + sent, count - sent, 0);
            if (n > 0) {
                sent += n;
                continue;
            }
            if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)
                return false;
            const DWORD left = LeftMs(deadline, timeoutMs);
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(s_, &writable);
            timeval tv{static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
            if (left == 0 ||
                select(0, nullptr, &writable, nullptr, left == INFINITE ? nullptr : &tv) == 0) {
                WSASetLastError(WSAETIMEDOUT);
                return false;
            }
        }
        return true;
    }

    void Stop() override {
        stopped_.store(true);
        const DWORD saved = GetLastError();
        SetEvent(stop_);
        SetLastError(saved);
    }

private:
    // Waits for the stop event or a network event; Ready with the events that happened.
    SocketWait Await(Clock::time_point deadline, int timeoutMs, WSANETWORKEVENTS& happened) {
        const HANDLE handles[2] = {stop_, events_};
        const DWORD r = WaitForMultipleObjects(2, handles, FALSE, LeftMs(deadline, timeoutMs));
        if (r == WAIT_OBJECT_0)
            return SocketWait::Stopped;
        if (r == WAIT_TIMEOUT) {
            WSASetLastError(WSAETIMEDOUT);
            return SocketWait::TimedOut;
        }
        if (r != WAIT_OBJECT_0 + 1)
            return SocketWait::Failed;
        if (WSAEnumNetworkEvents(s_, events_, &happened) != 0)
            return SocketWait::Failed;
        return SocketWait::Ready;
    }

    SOCKET s_;
    HANDLE stop_;
    WSAEVENT events_;
    std::atomic<bool> stopped_{false};
    bool readable_ = false; // an arrival taken with the connect's event, not yet read
};

} // namespace

std::int32_t SocketErrorCode(SocketError error) {
    switch (error) {
    case SocketError::TimedOut:
        return WSAETIMEDOUT;
    case SocketError::NotConnected:
        return WSAENOTCONN;
    case SocketError::Invalid:
        break;
    }
    return ERROR_INVALID_PARAMETER;
}

bool ResolveAddresses(const std::string& host, std::uint16_t port, bool numericOnly,
                      std::vector<SocketAddress>& out) {
    if (!StartWinsock())
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const int r = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (r != 0) {
        WSASetLastError(r == WSAHOST_NOT_FOUND || r == WSANO_DATA || r == WSATRY_AGAIN ||
                                r == WSAEINVAL
                            ? PORT_ERROR_NAME_NOT_FOUND
                            : r);
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
        getnameinfo(a->ai_addr, static_cast<socklen_t>(a->ai_addrlen), text, sizeof text, nullptr,
                    0, NI_NUMERICHOST);
        address.text = text;
        out.push_back(std::move(address));
    }
    freeaddrinfo(found);
    if (out.empty())
        WSASetLastError(PORT_ERROR_NAME_NOT_FOUND);
    return !out.empty();
}

std::unique_ptr<NetworkSocket> NetworkSocket::Create(const SocketAddress& address) {
    if (!StartWinsock())
        return nullptr;
    const auto* sa = reinterpret_cast<const sockaddr*>(address.bytes);
    const SOCKET s = socket(sa->sa_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return nullptr;
    const HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const WSAEVENT events = WSACreateEvent();
    // WSAEventSelect makes the socket non-blocking.
    if (stop == nullptr || events == WSA_INVALID_EVENT ||
        WSAEventSelect(s, events, FD_CONNECT | FD_READ | FD_CLOSE) != 0) {
        const DWORD error = GetLastError();
        if (stop != nullptr)
            CloseHandle(stop);
        if (events != WSA_INVALID_EVENT)
            WSACloseEvent(events);
        closesocket(s);
        SetLastError(error);
        return nullptr;
    }
    return std::make_unique<WinsockSocket>(s, stop, events);
}

} // namespace orvik
