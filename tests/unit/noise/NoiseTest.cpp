// The link core on a noisy line: thousands of frames from the bus simulator with random bytes
// between them, a share of them with one byte changed, in random pieces. The link state must
// act on exactly the frames that an independent scan of the delivered bytes finds intact, and
// show only statuses that the simulator sent.
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
#include <random>
#include <string>
#include <unistd.h>

using namespace orvik;
using namespace orvik::test;

namespace {

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

} // namespace

TEST(NoiseAgainstReference, SimulatedBusWithNoiseCorruptionAndPieces) {
    std::mt19937 rng(2024);
    const NoisyStream noisy = MakeNoisyStream(4000, rng);
    const Bytes& stream = noisy.bytes;
    const auto& sentStatus = noisy.sentStatus;

    NoiseChecker checker(stream, sentStatus, noisy.sentSetup);
    while (!checker.Done()) {
        checker.Deliver(1 + rng() % 700, 1 + static_cast<int>(rng() % NODE_COUNT));
        if (::testing::Test::HasFatalFailure())
            return;
    }
    std::printf("[ figures  ] %zu status and %zu setup frames sent, %lu corrupted, %zu noise "
                "bytes; %zu frames pass their checks, %zu statuses shown, %zu setups stored\n",
                sentStatus.size(), noisy.sentSetup.size(), noisy.corrupted,
                stream.size() - noisy.frameBytes, checker.FramesPassingChecks(),
                checker.StatusShown(), checker.SetupsStored());
    // The faults did happen, and most frames still came through.
    EXPECT_GT(noisy.corrupted, sentStatus.size() / 8);
    EXPECT_LT(checker.StatusShown(), sentStatus.size());
    EXPECT_GT(checker.StatusShown(), sentStatus.size() / 2);
    EXPECT_GT(checker.SetupsStored(), 0u);
}

TEST(NoiseAgainstReference, SimulatorProgramOnAPseudoTerminal) {
    const std::string trace =
        ::testing::TempDir() + "orvik-noise-" + std::to_string(getpid()) + "-trace.txt";
    SimProcess sim({"--unpaced", "--period", "1", "--noise", "16", "--corrupt", "20", "--seed", "9",
                    "--trace-sent", trace});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.ReadLine();
    ASSERT_FALSE(path.empty());
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << path;
    ASSERT_TRUE(sim::MakeRaw57600(fd));

    // Read for two seconds in pieces of random size; they are delivered as they came.
    std::mt19937 rng(5);
    Bytes stream;
    std::vector<std::size_t> pieces;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::uint8_t buf[512];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = read(fd, buf, 1 + rng() % sizeof buf);
        if (n <= 0)
            continue;
        stream.insert(stream.end(), buf, buf + n);
        pieces.push_back(static_cast<std::size_t>(n));
    }
    EXPECT_EQ(sim.Stop(), 0);
    close(fd);

    std::vector<StatusRecord> sentStatus;
    std::ifstream in(trace);
    for (std::string type, hex; in >> type >> hex;) {
        const Bytes data = FromHex(hex);
        ASSERT_EQ(type, "1");
        ASSERT_EQ(data.size(), STATUS_RECORD_SIZE);
        sentStatus.emplace_back();
        std::copy(data.begin(), data.end(), sentStatus.back().bytes.begin());
    }
    std::remove(trace.c_str());

    NoiseChecker checker(stream, sentStatus, {});
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        checker.Deliver(pieces[k], 1 + static_cast<int>(k % NODE_COUNT));
        if (::testing::Test::HasFatalFailure())
            return;
    }
    std::printf("[ figures  ] %zu status frames sent, %zu bytes read in %zu pieces; %zu frames "
                "pass their checks, %zu statuses shown\n",
                sentStatus.size(), stream.size(), pieces.size(), checker.FramesPassingChecks(),
                checker.StatusShown());
    EXPECT_GT(checker.StatusShown(), 500u);
    EXPECT_LT(checker.StatusShown(), sentStatus.size());
}
