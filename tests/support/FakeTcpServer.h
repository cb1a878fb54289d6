// A TCP server on 127.0.0.1 for the network port's tests, on BSD sockets or Winsock: it takes
// one client at a time on a thread of its own and runs the test's script with it. Every wait
// is bounded; the destructor closes the sockets and joins the thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace orvik::test {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline void CloseSocket(SocketHandle s) {
    closesocket(s);
}
inline int PollSockets(WSAPOLLFD* p, int n, int ms) {
    return WSAPoll(p, n, ms);
}
using PollFd = WSAPOLLFD;
constexpr SocketHandle NO_SOCKET = INVALID_SOCKET;
#else
using SocketHandle = int;
inline void CloseSocket(SocketHandle s) {
    ::close(s);
}
inline int PollSockets(pollfd* p, int n, int ms) {
    return ::poll(p, static_cast<nfds_t>(n), ms);
}
using PollFd = pollfd;
constexpr SocketHandle NO_SOCKET = -1;
#endif

// One accepted client as the script sees it.
class FakeClient {
public:
    explicit FakeClient(SocketHandle s) : s_(s) {}
    // What arrives within `ms` (all of it, until a quiet 50 ms or the end).
    std::vector<std::uint8_t> Read(int ms) {
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            PollFd p{s_, POLLIN, 0};
            if (PollSockets(&p, 1, got.empty() ? 20 : 50) <= 0) {
                if (!got.empty())
                    break;
                continue;
            }
            char buffer[1024];
            const int n = static_cast<int>(recv(s_, buffer, sizeof buffer, 0));
            if (n <= 0) {
                closed_ = true;
                break;
            }
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    // Whether the client has closed the connection.
    bool Closed() const { return closed_; }
    // Takes and drops what comes until the client closes, at most `ms`.
    void Drain(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!closed_ && std::chrono::steady_clock::now() < end)
            Read(100);
    }
    void Write(const std::vector<std::uint8_t>& bytes) {
        send(s_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
    }

private:
    SocketHandle s_;
    bool closed_ = false;
};

class FakeTcpServer {
public:
    using Script = std::function<void(FakeClient&)>;

    // Listens on an unused port of 127.0.0.1 and serves each client with `script`; the
    // connection ends when the script returns.
    explicit FakeTcpServer(Script script) {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        if (bind(listen_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            listen(listen_, 4) != 0 ||
            getsockname(listen_, reinterpret_cast<sockaddr*>(&at), &length) != 0)
            return;
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this, script = std::move(script)] {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!done_ && std::chrono::steady_clock::now() < end) {
                PollFd p{listen_, POLLIN, 0};
                if (PollSockets(&p, 1, 20) <= 0)
                    continue;
                const SocketHandle client = accept(listen_, nullptr, nullptr);
                if (client == NO_SOCKET)
                    continue;
                FakeClient c(client);
                script(c);
                CloseSocket(client);
                ++served_;
            }
        });
    }
    FakeTcpServer(const FakeTcpServer&) = delete;
    FakeTcpServer& operator=(const FakeTcpServer&) = delete;
    ~FakeTcpServer() {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
        CloseSocket(listen_);
    }

    std::uint16_t Port() const {
        return port_;
    }
    int Served() const {
        return served_;
    }

    // A port of 127.0.0.1 that refuses connections: bound a moment ago, closed again.
    static std::uint16_t RefusingPort() {
        FakeTcpServer gone([](FakeClient&) {});
        return gone.Port();
    }

private:
    SocketHandle listen_ = NO_SOCKET;
    std::uint16_t port_ = 0;
    std::atomic<bool> done_{false};
    std::atomic<int> served_{0};
    std::thread thread_;
};

} // namespace orvik::test
