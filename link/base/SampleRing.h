// A ring of fixed capacity whose storage comes in blocks, each allocated the first time the
// ring reaches it: a short run holds little, a full ring allocates nothing more. Entries are
// numbered 0 (the oldest) to Size() - 1.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace orvik {

template <typename T, std::size_t BLOCK = 1024> class SampleRing {
public:
    static constexpr std::size_t BLOCK_SIZE = BLOCK;

    // Room for at least `capacity` entries, rounded up to whole blocks.
    explicit SampleRing(std::size_t capacity)
        : capacity_((capacity + BLOCK - 1) / BLOCK * BLOCK), blocks_(capacity_ / BLOCK) {}

    std::size_t Size() const noexcept { return size_; }
    bool Empty() const noexcept { return size_ == 0; }
    bool Full() const noexcept { return size_ == capacity_; }
    std::size_t Capacity() const noexcept { return capacity_; }

    const T& operator[](std::size_t i) const noexcept { return Slot(head_ + i); }
    T& operator[](std::size_t i) noexcept { return Slot(head_ + i); }
    const T& Front() const noexcept { return Slot(head_); }
    const T& Back() const noexcept { return Slot(head_ + size_ - 1); }
    T& Back() noexcept { return Slot(head_ + size_ - 1); }

    // A new newest entry; the caller makes room first (PopFront) when the ring is full.
    T& PushBack() {
        std::size_t at = head_ + size_;
        if (at >= capacity_)
            at -= capacity_;
        auto& block = blocks_[at / BLOCK];
        if (!block)
            block = std::make_unique_for_overwrite<T[]>(BLOCK);
        ++size_;
        return block[at % BLOCK];
    }
    void PopFront() noexcept {
        head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
        --size_;
    }
    void Clear() noexcept { head_ = size_ = 0; }

    // The first entry for which less(entry) is false, when less holds for a leading run.
    template <typename Less> std::size_t LowerBound(Less&& less) const {
        std::size_t lo = 0, hi = size_;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (less((*this)[mid]))
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    // Bytes of the blocks allocated so far, and at the most.
    std::size_t AllocatedBytes() const noexcept {
        std::size_t n = blocks_.size() * sizeof(blocks_[0]);
        for (const auto& b : blocks_)
            n += b ? BLOCK * sizeof(T) : 0;
        return n;
    }
    static constexpr std::size_t BytesFor(std::size_t capacity) {
        const std::size_t blocks = (capacity + BLOCK - 1) / BLOCK;
        return blocks * (BLOCK * sizeof(T) + sizeof(std::unique_ptr<T[]>));
    }

private:
    T& Slot(std::size_t at) const noexcept {
        if (at >= capacity_)
            at -= capacity_;
        return blocks_[at / BLOCK][at % BLOCK];
    }

    std::size_t capacity_;
    std::vector<std::unique_ptr<T[]>> blocks_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

} // namespace orvik
