#include "link/capture/CaptureWriter.h"
#include "link/base/Utf8Path.h"

#include "link/base/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvik {

namespace {

constexpr std::int64_t SYNC_INTERVAL_MS = 1000;

#ifdef _WIN32
int OpenFile(const std::string& path, bool createNew) {
    // An open file cannot be deleted on Windows: that marks it as in use.
    return ::_open(path.c_str(),
                   _O_WRONLY | _O_CREAT | (createNew ? _O_EXCL : _O_TRUNC) | _O_BINARY,
                   _S_IREAD | _S_IWRITE);
}
bool MarkInUse(int) {
    return true;
}
int WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 20)));
}
void CloseFile(int fd) {
    ::_close(fd);
}
#else
int OpenFile(const std::string& path, bool createNew) {
    // Without O_NONBLOCK, opening a FIFO that nobody reads would wait for a reader for ever.
    return ::open(path.c_str(),
                  O_WRONLY | O_CREAT | (createNew ? O_EXCL : O_TRUNC) | O_NONBLOCK | O_CLOEXEC |
                      O_NOCTTY,
                  0666);
}
// An advisory lock, held while the file is open: other programs see the file is in use.
bool MarkInUse(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}
ssize_t WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
    return ::write(fd, data, size);
}
void CloseFile(int fd) {
    ::close(fd);
}
#endif

} // namespace

CaptureWriter::~CaptureWriter() {
    if (fd_ >= 0)
        CloseFile(fd_);
}

bool CaptureWriter::Open(const std::string& path, const CaptureInfo& info,
                         const std::atomic<bool>* stop) {
    stop_ = stop;
    return OpenWith(path, info, false);
}

bool CaptureWriter::OpenNew(const std::string& path, const CaptureInfo& info) {
    stop_ = nullptr;
    if (OpenWith(path, info, true))
        return true;
    if (created_) {
        std::error_code ec;
        std::filesystem::remove(PathOf(path), ec); // made here, and no capture: no empty file stays
    }
    return false;
}

bool CaptureWriter::OpenWith(const std::string& path, const CaptureInfo& info, bool createNew) {
    error_.clear();
    clashed_ = created_ = false;
    fd_ = OpenFile(path, createNew);
    if (fd_ < 0) {
        const int error = errno;
        if (createNew && error == EEXIST) {
            clashed_ = true;
            return Fail("is there already");
        }
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path folder = PathOf(path).parent_path();
        if (error == ENOENT && !folder.empty() && !fs::exists(folder, ec))
            return Fail("its folder " + TextOf(folder) + " does not exist");
        if (error == EISDIR)
            return Fail("is a folder");
#ifndef _WIN32
        if (error == ENXIO)
            return Fail("is a FIFO that nobody reads");
#endif
        return Fail(SystemErrorText(error));
    }
#ifndef _WIN32
    struct stat st {};
    regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    // A regular file never makes a write wait; a pipe or a device may, and is waited for below.
    if (!regular_)
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
#else
    regular_ = true;
#endif
    created_ = createNew;
    if (createNew && !MarkInUse(fd_))
        return Fail(SystemErrorText(errno));
    buffer_.clear();
    PcapngWriter::AppendHeader(buffer_, info);
    started_ = false;
    written_ = records_ = 0;
    syncedAtMs_ = 0;
    return Flush(0);
}

void CaptureWriter::AppendNew(const FrameLog& log) {
    if (fd_ < 0)
        return;
    if (!started_) {
        nextSeq_ = log.FirstSeq();
        started_ = true;
    }
    for (std::uint64_t s = std::max(nextSeq_, log.FirstSeq()); s < log.NextSeq(); ++s) {
        PcapngWriter::AppendRecord(buffer_, log, *log.Find(s));
        ++records_;
    }
    nextSeq_ = log.NextSeq();
}

bool CaptureWriter::Flush(std::int64_t nowMs) {
    if (fd_ < 0)
        return error_.empty();
#ifndef _WIN32
    // Once a stop is asked for, a pipe nobody reads is not waited for any more.
    if (!regular_ && stop_ && stop_->load())
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
#endif
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const auto n = WriteSome(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR && !(stop_ && stop_->load()))
            continue;
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return Fail("stopped while the reader of the pipe was not reading");
        return Fail(n == 0 ? SystemErrorText(ENOSPC) : SystemErrorText(errno));
    }
    written_ += buffer_.size();
    buffer_.clear();
#ifndef _WIN32
    if (regular_ && nowMs - syncedAtMs_ >= SYNC_INTERVAL_MS) {
        syncedAtMs_ = nowMs;
        if (::fdatasync(fd_) != 0 && errno != EINVAL)
            return Fail(SystemErrorText(errno));
    }
#else
    (void)nowMs;
#endif
    return true;
}

bool CaptureWriter::Close() {
    if (fd_ < 0)
        return error_.empty();
    bool ok = Flush(0);
#ifndef _WIN32
    if (ok && regular_ && ::fsync(fd_) != 0)
        ok = Fail(SystemErrorText(errno));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && ok)
        ok = Fail(SystemErrorText(errno));
#else
    CloseFile(fd_);
    fd_ = -1;
#endif
    return ok && error_.empty();
}

bool CaptureInUse(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false; // deleting it fails while it is open
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    const bool inUse = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // lets the lock go, if it was taken here
    return inUse;
#endif
}

bool CaptureWriter::Fail(const std::string& reason) {
    if (error_.empty())
        error_ = reason;
    if (fd_ >= 0) {
        CloseFile(fd_);
        fd_ = -1;
    }
    buffer_.clear();
    return false;
}

} // namespace orvik
