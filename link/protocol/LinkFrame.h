// Frames on the module bus, in both directions:
//   D5 82 type length data[length] sum xor
// sum and xor cover type, length and data; a length byte of 0 stands for 256.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvik {

inline constexpr std::uint8_t SYNC1 = 0xD5;
inline constexpr std::uint8_t SYNC2 = 0x82;

// Incoming frame types.
inline constexpr std::uint8_t FRAME_BREAKER_SETUP = 0;
inline constexpr std::uint8_t FRAME_STATUS = 1;

// Outgoing command codes.
inline constexpr std::uint8_t CMD_TRIP_CURRENT = 2;
inline constexpr std::uint8_t CMD_TRIP_TIME = 3;
inline constexpr std::uint8_t CMD_WIGWAG_MODE = 4;
inline constexpr std::uint8_t CMD_WIGWAG_INTERVAL = 5;
inline constexpr std::uint8_t CMD_SWITCH_BREAKER = 6;
inline constexpr std::uint8_t CMD_DOUBLING = 7;
inline constexpr std::uint8_t CMD_DUAL_LED = 8;
inline constexpr std::uint8_t CMD_WIGWAG_ENABLE = 9;
inline constexpr std::uint8_t CMD_POWER_ON_DEFAULTS = 10;
inline constexpr std::uint8_t CMD_FLASHER = 11;
inline constexpr std::uint8_t CMD_FACTORY_DEFAULTS = 12;
inline constexpr std::uint8_t CMD_REQUEST_BREAKER_SETUP = 13;

// Name of a command code ("CMD_SWITCH_BREAKER"), or nullptr for an unknown code.
const char* CommandName(std::uint8_t code);

inline constexpr std::size_t FRAME_DATA_SIZE = 256;
inline constexpr std::size_t FRAME_OVERHEAD = 6; // sync, sync, type, length, sum, xor
inline constexpr std::size_t MAX_FRAME_SIZE = FRAME_DATA_SIZE + FRAME_OVERHEAD;

// Stores the 8-bit sum of `count` bytes right after them and their 8-bit XOR after that.
void AddChecksums(std::uint8_t* bytes, std::uint16_t count);

// Writes a whole frame of `dataLength` (1..256) data bytes to `out`, which must hold
// dataLength + 6 bytes. Returns the frame length, or 0 when dataLength is out of range.
std::size_t EncodeFrame(std::uint8_t type, const std::uint8_t* data, std::size_t dataLength,
                        std::uint8_t* out);

enum RxStateCode : std::uint8_t {
    RX_SYNC1 = 0,
    RX_SYNC2 = 1,
    RX_TYPE = 2,
    RX_LENGTH = 3,
    RX_DATA = 4,
    RX_SUM = 5,
    RX_XOR = 6,
};

// What one byte did to the receiver, for those who watch the line (the frame log).
enum class RxEvent : std::uint8_t {
    None,      // taken into the frame in progress, or a first sync byte
    Noise,     // dropped outside a frame
    NoisePair, // a first sync byte and this byte, both dropped
    Accepted,  // completed a frame whose sum and XOR match
    BadSum,    // ended the frame: wrong sum byte
    BadXor,    // ended the frame: right sum, wrong XOR byte
};

// The byte-wise receiver. It keeps its state between calls, so a frame may arrive in any
// number of pieces. It allocates nothing; FrameData keeps its contents between frames.
class FrameReceiver {
public:
    // Feeds one byte; returns true when it completes a frame whose sum and XOR match.
    bool Feed(std::uint8_t b) noexcept { return Step(b) == RxEvent::Accepted; }
    // The same, and says what became of the byte.
    RxEvent Step(std::uint8_t b) noexcept;

    RxStateCode State() const noexcept { return state_; }
    // Bytes still to come for the frame in progress; between frames, `wholeFrame`.
    std::size_t BytesToCome(std::size_t wholeFrame) const noexcept;
    std::uint8_t RxType() const noexcept { return rxType_; }
    std::uint8_t LengthByte() const noexcept { return lengthByte_; }
    // Data bytes written for the frame in progress, or for the frame just completed.
    std::size_t ReceivedLength() const noexcept { return writePos_; }
    // The sum of the frame in progress or just ended, as computed (not as received).
    std::uint8_t RxSum() const noexcept { return rxSum_; }
    const std::array<std::uint8_t, FRAME_DATA_SIZE>& FrameData() const noexcept {
        return frameData_;
    }

private:
    std::array<std::uint8_t, FRAME_DATA_SIZE> frameData_{};
    RxStateCode state_ = RX_SYNC1;
    std::uint8_t rxType_ = 0;
    std::uint8_t rxSum_ = 0;
    std::uint8_t rxXor_ = 0;
    std::uint8_t lengthByte_ = 0;
    std::uint8_t rxRemaining_ = 0;
    std::size_t writePos_ = 0;
};

// In the header, so that a caller's loop over the bytes of a read inlines it.
inline RxEvent FrameReceiver::Step(std::uint8_t b) noexcept {
    switch (state_) {
    case RX_SYNC1:
        if (b == SYNC1) {
            state_ = RX_SYNC2;
            return RxEvent::None;
        }
        return RxEvent::Noise;
    case RX_SYNC2:
        // A byte other than the second sync is dropped, not rescanned as a first sync.
        if (b == SYNC2) {
            state_ = RX_TYPE;
            return RxEvent::None;
        }
        state_ = RX_SYNC1;
        return RxEvent::NoisePair;
    case RX_TYPE:
        rxType_ = b;
        rxSum_ = b;
        rxXor_ = b;
        state_ = RX_LENGTH;
        return RxEvent::None;
    case RX_LENGTH:
        lengthByte_ = b;
        rxSum_ = static_cast<std::uint8_t>(rxSum_ + b);
        rxXor_ ^= b;
        rxRemaining_ = b;
        writePos_ = 0;
        state_ = RX_DATA;
        return RxEvent::None;
    case RX_DATA:
        // Decrement before the test: a length byte of 0 takes 256 bytes, which is exactly
        // what frameData_ holds, so no length writes past it.
        frameData_[writePos_++] = b;
        rxSum_ = static_cast<std::uint8_t>(rxSum_ + b);
        rxXor_ ^= b;
        rxRemaining_ = static_cast<std::uint8_t>(rxRemaining_ - 1);
        if (rxRemaining_ == 0)
            state_ = RX_SUM;
        return RxEvent::None;
    case RX_SUM:
        if (b == rxSum_) {
            state_ = RX_XOR;
            return RxEvent::None;
        }
        state_ = RX_SYNC1;
        return RxEvent::BadSum;
    case RX_XOR:
        state_ = RX_SYNC1;
        return b == rxXor_ ? RxEvent::Accepted : RxEvent::BadXor;
    }
    state_ = RX_SYNC1;
    return RxEvent::Noise;
}

} // namespace orvik
