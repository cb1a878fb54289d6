// A user named "Jörg": the settings file, a node settings file, a recording and a CSV export
// land in the folders of that name as Windows names them, and read back.
#include "link/base/FileReplace.h"
#include "link/capture/LineRecording.h"
#include "link/capture/PcapngStream.h"
#include "link/nodefiles/NodeSettingsFile.h"
#include "link/settings/Settings.h"
#include "link/settings/SettingsLocation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace orvik;
namespace fs = std::filesystem;

namespace {

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

struct NonAsciiFolder : ::testing::Test {
    // Named in UTF-16, as Windows keeps it; the program is handed UTF-8.
    fs::path home = fs::temp_directory_path() / L"J\u00f6rg";
    void SetUp() override {
        fs::remove_all(home);
        fs::create_directories(home);
    }
    void TearDown() override { fs::remove_all(home); }
};

} // namespace

TEST_F(NonAsciiFolder, SettingsGoIntoAppDataOfThatName) {
    ASSERT_EQ(_wputenv_s(L"APPDATA", home.c_str()), 0);
    const SettingsPlaces places = SettingsPlacesOfThisRun();
    ASSERT_EQ(places.configDirectory, Utf8(home / "Orvik") + "\\");
    const std::string path = places.configDirectory + SETTINGS_FILE_NAME;
    WriteCommsPort(path, 3);
    EXPECT_TRUE(fs::is_regular_file(home / L"Orvik" / L"Orvik.INI"));
    EXPECT_EQ(ReadCommsPort(path), 3);
}

TEST_F(NonAsciiFolder, NodeSettingsFileAndCsvAreWrittenAndRead) {
    NodeSettings settings;
    settings.number = 3;
    std::string error;
    const std::string node = Utf8(home / L"Knoten \u00e4\u00f6\u00fc.ini");
    ASSERT_TRUE(SaveNodeSettingsFile(node, settings, error)) << error;
    EXPECT_TRUE(fs::is_regular_file(home / L"Knoten \u00e4\u00f6\u00fc.ini"));
    const auto loaded = LoadNodeSettingsFile(node, error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->settings.number, 3);

    std::string reason;
    ASSERT_EQ(ReplaceFileWhole(Utf8(home / "node1.csv"), "Time\n", &reason),
              ReplaceResult::Replaced)
        << reason;
    EXPECT_EQ(fs::file_size(home / L"node1.csv"), 5u);
}

TEST_F(NonAsciiFolder, RecordingsGoIntoLocalAppDataOfThatName) {
    ASSERT_EQ(_wputenv_s(L"LOCALAPPDATA", home.c_str()), 0);
    const std::string folder = RecordingsFolder();
    ASSERT_EQ(folder, Utf8(home / "Orvik" / "recordings") + "\\");
    FrameLog log{100};
    LineRecording recording;
    ASSERT_TRUE(recording.Start(folder, log, {"test", "COM1", ""})) << recording.Error();
    const std::uint8_t frame[210] = {0xD5, 0x82, 0x01};
    for (int i = 0; i < 4; ++i)
        log.Add(Direction::Inbound, FrameOutcome::Accepted, log.Now(), frame, sizeof frame);
    ASSERT_TRUE(recording.Poll(log, 0)) << recording.Error();
    recording.Stop();
    int files = 0;
    for (const auto& entry : fs::directory_iterator(home / L"Orvik" / L"recordings"))
        files += entry.path().extension() == L".pcapng";
    EXPECT_EQ(files, 1);
    EXPECT_EQ(ScanPcapngFile(recording.File(), [](const PacketView&) {}).packets, 4u);
}
