// A long stream from the simulated bus on a bad line: status frames and setup replies with
// random bytes between them, a share of them with one byte changed.
#pragma once

#include "link/protocol/LinkFrame.h"
#include "sim/LineCommands.h"
#include "sim/SimBus.h"
#include "sim/TxQueue.h"

#include <limits>
#include <random>
#include <vector>

namespace orvik::test {

struct NoisyStream {
    std::vector<std::uint8_t> bytes;
    std::vector<StatusRecord> sentStatus;             // in the order sent
    std::vector<std::vector<std::uint8_t>> sentSetup; // 25 data bytes each
    std::size_t frameBytes = 0;
    unsigned long corrupted = 0;
};

inline NoisyStream MakeNoisyStream(int frames, std::mt19937& rng) {
    sim::SimBus bus(11);
    sim::LoadDefaultModel(bus);
    sim::Faults faults;
    faults.noiseMax = 24;
    faults.corruptPercent = 25;
    faults.pieces = true;
    sim::TxQueue queue;
    NoisyStream out;
    auto send = [&](std::uint8_t type, const std::uint8_t* data, std::size_t length) {
        std::uint8_t frame[MAX_FRAME_SIZE];
        const std::size_t n = EncodeFrame(type, data, length, frame);
        out.frameBytes += n;
        queue.Push(frame, n, faults, rng, std::numeric_limits<std::size_t>::max());
        while (!queue.Empty()) {
            sim::Segment& s = queue.Front();
            out.bytes.insert(out.bytes.end(), s.bytes.begin(), s.bytes.end());
            queue.Consume(s.bytes.size());
        }
    };
    for (int i = 0; i < frames; ++i) {
        bus.Advance(50);
        if (i % 97 == 0) {
            const std::size_t node = rng() % NODE_COUNT;
            bus.SetPresent(node, !bus.Present(node));
        }
        if (i % 13 == 0) {
            const std::uint8_t request[2] = {static_cast<std::uint8_t>(rng() % NODE_COUNT), 0};
            const auto r = bus.Apply(CMD_REQUEST_BREAKER_SETUP, request, sizeof request);
            if (r.reply) {
                out.sentSetup.emplace_back(r.setupReply.begin(), r.setupReply.end());
                send(FRAME_BREAKER_SETUP, r.setupReply.data(), r.setupReply.size());
            }
        }
        out.sentStatus.push_back(bus.BuildStatus());
        send(FRAME_STATUS, out.sentStatus.back().bytes.data(), STATUS_RECORD_SIZE);
    }
    out.corrupted = queue.Corrupted();
    return out;
}

} // namespace orvik::test
