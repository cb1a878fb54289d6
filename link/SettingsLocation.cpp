#include "link/SettingsLocation.h"

#include "link/Settings.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace orvik {

namespace {

#ifdef _WIN32
constexpr char SEPARATOR = '\\';
#else
constexpr char SEPARATOR = '/';
#endif

std::string FolderOf(const char* base, const char* below) {
    if (!base || !*base)
        return {};
    std::string folder = base;
    if (folder.back() != SEPARATOR)
        folder += SEPARATOR;
    return folder + below + SEPARATOR;
}

bool MayWrite(const std::string& path) {
#ifdef _WIN32
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        // Windows tells a folder's rights only by trying: a probe file that goes at once.
        const std::string probe = path + "Orvik.INI.probe";
        HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(h);
        return true;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
#else
    return ::access(path.c_str(), W_OK) == 0;
#endif
}

} // namespace

std::string ChooseSettingsFile(const TSettingsPlaces& places) {
    const std::string beside = places.ExeDirectory + SETTINGS_FILE_NAME;
    if (places.ExeDirectory.empty() || places.ConfigDirectory.empty())
        return beside;
    if (!places.Installed && places.Writable &&
        (places.Writable(places.ExeDirectory) || places.Writable(beside)))
        return beside;
    return places.ConfigDirectory + SETTINGS_FILE_NAME;
}

TSettingsPlaces SettingsPlacesOfThisRun() {
    TSettingsPlaces places;
    places.ExeDirectory = GetExeDirectory();
#ifdef _WIN32
    places.ConfigDirectory = FolderOf(std::getenv("APPDATA"), "Orvik");
#else
    places.ConfigDirectory = FolderOf(std::getenv("XDG_CONFIG_HOME"), "orvik");
    if (places.ConfigDirectory.empty()) {
        const std::string home = FolderOf(std::getenv("HOME"), ".config");
        if (!home.empty())
            places.ConfigDirectory = home + "orvik/";
    }
    places.Installed = places.ExeDirectory.rfind("/usr/", 0) == 0;
#endif
    places.Writable = MayWrite;
    return places;
}

} // namespace orvik
