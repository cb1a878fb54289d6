// The entries of a folder, read without exceptions: a folder that is missing, or that changes
// while it is read (devices that come and go, processes that end), gives what could be read.
#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

namespace orvik {

inline std::vector<std::filesystem::path> DirectoryEntries(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> entries;
    std::error_code ec;
    std::filesystem::directory_iterator it(dir, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        entries.push_back(it->path());
    return entries;
}

} // namespace orvik
