// A capture that the link core wrote of a noisy line (noise, corrupted frames, pieces),
// replayed by orvik-bus-sim, brings back the same bytes, and so the same accepted frames in
// the program's receiver as the original stream: the noise test's reference check.
#include "link/capture/Pcapng.h"
#include "link/protocol/FrameLog.h"
#include "sim/SimLine.h"
#include "tests/support/ChildProcess.h"
#include "tests/unit/noise/NoiseChecker.h"
#include "tests/unit/noise/NoisyStream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <unistd.h>

using namespace orvik;
using namespace orvik::test;

TEST(ReplayAgainstReference, CaptureOfANoisyLinePlaysBackToTheSameFrames) {
    std::mt19937 rng(77);
    const NoisyStream noisy = MakeNoisyStream(500, rng);

    // The program's side: its link state with the frame log, the bytes in random pieces.
    FrameLog log(20000);
    LinkState link;
    link.SetNodeSelector([] { return 1; });
    link.SetFrameLog(&log);
    for (std::size_t at = 0; at < noisy.bytes.size();) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 300, noisy.bytes.size() - at);
        link.FeedBytes(&noisy.bytes[at], n);
        at += n;
    }
    std::size_t recorded = 0;
    for (std::uint64_t s = log.FirstSeq(); s < log.NextSeq(); ++s)
        recorded += log.Find(s)->length;
    // All but a frame still in progress at the end.
    ASSERT_GT(recorded + MAX_FRAME_SIZE, noisy.bytes.size());
    const std::string path =
        ::testing::TempDir() + "orvik-replay-" + std::to_string(getpid()) + ".pcapng";
    const auto capture = CaptureOfLog(log, {"test", "COM1", ""});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(capture.data()),
               static_cast<std::streamsize>(capture.size()));

    SimProcess sim({"--replay", path, "--unpaced", "--speed", "1000"});
    ASSERT_TRUE(sim.Started());
    const std::string far = sim.ReadLine();
    ASSERT_FALSE(far.empty());
    const int fd = open(far.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << far;
    ASSERT_TRUE(sim::MakeRaw57600(fd));
    Bytes replayed;
    std::vector<std::size_t> pieces;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::uint8_t buf[700];
    while (replayed.size() < recorded && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = read(fd, buf, 1 + rng() % sizeof buf);
        if (n > 0) {
            replayed.insert(replayed.end(), buf, buf + n);
            pieces.push_back(static_cast<std::size_t>(n));
        }
    }
    EXPECT_EQ(sim.Stop(), 0);
    close(fd);
    std::remove(path.c_str());

    ASSERT_EQ(replayed.size(), recorded);
    EXPECT_TRUE(std::equal(replayed.begin(), replayed.end(), noisy.bytes.begin()));
    NoiseChecker checker(replayed, noisy.sentStatus, noisy.sentSetup);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        checker.Deliver(pieces[k], 1 + static_cast<int>(k % NODE_COUNT));
        if (::testing::Test::HasFatalFailure())
            return;
    }
    const LinkCounters& c = log.Counters();
    EXPECT_EQ(checker.FramesPassingChecks(), c.Of(FrameOutcome::Accepted) + c.Ignored());
    EXPECT_GT(c.Of(FrameOutcome::BadSum) + c.Of(FrameOutcome::BadXor), 50u);
    EXPECT_GT(c.noiseBytes, 1000u);
    std::printf("[ figures  ] %zu bytes recorded in %llu records, replayed in %zu pieces; %zu "
                "frames pass their checks, %zu statuses shown\n",
                recorded, static_cast<unsigned long long>(log.Size()), pieces.size(),
                checker.FramesPassingChecks(), checker.StatusShown());
}
