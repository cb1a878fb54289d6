// The far end of the serial line a test drives: bytes written here arrive at the port the
// component opens, and bytes the component writes are read here.
//   POSIX: a pseudo-terminal made by the test; the component opens its terminal side.
//   Windows: a pair of ports joined by a null-modem link, named by ORVIK_TEST_PORT (the
//   component's) and ORVIK_TEST_FAR_PORT (this end); under Wine the test driver maps both to
//   a pair of pseudo-terminals joined by socat.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvik::test {

class FarEnd {
public:
    virtual ~FarEnd() = default;
    // The DeviceName the component opens.
    virtual std::string PortName() const = 0;
    // Writes all bytes within `limit`; returns how many went.
    virtual std::size_t Send(const std::vector<std::uint8_t>& bytes,
                             std::chrono::milliseconds limit = std::chrono::seconds(5)) = 0;
    // Reads until `count` bytes came or `limit` passed.
    virtual std::vector<std::uint8_t>
    Receive(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) = 0;
};

// The far end, or nullptr with `why` set when this machine has none.
std::unique_ptr<FarEnd> OpenFarEnd(std::string& why);

} // namespace orvik::test
