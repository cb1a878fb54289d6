#include "link/capture/LineRecording.h"

#include "link/base/RegularFile.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

namespace orvik {

namespace fs = std::filesystem;

namespace {

constexpr const char* PREFIX = "orvik-";
constexpr const char* EXTENSION = ".pcapng";

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

std::string RecordingFileName(std::int64_t wallMs) {
    const std::time_t seconds = static_cast<std::time_t>(wallMs / 1000);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char name[64];
    std::strftime(name, sizeof name, "orvik-%Y-%m-%dT%H-%M-%S.pcapng", &local);
    return name;
}

bool LineRecording::Start(const std::string& folder, const FrameLog& log, const CaptureInfo& info,
                          RecordingLimits limits) {
    Stop();
    error_.clear();
    folder_ = folder;
    info_ = info;
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
    const std::string name = RecordingFileName(wallMs);
    const std::string stem = name.substr(0, name.size() - std::string(EXTENSION).size());
    file_ = (fs::path(folder_) / name).string();
    // Two files within one second: the second one gets a number.
    for (int n = 2; PathExists(file_); ++n)
        file_ = (fs::path(folder_) / (stem + "-" + std::to_string(n) + EXTENSION)).string();
    if (!writer_.Open(file_, info_)) {
        error_ = file_ + " cannot be written: " + writer_.Error();
        return false;
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
    // Our own recordings only, the one written to last longest ago first.
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
        if (name.rfind(PREFIX, 0) != 0 || it->path().extension() != EXTENSION ||
            !it->is_regular_file(ec))
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
        if (path == file_)
            continue;
        if (fs::remove(path, ec))
            total -= size;
    }
}

} // namespace orvik
