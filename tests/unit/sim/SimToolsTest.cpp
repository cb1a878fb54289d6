#include "link/capture/Pcapng.h"
#include "link/protocol/LinkFrame.h"
#include "sim/CommandLog.h"
#include "sim/LineCommands.h"
#include "sim/Replay.h"
#include "sim/SimOptions.h"
#include "sim/TxQueue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <vector>

#include <sys/stat.h>

using namespace orvik;
using namespace orvik::sim;

namespace {

// Takes everything out of the queue: the bytes in order and the gaps between segments.
std::vector<std::uint8_t> Drain(TxQueue& q, int& segments, long& gaps) {
    std::vector<std::uint8_t> out;
    segments = 0;
    gaps = 0;
    while (!q.Empty()) {
        Segment& s = q.Front();
        out.insert(out.end(), s.bytes.begin(), s.bytes.end());
        ++segments;
        const long gap = q.Consume(s.bytes.size());
        EXPECT_GE(gap, 0);
        gaps += gap;
    }
    return out;
}

} // namespace

TEST(SimTxQueue, PiecesAndNoiseKeepTheFrameIntact) {
    std::vector<std::uint8_t> frame(210);
    std::iota(frame.begin(), frame.end(), 0);
    std::mt19937 rng(5);
    Faults faults;
    faults.pieces = true;
    faults.noiseMax = 8;
    bool sawSplit = false;
    bool sawNoise = false;
    for (int round = 0; round < 50; ++round) {
        TxQueue q;
        ASSERT_TRUE(q.Push(frame.data(), frame.size(), faults, rng, 1000));
        EXPECT_GE(q.PendingBytes(), frame.size());
        int segments = 0;
        long gaps = 0;
        const auto out = Drain(q, segments, gaps);
        ASSERT_GE(out.size(), frame.size());
        EXPECT_LE(out.size(), frame.size() + 8);
        EXPECT_TRUE(std::equal(frame.begin(), frame.end(), out.begin()));
        EXPECT_LE(segments, 5);
        EXPECT_LE(gaps, 20L * (segments - 1));
        EXPECT_GE(gaps, segments - 1);
        EXPECT_EQ(q.PendingBytes(), 0u);
        sawSplit = sawSplit || segments > 1;
        sawNoise = sawNoise || out.size() > frame.size();
    }
    EXPECT_TRUE(sawSplit);
    EXPECT_TRUE(sawNoise);
}

TEST(SimTxQueue, CorruptionChangesOneByteAndTheLimitHolds) {
    std::vector<std::uint8_t> frame(50, 0xAA);
    std::mt19937 rng(9);
    Faults faults;
    faults.corruptPercent = 100;
    TxQueue q;
    ASSERT_TRUE(q.Push(frame.data(), frame.size(), faults, rng, 100));
    EXPECT_EQ(q.Corrupted(), 1u);
    int segments = 0;
    long gaps = 0;
    const auto out = Drain(q, segments, gaps);
    ASSERT_EQ(out.size(), frame.size());
    int changed = 0;
    for (std::size_t i = 0; i < out.size(); ++i)
        changed += out[i] != frame[i];
    EXPECT_EQ(changed, 1);

    faults.corruptPercent = 0;
    ASSERT_TRUE(q.Push(frame.data(), frame.size(), faults, rng, 100));
    ASSERT_TRUE(q.Push(frame.data(), frame.size(), faults, rng, 100));
    ASSERT_TRUE(q.Push(frame.data(), frame.size(), faults, rng, 100)); // 100 waiting: not over
    EXPECT_FALSE(q.Push(frame.data(), frame.size(), faults, rng, 100));
    EXPECT_EQ(q.PendingBytes(), 150u);
}

TEST(SimOptionsParse, ReadsOptionsAndRefusesBadOnes) {
    const char* argv[] = {"sim",      "--period",    "50",     "--nodes", "1,8",    "--load",
                          "1:2:48",   "--corrupt",   "10",     "--leave", "8:1500", "--silence",
                          "3000:500", "--full-rate", "--link", "/tmp/x"};
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseOptions(static_cast<int>(std::size(argv)), argv, o, error)) << error;
    EXPECT_EQ(o.periodMs, 50u);
    EXPECT_TRUE(o.nodesGiven);
    EXPECT_EQ(o.nodes, 0x81);
    EXPECT_EQ(o.faults.corruptPercent, 10u);
    EXPECT_EQ(o.pacing, Pacing::FullRate);
    EXPECT_EQ(o.link, "/tmp/x");
    ASSERT_EQ(o.startCommands.size(), 1u);
    EXPECT_EQ(o.startCommands[0], "load 1 2 48");
    ASSERT_EQ(o.timed.size(), 3u);
    EXPECT_EQ(o.timed[0].atMs, 1500u);
    EXPECT_EQ(o.timed[0].command, "leave 8");
    EXPECT_EQ(o.timed[1].command, "silence on");
    EXPECT_EQ(o.timed[2].atMs, 3500u);
    EXPECT_EQ(o.timed[2].command, "silence off");

    const std::vector<std::vector<const char*>> bad = {
        {"sim", "--period"},
        {"sim", "--period", "0"},
        {"sim", "--period", "5x"},
        {"sim", "--nodes", "1,9"},
        {"sim", "--nodes", "1,,2"},
        {"sim", "--corrupt", "101"},
        {"sim", "--leave", "3"},
        {"sim", "--silence", "10"},
        {"sim", "--bogus"},
        {"sim", "--device", "/dev/x", "--link", "/tmp/y"},
        {"sim", "--speed", "2"},
        {"sim", "--replay", "c.pcapng", "--speed", "0"},
        {"sim", "--replay", "c.pcapng", "--noise", "4"},
    };
    for (const auto& args : bad) {
        SimOptions b;
        std::string why;
        EXPECT_FALSE(ParseOptions(static_cast<int>(args.size()), args.data(), b, why)) << args[1];
        EXPECT_FALSE(why.empty());
    }
}

