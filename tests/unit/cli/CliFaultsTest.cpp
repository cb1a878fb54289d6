// orvik-cli as a new user finds it: files that are not files, writes that fail, signals while
// it waits, and a line that goes silent, goes away and comes back.
#include "cli/Cli.h"
#include "link/capture/Pcapng.h"
#include "tests/support/CaptureFile.h"
#include "tests/unit/cli/CliFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvik;
using namespace orvik::cli;
using namespace std::chrono_literals;
using test::ChildProcess;
using test::Cli;
using test::json;
namespace fs = std::filesystem;

namespace {

// orvik-cli as a child process: for signals and for what it prints while it runs.
std::unique_ptr<ChildProcess> StartCli(std::vector<std::string> args, bool withErrors = false) {
    return std::make_unique<ChildProcess>(ORVIK_CLI_PATH, std::move(args), withErrors);
}

// Lines of the child's output until one holds `text`, within 10 s.
bool Prints(ChildProcess& child, const std::string& text) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until)
        if (child
                .ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(
                    until - std::chrono::steady_clock::now()))
                .find(text) != std::string::npos)
            return true;
    return false;
}

TEST_F(Cli, FilesThatAreNotFilesAreRefusedAtOnceWithTheReason) {
    port = dir + "/no-bus"; // every case ends before the port
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir + "/huge.ini";
    std::ofstream(huge) << "[Node]\n";
    fs::resize_file(huge, 4ull << 30); // sparse
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"save", "1", "/dev/full"}, "/dev/full: is not a regular file"},
        {{"save", "1", "/dev/stdout"}, "/dev/stdout: is not a regular file"},
        {{"diff", "1", "/dev/zero"}, "/dev/zero: is not a regular file"},
        {{"diff", "1", fifo}, "fifo: is not a regular file"},
        {{"diff", "1", dir}, ": is a folder"},
        {{"apply", "1", huge}, "huge.ini: is too large (4 GB; at most 64 KB)"},
        {{"capture", "x", "--seconds", "nan"}, "--seconds: a number of seconds"},
        {{"capture", "x", "--seconds", "inf"}, "--seconds"},
    };
    for (const auto& [args, reason] : cases) {
        EXPECT_EQ(Run(args), EXIT_USAGE) << args[0];
        EXPECT_NE(err.str().find(reason), std::string::npos) << err.str();
    }
    // With --json the reason is also the one object on standard output.
    EXPECT_EQ(Run({"--json", "diff", "1", dir}), EXIT_USAGE);
    EXPECT_EQ(json::parse(out.str()),
              json::parse(R"({"error": ")" + dir + R"(: is a folder; nothing sent", "exit": 2})"));
    for (const char* com : {"COM0", "com17"}) {
        port = com;
        EXPECT_EQ(Run({"status"}), EXIT_USAGE);
        EXPECT_NE(err.str().find("the COM names are COM1 to COM16"), std::string::npos);
    }
}

