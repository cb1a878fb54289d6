// A full bus for the history's benchmarks: eight nodes, 210-byte status frames back to back at
// 57600 baud, currents that wander, nothing switching.
#pragma once

#include "link/capture/Pcapng.h"
#include "link/state/LinkState.h"

#include <cstdint>
#include <vector>

namespace orvik::fullbus {

constexpr double FRAME_MS = 1000.0 * STATUS_FRAME_SIZE * 10 / 57600; // 36.46 ms
constexpr std::int64_t T0 = 1'740'000'000'000;

// Frame i of a full bus: currents that wander, nothing switching.
inline void Fill(StatusRecord& r, std::uint64_t i) {
    r.SetNodePresent(0xFF);
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        r.SetBreakerOn(n, 0x7F);
        r.SetPowerOnMask(n, 0x07);
        r.SetInputVoltage(n, static_cast<std::uint16_t>(130 + (i + n) % 9));
        for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
            r.SetCurrent(n, b, static_cast<std::uint16_t>(20 + (i * 7 + n * 3 + b) % 50));
    }
}

inline std::int64_t TimeOf(std::uint64_t i) {
    return T0 + static_cast<std::int64_t>(static_cast<double>(i) * FRAME_MS);
}

// Frame i as a recording holds it: one packet from the bus, stamped at its time.
inline void AppendRecorded(std::vector<std::uint8_t>& capture, StatusRecord& record,
                           std::uint64_t i) {
    Fill(record, i);
    std::uint8_t frame[MAX_FRAME_SIZE];
    const std::size_t n = EncodeFrame(FRAME_STATUS, record.bytes.data(), STATUS_RECORD_SIZE, frame);
    PcapngWriter::AppendPacket(capture, static_cast<std::uint64_t>(TimeOf(i)) * 1'000'000, 1, frame,
                               n, "accepted");
}

} // namespace orvik::fullbus
