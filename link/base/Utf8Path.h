// Paths are UTF-8 text throughout the program. std::filesystem takes and gives them through
// these: on Windows (MinGW) a path made from narrow text would be read byte by byte, so that
// "Jörg" named some other folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvik {

inline std::filesystem::path PathOf(std::string_view utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

inline std::string TextOf(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

} // namespace orvik
