// Arbitrary received bytes: the byte-wise receiver must accept exactly the frames that the
// offset-based reference scan finds, with their bytes; the link state must act on exactly
// those frames, whatever pieces the bytes come in, with the frame log or without; the log's
// records hold every byte once, in order, but those of a frame still in progress.
#include "fuzz/common/ReferenceScan.h"
#include "link/protocol/FrameLog.h"
#include "link/protocol/LinkFrame.h"
#include "link/state/LinkState.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// Serves a byte span in pieces of at most `piece` bytes per read.
struct SpanPort : orvik::LinkPort {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    int piece = 1;

    int Read(void* buffer, int count) override {
        const auto n = std::min<std::size_t>(
            {static_cast<std::size_t>(count), static_cast<std::size_t>(piece), size - at});
        std::memcpy(buffer, bytes + at, n);
        at += n;
        return static_cast<int>(n);
    }
    int Write(const void*, int count) override { return count; }
};

// The accepted frame ends at stream[last]; it must stand there in full with right checks.
void CheckFrameInStream(const std::uint8_t* stream, std::size_t last,
                        const orvik::FrameReceiver& rx) {
    const std::size_t length = rx.LengthByte() == 0 ? 256 : rx.LengthByte();
    Check(rx.ReceivedLength() == length);
    Check(last + 1 >= length + orvik::FRAME_OVERHEAD);
    const std::uint8_t* f = stream + last + 1 - (length + orvik::FRAME_OVERHEAD);
    Check(f[0] == orvik::SYNC1 && f[1] == orvik::SYNC2);
    Check(f[2] == rx.RxType() && f[3] == rx.LengthByte());
    Check(std::memcmp(f + 4, rx.FrameData().data(), length) == 0);
    std::uint8_t sum = 0;
    std::uint8_t x = 0;
    for (std::size_t k = 2; k < length + 4; ++k) {
        sum = static_cast<std::uint8_t>(sum + f[k]);
        x ^= f[k];
    }
    Check(f[length + 4] == sum && f[length + 5] == x);
}

void CheckReceiver(const std::uint8_t* data, std::size_t size,
                   const std::vector<orvik::reference::ScannedFrame>& expected) {
    orvik::FrameReceiver rx;
    std::size_t next = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const bool accepted = rx.Feed(data[i]);
        const bool due = next < expected.size() && expected[next].last == i;
        Check(accepted == due);
        if (!accepted)
            continue;
        const auto& e = expected[next++];
        CheckFrameInStream(data, i, rx);
        Check(rx.RxType() == e.type && rx.LengthByte() == e.lengthByte);
        Check(rx.ReceivedLength() == e.data.size());
        Check(std::equal(e.data.begin(), e.data.end(), rx.FrameData().begin()));
    }
    Check(next == expected.size());
}

void CheckLog(const orvik::FrameLog& log, const std::uint8_t* data, std::size_t size,
              std::size_t accepted) {
    using namespace orvik;
    std::size_t at = 0;
    std::size_t frames = 0;
    for (std::uint64_t s = log.FirstSeq(); s < log.NextSeq(); ++s) {
        const FrameRecord& r = *log.Find(s);
        Check(r.length > 0 && at + r.length <= size);
        Check(std::memcmp(r.bytes.data(), data + at, r.length) == 0);
        at += r.length;
        frames += r.outcome != FrameOutcome::Noise && r.outcome != FrameOutcome::BadSum &&
                  r.outcome != FrameOutcome::BadXor;
    }
    Check(frames == accepted);
    Check(log.Counters().bytesIn == size);
    // What is left is one frame begun: a sync pair, or a first sync byte at the very end.
    Check(at == size || (data[at] == SYNC1 && (at + 1 == size || data[at + 1] == SYNC2)));
}

void CheckLinkState(const std::uint8_t* data, std::size_t size, int selected, int piece,
                    const std::vector<orvik::reference::ScannedFrame>& expected,
                    orvik::FrameLog* log) {
    using namespace orvik;
    SpanPort port;
    port.bytes = data;
    port.size = size;
    port.piece = piece;
    LinkState link;
    int displays = 0;
    link.SetPort(&port);
    link.SetFrameLog(log);
    link.SetNodeSelector([selected] { return selected; });
    link.SetDisplaySink([&displays](const DisplayUpdate&) { ++displays; });
    while (port.at < port.size)
        link.Comm1RxChar(static_cast<int>(port.size - port.at));

    int statusFrames = 0;
    const reference::ScannedFrame* lastStatus = nullptr;
    const reference::ScannedFrame* lastSetup = nullptr;
    for (const auto& f : expected) {
        if (f.type == FRAME_STATUS && f.data.size() >= STATUS_RECORD_SIZE) {
            ++statusFrames;
            lastStatus = &f;
        }
        if (f.type == FRAME_BREAKER_SETUP && f.data.size() >= SETUP_REPLY_SIZE &&
            f.data[0] == selected - 1)
            lastSetup = &f;
    }
    Check(displays == statusFrames);
    Check(link.NodeIndicatorTimeout == (expected.empty() ? 0 : TIMEOUT_TICKS));
    if (lastStatus)
        Check(std::equal(link.StatusRecord.bytes.begin(), link.StatusRecord.bytes.end(),
                         lastStatus->data.begin()));
    else
        Check(std::all_of(link.StatusRecord.bytes.begin(), link.StatusRecord.bytes.end(),
                          [](std::uint8_t b) { return b == 0; }));
    Check(link.SetupReceived == (lastSetup != nullptr));
    if (lastSetup) {
        for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
            Check(link.BreakerSetupRecord.TripCurrent[b] ==
                  (lastSetup->data[1 + 2 * b] | (lastSetup->data[2 + 2 * b] << 8)));
            Check(link.BreakerSetupRecord.TripTime[b] == lastSetup->data[17 + b]);
        }
    }
    if (log)
        CheckLog(*log, data, size, expected.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the selected node and the piece size of the reads.
    const int selected = 1 + (data[0] & 7);
    const int piece = 1 + (data[0] >> 3) * 9;
    ++data;
    --size;
    const auto expected = orvik::reference::ScanFrames(data, size);
    CheckReceiver(data, size, expected);
    CheckLinkState(data, size, selected, piece, expected, nullptr);
    static orvik::FrameLog log(4200); // more records than a fuzz input has bytes
    log.Clear();
    CheckLinkState(data, size, selected, piece, expected, &log);
    return 0;
}
