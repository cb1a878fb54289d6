// Where the settings file lives: next to the executable when it may be written there (a
// portable copy, the build tree, a Windows folder the user owns), otherwise in the user's
// configuration folder. The program and orvik-cli both ask SettingsFilePath (Settings.h),
// which decides by this rule.
#pragma once

#include <functional>
#include <string>

namespace orvik {

struct TSettingsPlaces {
    std::string ExeDirectory;    // with its trailing separator, or ""
    std::string ConfigDirectory; // the user's folder for the program, with its separator, or ""
    // An executable installed by the system (under /usr): its folder is never written, also
    // when the user could (root).
    bool Installed = false;
    std::function<bool(const std::string& path)> Writable; // a folder or a file may be written
};

// The settings file by the rule above.
std::string ChooseSettingsFile(const TSettingsPlaces& places);

// The places of this run: the executable's folder, and $XDG_CONFIG_HOME/orvik/ (by default
// ~/.config/orvik/) or %APPDATA%\Orvik\.
TSettingsPlaces SettingsPlacesOfThisRun();

} // namespace orvik
