// Where the settings file lives: next to the executable when it may be written there (a
// portable copy, the build tree, a Windows folder the user owns), otherwise in the user's
// configuration folder. The program and orvik-cli both ask SettingsFilePath (Settings.h),
// which decides by this rule.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace orvik {

inline constexpr const char* SETTINGS_FILE_NAME = "Orvik.INI";

struct SettingsPlaces {
    std::string exeDirectory;    // with its trailing separator, or ""
    std::string configDirectory; // the user's folder for the program, with its separator, or ""
    // An executable installed by the system (under /usr): its folder is never written, also
    // when the user could (root).
    bool installed = false;
    std::function<bool(const std::string& path)> writable; // a folder or a file may be written
};

// The directory of the running executable with the platform's trailing separator, or "" when
// it cannot be found.
std::string GetExeDirectory();
// The directory part of an executable path, up to and including the last separator; "" when
// there is none. Long paths are kept whole.
std::string ExeDirectoryOf(std::string_view exePath, char separator);

// The settings file by the rule above.
std::string ChooseSettingsFile(const SettingsPlaces& places);

// The places of this run: the executable's folder, and $XDG_CONFIG_HOME/orvik/ (by default
// ~/.config/orvik/) or %APPDATA%\Orvik\.
SettingsPlaces SettingsPlacesOfThisRun();

} // namespace orvik
