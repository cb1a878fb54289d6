#include "serial/NetworkAddress.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace orvik {

namespace {

constexpr std::string_view RFC2217_SCHEME = "rfc2217://";
constexpr std::string_view RAW_SCHEME = "socket://";

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool HostChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

} // namespace

bool IsNetworkPortName(const std::string& name) {
    return StartsWithNoCase(name, RFC2217_SCHEME) || StartsWithNoCase(name, RAW_SCHEME);
}

std::optional<NetworkAddress> ParseNetworkPortName(const std::string& name) {
    NetworkAddress out;
    std::string_view rest = name;
    if (StartsWithNoCase(rest, RFC2217_SCHEME)) {
        rest.remove_prefix(RFC2217_SCHEME.size());
    } else if (StartsWithNoCase(rest, RAW_SCHEME)) {
        out.protocol = NetworkProtocol::Raw;
        rest.remove_prefix(RAW_SCHEME.size());
    } else {
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1); // "rfc2217://host:3001/" as some tools write it
    std::string_view host;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
        if (host.empty() ||
            host.find_first_not_of("0123456789abcdefABCDEF:.%") != std::string_view::npos)
            return std::nullopt;
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.empty() || !std::all_of(host.begin(), host.end(), HostChar))
            return std::nullopt;
    }
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        }))
        return std::nullopt;
    const unsigned long number = std::stoul(std::string(port));
    if (number == 0 || number > 65535)
        return std::nullopt;
    out.host = std::string(host);
    out.port = static_cast<std::uint16_t>(number);
    return out;
}

} // namespace orvik
