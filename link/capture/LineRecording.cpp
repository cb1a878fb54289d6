#include "link/capture/LineRecording.h"

#include "link/base/RegularFile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <system_error>
#include <vector>

namespace orvik {

namespace fs = std::filesystem;

namespace {

constexpr const char* PREFIX = "orvik-";
constexpr const char* EXTENSION = ".pcapng";
constexpr int MAX_CLASHES = 1000;
constexpr const char* SNAPSHOT_COMMENT = "the state when this file began";

} // namespace

std::string RecordingsFolder() {
#ifdef _WIN32
    const char* base = std::getenv("LOCALAPPDATA");
    return base && *base ? (fs::path(base) / "Orvik" / "recordings").string() + "\\" : "";
#else
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return (fs::path(data) / "orvik" / "recordings").string() + "/";
    const char* home = std::getenv("HOME");
    return home && *home ? (fs::path(home) / ".local/share/orvik/recordings").string() + "/" : "";
#endif
}

std::string RecordingFileName(const std::string& port, std::int64_t wallMs) {
    const std::time_t seconds = static_cast<std::time_t>(wallMs / 1000);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char time[32];
    std::strftime(time, sizeof time, "%Y-%m-%dT%H-%M-%S", &local);
    // A device path names its last part, a URL all of it; what a file name cannot hold
    // becomes a dash.
    const bool url = port.find("://") != std::string::npos;
    const std::string last = url ? port : port.substr(port.find_last_of("/\\") + 1);
    std::string label;
    for (char c : last.empty() ? port : last) {
        const bool keep = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_';
        if (keep)
            label += c;
        else if (!label.empty() && label.back() != '-')
            label += '-';
    }
    while (!label.empty() && label.back() == '-')
        label.pop_back();
    return PREFIX + (label.empty() ? "" : label + "-") + time + EXTENSION;
}

bool IsRecordingFileName(const std::string& name) {
    // orvik-[PORT-]YYYY-MM-DDTHH-MM-SS[-N].pcapng
    static const std::regex pattern(
        R"(orvik-([A-Za-z0-9._-]+-)?\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d(-\d+)?\.pcapng)");
    return std::regex_match(name, pattern);
}

bool LineRecording::Start(const std::string& folder, const FrameLog& log, const CaptureInfo& info,
                          RecordingLimits limits, Snapshot snapshot) {
    Stop();
    error_.clear();
    folder_ = folder;
    info_ = info;
    snapshot_ = std::move(snapshot);
    limits_ = limits;
    std::error_code ec;
    if (folder_.empty()) {
        error_ = "no folder for recordings is known";
        return false;
    }
    fs::create_directories(folder_, ec);
    if (ec) {
        error_ = folder_ + " cannot be made: " + SystemErrorText(ec.value());
        return false;
    }
    return OpenNext(log);
}

bool LineRecording::OpenNext(const FrameLog& log) {
    const std::int64_t wallMs = (log.WallStartNs() + log.Now()) / 1'000'000;
    const std::string name = RecordingFileName(info_.interfaceName, wallMs);
    const std::string stem = name.substr(0, name.size() - std::string(EXTENSION).size());
    file_ = (fs::path(folder_) / name).string();
    // Two files within one second, from this program or another: the later one gets a number.
    for (int n = 2; !writer_.OpenNew(file_, info_); ++n) {
        if (!writer_.Clashed() || n > MAX_CLASHES) {
            error_ = file_ + " cannot be written: " + writer_.Error();
            return false;
        }
        file_ = (fs::path(folder_) / (stem + "-" + std::to_string(n) + EXTENSION)).string();
    }
    if (snapshot_) {
        const auto ns = static_cast<std::uint64_t>(std::max<std::int64_t>(wallMs, 0)) * 1'000'000;
        for (const auto& frame : snapshot_())
            writer_.AppendPacket(ns, static_cast<std::uint8_t>(Direction::Inbound), frame,
                                 SNAPSHOT_COMMENT);
    }
    writer_.StartFrom(log.NextSeq());
    Prune();
    return true;
}

bool LineRecording::Poll(const FrameLog& log, std::int64_t steadyMs) {
    if (!writer_.IsOpen())
        return false;
    writer_.AppendNew(log);
    if (!writer_.Flush(steadyMs)) {
        error_ = file_ + ": " + writer_.Error() + "; the recording stopped";
        return false;
    }
    if (writer_.BytesWritten() >= limits_.fileBytes) {
        if (!writer_.Close()) {
            error_ = file_ + ": " + writer_.Error() + "; the recording stopped";
            return false;
        }
        return OpenNext(log);
    }
    return true;
}

void LineRecording::Stop() {
    if (writer_.IsOpen() && !writer_.Close() && error_.empty())
        error_ = file_ + ": " + writer_.Error();
}

void LineRecording::Prune() {
    // Closed recordings of this program's pattern only, the one written to last longest ago
    // first; another program's recording being written stays.
    struct Recording {
        fs::file_time_type written;
        std::string path;
        std::uint64_t size;
        bool operator<(const Recording& o) const {
            return written != o.written ? written < o.written : path < o.path;
        }
    };
    std::vector<Recording> files;
    std::uint64_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsRecordingFileName(name) || !it->is_regular_file(ec))
            continue;
        const std::uint64_t size = it->file_size(ec);
        const auto written = it->last_write_time(ec);
        files.push_back({written, it->path().string(), ec ? 0 : size});
        total += ec ? 0 : size;
    }
    std::sort(files.begin(), files.end());
    for (const auto& [written, path, size] : files) {
        if (total <= limits_.totalBytes)
            break;
        if (path == file_ || CaptureInUse(path))
            continue;
        if (fs::remove(path, ec))
            total -= size;
    }
}

} // namespace orvik
