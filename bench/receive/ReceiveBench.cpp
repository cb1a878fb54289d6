// Receive path figures over a long mixed stream: status frames, breaker setup replies, command
// echoes and noise. Prints "name value unit" lines: throughput of FrameReceiver::Feed and of
// LinkState::FeedBytes (without and with the frame log, and while the log's ring first fills)
// in MB/s and as a multiple of the line rate, and the allocations made while receiving.
#include "bench/receive/CountingNew.h"
#include "link/protocol/FrameLog.h"
#include "link/protocol/LinkFrame.h"
#include "link/state/LinkState.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace orvik;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double LINE_BYTES_PER_SECOND = 5760.0;

void Append(std::vector<std::uint8_t>& out, std::uint8_t type, const std::uint8_t* data,
            std::size_t length) {
    std::uint8_t frame[MAX_FRAME_SIZE];
    const std::size_t n = EncodeFrame(type, data, length, frame);
    out.insert(out.end(), frame, frame + n);
}

// About `size` bytes: mostly status frames, a setup reply now and then, a corrupted frame,
// a short frame, and runs of random bytes between frames.
std::vector<std::uint8_t> MixedStream(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> out;
    out.reserve(size + 2 * MAX_FRAME_SIZE);
    std::uint8_t data[FRAME_DATA_SIZE];
    while (out.size() < size) {
        const unsigned pick = rng() % 100;
        if (pick < 80) {
            for (std::size_t i = 0; i < STATUS_RECORD_SIZE; ++i)
                data[i] = static_cast<std::uint8_t>(rng());
            data[0] = static_cast<std::uint8_t>(rng() | 1); // node 1 mostly present
            Append(out, FRAME_STATUS, data, STATUS_RECORD_SIZE);
        } else if (pick < 88) {
            for (std::size_t i = 0; i < SETUP_REPLY_SIZE; ++i)
                data[i] = static_cast<std::uint8_t>(rng());
            data[0] = static_cast<std::uint8_t>(rng() % 8);
            Append(out, FRAME_BREAKER_SETUP, data, SETUP_REPLY_SIZE);
        } else if (pick < 92) {
            for (std::size_t i = 0; i < 40; ++i)
                data[i] = static_cast<std::uint8_t>(rng());
            Append(out, FRAME_STATUS, data, 40); // short: checked, not copied
        } else if (pick < 96) {
            const std::size_t at = out.size();
            Append(out, FRAME_STATUS, data, STATUS_RECORD_SIZE);
            out[at + 4 + rng() % STATUS_RECORD_SIZE] ^= 0x5A; // fails its checks
        } else {
            const std::size_t n = 1 + rng() % 64;
            for (std::size_t i = 0; i < n; ++i)
                out.push_back(static_cast<std::uint8_t>(rng()));
        }
    }
    return out;
}

template <typename Fn> double SecondsFor(Fn&& fn) {
    const auto t0 = Clock::now();
    fn();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Report(const char* name, double bytes, double seconds) {
    const double mbs = bytes / seconds / 1e6;
    std::printf("%s_mb_s %.1f MB/s\n", name, mbs);
    std::printf("%s_line_multiple %.0f x\n", name, bytes / seconds / LINE_BYTES_PER_SECOND);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const std::vector<std::uint8_t> stream = MixedStream(1 << 20, 7);
    const double total = static_cast<double>(stream.size()) * rounds;

    // FrameReceiver alone.
    FrameReceiver receiver;
    std::size_t frames = 0;
    const std::uint64_t allocBefore = bench::AllocationCount();
    const double receiverSeconds = SecondsFor([&] {
        for (int r = 0; r < rounds; ++r)
            for (std::uint8_t b : stream)
                frames += receiver.Feed(b);
    });
    const std::uint64_t receiverAllocs = bench::AllocationCount() - allocBefore;

    // The link state: checks, copies, the display of every status frame, setup replies;
    // without and with the frame log, in alternating halves so that both see the same machine.
    LinkState link;
    LinkState logged;
    FrameLog log; // the program's size of ring
    logged.SetFrameLog(&log);
    std::size_t shown = 0;
    std::size_t shownLogged = 0;
    for (LinkState* l : {&link, &logged}) {
        std::size_t& count = l == &link ? shown : shownLogged;
        l->SetNodeSelector([] { return 1; });
        l->SetDisplaySink([&count](const DisplayUpdate& u) { count += u.NodePresent; });
        l->FeedBytes(stream.data(), 4096); // warm the std::function paths
    }
    // The timed halves see the ring as a program that has run a while does: full. Filling it
    // takes each of its pages from the system once; that costs what this line prints.
    const std::uint64_t fillFrom = log.NextSeq();
    std::size_t fillBytes = 0;
    const double fillSeconds = SecondsFor([&] {
        while (log.NextSeq() - fillFrom < log.Capacity()) {
            logged.FeedBytes(stream.data(), stream.size());
            fillBytes += stream.size();
        }
    });
    const std::uint64_t linkBefore = bench::AllocationCount();
    double linkSeconds = 0;
    double loggedSeconds = 0;
    for (int half = 0; half < 2; ++half) {
        const int n = half == 0 ? rounds / 2 : rounds - rounds / 2;
        linkSeconds += SecondsFor([&] {
            for (int r = 0; r < n; ++r)
                link.FeedBytes(stream.data(), stream.size());
        });
        loggedSeconds += SecondsFor([&] {
            for (int r = 0; r < n; ++r)
                logged.FeedBytes(stream.data(), stream.size());
        });
    }
    const std::uint64_t linkAllocs = bench::AllocationCount() - linkBefore;

    std::printf("stream_bytes %.0f bytes\n", total);
    std::printf("frames_accepted %zu frames\n", frames);
    std::printf("status_frames_shown %zu frames\n", shown);
    if (shownLogged != shown) // the log only watches
        std::printf("status_frames_shown_with_log %zu frames (differs!)\n", shownLogged);
    Report("frame_receiver", total, receiverSeconds);
    Report("link_feed_bytes", total, linkSeconds);
    Report("link_feed_bytes_log", total, loggedSeconds);
    std::printf("log_on_share %.0f %%\n", 100.0 * linkSeconds / loggedSeconds);
    Report("link_feed_bytes_log_first_fill", static_cast<double>(fillBytes), fillSeconds);
    std::printf("log_records %llu records\n", static_cast<unsigned long long>(log.NextSeq()));
    std::printf("receive_allocations %llu allocations\n",
                static_cast<unsigned long long>(receiverAllocs + linkAllocs));
    return 0;
}
