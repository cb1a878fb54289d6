// The executable's directory as the Windows build finds it: the settings file lives there.
#include "link/settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orvik;

TEST(ExeDirectoryOnWindows, IsTheFolderThatHoldsTheProgram) {
    const std::string dir = GetExeDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_TRUE(std::filesystem::is_regular_file(dir + ORVIK_TEST_EXE_NAME)) << dir;
    EXPECT_EQ(SettingsFilePath(), dir + "Orvik.INI");
}