TEST_F(Cli, AnExportThatCannotBeWrittenSaysWhyAndLeavesADeviceAlone) {
    const std::string capture = dir + "/run.pcapng";
    StartSim({"--no-drift", "--capture", capture, "--run-for", "1500"});
    ASSERT_EQ(sim->WaitExit(std::chrono::seconds(10)), 0);
    EXPECT_EQ(Run({"export", capture, "--events", dir + "/gone/events.csv"}), EXIT_USAGE);
    EXPECT_NE(
        err.str().find("Unable to write to " + dir + "/gone/events.csv: no such file or directory"),
        std::string::npos)
        << err.str();
    EXPECT_EQ(Run({"export", capture, "--csv", "/dev/full"}), EXIT_USAGE);
    EXPECT_NE(err.str().find("Unable to write to /dev/full: no space left on device"),
              std::string::npos)
        << err.str();
    EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST_F(Cli, ACaptureStreamsAsItRecordsAndAFailedWriteSaysWhy) {
    StartSim({});
    EXPECT_EQ(Run({"capture", "/dev/full", "--seconds", "1"}), EXIT_NO_BUS);
    EXPECT_NE(err.str().find("/dev/full cannot be written: no space left on device"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(Run({"capture", dir + "/gone/line.pcapng", "--seconds", "60"}), EXIT_NO_BUS);
    EXPECT_NE(err.str().find("its folder " + dir + "/gone does not exist"), std::string::npos);

    // Cut by SIGKILL, the capture opens up to its last flushed block, and it holds nothing
    // from before the open.
    const std::string file = dir + "/line.pcapng";
    const auto started = std::chrono::system_clock::now();
    auto cli = StartCli({"--port", port, "capture", file, "--seconds", "60"});
    std::size_t packets = 0;
    for (int i = 0; i < 100 && packets < 5; ++i) {
        std::this_thread::sleep_for(100ms);
        packets = ReadPcapngFile(file).packets.size();
    }
    cli->Signal(SIGKILL);
    const CaptureReadResult read = ReadPcapngFile(file);
    ASSERT_GE(read.packets.size(), 5u) << read.error;
    const auto startNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(started.time_since_epoch()).count();
    EXPECT_GE(read.packets.front().timestampNs, static_cast<std::uint64_t>(startNs));
}

TEST_F(Cli, SigtermEndsACaptureThatWaitsOnAPipeNobodyReads) {
    StartSim({"--full-rate"});
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ::fcntl(reader, F_SETPIPE_SZ, 4096); // full within a second at the bus's full rate
    auto cli = StartCli({"--port", port, "capture", fifo, "--seconds", "60"});
    std::this_thread::sleep_for(2s); // the pipe is full: the capture waits in its write
    cli->Signal(SIGTERM);
    const int code = cli->WaitExit(1500ms);
    ::close(reader);
    EXPECT_EQ(code, EXIT_NO_BUS); // ended, with the reason that its write was cut
}

TEST_F(Cli, WatchSaysWhenTheBusIsSilentWhenTheLineIsLostAndWhenItIsBack) {
    const std::string link = dir + "/bus";
    StartSim({"--link", link});
    auto cli = StartCli({"--json", "--port", link, "status", "--watch", "--node", "1"});
    ASSERT_TRUE(Prints(*cli, R"("node":1)"));
    sim->Write("silence on\n");
    EXPECT_TRUE(Prints(*cli, R"({"line":"silent","text":"no status frame for 2 s"})"));
    sim->Write("silence off\n");
    EXPECT_TRUE(Prints(*cli, R"({"line":"receiving","text":"status frames again"})"));
    sim.reset(); // the far end goes away
    EXPECT_TRUE(Prints(*cli, R"("line":"lost")"));
    StartSim({"--link", link});
    EXPECT_TRUE(Prints(*cli, R"({"line":"receiving","text":"status frames again"})"));
    cli->Signal(SIGTERM);
    EXPECT_EQ(cli->WaitExit(1500ms), EXIT_DONE);
}

TEST_F(Cli, ApplyWhoseLineDiesSaysLineLostAndExitsThree) {
    StartSim({"--ignore", "1:11"}); // the flasher is sent again and again
    const std::string file = File("f.ini", "[Node]\nFlasher=2\n");
    std::thread pull([this] {
        std::this_thread::sleep_for(1500ms);
        sim.reset();
    });
    const int code = Run({"--json", "apply", "1", file});
    pull.join();
    EXPECT_EQ(code, EXIT_NO_BUS) << err.str();
    EXPECT_EQ(Results()[0]["result"], "line lost");
    EXPECT_NE(err.str().find("line lost"), std::string::npos) << err.str();
}

} // namespace

// A capture across a line lost and back says so, keeps what came before and after, and exits 3.
TEST_F(Cli, ACaptureAcrossALostLineSaysSoAndExitsThree) {
    const std::string link = dir + "/bus";
    const std::string file = dir + "/gap.pcapng";
    StartSim({"--link", link});
    auto cli = StartCli({"--port", link, "capture", file, "--seconds", "6"}, true);
    std::this_thread::sleep_for(1500ms);
    sim.reset(); // the far end goes away
    EXPECT_TRUE(Prints(*cli, "line lost at "));
    StartSim({"--link", link});
    EXPECT_TRUE(Prints(*cli, ", back after "));
    EXPECT_EQ(cli->WaitExit(10s), EXIT_NO_BUS);
    const CaptureReadResult read = ReadPcapngFile(file);
    ASSERT_TRUE(read.Ok()) << read.error;
    const auto accepted = std::count_if(read.packets.begin(), read.packets.end(),
                                        [](auto& p) { return p.comment == "accepted"; });
    EXPECT_GE(accepted, 8); // before and after the gap, five a second
}
