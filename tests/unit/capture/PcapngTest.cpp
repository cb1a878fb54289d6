// Captures: what the writer makes, our reader and tshark with the dissector read back.
#include "link/capture/Pcapng.h"
#include "link/protocol/FrameDecode.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace orvik;
using namespace orvik::test;

namespace {

// A log with one of everything: every command, status, setup reply, a bad frame, noise.
void FillLog(FrameLog& log) {
    LinkState link;
    FakePort port;
    link.SetPort(&port);
    link.SetFrameLog(&log);
    link.SetNodeSelector([] { return 3; });
    for (std::uint8_t code = CMD_TRIP_CURRENT; code <= CMD_REQUEST_BREAKER_SETUP; ++code) {
        link.CmdPayload = {static_cast<std::uint8_t>(code % 8), 25, 0};
        link.SendToSelected(code, static_cast<std::uint8_t>(CommandLengthByte(code) - 1));
    }
    StatusRecord s;
    s.SetNodePresent(0x85);
    Bytes in = {0x11, 0x22, 0x33};
    for (const Bytes& f : {StatusFrame(s), Frame(FRAME_BREAKER_SETUP, SetupReplyData(2))})
        in.insert(in.end(), f.begin(), f.end());
    Bytes bad = StatusFrame(s);
    bad.back() ^= 0xFF;
    in.insert(in.end(), bad.begin(), bad.end());
    link.FeedBytes(in.data(), in.size());
}

#ifndef _WIN32 // tshark is asked on Linux only
std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}
#endif

} // namespace

TEST(Pcapng, WriterOutputReadsBackRecordForRecord) {
    FrameLog log(64);
    FillLog(log);
    const auto bytes = CaptureOfLog(log, {"test", "COM1", "Orvik bus"});
    const CaptureReadResult r = ReadPcapng(bytes.data(), bytes.size());
    ASSERT_TRUE(r.Ok()) << r.error;
    ASSERT_EQ(r.packets.size(), log.Size());
    for (std::size_t i = 0; i < r.packets.size(); ++i) {
        const FrameRecord& rec = *log.Find(log.FirstSeq() + i);
        const CapturedPacket& p = r.packets[i];
        EXPECT_EQ(p.bytes, Bytes(rec.bytes.begin(), rec.bytes.begin() + rec.length));
        EXPECT_EQ(p.direction, static_cast<std::uint8_t>(rec.direction));
        EXPECT_EQ(p.comment, OutcomeText(rec.outcome));
        EXPECT_EQ(p.timestampNs / 1000,
                  static_cast<std::uint64_t>(log.WallStartNs() + rec.timeNs) / 1000);
    }
    // Cut anywhere inside a block, the file is reported, not half read.
    const CaptureReadResult cut = ReadPcapng(bytes.data(), bytes.size() - 5);
    EXPECT_NE(cut.error.find("cut short in the block"), std::string::npos) << cut.error;
    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'};
    EXPECT_NE(ReadPcapng(text.data(), text.size()).error.find("not a pcapng"), std::string::npos);
}

