#include "link/nodefiles/NodeSettingsFile.h"

#include "link/base/FileReplace.h"
#include "link/base/IniFile.h"
#include "link/base/PrintableText.h"
#include "link/base/RegularFile.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <map>
#include <string_view>

namespace orvik {

namespace {

constexpr const char* HEADER = "; Orvik node settings, saved ";
constexpr const char* PROFILE_COMMENT = "read-only, never applied";
constexpr std::size_t COMMENT_COLUMN = 26; // where a new line's ';' goes

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// "5", "0x07": nullopt for anything else or more than 32 bits.
std::optional<std::uint32_t> ParseNumber(const std::string& s) {
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::string digits = hex ? s.substr(2) : s;
    if (digits.empty() || digits.size() > (hex ? 8u : 9u))
        return std::nullopt;
    std::uint32_t v = 0;
    for (char c : digits) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : hex && std::isxdigit(static_cast<unsigned char>(c))
                          ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                          : -1;
        if (d < 0)
            return std::nullopt;
        v = v * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    return v;
}

// A key's raw text split at its comment: value, blanks before ';', comment.
struct RawValue {
    std::string value;
    std::size_t gap = 0;
    std::string comment;
    bool hasComment = false;
};
RawValue Split(const std::string& raw) {
    RawValue r;
    const auto semi = raw.find(';');
    const std::string before = raw.substr(0, semi);
    r.value = Trim(before);
    if (semi != std::string::npos) {
        r.hasComment = true;
        r.gap = before.size() - before.find_last_not_of(" \t") - 1;
        r.comment = Trim(raw.substr(semi + 1));
    }
    return r;
}

// A known key of the file: a setting, or the read-only Number and Profile.
struct KnownKey {
    enum class What { Number, Profile, Setting } what = What::Setting;
    SettingId id{};
};

std::optional<KnownKey> FindKey(const std::string& section, const std::string& key) {
    const std::string k = Lower(key);
    if (section == "Node" && k == "number")
        return KnownKey{KnownKey::What::Number, {}};
    if (section == "Node" && k == "profile")
        return KnownKey{KnownKey::What::Profile, {}};
    for (SettingId id : AllSettings())
        if (SettingSection(id) == section && Lower(SettingKey(id)) == k)
            return KnownKey{KnownKey::What::Setting, id};
    return std::nullopt;
}

// "Node", "Breaker1".."Breaker8", or "" for a section of someone else's.
std::string KnownSection(const std::string& name) {
    const std::string n = Lower(name);
    if (n == "node")
        return "Node";
    if (n.size() == 8 && n.rfind("breaker", 0) == 0 && n[7] >= '1' && n[7] <= '8')
        return "Breaker" + n.substr(7);
    return {};
}

std::string Line(int n) {
    return "line " + std::to_string(n) + ": ";
}

// The value text and the comment save writes for one known key.
struct Entry {
    std::string section;
    std::string key;
    std::string value;
    std::string comment;
    // Whether `comment` is one that save writes for this key, whatever the value.
    bool (*ours)(const Entry&, const std::string& comment) = nullptr;
    SettingId id{};
};

bool IsSettingComment(const Entry& e, const std::string& comment) {
    for (std::uint16_t v = 0; v <= 255; ++v)
        if (comment == SettingComment(e.id, v))
            return true;
    return false;
}
bool IsNumberComment(const Entry&, const std::string& comment) {
    for (int n = 1; n <= static_cast<int>(NODE_COUNT); ++n)
        if (comment == "Orvik node " + std::to_string(n))
            return true;
    return false;
}
bool IsProfileComment(const Entry&, const std::string& comment) {
    return comment == PROFILE_COMMENT;
}

// The known values of `s` as lines of the file. A value the file could not take back (a trip
// value that is not in its list, a mode no command sets) is left out and named in `skipped`.
std::vector<Entry> Entries(const NodeSettings& s, std::vector<std::string>* skipped) {
    std::vector<Entry> out;
    if (s.number)
        out.push_back({"Node",
                       "Number",
                       std::to_string(*s.number),
                       "Orvik node " + std::to_string(*s.number),
                       IsNumberComment,
                       {}});
    if (s.profile)
        out.push_back(
            {"Node", "Profile", ProfileName(*s.profile), PROFILE_COMMENT, IsProfileComment, {}});
    // The node's own settings first, then breaker by breaker.
    std::vector<SettingId> order;
    for (SettingId id : AllSettings())
        if (SettingSection(id) == "Node")
            order.push_back(id);
    for (std::uint8_t b = 0; b < BREAKER_COUNT; ++b) {
        order.push_back({SettingKind::TripCurrent, b});
        order.push_back({SettingKind::TripTime, b});
    }
    for (SettingId id : order) {
        const auto v = s.Get(id);
        if (!v)
            continue;
        if (!SettingValueValid(id, *v)) {
            if (skipped)
                skipped->push_back(SettingName(id) + " (" + SettingReading(id, *v) + ")");
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", *v);
        out.push_back({SettingSection(id), SettingKey(id),
                       id.kind == SettingKind::PowerOnMask ? hex : std::to_string(*v),
                       SettingComment(id, *v), IsSettingComment, id});
    }
    return out;
}

constexpr std::string_view BOM = "\xEF\xBB\xBF";

std::string LineEnd(const std::string& text) {
    if (text.find("\r\n") != std::string::npos)
        return "\r\n";
    if (text.find('\n') != std::string::npos)
        return "\n";
    if (text.find('\r') != std::string::npos)
        return "\r";
#ifdef _WIN32
    return "\r\n";
#else
    return "\n";
#endif
}

// The text without its byte order mark, every line ending in "\n".
std::string Normalised(std::string_view text) {
    if (text.substr(0, BOM.size()) == BOM)
        text.remove_prefix(BOM.size());
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
        } else if (i + 1 == text.size() || text[i + 1] != '\n') {
            out += '\n';
        }
    }
    return out;
}

} // namespace

