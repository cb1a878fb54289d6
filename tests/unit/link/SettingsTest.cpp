// The settings file: reading CommsPort and [Ports], writing CommsPort without disturbing the rest.
#include "link/settings/Settings.h"
#include "link/base/FileReplace.h"
#include "link/base/IniFile.h"
#include "link/settings/SettingsLocation.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "tests/support/OrdinaryUser.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

using namespace orvik;
namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("orvik-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / SETTINGS_FILE_NAME).string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Get() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path dir_;
    std::string path_;
};

} // namespace

// The line end of a file that has none yet: the platform's own.
#ifdef _WIN32
const std::string NL = "\r\n";
#else
const std::string NL = "\n";
#endif

TEST_F(SettingsFile, MissingFileReadsZeroAndWriteCreatesIt) {
    EXPECT_EQ(ReadCommsPort(path_), 0);
    EXPECT_TRUE(ReadPorts(path_).empty());
    WriteCommsPort(path_, 0);
    EXPECT_EQ(Get(), "[Setup]" + NL + "CommsPort=0" + NL);
    WriteCommsPort(path_, 1);
    EXPECT_EQ(Get(), "[Setup]" + NL + "CommsPort=1" + NL);
    EXPECT_EQ(ReadCommsPort(path_), 1);
}

TEST_F(SettingsFile, ReadsTheValueRules) {
    const std::pair<const char*, int> cases[] = {
        {"4", 4},     {"abc", 0},  {"0x0A", 10},       {"$0A", 10},        {"0X1f", 31},
        {"256", 0},   {"-1", 255}, {"+7", 7},          {" 12 ", 12},       {"", 0},
        {"4abc", 0},  {"0x", 0},   {"$", 0},           {"-", 0},           {"1 2", 0},
        {"257", 1},   {"-256", 0}, {"$FFFFFFFF", 255}, {"99999999999", 0}, {"$100000000", 0},
        {"\"3\"", 3}, {"'9'", 9},  {"\"4", 0},         {"\"5'", 0}};
    for (auto [value, expected] : cases) {
        Put(std::string("[Setup]\nCommsPort=") + value + "\n");
        EXPECT_EQ(ReadCommsPort(path_), expected) << "CommsPort=" << value;
    }
}

TEST_F(SettingsFile, NamesMatchWithoutRegardToCase) {
    Put("[other]\ncommsport=5\n[ SETUP ]\r\n  commsPORT = 6 \r\n");
    EXPECT_EQ(ReadCommsPort(path_), 6);
    Put("[Other]\nCommsPort=5\n");
    EXPECT_EQ(ReadCommsPort(path_), 0);
    Put("[Setup]\nCommsPortX=5\n; CommsPort=3\n");
    EXPECT_EQ(ReadCommsPort(path_), 0);
}

TEST_F(SettingsFile, WriteChangesOnlyTheOneValue) {
    const std::string before = "; Orvik settings\r\n"
                               "[Ports]\r\n"
                               "COM3=/dev/ttyUSB0\r\n"
                               "\r\n"
                               "[setup]\r\n"
                               "Other = keep me  \r\n"
                               "commsport = 4\r\n"
                               "# trailing comment\r\n"
                               "[Last]\r\n"
                               "CommsPort=99";
    Put(before);
    WriteCommsPort(path_, 10);
    std::string expected = before;
    expected.replace(expected.find("= 4"), 3, "= 10");
    EXPECT_EQ(Get(), expected);
    EXPECT_EQ(ReadCommsPort(path_), 10);
}

TEST_F(SettingsFile, WriteAddsTheKeyOrTheSection) {
    Put("[Setup]\nOther=1\n\n[Ports]\nCOM1=/dev/ttyS4\n");
    WriteCommsPort(path_, 2);
    EXPECT_EQ(Get(), "[Setup]\nOther=1\nCommsPort=2\n\n[Ports]\nCOM1=/dev/ttyS4\n");

    Put("[Ports]\r\nCOM1=/dev/ttyS4");
    WriteCommsPort(path_, 3);
    EXPECT_EQ(Get(), "[Ports]\r\nCOM1=/dev/ttyS4\r\n[Setup]\r\nCommsPort=3\r\n");

    Put("[Setup]");
    WriteCommsPort(path_, 4);
    EXPECT_EQ(Get(), "[Setup]" + NL + "CommsPort=4" + NL);

    Put("[SETUP]\nCOMMSPORT=9"); // no newline at the end
    WriteCommsPort(path_, 5);
    EXPECT_EQ(Get(), "[SETUP]\nCOMMSPORT=5");
}

