#include "link/base/FileReplace.h"
#include "link/base/Utf8Path.h"

#include "link/base/RegularFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvik {

#ifdef _WIN32

bool FileWritable(const std::string& path, std::string& reason) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        reason = attributes & FILE_ATTRIBUTE_DIRECTORY ? "is a folder" : "is read-only";
        return false;
    }
    return true;
}

ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view text,
                               std::string* reason) {
    std::string why;
    if (!reason)
        reason = &why;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES && !FileWritable(path, *reason))
        return ReplaceResult::NotWritable;
    static unsigned counter = 0;
    const std::string temp =
        path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *reason = error == ERROR_PATH_NOT_FOUND ? "its folder does not exist"
                                                : "its folder cannot be written (Windows error " +
                                                      std::to_string(error) + ")";
        return error == ERROR_ACCESS_DENIED ? ReplaceResult::FolderNotWritable
                                            : ReplaceResult::Failed;
    }
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        DWORD wrote = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1 << 20));
        ok = WriteFile(h, text.data() + done, chunk, &wrote, nullptr) && wrote > 0;
        done += wrote;
    }
    ok = ok && FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
    // ReplaceFile keeps the old file's attributes and access rights.
    if (ok && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        ok = ReplaceFileA(path.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                          nullptr, nullptr);
    else if (ok)
        ok = MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        *reason = "Windows error " + std::to_string(GetLastError());
        DeleteFileA(temp.c_str());
        return ReplaceResult::Failed;
    }
    return ReplaceResult::Replaced;
}

#else

namespace {

// "444", "rw-r--r--" style is less clear to most than the octal form users chmod with.
std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%03o", static_cast<unsigned>(mode & 0777));
    return text;
}

bool WriteAll(int fd, std::string_view text) { // errno tells a failure
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

bool FileWritable(const std::string& path, std::string& reason) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) ? "is a folder"
                                     : "is not a regular file (a device, a FIFO or a socket)";
        return false;
    }
    if (::access(path.c_str(), W_OK) != 0) {
        reason = SystemErrorText(errno);
        if (errno == EACCES && ::stat(path.c_str(), &st) == 0)
            reason += " (the file's mode is " + ModeText(st.st_mode) + ")";
        return false;
    }
    return true;
}

ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view text,
                               std::string* reason) {
    std::string why;
    if (!reason)
        reason = &why;
    std::error_code ec;
    std::string target = path;
    if (std::filesystem::is_symlink(PathOf(path), ec)) {
        const auto resolved = std::filesystem::canonical(PathOf(path), ec);
        if (!ec)
            target = TextOf(resolved);
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !FileWritable(target, *reason))
        return ReplaceResult::NotWritable;
    std::string temp = target + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        const int error = errno;
        *reason = error == ENOENT ? "its folder does not exist"
                                  : "its folder cannot be written: " + SystemErrorText(error);
        return error == EACCES || error == EPERM || error == EROFS
                   ? ReplaceResult::FolderNotWritable
                   : ReplaceResult::Failed;
    }

    if (exists) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not allowed to give it away: it stays the writer's own, as a new file would.
        }
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask); // as a file the program creates
    }
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        *reason = SystemErrorText(error ? error : errno);
        ::unlink(temp.c_str());
        return ReplaceResult::Failed;
    }
    // The new name reaches the disk too.
    const std::string folder = TextOf(PathOf(target).parent_path());
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return ReplaceResult::Replaced;
}

#endif

bool WriteFileInPlace(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace orvik
