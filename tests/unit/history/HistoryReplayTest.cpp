// A history rebuilt from a capture, whole or cut short, and from a file that is no capture.
#include "link/history/HistoryReplay.h"
#include "link/capture/LineRecording.h"
#include "link/capture/Pcapng.h"
#include "tests/unit/history/HistoryTestSupport.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace orvik;
using namespace orvik::test;

namespace {

constexpr std::uint64_t T0_NS = 1'740'000'000'000'000'000;

// Ten status frames 200 ms apart, node 2's breaker 4 tripping in the sixth; this program
// switching it on again before the eighth. blockAt: where each packet's block begins.
struct Recording {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> blockAt;

    explicit Recording(const char* commandOutcome = "sent") {
        PcapngWriter::AppendHeader(bytes, {"test", "COM1", "Orvik bus"});
        StatusRecord r = Record(0x02);
        r.SetBreakerOn(1, 0x08);
        r.SetCurrent(1, 3, 64);
        for (int i = 0; i < 10; ++i) {
            const std::uint64_t t = T0_NS + i * 200'000'000ull;
            if (i == 5) {
                r.SetBreakerOn(1, 0x00);
                r.SetBreakerFault(1, 0x08);
            }
            if (i == 7) {
                const Bytes command = {0xD5, 0x82, 0x06, 0x03, 0x01, 0x03, 0x01, 0x0E, 0x06};
                Add(t - 100'000'000, 2, command, commandOutcome);
                r.SetBreakerOn(1, 0x08);
                r.SetBreakerFault(1, 0x00);
            }
            Add(t, 1, StatusFrame(r), "accepted");
        }
    }
    void Add(std::uint64_t t, std::uint8_t direction, const Bytes& b, const char* comment) {
        blockAt.push_back(bytes.size());
        PcapngWriter::AppendPacket(bytes, t, direction, b.data(), b.size(), comment);
    }
};

std::vector<std::string> Texts(const BusHistory& h) {
    std::vector<std::string> out;
    for (auto seq = h.Events().FirstSeq(); seq < h.Events().NextSeq(); ++seq)
        out.push_back(EventText(*h.Events().Find(seq)));
    return out;
}

TEST(HistoryReplay, WholeCaptureCutShortAndNoCapture) {
    const Recording rec;
    BusHistory whole;
    const ReplayResult r = ReplayCaptureBytes(rec.bytes.data(), rec.bytes.size(), whole);
    ASSERT_TRUE(r.Ok()) << r.scan.error;
    EXPECT_EQ(r.statusFrames, 10u);
    EXPECT_EQ(r.scan.packets, 11u);
    EXPECT_EQ(whole.PointCount(2), 10u);
    const std::vector<std::string> expected = {
        "Orvik node 2 joined the bus",
        "Orvik node 2, breaker 4: fault (tripped) at 6.4 A",
        "switch breaker 4 on, node 2",
        "Orvik node 2, breaker 4: fault cleared",
        "Orvik node 2, breaker 4 switched on after a command from this program",
    };
    EXPECT_EQ(Texts(whole), expected);

    // Cut in the middle of the block of the seventh status frame (the seventh packet): the six
    // before it are there, and the break is told at that block.
    const std::size_t cutBlock = rec.blockAt[6];
    BusHistory cut;
    const ReplayResult c = ReplayCaptureBytes(rec.bytes.data(), cutBlock + 100, cut);
    EXPECT_FALSE(c.Ok());
    EXPECT_TRUE(c.scan.cutShort);
    EXPECT_FALSE(c.scan.NotACapture());
    EXPECT_EQ(c.scan.breakAt, cutBlock);
    EXPECT_EQ(c.statusFrames, 6u);
    EXPECT_EQ(cut.LastMs(), static_cast<std::int64_t>(T0_NS / 1'000'000) + 1000);
    ScopedTimeZone utc("UTC0");
    EXPECT_EQ(c.BreakText(), "cut short in the block at byte " + std::to_string(cutBlock) +
                                 ", after 2025-02-19T21:20:01.000+00:00");

    BusHistory none;
    const std::string text = "Time,Node\n1,2\n";
    const ReplayResult n =
        ReplayCaptureBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), none);
    EXPECT_TRUE(n.scan.NotACapture());
    EXPECT_EQ(n.scan.error, "not a pcapng capture (no section header) at byte 0");
    EXPECT_TRUE(none.Empty());
}