TEST_F(SettingsFile, TheRecordingSectionComesAfterABlankLine) {
    Put("[Setup]\nCommsPort=1\n");
    WriteRecordEveryRun(path_, true);
    EXPECT_EQ(Get(), "[Setup]\nCommsPort=1\n\n[Recording]\nEveryRun=1\n");
    Put("[Setup]\r\nCommsPort=1\r\n\r\n");
    WriteRecordEveryRun(path_, false);
    EXPECT_EQ(Get(), "[Setup]\r\nCommsPort=1\r\n\r\n[Recording]\r\nEveryRun=0\r\n");
}

TEST_F(SettingsFile, AnUnwritableFileReportsItsPathAndWhy) {
    const std::string asDirectory = (dir_ / "sub").string();
    fs::create_directories(asDirectory);
    try {
        WriteCommsPort(asDirectory, 1);
        FAIL() << "no error raised";
    } catch (const SettingsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + asDirectory + ": it is a folder");
        EXPECT_EQ(e.Path(), asDirectory);
    }
    // A folder beneath a plain file cannot be made; a missing one (the user's configuration
    // folder on the first run) is.
    std::ofstream(dir_ / "plain");
    EXPECT_THROW(WriteCommsPort((dir_ / "plain" / SETTINGS_FILE_NAME).string(), 1),
                 SettingsWriteError);
    const std::string firstRun = (dir_ / "config" / "orvik" / SETTINGS_FILE_NAME).string();
    WriteCommsPort(firstRun, 1);
    EXPECT_EQ(ReadCommsPort(firstRun), 1);
}