TEST(SimLineCommands, ChangeTheBusOrExplainWhyNot) {
    SimBus bus(1);
    bus.SetDrift(false);
    LoadDefaultModel(bus);
    RunFlags flags;
    EXPECT_EQ(bus.BuildStatus().NodePresent(), 0x0B);

    EXPECT_TRUE(RunLineCommand("leave 2", bus, flags).ok);
    EXPECT_EQ(bus.BuildStatus().NodePresent(), 0x09);
    EXPECT_TRUE(RunLineCommand("  join   8 ", bus, flags).ok);
    EXPECT_EQ(bus.BuildStatus().NodePresent(), 0x89);
    EXPECT_TRUE(RunLineCommand("load 1 2 77", bus, flags).ok);
    EXPECT_EQ(bus.BuildStatus().Current(0, 1), 77);
    EXPECT_TRUE(RunLineCommand("trip 1 2 60 3", bus, flags).ok);
    EXPECT_EQ(bus.Module(0).breakers[1].tripCurrent, 60);
    EXPECT_EQ(bus.Module(0).breakers[1].tripTime, 3);
    EXPECT_TRUE(RunLineCommand("switch 1 8 on", bus, flags).ok);
    EXPECT_EQ(bus.BuildStatus().BreakerOn(0) & 0x80, 0x80);
    EXPECT_TRUE(RunLineCommand("profile 1 fixed 4", bus, flags).ok);
    EXPECT_EQ(bus.BuildStatus().FixedProfile(0), 3);
    EXPECT_EQ(bus.BuildStatus().OptionFlags(0) & OPT_PROGRAMMABLE, 0);
    EXPECT_TRUE(RunLineCommand("silence on", bus, flags).ok);
    EXPECT_TRUE(flags.silent);
    EXPECT_TRUE(RunLineCommand("setup-reply off", bus, flags).ok);
    EXPECT_FALSE(flags.setupReply);
    EXPECT_TRUE(RunLineCommand("show 1", bus, flags).ok);
    EXPECT_FALSE(flags.quit);
    EXPECT_TRUE(RunLineCommand("quit", bus, flags).ok);
    EXPECT_TRUE(flags.quit);

    const StatusRecord before = bus.BuildStatus();
    for (const char* line :
         {"leave 0", "leave 9", "join", "load 1 9 5", "load 1 1 70000", "trip 1 1 0 5",
          "switch 1 1 maybe", "profile 1 fixed 0", "silence loud", "frobnicate", "load 1 1 -5"}) {
        const LineResult r = RunLineCommand(line, bus, flags);
        EXPECT_FALSE(r.ok) << line;
        EXPECT_FALSE(r.text.empty()) << line;
    }
    EXPECT_EQ(bus.BuildStatus().bytes, before.bytes);
}

TEST(SimCommandLog, OneJsonLinePerCommand) {
    CommandResult ok;
    ok.applied = true;
    const std::uint8_t sw[] = {2, 4, 1};
    EXPECT_EQ(CommandJson(1200, CMD_SWITCH_BREAKER, sw, 3, ok),
              R"({"t_ms":1200,"node":3,"cmd":"CMD_SWITCH_BREAKER","code":6,"payload":[4,1],)"
              R"("applied":true})");
    CommandResult ignored;
    ignored.reason = "node \"9\" out of range";
    const std::uint8_t odd[] = {8};
    EXPECT_EQ(CommandJson(5, 99, odd, 1, ignored),
              R"({"t_ms":5,"node":9,"cmd":null,"code":99,"payload":[],"applied":false,)"
              R"("reason":"node \"9\" out of range"})");
}

TEST(SimReplay, ACaptureCutShortPlaysItsWholeRecordsAndSaysWhereItBroke) {
    std::vector<std::uint8_t> capture;
    PcapngWriter::AppendHeader(capture, {"test", "line", ""});
    const std::uint8_t frame[] = {0xD5, 0x82, 0x01, 0x02, 0x00, 0x00, 0x03, 0x03};
    for (int i = 0; i < 3; ++i)
        PcapngWriter::AppendPacket(capture, 1'000'000'000ull * (i + 1), 1, frame, sizeof frame,
                                   "accepted");
    capture.resize(capture.size() - 10); // the last block cut in the middle
    const auto dir = std::filesystem::temp_directory_path();
    const std::string path = (dir / ("orvik-cut-" + std::to_string(::getpid()))).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(capture.data()),
               static_cast<std::streamsize>(capture.size()));
    Replay replay;
    std::string error;
    ASSERT_TRUE(replay.Load(path, 1, false, error)) << error;
    EXPECT_EQ(replay.Records(), 2u);
    EXPECT_NE(replay.Broken().find("at byte"), std::string::npos) << replay.Broken();
    std::filesystem::remove(path);

    // A FIFO is refused at once, not waited on.
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(replay.Load(path, 1, false, error));
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
    std::filesystem::remove(path);
}