std::optional<NodeSettingsFile> ParseNodeSettings(const std::string& text, std::string& error) {
    NodeSettingsFile file;
    std::string section; // the known section the lines are in, "" for none or another's
    std::map<std::string, int> sections;
    std::map<std::string, int> keys; // "section/key" -> line
    for (const IniLine& line : IniFile(Normalised(text)).Lines()) {
        const std::string at = Line(line.number);
        switch (line.kind) {
        case IniLine::Kind::Blank:
        case IniLine::Kind::Comment:
            continue;
        case IniLine::Kind::Other:
            error = at + "not a [section], a key=value or a ; comment: \"" +
                    PrintableText(Trim(line.text)) + "\"";
            return std::nullopt;
        case IniLine::Kind::Section: {
            section = KnownSection(line.name);
            if (section.empty()) {
                error = at + "[" + PrintableText(line.name) +
                        "] is not a section of a node settings file ([Node], [Breaker1] .. "
                        "[Breaker8])";
                return std::nullopt;
            }
            const auto [it, fresh] = sections.emplace(section, line.number);
            if (!fresh) {
                error = at + "[" + section + "] appears a second time (first on line " +
                        std::to_string(it->second) + ")";
                return std::nullopt;
            }
            continue;
        }
        case IniLine::Kind::Key:
            break;
        }
        if (section.empty()) {
            error = at + "\"" + PrintableText(line.name) +
                    "\" comes before any [Node] or [Breaker] section";
            return std::nullopt;
        }
        const auto known = FindKey(section, line.name);
        if (!known) {
            error = at + "unknown key \"" + PrintableText(line.name) + "\" in [" + section + "]";
            return std::nullopt;
        }
        const std::string name = known->what == KnownKey::What::Setting  ? SettingKey(known->id)
                                 : known->what == KnownKey::What::Number ? "Number"
                                                                         : "Profile";
        const auto [it, fresh] = keys.emplace(section + "/" + name, line.number);
        if (!fresh) {
            error = at + name + " appears a second time in [" + section + "] (first on line " +
                    std::to_string(it->second) + ")";
            return std::nullopt;
        }
        const std::string value = Split(line.value).value;
        const std::string shown = name + "=" + PrintableText(value);
        if (value.empty()) {
            error = at + name + " has no value";
            return std::nullopt;
        }
        if (known->what == KnownKey::What::Profile) {
            file.settings.profile = ParseProfile(value);
            if (!file.settings.profile) {
                error = at + shown + " is neither \"Programmable\" nor \"Fixed\" and a number";
                return std::nullopt;
            }
            continue;
        }
        const auto number = ParseNumber(value);
        if (!number) {
            error = at + shown + " is not a number (decimal, or hexadecimal after 0x)";
            return std::nullopt;
        }
        if (known->what == KnownKey::What::Number) {
            if (*number < 1 || *number > NODE_COUNT) {
                error = at + shown + " is not a node number 1..8";
                return std::nullopt;
            }
            file.settings.number = static_cast<int>(*number);
            continue;
        }
        std::string allowed;
        if (!SettingValueValid(known->id, *number, &allowed)) {
            const bool listed = known->id.kind == SettingKind::TripCurrent ||
                                known->id.kind == SettingKind::TripTime;
            error = at + shown + (listed ? " is not in the list: " : " is out of range: ") +
                    SettingName(known->id) + " is " + allowed;
            return std::nullopt;
        }
        file.settings.Set(known->id, static_cast<std::uint16_t>(*number));
    }
    return file;
}

