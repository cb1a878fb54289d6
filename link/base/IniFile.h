// An INI text held as it is in the file. Reading finds a key of a section; writing changes
// that one key's value (or adds the key or its section) and leaves every other byte alone.
// Section and key names match without regard to case; the first matching section counts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik {

// One line as the reader sees it, numbered from 1, for callers that name lines in messages.
struct IniLine {
    enum class Kind { Blank, Comment, Section, Key, Other };
    int number = 0;
    Kind kind = Kind::Blank;
    std::string name;  // section or key name, trimmed
    std::string value; // key value, trimmed
    std::string text;  // the line without its line end
};

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string text) : text_(std::move(text)) {}

    // The key's value with blanks around it removed, and a pair of quotes (" or ') around it,
    // or nullopt when section or key is missing.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    // Every key=value line of the section, in file order.
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;
    // A section that is not there yet goes at the end; with `blankBefore` after a blank line.
    void WriteString(std::string_view section, std::string_view key, std::string_view value,
                     bool blankBefore = false);
    // Removes the key's line; the section stays, also when it is left empty.
    void DeleteKey(std::string_view section, std::string_view key);
    // Every line, in file order.
    std::vector<IniLine> Lines() const;

    const std::string& Text() const noexcept { return text_; }

private:
    std::string text_;
};

// An integer as the settings file writes it: optional sign, then decimal digits, or hex
// digits after "0x" or "$". nullopt for anything else or a value beyond 32 bits.
std::optional<long long> ParseIniInteger(std::string_view text);

} // namespace orvik
