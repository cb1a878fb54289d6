#include "link/base/RegularFile.h"
#include "link/base/Utf8Path.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fstream>
#include <iterator>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvik {

namespace {

std::string TooLarge(std::uint64_t size, std::uint64_t limit) {
    return "is too large (" + ByteSizeText(size) + "; at most " + ByteSizeText(limit) + ")";
}

#ifndef _WIN32
// The reason an opened file is not a regular one of at most `limit` bytes, or "".
std::string Unsuitable(const struct stat& st, std::uint64_t limit) {
    if (S_ISDIR(st.st_mode))
        return "is a folder";
    if (!S_ISREG(st.st_mode))
        return "is not a regular file (a device, a FIFO or a socket)";
    if (static_cast<std::uint64_t>(st.st_size) > limit)
        return TooLarge(static_cast<std::uint64_t>(st.st_size), limit);
    return {};
}

int OpenForReading(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        error = errno == ENOENT ? "does not exist" : "cannot be read: " + SystemErrorText(errno);
    return fd;
}
#endif

} // namespace

std::string SystemErrorText(int error) {
    std::string text = std::generic_category().message(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string ByteSizeText(std::uint64_t bytes) {
    constexpr std::uint64_t KB = 1024, MB = KB * 1024, GB = MB * 1024;
    const auto [unit, name] = bytes >= GB   ? std::pair{GB, "GB"}
                              : bytes >= MB ? std::pair{MB, "MB"}
                              : bytes >= KB ? std::pair{KB, "KB"}
                                            : std::pair{std::uint64_t{1}, "bytes"};
    char text[32];
    if (bytes % unit == 0)
        std::snprintf(text, sizeof text, "%llu %s", static_cast<unsigned long long>(bytes / unit),
                      name);
    else
        std::snprintf(text, sizeof text, "%.1f %s",
                      static_cast<double>(bytes) / static_cast<double>(unit), name);
    return text;
}

bool PathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(PathOf(path), ec).type() !=
               std::filesystem::file_type::not_found &&
           !ec;
}

#ifdef _WIN32

bool CheckRegularFile(const std::string& path, std::uint64_t limit, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(PathOf(path), ec);
    if (ec || st.type() == fs::file_type::not_found) {
        error = "does not exist";
        return false;
    }
    if (st.type() == fs::file_type::directory) {
        error = "is a folder";
        return false;
    }
    if (st.type() != fs::file_type::regular) {
        error = "is not a regular file (a device, a FIFO or a socket)";
        return false;
    }
    const std::uint64_t size = fs::file_size(PathOf(path), ec);
    if (!ec && size > limit) {
        error = TooLarge(size, limit);
        return false;
    }
    return true;
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::uint64_t limit,
                                           std::string& error) {
    if (!CheckRegularFile(path, limit, error))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot be read";
        return std::nullopt;
    }
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (in.bad() || text.size() > limit) {
        error = in.bad() ? "cannot be read" : TooLarge(text.size(), limit);
        return std::nullopt;
    }
    return text;
}

#else

bool CheckRegularFile(const std::string& path, std::uint64_t limit, std::string& error) {
    const int fd = OpenForReading(path, error);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0;
    ::close(fd);
    error = ok ? Unsuitable(st, limit) : "cannot be read: " + SystemErrorText(errno);
    return error.empty();
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::uint64_t limit,
                                           std::string& error) {
    const int fd = OpenForReading(path, error);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    error =
        ::fstat(fd, &st) == 0 ? Unsuitable(st, limit) : "cannot be read: " + SystemErrorText(errno);
    std::string text;
    if (error.empty()) {
        // One byte more than the limit tells a file that grew meanwhile.
        text.resize(static_cast<std::size_t>(limit) + 1);
        std::size_t have = 0;
        for (;;) {
            const ssize_t n = ::read(fd, text.data() + have, text.size() - have);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = "cannot be read: " + SystemErrorText(errno);
                break;
            }
            if (n == 0)
                break;
            have += static_cast<std::size_t>(n);
            if (have == text.size()) {
                error = TooLarge(have, limit);
                break;
            }
        }
        text.resize(have);
    }
    ::close(fd);
    if (!error.empty())
        return std::nullopt;
    return text;
}

#endif

} // namespace orvik
