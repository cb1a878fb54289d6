// Port names that reach a line over the network: "rfc2217://HOST:PORT" (telnet with the COM
// port control option; the client sets the line) and "socket://HOST:PORT" (raw TCP; the line
// is the server's). HOST is a name, an IPv4 address or a bracketed IPv6 address.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvik {

enum class NetworkProtocol { Rfc2217, Raw };

struct NetworkAddress {
    NetworkProtocol protocol = NetworkProtocol::Rfc2217;
    std::string host; // without the brackets of an IPv6 address
    std::uint16_t port = 0;
};

// Whether `name` is meant as a network port: it starts with "rfc2217://" or "socket://" (the
// scheme in any letter case), well formed or not.
bool IsNetworkPortName(const std::string& name);

// The parts of a well-formed network port name; nullopt for anything else.
std::optional<NetworkAddress> ParseNetworkPortName(const std::string& name);

} // namespace orvik