// Damage inside a capture (a length at either end of a block, a packet's interface) costs the
// blocks it hits only: the packets after it are read, the damaged places counted.
TEST(Pcapng, DamagedBlocksAreSkippedAndCounted) {
    std::vector<std::uint8_t> bytes;
    PcapngWriter::AppendHeader(bytes, {"test", "COM1", "Orvik bus"});
    std::vector<std::size_t> at;
    for (std::uint8_t i = 0; i < 20; ++i) {
        at.push_back(bytes.size());
        const std::uint8_t data[] = {i, i, i};
        PcapngWriter::AppendPacket(bytes, 1'000'000'000ull * (i + 1), 1, data, 3, "");
    }
    const auto length = [&](std::size_t block) {
        return bytes[at[block] + 4] | bytes[at[block] + 5] << 8;
    };
    bytes[at[3] + 4] ^= 0x40;             // its length
    bytes[at[8] + length(8) - 4] ^= 0x01; // its length at its end
    bytes[at[14] + 8] ^= 0x07;            // its interface
    const CaptureScan scan = ScanPcapng(bytes.data(), bytes.size(), [](const PacketView&) {});
    EXPECT_TRUE(scan.Ok()) << scan.error;
    EXPECT_EQ(scan.damagedBlocks, 3u);
    const CaptureReadResult r = ReadPcapng(bytes.data(), bytes.size());
    ASSERT_EQ(r.packets.size(), 17u);
    std::vector<std::uint8_t> seen;
    for (const CapturedPacket& p : r.packets)
        seen.push_back(p.bytes[0]);
    EXPECT_EQ(seen, (std::vector<std::uint8_t>{0, 1, 2, 4, 5, 6, 7, 9, 10, 11, 12, 13, 15, 16, 17,
                                               18, 19}));
    // Cut short after the damage: still told as cut short.
    const CaptureScan cut = ScanPcapng(bytes.data(), bytes.size() - 5, [](const PacketView&) {});
    EXPECT_TRUE(cut.cutShort);
    EXPECT_EQ(cut.breakAt, at[19]);
    EXPECT_EQ(cut.damagedBlocks, 3u);
}

// A file read on another thread says how far it has come, and a cancel ends it at once.
TEST(Pcapng, AReadingIsFollowedAndCancelled) {
    std::vector<std::uint8_t> bytes;
    PcapngWriter::AppendHeader(bytes, {"test", "COM1", "Orvik bus"});
    for (std::uint8_t i = 0; i < 20; ++i)
        PcapngWriter::AppendPacket(bytes, 1'000'000'000ull * (i + 1), 1, &i, 1, "");
    const auto path = std::filesystem::temp_directory_path() / "orvik-cancelled-read.pcapng";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ScanControl control;
    std::uint64_t seen = 0;
    const CaptureScan scan = ScanPcapngFile(
        path.string(),
        [&](const PacketView&) {
            if (++seen == 5)
                control.cancel = true;
        },
        &control);
    std::filesystem::remove(path);
    EXPECT_TRUE(scan.cancelled);
    EXPECT_EQ(seen, 5u);
    EXPECT_EQ(control.size, bytes.size());
    EXPECT_GT(control.bytesRead, 0u);
    EXPECT_LT(control.bytesRead, bytes.size());
}

// Big-endian, nanosecond time stamps, an interface of another link type before ours.
TEST(Pcapng, ReadsOtherByteOrdersResolutionsAndInterfaces) {
    Bytes f;
    auto u32 = [&f](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            f.push_back(static_cast<std::uint8_t>(v >> s));
    };
    u32(0x0A0D0D0A), u32(28), u32(0x1A2B3C4D), u32(0x00010000), u32(0xFFFFFFFF), u32(0xFFFFFFFF),
        u32(28);
    u32(1), u32(20), u32(1 << 16), u32(0), u32(20); // link type 1: not ours
    u32(1), u32(28), u32(147 << 16), u32(0), u32(0x00090001), u32(0x09000000), u32(28);
    for (std::uint32_t id : {0u, 1u}) {
        u32(6), u32(48), u32(id), u32(1), u32(5), u32(3), u32(3), u32(0xD5820100);
        u32(0x00020004), u32(0x00000002), u32(0), u32(48);
    }
    const CaptureReadResult r = ReadPcapng(f.data(), f.size());
    ASSERT_TRUE(r.Ok()) << r.error;
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_EQ(r.packets[0].timestampNs, (std::uint64_t{1} << 32) + 5);
    EXPECT_EQ(r.packets[0].direction, 2);
    EXPECT_EQ(r.packets[0].bytes, (Bytes{0xD5, 0x82, 0x01}));
}

// Both decoders, ours and the dissector under tshark, say the same of every record.
TEST(Pcapng, TsharkWithTheDissectorDecodesOurCapture) {
#ifdef _WIN32
    GTEST_SKIP() << "no tshark on this system";
#else
    if (std::system("command -v tshark >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tshark is not installed";
    FrameLog log(64);
    FillLog(log);
    const std::string path = ::testing::TempDir() + "orvik-capture-test.pcapng";
    const auto bytes = CaptureOfLog(log, {"test", "COM1", ""});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::string out =
        Output("tshark -X lua_script:" ORVIK_DISSECTOR " -r " + path +
               " -T fields -E separator=';' -e orvik.kind -e orvik.node -e orvik.sum_valid"
               " -e orvik.xor_valid -e orvik.trip_current -e orvik.summary 2>/dev/null");
    std::remove(path.c_str());
    std::istringstream lines(out);
    std::string line;
    std::size_t n = 0;
    for (std::uint64_t s = log.FirstSeq(); s < log.NextSeq(); ++s, ++n) {
        ASSERT_TRUE(std::getline(lines, line)) << "tshark printed " << n << " lines:\n" << out;
        const DecodedFrame d = DecodeFrame(*log.Find(s));
        EXPECT_EQ(line.substr(line.rfind(';') + 1), d.summary) << line;
        const bool noise = d.kind == FrameKind::Noise;
        const bool badXor = log.Find(s)->outcome == FrameOutcome::BadXor;
        std::string expected = noise ? "noise;;;;" : "";
        if (!noise) {
            const char* kinds[] = {"status", "breaker setup reply", "other type", "command"};
            expected = std::string(kinds[static_cast<int>(d.kind)]) + ";" +
                       (d.node ? std::to_string(d.node) : "") + ";1;" + (badXor ? "0" : "1") + ";" +
                       (d.summary.rfind("trip current", 0) == 0 ? "2.5" : "");
        }
        EXPECT_EQ(line.substr(0, line.rfind(';')), expected);
    }
    EXPECT_EQ(n, 16u); // 12 commands, noise, status, setup reply, bad status
#endif
}
