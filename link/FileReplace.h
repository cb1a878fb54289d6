// Writing a file whole. The new text goes to a temporary file in the same folder, which then
// takes the old file's place: a full disk or a crash leaves the old file or the new one, never
// a part of either. The new file keeps the old one's permissions (and, where allowed, owner);
// through a symbolic link the file it points at is replaced and the link stays.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

enum class ReplaceResult {
    Replaced,
    FolderNotWritable, // no temporary file may be made there; the old file is untouched
    Failed,            // anything else; the old file is untouched
};
ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view text);

// Truncates the file and writes the text, as a folder that cannot be written still allows.
bool WriteFileInPlace(const std::string& path, std::string_view text);

} // namespace orvik
