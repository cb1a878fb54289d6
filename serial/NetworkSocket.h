// The TCP connection beneath a network port, one implementation per platform (BSD sockets in
// NetworkSocketPosix.cpp, Winsock in NetworkSocketWin32.cpp). The socket is non-blocking. The
// monitor thread resolves, connects and waits; the main thread sends; Stop wakes the waiting
// thread from any thread, at once and for good. Failures leave their OS error code for
// PortGetLastError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvik {

// One address of a host, as the system's resolver gave it.
struct SocketAddress {
    std::uint8_t bytes[128] = {};
    int length = 0;
    std::string text; // "127.0.0.1", "::1"
};

// Resolves HOST:PORT to its addresses. `numericOnly`: only an address written as numbers, at
// once; a name then fails with PORT_ERROR_NAME_NOT_FOUND. A name may take as long as the
// system's resolver takes: only ever on a thread that may wait.
bool ResolveAddresses(const std::string& host, std::uint16_t port, bool numericOnly,
                      std::vector<SocketAddress>& out);

// Tests: what the network port calls instead of the system's resolver for a name; nullptr puts
// the system's back.
using NameResolver = bool (*)(const std::string& host, std::uint16_t port,
                              std::vector<SocketAddress>& out);
void SetNameResolver(NameResolver resolver);

enum class SocketWait { Ready, TimedOut, Stopped, Failed };

// The platform's own codes for what the network port reports itself.
enum class SocketError { TimedOut, NotConnected, Invalid };
std::int32_t SocketErrorCode(SocketError error);

class NetworkSocket {
public:
    // A socket for `address`'s family and the wake-up that Stop sets; nullptr on failure.
    static std::unique_ptr<NetworkSocket> Create(const SocketAddress& address);
    virtual ~NetworkSocket() = default;

    // Starts connecting and waits for the result, at most `timeoutMs`.
    virtual SocketWait Connect(const SocketAddress& address, int timeoutMs) = 0;
    // TCP_NODELAY, and keep-alive probes that find a dead peer within about 10 s.
    virtual void Tune() = 0;
    // Until bytes (or the end of the connection) can be read; -1: no limit.
    virtual SocketWait AwaitReadable(int timeoutMs) = 0;
    // What has arrived, without waiting: the count, 0 when the peer closed the connection, -1
    // when nothing is there (`wouldBlock`) or the connection failed.
    virtual int Receive(std::uint8_t* buffer, int count, bool& wouldBlock) = 0;
    // All `count` bytes, waiting at most `timeoutMs` for room (-1: no limit); false on failure
    // or time-out. One caller at a time.
    virtual bool Send(const std::uint8_t* bytes, int count, int timeoutMs) = 0;
    virtual void Stop() = 0;
};

} // namespace orvik
