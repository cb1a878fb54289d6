// Why a port did not open, as the second line of the message says it; and the trace of the
// port calls.
#include "serial/PortProblem.h"
#include "serial/CommPort.h"
#include "serial/PortTrace.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvik;
using namespace std::chrono_literals;

extern char** environ;

TEST(PortProblem, AFailedOpenIsClassedByItsError) {
    EXPECT_EQ(ClassifyPortError(ENOENT), PortProblem::NotConnected);
    EXPECT_EQ(ClassifyPortError(EACCES), PortProblem::NoPermission);
    EXPECT_EQ(ClassifyPortError(EBUSY), PortProblem::Busy);
    EXPECT_EQ(ClassifyPortError(-1), PortProblem::NotSerial);
    EXPECT_EQ(ClassifyPortError(EINVAL, true), PortProblem::Refused);
    EXPECT_EQ(PortProblemText(PortProblem::NotConnected, "/dev/ttyUSB0", ENOENT),
              "/dev/ttyUSB0 is not connected.");
}

// The group the device really belongs to, when that group may read and write it, and the
// user's own name; else the device is its owner's only.
TEST(PortProblem, NoPermissionSaysWhoMayUseTheDevice) {
    test::PseudoTerminal pty;
    struct stat st {};
    ASSERT_EQ(::stat(pty.name.c_str(), &st), 0);
    const std::string group = ::getgrgid(st.st_gid)->gr_name;
    const std::string user = ::getpwuid(::getuid())->pw_name;
    const std::string owner = ::getpwuid(st.st_uid)->pw_name;
    ASSERT_EQ(::chmod(pty.name.c_str(), 0660), 0);
    EXPECT_EQ(PortProblemText(PortProblem::NoPermission, pty.name, EACCES),
              "No permission to use " + pty.name + ". Your user needs to be in the group " + group +
                  ": sudo usermod -aG " + group + " " + user + ", then log in again.");
    ASSERT_EQ(::chmod(pty.name.c_str(), 0600), 0);
    EXPECT_EQ(PortProblemText(PortProblem::NoPermission, pty.name, EACCES)
                  .rfind("No permission to use " + pty.name + ". It is for its owner (" + owner +
                             ") only; ask the machine's administrator for access",
                         0),
              0u);
}

// Its name and PID, not the program at the far end of the pseudo-terminal, which keeps the near
// end open too (as the bus simulator does).
TEST(PortProblem, ADeviceHeldByAnotherProgramNamesIt) {
    test::PseudoTerminal pty;
    int names[2];
    ASSERT_EQ(::pipe(names), 0);
    const pid_t farEnd = ::fork();
    ASSERT_GE(farEnd, 0);
    if (farEnd == 0) {
        test::PseudoTerminal line;
        [[maybe_unused]] auto n = ::write(names[1], line.name.c_str(), line.name.size() + 1);
        ::pause();
        ::_exit(0);
    }
    char farName[128] = {};
    [[maybe_unused]] auto got = ::read(names[0], farName, sizeof farName - 1);
    ::close(names[0]);
    ::close(names[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, farName, O_RDWR | O_NOCTTY, 0);
    pid_t holder = 0;
    char sleepName[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleepName, seconds, nullptr};
    const int spawned = posix_spawnp(&holder, "sleep", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    std::string text;
    for (int i = 0; spawned == 0 && i < 200 && text.find("PID") == std::string::npos; ++i) {
        std::this_thread::sleep_for(10ms);
        text = PortProblemText(PortProblem::Busy, farName, EBUSY);
    }
    if (spawned == 0) {
        ::kill(holder, SIGTERM);
        ::waitpid(holder, nullptr, 0);
    }
    ::kill(farEnd, SIGTERM);
    ::waitpid(farEnd, nullptr, 0);
    ASSERT_EQ(spawned, 0);
    EXPECT_EQ(text, std::string(farName) + " is in use by another program: sleep (PID " +
                        std::to_string(holder) + ").");
    EXPECT_EQ(PortProblemText(PortProblem::Busy, pty.name, EBUSY),
              pty.name + " is in use by another program.");
}

TEST(PortTrace, EveryPortCallIsWrittenWithItsResult) {
    const auto path =
        std::filesystem::temp_directory_path() / ("orvik_trace_" + std::to_string(getpid()));
    std::FILE* out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    SetPortTrace(out);
    test::PseudoTerminal pty;
    {
        TComm comm(std::make_shared<TPumpedInvoker>());
        comm.SetDeviceName(pty.name);
        comm.SetBaudRate(cbr57600);
        comm.Open();
        const std::uint8_t frame[3] = {0xD5, 0x82, 0x06};
        EXPECT_EQ(comm.Write(frame, 3), 3);
        comm.Close();
        comm.SetDeviceName("/dev/orvik-no-such-port");
        EXPECT_THROW(comm.Open(), ECommError);
    }
    SetPortTrace(nullptr);
    std::fclose(out);
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    std::filesystem::remove(path);
    const std::string trace = text.str();
    EXPECT_NE(trace.find("open " + pty.name + " -> ok error 0"), std::string::npos) << trace;
    EXPECT_NE(trace.find("SetState(baud 57600 8N1"), std::string::npos) << trace;
    EXPECT_NE(trace.find("Write(3 bytes d5 82 06) -> 3 error 0"), std::string::npos) << trace;
    EXPECT_NE(trace.find("close " + pty.name), std::string::npos) << trace;
    EXPECT_NE(trace.find("open /dev/orvik-no-such-port -> failed error " + std::to_string(ENOENT)),
              std::string::npos)
        << trace;
}
