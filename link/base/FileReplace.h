// Writing a file whole. The new text goes to a temporary file in the same folder, which then
// takes the old file's place: a full disk or a crash leaves the old file or the new one, never
// a part of either. The new file keeps the old one's permissions (and, where allowed, owner);
// through a symbolic link the file it points at is replaced and the link stays.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// Nothing but a regular file is replaced, and only one the user may write: the file's own
// permission holds, even where the folder would allow the replacement.
enum class ReplaceResult {
    Replaced,
    FolderNotWritable, // no temporary file may be made there; the old file is untouched
    NotWritable,       // the file is there but not the user's to write, or not a regular file
    Failed,            // anything else; the old file is untouched
};
// `reason`, when given, gets why it failed: "permission denied", "no space left on device".
ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view text,
                               std::string* reason = nullptr);

// Whether the user may write the file at `path`, which is there; else false with the reason.
bool FileWritable(const std::string& path, std::string& reason);

// Truncates the file and writes the text, as a folder that cannot be written still allows.
bool WriteFileInPlace(const std::string& path, std::string_view text);

} // namespace orvik
