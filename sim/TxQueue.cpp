#include "sim/TxQueue.h"

namespace orvik::sim {

bool TxQueue::Push(const std::uint8_t* frame, std::size_t length, const Faults& faults,
                   std::mt19937& rng, std::size_t limit) {
    if (pending_ > limit || length == 0)
        return false;
    std::vector<std::uint8_t> bytes(frame, frame + length);
    if (faults.corruptPercent > 0) {
        std::uniform_int_distribution<unsigned> percent(0, 99);
        if (percent(rng) < faults.corruptPercent) {
            std::uniform_int_distribution<std::size_t> at(0, length - 1);
            std::uniform_int_distribution<int> flip(1, 255);
            bytes[at(rng)] ^= static_cast<std::uint8_t>(flip(rng));
            ++corrupted_;
        }
    }
    if (faults.noiseMax > 0) {
        std::uniform_int_distribution<unsigned> count(0, faults.noiseMax);
        std::uniform_int_distribution<int> value(0, 255);
        for (unsigned n = count(rng); n > 0; --n)
            bytes.push_back(static_cast<std::uint8_t>(value(rng)));
    }
    std::size_t cuts = 1;
    if (faults.pieces) {
        std::uniform_int_distribution<std::size_t> pieces(1, 5);
        cuts = std::min(pieces(rng), bytes.size());
    }
    // Cut into `cuts` pieces of random sizes, each at least one byte.
    std::size_t start = 0;
    for (std::size_t i = 0; i < cuts; ++i) {
        std::size_t end = bytes.size();
        if (i + 1 < cuts) {
            const std::size_t left = cuts - i - 1; // pieces still to come after this one
            std::uniform_int_distribution<std::size_t> cut(start + 1, bytes.size() - left);
            end = cut(rng);
        }
        Segment s;
        s.bytes.assign(bytes.begin() + static_cast<long>(start),
                       bytes.begin() + static_cast<long>(end));
        if (i + 1 < cuts) {
            std::uniform_int_distribution<std::uint32_t> gap(1, 20);
            s.gapAfterMs = gap(rng);
        }
        pending_ += s.bytes.size();
        segments_.push_back(std::move(s));
        start = end;
    }
    return true;
}

long TxQueue::Consume(std::size_t n) {
    Segment& s = segments_.front();
    s.done += n;
    pending_ -= n;
    if (s.done < s.bytes.size())
        return -1;
    const long gap = s.gapAfterMs;
    segments_.pop_front();
    return gap;
}

void TxQueue::Clear() {
    segments_.clear();
    pending_ = 0;
}

} // namespace orvik::sim
