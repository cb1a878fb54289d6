// Recordings of the line: a new file when one is full, the oldest gone past the total, and a
// write that fails stops the recording with its reason and keeps what was written.
#include "link/capture/LineRecording.h"
#include "link/capture/PcapngStream.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#ifndef _WIN32
#include <sys/resource.h>
#endif

using namespace orvik;
namespace fs = std::filesystem;

namespace {

struct Recordings : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("orvik-recordings-" + std::to_string(::getpid()));
    FrameLog log{1000};
    void TearDown() override { fs::remove_all(dir); }
    void Frames(int count) {
        std::uint8_t frame[210] = {0xD5, 0x82, 0x01};
        for (int i = 0; i < count; ++i)
            log.Add(Direction::Inbound, FrameOutcome::Accepted, log.Now(), frame, sizeof frame);
    }
    std::vector<fs::path> Files() const {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(dir))
            files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }
};

std::uint64_t Packets(const fs::path& file) {
    return ScanPcapngFile(file.string(), [](const PacketView&) {}).packets;
}

} // namespace

TEST_F(Recordings, FilesFollowOneAnotherAndTheOldestGoPastTheTotal) {
    Frames(5); // before the start: not recorded
    LineRecording recording;
    ASSERT_TRUE(recording.Start((dir / "new").string(), log, {"test", "COM1", ""},
                                {/*fileBytes=*/3000, /*totalBytes=*/8000}))
        << recording.Error();
    std::uint64_t recorded = 0;
    for (int round = 0; round < 20; ++round) {
        Frames(4);
        recorded += 4;
        ASSERT_TRUE(recording.Poll(log, round * 100)) << recording.Error();
    }
    recording.Stop();
    dir /= "new";
    const auto files = Files();
    ASSERT_GE(files.size(), 2u);
    std::uintmax_t total = 0;
    std::uint64_t packets = 0;
    for (const auto& f : files) {
        total += fs::file_size(f);
        packets += Packets(f);
        EXPECT_EQ(f.filename().string().rfind("orvik-", 0), 0u);
    }
    EXPECT_LE(total, 8000u + 3000u);           // the file being written may top the total up
    EXPECT_LT(packets, recorded);              // the oldest went
    EXPECT_TRUE(fs::exists(recording.File())); // the newest stays
}

#ifndef _WIN32
TEST_F(Recordings, AFailedWriteStopsTheRecordingAndKeepsWhatWasWritten) {
    LineRecording recording;
    ASSERT_TRUE(recording.Start(dir.string(), log, {"test", "COM1", ""}));
    Frames(10);
    ASSERT_TRUE(recording.Poll(log, 0));
    recording.Sync();
    // The disk fills up: no more than 4 KB per file.
    rlimit saved{}, small{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    small = {4096, saved.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Frames(40);
    recording.Poll(log, 2000); // written on the writer's thread
    recording.Sync();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    const bool going = recording.Poll(log, 2100);
    EXPECT_FALSE(going);
    EXPECT_FALSE(recording.Active());
    EXPECT_NE(recording.Error().find("the recording stopped"), std::string::npos)
        << recording.Error();
    EXPECT_GE(Packets(recording.File()), 10u);
}
#endif

TEST(RecordingNames, NameThePortAndTheStart) {
    const std::int64_t t = 1'790'000'000'000;
    const std::string time = RecordingFileName("", t).substr(6, 19);
    EXPECT_EQ(RecordingFileName("COM1", t), "orvik-COM1-" + time + ".pcapng");
    EXPECT_EQ(RecordingFileName("/dev/serial/by-id/usb-Bench:0", t),
              "orvik-usb-Bench-0-" + time + ".pcapng");
    EXPECT_EQ(RecordingFileName("rfc2217://bench.local:4001", t),
              "orvik-rfc2217-bench.local-4001-" + time + ".pcapng");
    EXPECT_TRUE(IsRecordingFileName(RecordingFileName("COM1", t)));
    EXPECT_TRUE(IsRecordingFileName("orvik-" + time + "-2.pcapng"));
    EXPECT_FALSE(IsRecordingFileName("orvik-notes.pcapng"));
}

#ifndef _WIN32
// Two programs recording into one folder in the same second: each its own file, and pruning
// by one leaves the file the other is writing.
TEST_F(Recordings, TwoInOneSecondNeverShareAFileNorPruneEachOther) {
    LineRecording first, second;
    ASSERT_TRUE(first.Start(dir.string(), log, {"test", "COM1", ""}));
    ASSERT_TRUE(second.Start(dir.string(), log, {"test", "COM1", ""}, {1000, 1000}));
    EXPECT_NE(first.File(), second.File());
    Frames(10);
    ASSERT_TRUE(first.Poll(log, 0));
    ASSERT_TRUE(second.Poll(log, 0)); // a new file at once, and pruning past 1000 bytes
    second.Sync();                    // its pruning is done while the first still writes
    EXPECT_NE(second.File(), first.File());
    first.Stop();
    EXPECT_EQ(Packets(first.File()), 10u);
}

TEST_F(Recordings, AStartThatCannotWriteLeavesNoFile) {
    fs::create_directories(dir);
    rlimit saved{}, none{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    none = {0, saved.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
    LineRecording recording;
    const bool started = recording.Start(dir.string(), log, {"test", "COM1", ""});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(started);
    EXPECT_TRUE(Files().empty());
}
#endif
