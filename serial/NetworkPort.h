// The network backend of the port layer: "rfc2217://HOST:PORT" and "socket://HOST:PORT" as a
// TPortDevice, on BSD sockets or Winsock. Opening one only parses the name; the monitor
// thread's first wait resolves the host, connects and, for RFC 2217, negotiates the line, all
// within one bound, and a failure ends that wait with the reason's error code. Received bytes
// wait in a queue of their own, so RXCHAR and the input count behave as on a local port.
#pragma once

#include "serial/PortBackend.h"

#include <memory>
#include <string>

namespace orvik {

inline constexpr int NETWORK_OPEN_TIMEOUT_MS = 5000;

// nullptr with PORT_ERROR_BAD_ADDRESS when `name` is not a well-formed network port name.
std::unique_ptr<TPortDevice> OpenNetworkPort(const std::string& name,
                                             int timeoutMs = NETWORK_OPEN_TIMEOUT_MS);

} // namespace orvik
