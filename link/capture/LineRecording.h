// Recordings of the line: pcapng captures of everything that crosses it, written as it happens
// (CaptureWriter), one file per run named by its port and start time, a new file once one
// reaches its size limit, and the oldest recordings deleted once all of them pass their total
// limit. A file is only ever made new, never taken over from another program recording into the
// same folder, and pruning leaves files that another program is writing. A write that fails (a
// full disk, a folder that cannot be written) stops the recording with the reason; what was
// written stays.
#pragma once

#include "link/capture/CaptureWriter.h"
#include "link/protocol/FrameLog.h"

#include <cstdint>
#include <functional>
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

    // Starts recording into `folder` (made if it is not there) what the log records from now
    // on. False with the reason in Error().
    bool Start(const std::string& folder, const FrameLog& log, const CaptureInfo& info,
               RecordingLimits limits = {}, Snapshot snapshot = {});
    // Writes what came since the last call (at least once a second, by `steadyMs`), starts the
    // next file when this one is full, and deletes the oldest recordings past the total. False
    // when the recording stopped, now or before.
    bool Poll(const FrameLog& log, std::int64_t steadyMs);
    void Stop();

    bool Active() const { return writer_.IsOpen(); }
    const std::string& File() const { return file_; } // the file written now, or last
    const std::string& Error() const { return error_; }

private:
    bool OpenNext(const FrameLog& log);
    void Prune();

    std::string folder_;
    std::string file_;
    CaptureInfo info_;
    Snapshot snapshot_;
    RecordingLimits limits_;
    CaptureWriter writer_;
    std::string error_;
};

} // namespace orvik
