// Files a user names: read only when they are regular files of a sane size, so that a folder,
// a FIFO, a device such as /dev/zero, or a huge file is refused at once with the reason,
// rather than read for ever or into all memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvik {

inline constexpr std::uint64_t NODE_SETTINGS_FILE_LIMIT = 64 * 1024;
inline constexpr std::uint64_t SETTINGS_FILE_LIMIT = 1024 * 1024;

// Whether `path` is a regular file of at most `limit` bytes; else false with the reason in
// `error` ("is a folder", "is not a regular file (a device, a FIFO or a socket)", "is too
// large (4.0 GB; at most 64 KB)", "does not exist", or the system's reason).
bool CheckRegularFile(const std::string& path, std::uint64_t limit, std::string& error);

// The whole text of a regular file of at most `limit` bytes, or nullopt with the reason.
// Opening never blocks, also on a FIFO.
std::optional<std::string> ReadRegularFile(const std::string& path, std::uint64_t limit,
                                           std::string& error);

// Whether `path` names something that is there (a file, a folder, a device ...).
bool PathExists(const std::string& path);

// The system's reason for an error number, in lower case: "permission denied".
std::string SystemErrorText(int error);

// "64 KB", "4.0 GB".
std::string ByteSizeText(std::uint64_t bytes);

} // namespace orvik
