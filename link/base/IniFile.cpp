#include "link/base/IniFile.h"

#include <cctype>

namespace orvik {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

using LineKind = IniLine::Kind;

struct Line {
    std::size_t start = 0;   // first byte
    std::size_t end = 0;     // end of the content, before "\n"
    std::size_t next = 0;    // start of the next line
    bool hasNewline = false; // whether "\n" follows the content
    LineKind kind = LineKind::Blank;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed
    std::size_t equals = 0; // offset of '=' in the text, for keys
};

Line ParseLine(const std::string& text, std::size_t start) {
    Line line;
    line.start = start;
    std::size_t nl = text.find('\n', start);
    line.hasNewline = nl != std::string::npos;
    line.end = line.hasNewline ? nl : text.size();
    line.next = line.hasNewline ? nl + 1 : text.size();

    std::string_view content(text.data() + start, line.end - start);
    std::string_view t = Trim(content);
    if (t.empty()) {
        line.kind = LineKind::Blank;
    } else if (t.front() == ';' || t.front() == '#') {
        line.kind = LineKind::Comment;
    } else if (t.front() == '[') {
        std::size_t close = t.find(']');
        if (close == std::string_view::npos) {
            line.kind = LineKind::Other;
        } else {
            line.kind = LineKind::Section;
            line.name = Trim(t.substr(1, close - 1));
        }
    } else if (std::size_t eq = content.find('='); eq != std::string_view::npos) {
        line.name = Trim(content.substr(0, eq));
        line.kind = line.name.empty() ? LineKind::Other : LineKind::Key;
        line.value = Trim(content.substr(eq + 1));
        // A value in matching quotes is read without them, as the Windows reader does.
        if (line.value.size() >= 2 && (line.value.front() == '"' || line.value.front() == '\'') &&
            line.value.back() == line.value.front())
            line.value = line.value.substr(1, line.value.size() - 2);
        line.equals = start + eq;
    } else {
        line.kind = LineKind::Other;
    }
    return line;
}

// Calls f(line, inSection) for each line up to the end of the first matching section;
// f returns false to stop.
template <typename F> void ScanSection(const std::string& text, std::string_view section, F&& f) {
    bool inSection = false;
    bool seen = false;
    for (std::size_t pos = 0; pos < text.size();) {
        Line line = ParseLine(text, pos);
        pos = line.next;
        if (line.kind == LineKind::Section) {
            if (inSection)
                return; // only the first matching section counts
            inSection = !seen && SameName(line.name, section);
            seen = seen || inSection;
        }
        if (!f(line, inSection))
            return;
    }
}

} // namespace

std::optional<std::string> IniFile::ReadString(std::string_view section,
                                               std::string_view key) const {
    std::optional<std::string> result;
    ScanSection(text_, section, [&](const Line& line, bool inSection) {
        if (inSection && line.kind == LineKind::Key && SameName(line.name, key)) {
            result = std::string(line.value);
            return false;
        }
        return true;
    });
    return result;
}

std::vector<std::pair<std::string, std::string>>
IniFile::ReadSection(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> keys;
    ScanSection(text_, section, [&](const Line& line, bool inSection) {
        if (inSection && line.kind == LineKind::Key)
            keys.emplace_back(std::string(line.name), std::string(line.value));
        return true;
    });
    return keys;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value,
                          bool blankBefore) {
#ifdef _WIN32
    std::string_view eol = "\r\n";
#else
    std::string_view eol = "\n";
#endif
    if (text_.find("\r\n") != std::string::npos)
        eol = "\r\n";
    else if (text_.find('\n') != std::string::npos)
        eol = "\n";

    bool sectionFound = false;
    std::optional<Line> keyLine;
    Line lastLine; // the section's last line that is not blank
    ScanSection(text_, section, [&](const Line& line, bool inSection) {
        if (!inSection)
            return true;
        sectionFound = true;
        if (line.kind == LineKind::Key && SameName(line.name, key)) {
            keyLine = line;
            return false;
        }
        if (line.kind != LineKind::Blank)
            lastLine = line;
        return true;
    });

    if (keyLine) {
        // Replace the value, keeping the key as written and a "\r" before the newline.
        std::size_t from = keyLine->equals + 1;
        while (from < keyLine->end && (text_[from] == ' ' || text_[from] == '\t'))
            ++from;
        std::size_t to = keyLine->end;
        if (to > from && text_[to - 1] == '\r')
            --to;
        text_.replace(from, to - from, value);
        return;
    }
    std::string keyText = std::string(key) + "=" + std::string(value) + std::string(eol);
    if (sectionFound) {
        if (lastLine.hasNewline) {
            text_.insert(lastLine.next, keyText);
        } else {
            text_.insert(lastLine.next, std::string(eol) + keyText);
        }
        return;
    }
    if (!text_.empty() && text_.back() != '\n')
        text_ += eol;
    const std::string blank = std::string(eol) + std::string(eol);
    if (blankBefore && !text_.empty() &&
        (text_.size() < blank.size() ||
         text_.compare(text_.size() - blank.size(), blank.size(), blank) != 0))
        text_ += eol;
    text_.append("[").append(section).append("]").append(eol).append(keyText);
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
    std::optional<Line> keyLine;
    ScanSection(text_, section, [&](const Line& line, bool inSection) {
        if (inSection && line.kind == LineKind::Key && SameName(line.name, key)) {
            keyLine = line;
            return false;
        }
        return true;
    });
    if (keyLine)
        text_.erase(keyLine->start, keyLine->next - keyLine->start);
}

std::vector<IniLine> IniFile::Lines() const {
    std::vector<IniLine> lines;
    int number = 0;
    for (std::size_t pos = 0; pos < text_.size();) {
        const Line line = ParseLine(text_, pos);
        pos = line.next;
        IniLine out;
        out.number = ++number;
        out.kind = line.kind;
        out.name = line.name;
        out.value = line.value;
        std::size_t end = line.end;
        if (end > line.start && text_[end - 1] == '\r')
            --end;
        out.text = text_.substr(line.start, end - line.start);
        lines.push_back(std::move(out));
    }
    return lines;
}

std::optional<long long> ParseIniInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    const long long limit = (base == 16) ? 0xFFFFFFFFLL : (negative ? 2147483648LL : 2147483647LL);
    long long v = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * base + digit;
        if (v > limit)
            return std::nullopt;
    }
    return negative ? -v : v;
}

} // namespace orvik
