// The bytes the monitor thread has read off the line and the main thread has yet to take, each
// piece with the moment it was read. A main thread that is held for a while (a modal dialog, a
// file being opened) delays when it sees the bytes, never when they came.
//
// Fixed memory: a byte ring and a ring of pieces, allocated once. What does not fit is dropped
// and counted, as a driver's overrun.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace orvik {

// The moment bytes were read, in steady-clock nanoseconds (std::chrono::steady_clock's epoch).
std::int64_t SteadyNowNs() noexcept;

class TArrivalQueue {
public:
    // 45 s of a 57600-baud line that never pauses.
    static constexpr std::size_t BYTE_CAPACITY = 256 * 1024;
    static constexpr std::size_t PIECE_CAPACITY = 8192;

    TArrivalQueue();

    // Monitor thread: `count` bytes read at `stampNs`. Returns how many were kept; the rest is
    // dropped (the queue is full) and counted.
    std::size_t Put(const std::uint8_t* bytes, std::size_t count, std::int64_t stampNs);

    // Main thread: up to `count` bytes of the oldest piece, with its stamp; 0 when empty.
    std::size_t TakePiece(std::uint8_t* buffer, std::size_t count, std::int64_t& stampNs);
    // Main thread: up to `count` bytes, across pieces.
    std::size_t Take(std::uint8_t* buffer, std::size_t count);

    std::size_t Size() const;
    // Bytes dropped since the last call.
    std::uint64_t TakeDropped();
    void Clear();

private:
    struct Piece {
        std::size_t size = 0;
        std::int64_t stampNs = 0;
    };
    std::size_t TakeLocked(std::uint8_t* buffer, std::size_t count, std::size_t limit);

    mutable std::mutex lock_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::unique_ptr<Piece[]> pieces_;
    std::size_t byteHead_ = 0; // oldest byte
    std::size_t byteCount_ = 0;
    std::size_t pieceHead_ = 0; // oldest piece
    std::size_t pieceCount_ = 0;
    std::uint64_t dropped_ = 0;
};

} // namespace orvik
