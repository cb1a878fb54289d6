// Runs orvik-bus-sim on a pseudo-terminal and reads its frames with the link core's receiver.
#include "link/capture/Pcapng.h"
#include "link/protocol/LinkFrame.h"
#include "link/protocol/StatusRecord.h"
#include "sim/SimLine.h"
#include "tests/support/CaptureFile.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace orvik;
using orvik::test::SimProcess;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

struct Frame {
    std::uint8_t type;
    std::vector<std::uint8_t> data;
};

// The far end of the line, as the program under test would open it.
class FarEnd {
public:
    explicit FarEnd(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0)
            sim::MakeRaw57600(fd_);
    }
    ~FarEnd() {
        if (fd_ >= 0)
            close(fd_);
    }
    bool Open() const { return fd_ >= 0; }

    // Reads for at most `wait`, until `done` says so; every accepted frame goes to `frames`.
    void Read(
        milliseconds wait, const std::function<bool()>& done = [] { return false; }) {
        const auto end = Clock::now() + wait;
        std::uint8_t buf[1024];
        while (Clock::now() < end && !done()) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = read(fd_, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                ++bytes;
                ++bytesSinceFrame;
                if (rx.Feed(buf[i])) {
                    frames.push_back(
                        {rx.RxType(),
                         std::vector<std::uint8_t>(rx.FrameData().begin(),
                                                   rx.FrameData().begin() +
                                                       static_cast<long>(rx.ReceivedLength()))});
                    bytesSinceFrame = 0;
                }
            }
        }
    }

    void Send(std::uint8_t code, std::vector<std::uint8_t> data) {
        std::uint8_t frame[MAX_FRAME_SIZE];
        const std::size_t n = EncodeFrame(code, data.data(), data.size(), frame);
        [[maybe_unused]] auto w = write(fd_, frame, n);
    }

    const Frame* LastStatus() const {
        for (auto it = frames.rbegin(); it != frames.rend(); ++it)
            if (it->type == FRAME_STATUS && it->data.size() == STATUS_RECORD_SIZE)
                return &*it;
        return nullptr;
    }
    static StatusRecord Record(const Frame& f) {
        StatusRecord r;
        std::copy(f.data.begin(), f.data.end(), r.bytes.begin());
        return r;
    }

    FrameReceiver rx;
    std::vector<Frame> frames;
    std::size_t bytes = 0;
    std::size_t bytesSinceFrame = 0;

private:
    int fd_ = -1;
};

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "orvik-sim-" + std::to_string(getpid()) + "-" + name;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

} // namespace

TEST(SimProgram, FramesWithoutFaultsAreAllAccepted) {
    SimProcess sim({"--period", "50"});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.ReadLine();
    ASSERT_FALSE(path.empty());
    FarEnd line(path);
    ASSERT_TRUE(line.Open()) << path;

    const auto t0 = Clock::now();
    line.Read(milliseconds(1500));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_EQ(sim.Stop(), 0);

    ASSERT_GE(line.frames.size(), 10u);
    // Every byte belongs to an accepted frame, except a frame still arriving at the end.
    const std::size_t frameBytes = STATUS_RECORD_SIZE + FRAME_OVERHEAD;
    EXPECT_EQ(line.bytes - line.bytesSinceFrame, line.frames.size() * frameBytes);
    EXPECT_LT(line.bytesSinceFrame, frameBytes);
    for (const Frame& f : line.frames) {
        ASSERT_EQ(f.type, FRAME_STATUS);
        ASSERT_EQ(f.data.size(), STATUS_RECORD_SIZE);
        EXPECT_EQ(f.data[status_offset::NodePresent], 0x0B);
    }
    std::printf("[ figures  ] %zu frames, %zu bytes in %.2f s (%.0f bytes/s)\n", line.frames.size(),
                line.bytes, seconds, line.bytes / seconds);
}

TEST(SimProgram, WithFaultsEveryAcceptedFrameWasSent) {
    const std::string trace = TempPath("trace.txt");
    SimProcess sim({"--unpaced", "--period", "20", "--noise", "30", "--corrupt", "30", "--pieces",
                    "--seed", "4", "--trace-sent", trace});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.ReadLine();
    FarEnd line(path);
    ASSERT_TRUE(line.Open()) << path;
    line.Read(milliseconds(2000));
    // A setup request in the middle of it: its reply goes through the same faults.
    for (int i = 0; i < 5; ++i) {
        line.Send(CMD_REQUEST_BREAKER_SETUP, {1, 0});
        line.Read(milliseconds(100));
    }
    EXPECT_EQ(sim.Stop(), 0);

    const auto traced = Lines(trace);
    const std::set<std::string> sent(traced.begin(), traced.end());
    std::remove(trace.c_str());
    ASSERT_GT(traced.size(), 20u);

    static const char digits[] = "0123456789abcdef";
    std::size_t setupReplies = 0;
    for (const Frame& f : line.frames) {
        std::string text = std::to_string(f.type) + " ";
        for (auto b : f.data) {
            text += digits[b >> 4];
            text += digits[b & 0x0F];
        }
        EXPECT_TRUE(sent.count(text)) << "accepted but never sent: " << text;
        setupReplies += f.type == FRAME_BREAKER_SETUP;
    }
    EXPECT_GT(line.frames.size(), 10u);
    // Some frames were lost to the faults (30 % corrupted).
    EXPECT_LT(line.frames.size(), traced.size());
    std::printf("[ figures  ] %zu frames sent, %zu accepted (%zu setup replies)\n", traced.size(),
                line.frames.size(), setupReplies);
}

