// Recordings of the line: pcapng captures of everything that crosses it, written as it happens
// (CaptureWriter), one file per run named by its port and start time, a new file once one
// reaches its size limit, and the oldest recordings deleted once all of them pass their total
// limit. A file is only ever made new, never taken over from another program recording into the
// same folder, and pruning leaves files that another program is writing. A write that fails (a
// full disk, a folder that cannot be written) stops the recording with the reason; what was
// written stays.
#pragma once

#include "link/base/JobThread.h"
#include "link/capture/CaptureWriter.h"
#include "link/protocol/FrameLog.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orvik {

struct RecordingLimits {
    std::uint64_t fileBytes = 100ull * 1000 * 1000;   // a new file after this
    std::uint64_t totalBytes = 1000ull * 1000 * 1000; // the oldest go past this
};

// $XDG_DATA_HOME/orvik/recordings/ (by default ~/.local/share/orvik/recordings/), on Windows
// %LOCALAPPDATA%\Orvik\recordings\; "" when neither is known.
std::string RecordingsFolder();

// "orvik-COM1-2026-12-09T14-02-03.pcapng", by the port (as a file name may hold it) and the
// local time of `wallMs` (ms since 1970).
std::string RecordingFileName(const std::string& port, std::int64_t wallMs);
// Whether `name` is one that RecordingFileName gives, with or without a number after a clash.
bool IsRecordingFileName(const std::string& name);

class LineRecording {
public:
    // Frames from the bus that tell what is known when a file begins (the last status, the
    // setup replies), written first into each file so that a file alone rebuilds the state.
    using Snapshot = std::function<std::vector<std::vector<std::uint8_t>>()>;

    LineRecording() = default;
    ~LineRecording() { Stop(); }
    LineRecording(const LineRecording&) = delete;
    LineRecording& operator=(const LineRecording&) = delete;

    // Starts recording into `folder` (made if it is not there) what the log records from now
    // on. False with the reason in Error().
    bool Start(const std::string& folder, const FrameLog& log, const CaptureInfo& info,
               RecordingLimits limits = {}, Snapshot snapshot = {});
    // Takes what came since the last call and hands it to the writer's thread once a second
    // (by `steadyMs`), starts the next file when this one is full, and deletes the oldest
    // recordings past the total; the disk is never waited for here. False when the recording
    // stopped, now or before.
    bool Poll(const FrameLog& log, std::int64_t steadyMs);
    // Writes what was taken, closes the file and waits for that.
    void Stop();
    // Waits until what was handed over is written.
    void Sync();

    bool Active() const { return running_; }
    std::string File() const; // the file written now, or last
    std::string Error() const;

private:
    // A file to begin: its name before a clash, and the snapshot's packets.
    struct NextFile {
        std::string path;
        std::vector<std::uint8_t> snapshot;
    };
    NextFile PrepareNext(const FrameLog& log) const;
    // On the writer's thread, or before it runs: false, and the reason kept, when it fails.
    bool Open(const NextFile& next);
    void Write(const std::vector<std::uint8_t>& bytes, std::int64_t steadyMs);
    void Close();
    void Fail(const std::string& reason);
    void Prune();
    void HandOver(std::int64_t steadyMs);

    // The caller's thread.
    std::string folder_;
    CaptureInfo info_;
    Snapshot snapshot_;
    RecordingLimits limits_;
    bool running_ = false;
    std::uint64_t nextSeq_ = 0;
    std::uint64_t fileBytes_ = 0;       // taken for the file being written
    std::vector<std::uint8_t> pending_; // taken, not yet handed over
    bool handed_ = false;
    std::int64_t handedAtMs_ = 0;

    // The writer's thread (and Start, before it runs).
    CaptureWriter writer_;
    std::atomic<bool> failed_{false};
    mutable std::mutex lock_; // file_ and error_
    std::string file_;
    std::string error_;
    std::unique_ptr<JobThread> jobs_; // last: it ends first
};

} // namespace orvik
