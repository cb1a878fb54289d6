// The events of a run, oldest first, numbered from 0 as they come. Kept whole for the history's
// span (24 hours) as long as they fit its capacity, which only a bus gone wild reaches; then
// the oldest go first. Adding allocates only while the ring grows to its capacity.
#pragma once

#include "link/base/SampleRing.h"
#include "link/history/BusEvent.h"

#include <cstdint>

namespace orvik {

class BusEventLog {
public:
    explicit BusEventLog(std::size_t capacity) : ring_(capacity) {}

    void Add(const BusEvent& event) {
        if (ring_.Full())
            ring_.PopFront();
        ring_.PushBack() = event;
        ++nextSeq_;
    }
    // Forgets the events before `timeMs`.
    void DropBefore(std::int64_t timeMs) noexcept {
        while (!ring_.Empty() && ring_.Front().timeMs < timeMs)
            ring_.PopFront();
    }
    // Moves every event kept by `deltaMs`: onto a clock that jumped.
    void ShiftTimes(std::int64_t deltaMs) noexcept {
        for (std::size_t i = 0; i < ring_.Size(); ++i)
            ring_[i].timeMs += deltaMs;
    }
    void Clear() noexcept {
        ring_.Clear();
        nextSeq_ = 0;
    }

    std::size_t Size() const noexcept { return ring_.Size(); }
    // Events kept are FirstSeq() .. NextSeq() - 1.
    std::uint64_t FirstSeq() const noexcept { return nextSeq_ - ring_.Size(); }
    std::uint64_t NextSeq() const noexcept { return nextSeq_; }
    // The event of that number, or nullptr when it is gone or yet to come.
    const BusEvent* Find(std::uint64_t seq) const noexcept {
        if (seq < FirstSeq() || seq >= nextSeq_)
            return nullptr;
        return &ring_[static_cast<std::size_t>(seq - FirstSeq())];
    }
    // The number of the first event at or after `timeMs` (NextSeq() when there is none).
    std::uint64_t SeqAt(std::int64_t timeMs) const {
        return FirstSeq() + ring_.LowerBound([&](const BusEvent& e) { return e.timeMs < timeMs; });
    }

    std::size_t AllocatedBytes() const noexcept { return ring_.AllocatedBytes(); }
    static constexpr std::size_t BytesFor(std::size_t capacity) {
        return SampleRing<BusEvent>::BytesFor(capacity);
    }

private:
    SampleRing<BusEvent> ring_;
    std::uint64_t nextSeq_ = 0;
};

} // namespace orvik