TEST(SimProgram, CommandsAreCarriedOutAnsweredLoggedAndCaptured) {
    const std::string log = TempPath("log.jsonl");
    const std::string capture = TempPath("capture.pcapng");
    SimProcess sim({"--period", "50", "--no-drift", "--log", log, "--capture", capture});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.ReadLine();
    FarEnd line(path);
    ASSERT_TRUE(line.Open()) << path;

    line.Send(CMD_SWITCH_BREAKER, {0, 4, 1});     // node 1, breaker 5 on
    line.Send(CMD_SWITCH_BREAKER, {2, 4, 1});     // node 3 is not on the bus
    line.Send(CMD_REQUEST_BREAKER_SETUP, {1, 0}); // node 2
    bool switched = false;
    bool replied = false;
    line.Read(milliseconds(3000), [&] {
        const Frame* s = line.LastStatus();
        switched = s && (FarEnd::Record(*s).BreakerOn(0) & 0x10);
        replied = false;
        for (const Frame& f : line.frames)
            replied =
                replied || (f.type == FRAME_BREAKER_SETUP && f.data.size() == 25 && f.data[0] == 1);
        return switched && replied;
    });
    EXPECT_TRUE(switched);
    EXPECT_TRUE(replied);
    EXPECT_EQ(sim.Stop(), 0);

    const auto lines = Lines(log);
    std::remove(log.c_str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(R"("node":1,"cmd":"CMD_SWITCH_BREAKER","code":6,"payload":[4,1],)"
                            R"("applied":true)"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find(R"("node":3,"cmd":"CMD_SWITCH_BREAKER")"), std::string::npos);
    EXPECT_NE(lines[1].find(R"("applied":false,"reason":)"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(R"("node":2,"cmd":"CMD_REQUEST_BREAKER_SETUP")"), std::string::npos);
    EXPECT_NE(lines[2].find(R"("applied":true)"), std::string::npos);

    // The capture: the three commands as they came (outbound), status frames and the reply.
    const CaptureReadResult r = ReadPcapngFile(capture);
    std::remove(capture.c_str());
    ASSERT_TRUE(r.Ok()) << r.error;
    std::vector<std::vector<std::uint8_t>> commands;
    int replies = 0;
    for (const CapturedPacket& p : r.packets) {
        if (p.direction == 2)
            commands.push_back(p.bytes);
        else if (p.bytes.size() == 31 && p.bytes[2] == FRAME_BREAKER_SETUP)
            replies += p.comment == "accepted";
    }
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0], (std::vector<std::uint8_t>{0xD5, 0x82, 6, 3, 0, 4, 1, 0x0E, 0}));
    EXPECT_EQ(replies, 1);
}

TEST(SimProgram, StdinChangesTheBusAndItsEndEndsTheProgram) {
    const std::string link = TempPath("link");
    SimProcess sim({"--period", "50", "--exit-on-eof", "--link", link});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.ReadLine();
    FarEnd line(link); // through the link
    ASSERT_TRUE(line.Open()) << link;
    struct stat st {};
    EXPECT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    sim.Write("leave 4\njoin 6\nload 6 1 0\n");
    bool changed = false;
    line.Read(milliseconds(3000), [&] {
        const Frame* s = line.LastStatus();
        changed = s && FarEnd::Record(*s).NodePresent() == 0x23;
        return changed;
    });
    EXPECT_TRUE(changed);

    sim.Write("silence on\n");
    line.Read(milliseconds(300)); // what was on its way
    const std::size_t before = line.frames.size();
    line.Read(milliseconds(400));
    EXPECT_EQ(line.frames.size(), before);

    sim.CloseStdin();
    EXPECT_EQ(sim.WaitExit(milliseconds(3000)), 0);
    EXPECT_NE(lstat(link.c_str(), &st), 0); // the link is gone
}

TEST(SimProgram, BadOptionsGiveAMessageAndExitCode) {
    SimProcess sim({"--period", "fast"});
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.WaitExit(milliseconds(3000)), 2);
}
