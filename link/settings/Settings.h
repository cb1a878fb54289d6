// The settings file "Orvik.INI" next to the executable: the COM port number, an optional
// [Ports] section that maps COM names to devices on POSIX systems, and the devices COM names
// reached before ([PortsSeen]).
#pragma once

#include "link/capture/LineRecording.h"
#include "link/settings/SettingsLocation.h"

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvik {

inline constexpr int MAX_COM_PORT = 16;

// Raised when the settings file cannot be written; the message is "Unable to write to <path>:
// <reason>" ("no space left on device", "is a folder").
class SettingsWriteError : public std::runtime_error {
public:
    SettingsWriteError(const std::string& path, const std::string& reason)
        : std::runtime_error("Unable to write to " + path + (reason.empty() ? "" : ": " + reason)),
          path_(path) {}
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_;
};

// The settings file in use: GetExeDirectory() + "Orvik.INI" where it may be written there,
// else the one in the user's configuration folder (SettingsLocation.h).
std::string SettingsFilePath();

// Why the file at `path` cannot be a settings file ("is a folder", "holds bytes that no
// settings file has"), or "" when it can or is not there. Such a file reads as empty, so the
// defaults hold, and is never written.
std::string SettingsFileProblem(const std::string& path);

// Setup/CommsPort, low 8 bits; 0 when the file, section or key is missing or the value is not
// an integer.
std::uint8_t ReadCommsPort(const std::string& path);
// Writes Setup/CommsPort, leaving the rest of the file as it was. Throws SettingsWriteError.
void WriteCommsPort(const std::string& path, std::uint8_t comPortIndex);
// The [Ports] section: COM number (1..16) -> device path. Other keys are ignored.
std::map<int, std::string> ReadPorts(const std::string& path);
// The same, keyed by the COM name ("COM3"), as the serial component takes it.
std::map<std::string, std::string> ReadPortMap(const std::string& path);

// [PortsSeen]: the device each COM name reached when it was chosen by position, so that it
// stays with that adapter. The program writes this section itself; [Ports] stays the user's.
std::map<std::string, std::string> ReadSeenPortMap(const std::string& path);
// Both throw SettingsWriteError.
void RememberPort(const std::string& path, int comNumber, const std::string& device);
void ForgetPort(const std::string& path, int comNumber);

// [Recording]: EveryRun=1 records every run from its start; FileLimitMB and TotalLimitMB set
// when a new file starts and when the oldest recordings go (megabytes of 1 000 000 bytes).
struct RecordingSettings {
    bool everyRun = false;
    RecordingLimits limits;
};
RecordingSettings ReadRecordingSettings(const std::string& path);
// Throws SettingsWriteError.
void WriteRecordEveryRun(const std::string& path, bool everyRun);

} // namespace orvik