TEST(HistoryReplay, ACommandRecordedAsNotSentDidNothingOnTheBus) {
    const Recording rec("not sent");
    BusHistory h;
    ASSERT_TRUE(ReplayCaptureBytes(rec.bytes.data(), rec.bytes.size(), h).Ok());
    const std::vector<std::string> expected = {
        "Orvik node 2 joined the bus",
        "Orvik node 2, breaker 4: fault (tripped) at 6.4 A",
        "Orvik node 2, breaker 4: fault cleared",
        "Orvik node 2, breaker 4 switched on",
    };
    EXPECT_EQ(Texts(h), expected);
}

// A recording begun after the setup reply still knows the trip settings: its file begins with
// what the link knew.
TEST(HistoryReplay, ARecordingBegunLaterRebuildsTheTripSettings) {
    Bench bench;
    FrameLog log;
    bench.link.SetFrameLog(&log);
    StatusRecord r = Record(0x01);
    r.SetBreakerOn(0, 0x02);
    r.SetCurrent(0, 1, 48);
    bench.Feed(StatusFrame(r));
    Bytes reply = SetupReplyData(0);
    reply[3] = 50; // breaker 2: 5.0 A
    reply[4] = 0;
    reply[18] = 20; // after 2.0 s
    bench.Feed(Frame(FRAME_BREAKER_SETUP, reply));

    const auto dir = std::filesystem::temp_directory_path() / "orvik-recording-begun-later";
    LineRecording recording;
    ASSERT_TRUE(recording.Start(dir.string(), log, {"test", "COM1", ""}, {}, [&] {
        return bench.link.SnapshotFrames();
    })) << recording.Error();
    r.SetCurrent(0, 1, 60);
    bench.Feed(StatusFrame(r));
    r.SetBreakerOn(0, 0x00);
    r.SetBreakerFault(0, 0x02);
    r.SetCurrent(0, 1, 0);
    bench.Feed(StatusFrame(r));
    ASSERT_TRUE(recording.Poll(log, 0));
    recording.Stop();

    BusHistory h;
    const ReplayResult read = ReplayCapture(recording.File(), h);
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(read.Ok()) << read.scan.error;
    const std::vector<std::string> expected = {
        "Orvik node 1 joined the bus",
        "Orvik node 1, breaker 2: fault (tripped) at 6.0 A, trip 5.0 A after 2.0 seconds",
    };
    EXPECT_EQ(Texts(h), expected);
    EXPECT_FALSE(h.TripSettingsIn(1, h.FirstMs(), h.LastMs() + 1).empty());
}

TEST(HistoryReplay, AFileReadInChunksGivesWhatMemoryGives) {
    // Over a megabyte, so that blocks straddle the file reader's chunks; then cut short.
    std::vector<std::uint8_t> bytes;
    PcapngWriter::AppendHeader(bytes, {"test", "COM1", "Orvik bus"});
    StatusRecord r = Record(0xFF);
    for (std::uint64_t i = 0; bytes.size() < 1'300'000; ++i) {
        r.SetCurrent(i % 8, i % 7, static_cast<std::uint16_t>(i));
        const Bytes frame = StatusFrame(r);
        PcapngWriter::AppendPacket(bytes, T0_NS + i * 36'000'000, 1, frame.data(), frame.size(),
                                   "accepted");
    }
    const std::string path = ::testing::TempDir() + "history-replay-test.pcapng";
    for (std::size_t size : {bytes.size(), bytes.size() - 7}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
        BusHistory fromMemory;
        BusHistory fromFile;
        const ReplayResult m = ReplayCaptureBytes(bytes.data(), size, fromMemory);
        const ReplayResult f = ReplayCapture(path, fromFile);
        EXPECT_EQ(f.scan.packets, m.scan.packets);
        EXPECT_EQ(f.statusFrames, m.statusFrames);
        EXPECT_EQ(f.scan.breakAt, m.scan.breakAt);
        EXPECT_EQ(f.scan.cutShort, size != bytes.size());
        EXPECT_EQ(fromFile.LastMs(), fromMemory.LastMs());
        EXPECT_EQ(fromFile.Events().NextSeq(), fromMemory.Events().NextSeq());
    }
    std::remove(path.c_str());
}

} // namespace
