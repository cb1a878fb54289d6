#include "serial/ArrivalQueue.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace orvik {

std::int64_t SteadyNowNs() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TArrivalQueue::TArrivalQueue()
    : bytes_(std::make_unique<std::uint8_t[]>(BYTE_CAPACITY)),
      pieces_(std::make_unique<Piece[]>(PIECE_CAPACITY)) {}

std::size_t TArrivalQueue::Put(const std::uint8_t* bytes, std::size_t count, std::int64_t stampNs) {
    std::lock_guard<std::mutex> lk(lock_);
    std::size_t keep = std::min(count, BYTE_CAPACITY - byteCount_);
    Piece* last = pieceCount_ ? &pieces_[(pieceHead_ + pieceCount_ - 1) % PIECE_CAPACITY] : nullptr;
    // Bytes read in the same instant join its piece; out of pieces, the newest piece takes them.
    const bool join = last && (last->stampNs == stampNs || pieceCount_ == PIECE_CAPACITY);
    if (keep > 0) {
        std::size_t tail = (byteHead_ + byteCount_) % BYTE_CAPACITY;
        const std::size_t first = std::min(keep, BYTE_CAPACITY - tail);
        std::memcpy(&bytes_[tail], bytes, first);
        std::memcpy(&bytes_[0], bytes + first, keep - first);
        byteCount_ += keep;
        if (join) {
            last->size += keep;
            last->stampNs = std::max(last->stampNs, stampNs);
        } else {
            pieces_[(pieceHead_ + pieceCount_) % PIECE_CAPACITY] = Piece{keep, stampNs};
            ++pieceCount_;
        }
    }
    dropped_ += count - keep;
    return keep;
}

std::size_t TArrivalQueue::TakeLocked(std::uint8_t* buffer, std::size_t count, std::size_t limit) {
    std::size_t n = std::min(count, limit);
    const std::size_t first = std::min(n, BYTE_CAPACITY - byteHead_);
    std::memcpy(buffer, &bytes_[byteHead_], first);
    std::memcpy(buffer + first, &bytes_[0], n - first);
    byteHead_ = (byteHead_ + n) % BYTE_CAPACITY;
    byteCount_ -= n;
    std::size_t left = n;
    while (left > 0) {
        Piece& p = pieces_[pieceHead_];
        const std::size_t part = std::min(left, p.size);
        p.size -= part;
        left -= part;
        if (p.size == 0) {
            pieceHead_ = (pieceHead_ + 1) % PIECE_CAPACITY;
            --pieceCount_;
        }
    }
    return n;
}

std::size_t TArrivalQueue::TakePiece(std::uint8_t* buffer, std::size_t count,
                                     std::int64_t& stampNs) {
    std::lock_guard<std::mutex> lk(lock_);
    if (pieceCount_ == 0)
        return 0;
    stampNs = pieces_[pieceHead_].stampNs;
    return TakeLocked(buffer, count, pieces_[pieceHead_].size);
}

std::size_t TArrivalQueue::Take(std::uint8_t* buffer, std::size_t count) {
    std::lock_guard<std::mutex> lk(lock_);
    return TakeLocked(buffer, count, byteCount_);
}

std::size_t TArrivalQueue::Size() const {
    std::lock_guard<std::mutex> lk(lock_);
    return byteCount_;
}

std::uint64_t TArrivalQueue::TakeDropped() {
    std::lock_guard<std::mutex> lk(lock_);
    return std::exchange(dropped_, 0);
}

void TArrivalQueue::Clear() {
    std::lock_guard<std::mutex> lk(lock_);
    byteHead_ = byteCount_ = pieceHead_ = pieceCount_ = 0;
}

} // namespace orvik
