#include "link/settings/Settings.h"
#include "link/base/Utf8Path.h"

#include "link/base/FileReplace.h"
#include "link/base/IniFile.h"
#include "link/base/RegularFile.h"

#include <cctype>
#include <filesystem>
#include <optional>
#include <system_error>

namespace orvik {

namespace {

// Control bytes other than tabs and line ends are in no text a person wrote.
bool LooksLikeText(const std::string& text) {
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F)
            return false;
    }
    return true;
}

// The file's text, or nullopt with the reason when it is there but cannot be a settings file.
std::optional<std::string> ReadSettingsText(const std::string& path, std::string& problem) {
    if (!PathExists(path))
        return std::string();
    auto text = ReadRegularFile(path, SETTINGS_FILE_LIMIT, problem);
    if (text && !LooksLikeText(*text)) {
        problem = "holds bytes that no settings file has";
        return std::nullopt;
    }
    return text;
}

IniFile LoadIni(const std::string& path) {
    std::string problem;
    auto text = ReadSettingsText(path, problem);
    return text ? IniFile(std::move(*text)) : IniFile();
}

} // namespace

std::string SettingsFilePath() {
    return ChooseSettingsFile(SettingsPlacesOfThisRun());
}

std::string SettingsFileProblem(const std::string& path) {
    std::string problem;
    ReadSettingsText(path, problem);
    return problem;
}

std::uint8_t ReadCommsPort(const std::string& path) {
    auto value = LoadIni(path).ReadString("Setup", "CommsPort");
    if (!value)
        return 0;
    auto number = ParseIniInteger(*value);
    return number ? static_cast<std::uint8_t>(*number & 0xFF) : 0;
}

namespace {

// Reads the file, lets `edit` change it, writes it back.
template <typename F> void EditSettings(const std::string& path, F&& edit) {
    // A file that is there but cannot be read as settings is not overwritten: its contents
    // would be lost.
    std::string problem;
    auto text = ReadSettingsText(path, problem);
    if (!text)
        throw SettingsWriteError(path, "it " + problem);
    IniFile ini(std::move(*text));
    std::error_code ec;
    edit(ini);
    // The user's configuration folder may not be there yet.
    const std::filesystem::path folder = PathOf(path).parent_path();
    if (!folder.empty() && !std::filesystem::exists(folder, ec))
        std::filesystem::create_directories(folder, ec);

    std::string reason;
    switch (ReplaceFileWhole(path, ini.Text(), &reason)) {
    case ReplaceResult::Replaced:
        return;
    case ReplaceResult::FolderNotWritable:
        // The file itself may still be writable: then it is written where it is.
        if (WriteFileInPlace(path, ini.Text()))
            return;
        break;
    case ReplaceResult::NotWritable:
    case ReplaceResult::Failed:
        break;
    }
    throw SettingsWriteError(path, reason);
}

// The COMn=device lines of a section: COM number (1..16) -> device. Other keys are ignored.
std::map<int, std::string> ReadComSection(const std::string& path, const char* section) {
    std::map<int, std::string> ports;
    for (const auto& [key, value] : LoadIni(path).ReadSection(section)) {
        if (key.size() < 4 || key.size() > 5 || value.empty())
            continue;
        if (std::tolower(static_cast<unsigned char>(key[0])) != 'c' ||
            std::tolower(static_cast<unsigned char>(key[1])) != 'o' ||
            std::tolower(static_cast<unsigned char>(key[2])) != 'm')
            continue;
        int n = 0;
        bool digits = true;
        for (std::size_t i = 3; i < key.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(key[i])))
                digits = false;
            else
                n = n * 10 + (key[i] - '0');
        }
        if (digits && n >= 1 && n <= MAX_COM_PORT && !ports.count(n))
            ports.emplace(n, value);
    }
    return ports;
}

std::map<std::string, std::string> ByComName(const std::map<int, std::string>& ports) {
    std::map<std::string, std::string> out;
    for (const auto& [number, device] : ports)
        out["COM" + std::to_string(number)] = device;
    return out;
}

constexpr const char* SEEN_SECTION = "PortsSeen";

} // namespace

void WriteCommsPort(const std::string& path, std::uint8_t comPortIndex) {
    EditSettings(path, [&](IniFile& ini) {
        ini.WriteString("Setup", "CommsPort", std::to_string(comPortIndex));
    });
}

std::map<int, std::string> ReadPorts(const std::string& path) {
    return ReadComSection(path, "Ports");
}

std::map<std::string, std::string> ReadPortMap(const std::string& path) {
    return ByComName(ReadPorts(path));
}

std::map<std::string, std::string> ReadSeenPortMap(const std::string& path) {
    return ByComName(ReadComSection(path, SEEN_SECTION));
}

void RememberPort(const std::string& path, int comNumber, const std::string& device) {
    EditSettings(path, [&](IniFile& ini) {
        ini.WriteString(SEEN_SECTION, "COM" + std::to_string(comNumber), device);
    });
}

void ForgetPort(const std::string& path, int comNumber) {
    if (!ReadComSection(path, SEEN_SECTION).count(comNumber))
        return;
    EditSettings(path, [&](IniFile& ini) {
        ini.DeleteKey(SEEN_SECTION, "COM" + std::to_string(comNumber));
    });
}

namespace {

constexpr const char* RECORDING_SECTION = "Recording";

// A whole number of megabytes from 1 to 1 000 000, else `fallback`.
std::uint64_t Megabytes(const IniFile& ini, const char* key, std::uint64_t fallback) {
    const auto text = ini.ReadString(RECORDING_SECTION, key);
    const auto n = text ? ParseIniInteger(*text) : std::nullopt;
    return n && *n >= 1 && *n <= 1'000'000 ? static_cast<std::uint64_t>(*n) * 1'000'000 : fallback;
}

} // namespace

RecordingSettings ReadRecordingSettings(const std::string& path) {
    const IniFile ini = LoadIni(path);
    RecordingSettings r;
    const auto every = ini.ReadString(RECORDING_SECTION, "EveryRun");
    r.everyRun = every && ParseIniInteger(*every).value_or(0) != 0;
    r.limits.fileBytes = Megabytes(ini, "FileLimitMB", r.limits.fileBytes);
    r.limits.totalBytes = Megabytes(ini, "TotalLimitMB", r.limits.totalBytes);
    return r;
}

void WriteRecordEveryRun(const std::string& path, bool everyRun) {
    EditSettings(path, [&](IniFile& ini) {
        ini.WriteString(RECORDING_SECTION, "EveryRun", everyRun ? "1" : "0", true);
    });
}

} // namespace orvik
