// Helpers of the serial component's tests, on every platform.
#pragma once

#include "serial/CommPort.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvik::test {

// A component whose monitor thread the test can look at.
class ProbeComm : public TComm {
public:
    using TComm::TComm;
    using TCustomComm::GetMonitorThread;
};

// n bytes of every value, in an order that shows a lost, doubled or swapped byte.
inline std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed = 0) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>((i * 7 + seed + i / 251) & 0xFF);
    return v;
}

} // namespace orvik::test
