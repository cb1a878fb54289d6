// Bytes waiting to go out on the line, in segments with a pause after each, and the faults
// that can be worked into a frame on its way there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <random>
#include <vector>

namespace orvik::sim {

struct Faults {
    unsigned noiseMax = 0;       // up to this many random bytes after each frame
    unsigned corruptPercent = 0; // share of frames with one byte changed
    bool pieces = false;         // frames in 1..5 random pieces with 1..20 ms gaps
};

struct Segment {
    std::vector<std::uint8_t> bytes;
    std::size_t done = 0;         // bytes already written
    std::uint32_t gapAfterMs = 0; // line stays quiet this long after the segment
};

class TxQueue {
public:
    // Queues one whole frame with the faults applied. Returns false (and queues nothing)
    // when more than `limit` bytes are already waiting.
    bool Push(const std::uint8_t* frame, std::size_t length, const Faults& faults,
              std::mt19937& rng, std::size_t limit);

    bool Empty() const { return segments_.empty(); }
    std::size_t PendingBytes() const { return pending_; }
    Segment& Front() { return segments_.front(); }
    // Marks `n` bytes of the front segment written; returns its gap when it is finished
    // (the segment is then gone), else -1.
    long Consume(std::size_t n);
    void Clear();

    // How many frames had a byte changed so far.
    unsigned long Corrupted() const { return corrupted_; }

private:
    std::deque<Segment> segments_;
    std::size_t pending_ = 0;
    unsigned long corrupted_ = 0;
};

} // namespace orvik::sim
