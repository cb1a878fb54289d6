#include "link/protocol/FrameLog.h"

#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace orvik {

namespace {

constexpr std::int64_t NS_PER_SECOND = 1'000'000'000;

// The ring is far larger than the caches: the next record's lines are asked for now, while the
// next frame comes in, rather than when that record is written.
void PrefetchForWrite(const FrameRecord* record) noexcept {
#if defined(__GNUC__) || defined(__clang__)
    const char* p = reinterpret_cast<const char*>(record);
    for (std::size_t offset = 0; offset < sizeof(FrameRecord); offset += 64)
        __builtin_prefetch(p + offset, 1);
#else
    (void)record;
#endif
}

} // namespace

const char* OutcomeText(FrameOutcome outcome) noexcept {
    switch (outcome) {
    case FrameOutcome::Accepted:
        return "accepted";
    case FrameOutcome::BadSum:
        return "bad sum";
    case FrameOutcome::BadXor:
        return "bad XOR";
    case FrameOutcome::ShortStatus:
        return "short status frame";
    case FrameOutcome::ShortSetup:
        return "short setup frame";
    case FrameOutcome::IgnoredType:
        return "ignored type";
    case FrameOutcome::OtherNode:
        return "reply from another node";
    case FrameOutcome::Noise:
        return "noise";
    case FrameOutcome::Sent:
        return "sent";
    case FrameOutcome::NotSent:
        return "not sent";
    }
    return "?";
}

FrameOutcome CheckedFrameOutcome(std::uint8_t type, std::size_t dataLength) noexcept {
    if (type == FRAME_STATUS)
        return dataLength < STATUS_RECORD_SIZE ? FrameOutcome::ShortStatus : FrameOutcome::Accepted;
    if (type == FRAME_BREAKER_SETUP)
        return dataLength < SETUP_REPLY_SIZE ? FrameOutcome::ShortSetup : FrameOutcome::Accepted;
    return FrameOutcome::IgnoredType;
}

std::uint64_t LinkCounters::Ignored() const {
    return Of(FrameOutcome::ShortStatus) + Of(FrameOutcome::ShortSetup) +
           Of(FrameOutcome::IgnoredType) + Of(FrameOutcome::OtherNode);
}

FrameLog::FrameLog(std::size_t capacity)
    // calloc: a large block comes as untouched zeroed pages. A record is a plain aggregate,
    // each one written whole by Append before it is read.
    : ring_(static_cast<FrameRecord*>(
          std::calloc(std::max<std::size_t>(capacity, 1), sizeof(FrameRecord)))),
      capacity_(std::max<std::size_t>(capacity, 1)) {
    if (!ring_)
        throw std::bad_alloc();
}

FrameRecord& FrameLog::Append(Direction direction, FrameOutcome outcome, std::int64_t timeNs,
                              std::size_t length) noexcept {
    FrameRecord& r = ring_[head_];
    if (++head_ == capacity_)
        head_ = 0;
    if (size_ < capacity_)
        ++size_;
    PrefetchForWrite(&ring_[head_]);
    r.seq = nextSeq_++;
    r.timeNs = timeNs;
    r.length = static_cast<std::uint16_t>(std::min(length, MAX_FRAME_SIZE));
    r.direction = direction;
    r.outcome = outcome;

    ++counters_.records[static_cast<std::size_t>(outcome)];
    if (outcome == FrameOutcome::Noise) {
        counters_.noiseBytes += r.length;
    } else if (direction == Direction::Inbound) {
        const std::int64_t second = timeNs / NS_PER_SECOND;
        if (second != rateSecond_) {
            lastSecond_ = (second == rateSecond_ + 1) ? thisSecond_ : 0;
            thisSecond_ = 0;
            rateSecond_ = second;
        }
        ++thisSecond_;
    }
    return r;
}

void FrameLog::Add(Direction direction, FrameOutcome outcome, std::int64_t timeNs,
                   const std::uint8_t* bytes, std::size_t length) noexcept {
    FrameRecord& r = Append(direction, outcome, timeNs, length);
    if (r.length > 0)
        std::memcpy(r.bytes.data(), bytes, r.length);
}

void FrameLog::CountBytes(Direction direction, std::size_t count) noexcept {
    (direction == Direction::Inbound ? counters_.bytesIn : counters_.bytesOut) += count;
}

const FrameRecord* FrameLog::Find(std::uint64_t seq) const noexcept {
    if (seq < FirstSeq() || seq >= nextSeq_)
        return nullptr;
    const std::size_t back = static_cast<std::size_t>(nextSeq_ - seq); // 1 = the newest
    const std::size_t slot = (head_ + capacity_ - back) % capacity_;
    return &ring_[slot];
}

std::uint32_t FrameLog::FramesPerSecond(std::int64_t nowNs) const noexcept {
    const std::int64_t second = nowNs / NS_PER_SECOND;
    if (second == rateSecond_)
        return lastSecond_;
    if (second == rateSecond_ + 1)
        return thisSecond_;
    return 0;
}

void FrameLog::Clear() noexcept {
    size_ = 0;
    counters_ = LinkCounters{};
    rateSecond_ = -2;
    thisSecond_ = lastSecond_ = 0;
}

void LineRecorder::FlushNoise(FrameLog& log, std::int64_t timeNs) noexcept {
    if (noiseLength_ == 0)
        return;
    log.Add(direction_, FrameOutcome::Noise, timeNs, noise_.data(), noiseLength_);
    noiseLength_ = 0;
}

void LineRecorder::AddNoise(FrameLog& log, std::uint8_t b, std::int64_t timeNs) noexcept {
    if (noiseLength_ == noise_.size())
        FlushNoise(log, timeNs);
    noise_[noiseLength_++] = b;
}

void LineRecorder::Dropped(FrameLog& log, const FrameReceiver& rx, RxEvent e, std::uint8_t b,
                           std::int64_t timeNs) noexcept {
    switch (e) {
    case RxEvent::NoisePair:
        AddNoise(log, SYNC1, timeNs);
        [[fallthrough]];
    case RxEvent::Noise:
        AddNoise(log, b, timeNs);
        return;
    case RxEvent::BadSum:
        EndFrame(log, rx, FrameOutcome::BadSum, b, timeNs);
        return;
    case RxEvent::BadXor:
        EndFrame(log, rx, FrameOutcome::BadXor, b, timeNs);
        return;
    case RxEvent::None:
    case RxEvent::Accepted:
        return;
    }
}

void LineRecorder::EndFrame(FrameLog& log, const FrameReceiver& rx, FrameOutcome outcome,
                            std::uint8_t last, std::int64_t timeNs) noexcept {
    FlushNoise(log, timeNs); // the noise came before the frame's sync
    const std::size_t data = rx.ReceivedLength();
    const bool sumReceived = outcome != FrameOutcome::BadSum;
    const std::size_t length = 4 + data + (sumReceived ? 2 : 1);
    FrameRecord& r = log.Append(direction_, outcome, timeNs, length);
    r.bytes[0] = SYNC1;
    r.bytes[1] = SYNC2;
    r.bytes[2] = rx.RxType();
    r.bytes[3] = rx.LengthByte();
    std::memcpy(&r.bytes[4], rx.FrameData().data(), data);
    if (sumReceived)
        r.bytes[4 + data] = rx.RxSum();
    r.bytes[length - 1] = last;
}

} // namespace orvik
