#include "link/capture/LineRecording.h"
#include "link/base/Utf8Path.h"

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
constexpr std::int64_t SYNC_MS = 1000;
constexpr const char* SNAPSHOT_COMMENT = "the state when this file began";

} // namespace

std::string RecordingsFolder() {
#ifdef _WIN32
    const char* base = std::getenv("LOCALAPPDATA");
    return base && *base ? TextOf(PathOf(base) / "Orvik" / "recordings") + "\\" : "";
#else
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return TextOf(PathOf(data) / "orvik" / "recordings") + "/";
    const char* home = std::getenv("HOME");
    return home && *home ? TextOf(PathOf(home) / ".local/share/orvik/recordings") + "/" : "";
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
    failed_ = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        error_.clear();
    }
    folder_ = folder;
    info_ = info;
    snapshot_ = std::move(snapshot);
    limits_ = limits;
    std::error_code ec;
    if (folder_.empty()) {
        Fail("no folder for recordings is known");
        return false;
    }
    fs::create_directories(PathOf(folder_), ec);
    if (ec) {
        Fail(folder_ + " cannot be made: " + SystemErrorText(ec.value()));
        return false;
    }
    // The first file is opened here, so that the caller can say at once where it goes.
    const NextFile first = PrepareNext(log);
    if (!Open(first))
        return false;
    nextSeq_ = log.NextSeq();
    fileBytes_ = writer_.BytesWritten() + first.snapshot.size();
    pending_.clear();
    handed_ = false;
    running_ = true;
    jobs_ = std::make_unique<JobThread>();
    return true;
}

LineRecording::NextFile LineRecording::PrepareNext(const FrameLog& log) const {
    const std::int64_t wallMs = (log.WallStartNs() + log.Now()) / 1'000'000;
    NextFile next{TextOf(PathOf(folder_) / RecordingFileName(info_.interfaceName, wallMs)), {}};
    if (snapshot_) {
        const auto ns = static_cast<std::uint64_t>(std::max<std::int64_t>(wallMs, 0)) * 1'000'000;
        for (const auto& frame : snapshot_())
            PcapngWriter::AppendPacket(next.snapshot, ns,
                                       static_cast<std::uint8_t>(Direction::Inbound), frame.data(),
                                       frame.size(), SNAPSHOT_COMMENT);
    }
    return next;
}

bool LineRecording::Open(const NextFile& next) {
    const std::string stem = next.path.substr(0, next.path.size() - std::string(EXTENSION).size());
    std::string file = next.path;
    // Two files within one second, from this program or another: the later one gets a number.
    for (int n = 2; !writer_.OpenNew(file, info_); ++n) {
        if (!writer_.Clashed() || n > MAX_CLASHES) {
            Fail(file + " cannot be written: " + writer_.Error());
            return false;
        }
        file = stem + "-" + std::to_string(n) + EXTENSION;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        file_ = file;
    }
    writer_.AppendBytes(next.snapshot);
    Prune();
    return true;
}

void LineRecording::Write(const std::vector<std::uint8_t>& bytes, std::int64_t steadyMs) {
    if (failed_)
        return;
    writer_.AppendBytes(bytes);
    if (!writer_.Flush(steadyMs))
        Fail(File() + ": " + writer_.Error() + "; the recording stopped");
}

void LineRecording::Close() {
    if (!failed_ && writer_.IsOpen() && !writer_.Close())
        Fail(File() + ": " + writer_.Error() + "; the recording stopped");
}

void LineRecording::Fail(const std::string& reason) {
    std::lock_guard<std::mutex> hold(lock_);
    if (error_.empty())
        error_ = reason;
    failed_ = true;
}

void LineRecording::HandOver(std::int64_t steadyMs) {
    handed_ = true;
    handedAtMs_ = steadyMs;
    jobs_->Post([this, bytes = std::move(pending_), steadyMs] { Write(bytes, steadyMs); });
    pending_.clear();
}

bool LineRecording::Poll(const FrameLog& log, std::int64_t steadyMs) {
    if (!running_)
        return false;
    if (failed_) {
        jobs_.reset();
        running_ = false;
        return false;
    }
    const std::size_t before = pending_.size();
    for (std::uint64_t s = std::max(nextSeq_, log.FirstSeq()); s < log.NextSeq(); ++s)
        PcapngWriter::AppendRecord(pending_, log, *log.Find(s));
    nextSeq_ = log.NextSeq();
    fileBytes_ += pending_.size() - before;
    // Once a second, as the disk gets it: a crash loses at most the last second.
    const bool full = fileBytes_ >= limits_.fileBytes;
    if (full || !handed_ || steadyMs - handedAtMs_ >= SYNC_MS)
        HandOver(steadyMs);
    if (full) {
        NextFile next = PrepareNext(log);
        fileBytes_ = next.snapshot.size();
        jobs_->Post([this, next = std::move(next)] {
            Close();
            if (!failed_)
                Open(next);
        });
    }
    return true;
}

void LineRecording::Sync() {
    if (jobs_)
        jobs_->Drain();
}

void LineRecording::Stop() {
    if (jobs_) {
        if (!pending_.empty())
            HandOver(handedAtMs_); // Close makes it reach the disk
        jobs_->Post([this] {
            if (writer_.IsOpen() && !writer_.Close())
                Fail(File() + ": " + writer_.Error());
        });
        jobs_.reset();
    } else if (writer_.IsOpen() && !writer_.Close()) {
        Fail(File() + ": " + writer_.Error());
    }
    running_ = false;
}

std::string LineRecording::File() const {
    std::lock_guard<std::mutex> hold(lock_);
    return file_;
}

std::string LineRecording::Error() const {
    std::lock_guard<std::mutex> hold(lock_);
    return error_;
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
    for (fs::directory_iterator it(PathOf(folder_), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = TextOf(it->path().filename());
        if (!IsRecordingFileName(name) || !it->is_regular_file(ec))
            continue;
        const std::uint64_t size = it->file_size(ec);
        const auto written = it->last_write_time(ec);
        files.push_back({written, TextOf(it->path()), ec ? 0 : size});
        total += ec ? 0 : size;
    }
    std::sort(files.begin(), files.end());
    for (const auto& [written, path, size] : files) {
        if (total <= limits_.totalBytes)
            break;
        if (path == File() || CaptureInUse(path))
            continue;
        if (fs::remove(PathOf(path), ec))
            total -= size;
    }
}

} // namespace orvik
