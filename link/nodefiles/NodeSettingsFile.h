// A node settings file: an INI text with a [Node] section and [Breaker1] .. [Breaker8], values
// in the wire's units, each with its human reading as a comment:
//
//   ; Orvik node settings, saved 2026-12-08T14:02:11Z
//   [Node]
//   Number=1                  ; Orvik node 1
//   Profile=Programmable      ; read-only, never applied
//   PowerOnMask=0x07          ; breakers 1, 2, 3 on
//   [Breaker1]
//   TripCurrent=100           ; tenths of an ampere: 10.0 A
//
// A file may hold only some keys; comments are kept when a file is saved again. A section or a
// key the file cannot have is an error, so that a typo never passes as a setting. A UTF-8 byte
// order mark and any line end (CR LF, LF, CR alone) are read.
#pragma once

#include "link/protocol/NodeSettings.h"

#include <optional>
#include <string>
#include <vector>

namespace orvik {

struct NodeSettingsFile {
    NodeSettings settings;
};

// Reads a file's text. A malformed line, an unknown section or key, a value out of range, a
// trip value that is not in its table, or a section or key given twice: nullopt, with
// "line N: ..." in `error` (bytes that are not printable shown escaped).
std::optional<NodeSettingsFile> ParseNodeSettings(const std::string& text, std::string& error);

// `existing` (a node settings file's text, or empty for a new file) with every known value of
// `settings` written in and the header's time set to `savedAt`. Every other line stays; a
// value's comment is renewed only when it is a reading that save wrote. A value that the file
// could not take back (a trip value outside its list, flasher mode 3) is left out; `skipped`
// gets its setting and reading.
std::string WriteNodeSettings(const std::string& existing, const NodeSettings& settings,
                              const std::string& savedAt,
                              std::vector<std::string>* skipped = nullptr);

// The file at `path`, a regular file under 64 KB. Errors name the file's line, or say why it
// cannot be read ("is a folder", "is not a regular file ...").
std::optional<NodeSettingsFile> LoadNodeSettingsFile(const std::string& path, std::string& error);
// Whether settings may be saved to `path`: nothing is there, or a node settings file that the
// user may write. Else false with the reason, before anything is read from the bus.
bool CheckNodeSettingsTarget(const std::string& path, std::string& error);
// Writes `settings` to `path`, into the file that is there (which must be a valid node settings
// file) or a new one; the file is replaced whole, never left half written.
bool SaveNodeSettingsFile(const std::string& path, const NodeSettings& settings, std::string& error,
                          std::vector<std::string>* skipped = nullptr);

// The time now in UTC, as "2026-12-08T14:02:11Z".
std::string UtcTimestamp();

} // namespace orvik
