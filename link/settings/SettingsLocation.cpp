#include "link/settings/SettingsLocation.h"
#include "link/base/Utf8Path.h"

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

[[maybe_unused]] constexpr std::size_t MAX_EXE_PATH = 32768; // Windows only

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
    if (std::filesystem::is_directory(PathOf(path), ec)) {
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

std::string ExeDirectoryOf(std::string_view exePath, char separator) {
    std::size_t last = exePath.rfind(separator);
    if (last == std::string_view::npos)
        return {};
    return std::string(exePath.substr(0, last + 1));
}

std::string GetExeDirectory() {
#ifdef _WIN32
    // The whole path, however long: a cut path names some other directory.
    std::string buffer(MAX_EXE_PATH, '\0');
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return {};
    return ExeDirectoryOf(std::string_view(buffer.data(), n), '\\');
#else
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return ExeDirectoryOf(exe.string(), '/');
#endif
}

std::string ChooseSettingsFile(const SettingsPlaces& places) {
    const std::string beside = places.exeDirectory + SETTINGS_FILE_NAME;
    if (places.exeDirectory.empty() || places.configDirectory.empty())
        return beside;
    if (!places.installed && places.writable &&
        (places.writable(places.exeDirectory) || places.writable(beside)))
        return beside;
    return places.configDirectory + SETTINGS_FILE_NAME;
}

SettingsPlaces SettingsPlacesOfThisRun() {
    SettingsPlaces places;
    places.exeDirectory = GetExeDirectory();
#ifdef _WIN32
    places.configDirectory = FolderOf(std::getenv("APPDATA"), "Orvik");
#else
    places.configDirectory = FolderOf(std::getenv("XDG_CONFIG_HOME"), "orvik");
    if (places.configDirectory.empty()) {
        const std::string home = FolderOf(std::getenv("HOME"), ".config");
        if (!home.empty())
            places.configDirectory = home + "orvik/";
    }
    places.installed = places.exeDirectory.rfind("/usr/", 0) == 0;
#endif
    places.writable = MayWrite;
    return places;
}

} // namespace orvik