#ifndef _WIN32
TEST_F(SettingsFile, AWriteReplacesTheFileWholeOrLeavesItAsItWas) {
    fs::create_symlink(dir_ / "real.INI", path_); // a link stays a link
    Put("; mine\n[Setup]\nCommsPort=1\n");
    fs::permissions(path_, fs::perms(0640));
    const auto inode = [&] {
        struct stat st {};
        ::stat(path_.c_str(), &st);
        return st.st_ino;
    };
    const auto before = inode();
    WriteCommsPort(path_, 2);
    EXPECT_EQ(Get(), "; mine\n[Setup]\nCommsPort=2\n");
    EXPECT_NE(inode(), before); // a new file took the old one's place, with its mode
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(path_));

    // A write that fails halfway, as on a full disk (here files may grow to 4 KiB only).
    const std::string big = std::string(64 * 1024, ';') + "\n[Setup]\nCommsPort=1\n";
    Put(big);
    rlimit saved{}, small{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    small = {4096, saved.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(WriteCommsPort(path_, 2), SettingsWriteError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(Get(), big);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 2); // no leftovers
}

TEST_F(SettingsFile, InAFolderThatCannotBeWrittenTheFileIsWrittenInPlace) {
    Put("[Setup]\nCommsPort=1\n");
    EXPECT_TRUE(test::AsOrdinaryUser(
        [&] {
            fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
            WriteCommsPort(path_, 3);
            return true;
        },
        {dir_, path_}));
    fs::permissions(dir_, fs::perms::owner_all);
    EXPECT_EQ(Get(), "[Setup]\nCommsPort=3\n");
}

TEST_F(SettingsFile, AFileTheUserMayNotWriteIsNeverReplaced) {
    // Mode 444 in a folder the user may write: the replacement would work, the file says no.
    Put("[Setup]\nCommsPort=1\n");
    fs::permissions(path_, fs::perms(0444));
    EXPECT_TRUE(test::AsOrdinaryUser(
        [&] {
            try {
                WriteCommsPort(path_, 3);
            } catch (const SettingsWriteError&) {
                return ReplaceFileWhole(path_, "x") == ReplaceResult::NotWritable;
            }
            return false;
        },
        {dir_, path_}));
    EXPECT_EQ(Get(), "[Setup]\nCommsPort=1\n");
}
#endif

TEST_F(SettingsFile, ReadsThePortsSection) {
    Put("[Setup]\nCommsPort=2\nCOM1=/dev/wrong\n"
        "[ports]\n"
        "COM3=\"/dev/ttyUSB0\"\n"
        "com12 = /dev/serial/by-id/usb-Adapter-if00-port0 \n"
        "Com16=/dev/ttyS9\n"
        "COM17=/dev/ttyS10\n"
        "COM0=/dev/ttyS11\n"
        "LPT1=/dev/lp0\n"
        "COMx=/dev/ttyS12\n"
        "COM5=\n");
    auto ports = ReadPorts(path_);
    EXPECT_EQ(ports, (std::map<int, std::string>{{3, "/dev/ttyUSB0"},
                                                 {12, "/dev/serial/by-id/usb-Adapter-if00-port0"},
                                                 {16, "/dev/ttyS9"}}));
    EXPECT_EQ(ReadPortMap(path_)["COM12"], "/dev/serial/by-id/usb-Adapter-if00-port0");
    EXPECT_EQ(ReadPortMap(path_).size(), 3u);
    WriteCommsPort(path_, 0);
    EXPECT_EQ(ReadPorts(path_), ports);
}

TEST_F(SettingsFile, AFileThatIsNoSettingsFileGivesTheDefaultsAndIsNeverWritten) {
    std::mt19937 rng(1234);
    std::string garbage(64 * 1024, '\0');
    for (auto& c : garbage)
        c = static_cast<char>(rng());
    garbage += "\n[Setup]\nCommsPort=7\n";
    const std::string huge = "[Setup]\nCommsPort=7\n" + std::string(2 * 1024 * 1024, 'x');
    for (const std::string& text : {garbage, huge}) {
        Put(text);
        EXPECT_NE(SettingsFileProblem(path_), "");
        EXPECT_EQ(ReadCommsPort(path_), 0);
        EXPECT_TRUE(ReadPorts(path_).empty());
        EXPECT_THROW(WriteCommsPort(path_, 8), SettingsWriteError);
        EXPECT_THROW(RememberPort(path_, 1, "/dev/ttyS0"), SettingsWriteError);
        EXPECT_EQ(Get(), text);
    }
    EXPECT_EQ(SettingsFileProblem(path_), "is too large (2.0 MB; at most 1 MB)");

    // Stray lines of a text are no reason to refuse it.
    Put("[Setup\n]=\n=\n[\n=\n");
    EXPECT_EQ(SettingsFileProblem(path_), "");
    WriteCommsPort(path_, 1);
    EXPECT_EQ(ReadCommsPort(path_), 1);
}

TEST(IniFile, OnlyTheFirstMatchingSectionCounts) {
    IniFile ini("[Setup]\nA=1\n[Other]\nB=2\n[Setup]\nCommsPort=3\n");
    EXPECT_EQ(ini.ReadString("Setup", "CommsPort"), std::nullopt);
    EXPECT_EQ(ini.ReadString("setup", "a"), "1");
    ini.WriteString("Setup", "CommsPort", "4");
    EXPECT_EQ(ini.Text(), "[Setup]\nA=1\nCommsPort=4\n[Other]\nB=2\n[Setup]\nCommsPort=3\n");
}

TEST(ExeDirectory, CutsToTheLastSeparator) {
    EXPECT_EQ(ExeDirectoryOf("C:\\Tools\\Bus\\tool.exe", '\\'), "C:\\Tools\\Bus\\");
    EXPECT_EQ(ExeDirectoryOf("tool.exe", '\\'), "");
    EXPECT_EQ(ExeDirectoryOf("/opt/orvik/bin/orvik", '/'), "/opt/orvik/bin/");
    std::string longPath = "/" + std::string(260, 'a') + "/" + std::string(20, 'b') + "/tool";
    // A path past 255 characters still names its own directory, not an ancestor.
    EXPECT_EQ(ExeDirectoryOf(longPath, '/'), longPath.substr(0, longPath.size() - 4));

    const std::string dir = GetExeDirectory();
#ifndef _WIN32
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_EQ(SettingsFilePath(), dir + "Orvik.INI");
#endif
}

TEST(SettingsLocation, BesideTheProgramWhereItMayBeWrittenElseInTheUsersFolder) {
    SettingsPlaces places{"/opt/orvik/", "/home/tech/.config/orvik/", false, {}};
    auto writable = [&places](std::initializer_list<std::string> paths) {
        places.writable = [set = std::vector<std::string>(paths)](const std::string& p) {
            return std::find(set.begin(), set.end(), p) != set.end();
        };
        return ChooseSettingsFile(places);
    };
    // A folder of the user's own: a portable copy, the build tree.
    EXPECT_EQ(writable({"/opt/orvik/"}), "/opt/orvik/Orvik.INI");
    // A folder that may not be written, but its settings file may.
    EXPECT_EQ(writable({"/opt/orvik/Orvik.INI"}), "/opt/orvik/Orvik.INI");
    // Neither: the user's configuration folder.
    EXPECT_EQ(writable({}), "/home/tech/.config/orvik/Orvik.INI");
    // Installed by the system: never beside the program, also for a user who could write there.
    places.exeDirectory = "/usr/bin/";
    places.installed = true;
    EXPECT_EQ(writable({"/usr/bin/", "/usr/bin/Orvik.INI"}), "/home/tech/.config/orvik/Orvik.INI");
    // Without a home: beside the program, as before.
    places.configDirectory.clear();
    EXPECT_EQ(writable({}), "/usr/bin/Orvik.INI");
}