std::string WriteNodeSettings(const std::string& existing, const NodeSettings& settings,
                              const std::string& savedAt, std::vector<std::string>* skipped) {
    // Edited with "\n" line ends, written back with the file's own line end and mark.
    const std::string eol = LineEnd(existing);
    const bool marked = std::string_view(existing).substr(0, BOM.size()) == BOM;
    const std::string header = HEADER + savedAt;
    std::string text = Normalised(existing);
    if (text.empty()) {
        text = header + "\n; values in the wire's units; apply sends only the keys given\n";
    } else if (text.rfind(HEADER, 0) == 0) {
        const auto end = text.find('\n');
        text.replace(0, end == std::string::npos ? text.size() : end, header);
    }

    IniFile ini(std::move(text));
    for (const Entry& e : Entries(settings, skipped)) {
        const IniLine* found = nullptr;
        bool sectionSeen = false;
        const auto lines = ini.Lines();
        std::string current;
        for (const IniLine& line : lines) {
            if (line.kind == IniLine::Kind::Section)
                current = KnownSection(line.name);
            if (current == e.section) {
                sectionSeen = true;
                if (line.kind == IniLine::Kind::Key && Lower(line.name) == Lower(e.key)) {
                    found = &line;
                    break;
                }
            }
        }
        std::size_t gap = 0;
        std::string comment = e.comment;
        if (found) {
            const RawValue old = Split(found->value);
            gap = old.hasComment ? old.gap + old.value.size() : 1;
            // A comment of the user's stays; a reading that save wrote is renewed.
            if (old.hasComment && !old.comment.empty() && !e.ours(e, old.comment))
                comment = old.comment;
        } else {
            if (!sectionSeen)
                ini = IniFile(ini.Text() + "\n"); // a blank line before a new section
            gap = COMMENT_COLUMN;
            gap = gap > e.key.size() + 1 ? gap - e.key.size() - 1 : 1;
        }
        gap = gap > e.value.size() ? gap - e.value.size() : 1;
        ini.WriteString(e.section, e.key, e.value + std::string(gap, ' ') + "; " + comment);
    }
    std::string out = marked ? std::string(BOM) : std::string();
    for (char c : ini.Text()) {
        if (c == '\n')
            out += eol;
        else
            out += c;
    }
    return out;
}

std::optional<NodeSettingsFile> LoadNodeSettingsFile(const std::string& path, std::string& error) {
    const auto text = ReadRegularFile(path, NODE_SETTINGS_FILE_LIMIT, error);
    if (!text)
        return std::nullopt;
    return ParseNodeSettings(*text, error);
}

namespace {

// The text of the node settings file at `path` that a save would update ("" for none).
std::optional<std::string> SaveTarget(const std::string& path, std::string& error) {
    if (!PathExists(path))
        return std::string();
    auto text = ReadRegularFile(path, NODE_SETTINGS_FILE_LIMIT, error);
    if (!text) {
        error += ", so it is not overwritten";
        return std::nullopt;
    }
    if (!ParseNodeSettings(*text, error)) {
        error += "; not a node settings file, so it is not overwritten";
        return std::nullopt;
    }
    return text;
}

} // namespace

bool CheckNodeSettingsTarget(const std::string& path, std::string& error) {
    if (!SaveTarget(path, error))
        return false;
    std::string reason;
    if (PathExists(path) && !FileWritable(path, reason)) {
        error = "cannot be written: " + reason;
        return false;
    }
    return true;
}

bool SaveNodeSettingsFile(const std::string& path, const NodeSettings& settings, std::string& error,
                          std::vector<std::string>* skipped) {
    const auto existing = SaveTarget(path, error);
    if (!existing)
        return false;
    const std::string text = WriteNodeSettings(*existing, settings, UtcTimestamp(), skipped);
    std::string reason;
    if (ReplaceFileWhole(path, text, &reason) != ReplaceResult::Replaced) {
        error = "cannot be written: " + reason;
        return false;
    }
    return true;
}

std::string UtcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return out;
}

} // namespace orvik
