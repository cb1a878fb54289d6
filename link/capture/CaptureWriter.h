// A capture written while it is recorded: the header when it opens, then each record's block
// as it comes, handed to the system at every Flush and to the disk once a second, so that a
// capture cut by a crash or a power cut opens up to its last flush. The first failed write
// ends the capture, with the reason; nothing written before is lost.
#pragma once

#include "link/capture/Pcapng.h"
#include "link/protocol/FrameLog.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

class CaptureWriter {
public:
    CaptureWriter() = default;
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Creates (or empties) the file and writes the header. False with the reason: "its
    // folder does not exist", "is a folder", "permission denied", "nobody reads the FIFO" ...
    // `stop`, when given, cuts a write that waits for a slow reader of a pipe.
    bool Open(const std::string& path, const CaptureInfo& info,
              const std::atomic<bool>* stop = nullptr);
    // Creates a new file only, never one that is there (Clashed() then says so), and keeps it
    // marked as in use until it is closed (InUse). A start that fails leaves no file.
    bool OpenNew(const std::string& path, const CaptureInfo& info);
    bool Clashed() const { return clashed_; }
    bool IsOpen() const { return fd_ >= 0; }

    // Queues the log's records that came since the last call (or since the log's first record
    // kept, the first time, unless StartFrom named another).
    void AppendNew(const FrameLog& log);
    // Queues blocks the caller made.
    void AppendBytes(const std::vector<std::uint8_t>& bytes) {
        if (fd_ >= 0)
            buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    }
    void StartFrom(std::uint64_t seq) {
        nextSeq_ = seq;
        started_ = true;
    }
    // Writes what is queued; once a second (by `nowMs`, a steady clock) also to the disk.
    // False when the capture failed, now or before.
    bool Flush(std::int64_t nowMs);
    // Flushes and closes. False when the capture failed at any point.
    bool Close();

    const std::string& Error() const { return error_; }
    // Bytes written to the file so far, and records queued or written.
    std::uint64_t BytesWritten() const { return written_; }
    std::uint64_t Records() const { return records_; }

private:
    bool OpenWith(const std::string& path, const CaptureInfo& info, bool createNew);
    bool Fail(const std::string& reason);

    int fd_ = -1;
    bool clashed_ = false;
    bool created_ = false; // by OpenNew, this time
    bool regular_ = false;
    const std::atomic<bool>* stop_ = nullptr;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t nextSeq_ = 0;
    bool started_ = false;
    std::uint64_t written_ = 0;
    std::uint64_t records_ = 0;
    std::int64_t syncedAtMs_ = 0;
    std::string error_;
};

// Whether another program (or writer) has the capture at `path` open through OpenNew.
bool CaptureInUse(const std::string& path);

} // namespace orvik
