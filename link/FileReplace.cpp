#include "link/FileReplace.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvik {

#ifdef _WIN32

ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view text) {
    static unsigned counter = 0;
    const std::string temp =
        path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED ? ReplaceResult::FolderNotWritable
                                                     : ReplaceResult::Failed;
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
        DeleteFileA(temp.c_str());
        return ReplaceResult::Failed;
    }
    return ReplaceResult::Replaced;
}

#else

namespace {

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view text) {
    std::error_code ec;
    std::string target = path;
    if (std::filesystem::is_symlink(path, ec)) {
        const auto resolved = std::filesystem::canonical(path, ec);
        if (!ec)
            target = resolved.string();
    }
    std::string temp = target + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return errno == EACCES || errno == EPERM || errno == EROFS
                   ? ReplaceResult::FolderNotWritable
                   : ReplaceResult::Failed;

    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
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
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return ReplaceResult::Failed;
    }
    // The new name reaches the disk too.
    const std::string folder = std::filesystem::path(target).parent_path().string();
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
