#include "switchmodel/SwitchParse.h"

#include <algorithm>

namespace orvik {

bool NextField(std::string_view s, std::size_t& pos, std::string& item) {
    item.clear();
    if (pos < 1)
        pos = 1;
    while (pos <= s.size()) {
        const char c = s[pos - 1];
        ++pos;
        if (c == ',')
            break;
        item.push_back(c);
    }
    return !item.empty();
}

namespace {

int DigitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

} // namespace

std::int32_t StrToIntDef(std::string_view s, std::int32_t fallback) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size())
        return fallback;
    std::int64_t value = 0;
    for (; i < s.size(); ++i) {
        const int d = DigitValue(s[i], base);
        if (d < 0)
            return fallback;
        value = value * base + d;
        if (value > std::int64_t{1} << 32)
            return fallback;
    }
    if (negative)
        value = -value;
    // Hexadecimal may fill all 32 bits; the value then reads as negative.
    if (base == 16 && value > INT32_MAX && value <= UINT32_MAX)
        value -= std::int64_t{1} << 32;
    if (value < INT32_MIN || value > INT32_MAX)
        return fallback;
    return static_cast<std::int32_t>(value);
}

std::string CutCharacters(std::string_view s, std::size_t n) {
    std::size_t bytes = 0;
    std::size_t chars = 0;
    while (bytes < s.size() && chars < n) {
        ++bytes;
        while (bytes < s.size() && (static_cast<unsigned char>(s[bytes]) & 0xC0) == 0x80)
            ++bytes;
        ++chars;
    }
    return std::string(s.substr(0, bytes));
}

namespace {

bool ParseKind(std::string item, std::uint8_t& kind) {
    std::transform(item.begin(), item.end(), item.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    static constexpr const char* names[] = {"toggle", "rocker", "redpush", "redgreenpush"};
    for (std::uint8_t k = 0; k < 4; ++k) {
        if (item == names[k]) {
            kind = k;
            return true;
        }
    }
    return false;
}

} // namespace

bool ParseSwitchEntry(std::string_view s, TSwitchRecord& out) {
    // Parsed into a copy, so a bad entry leaves the record as it was.
    TSwitchRecord record = out;
    std::size_t pos = 1;
    std::string item;
    if (!NextField(s, pos, item))
        return false;
    record.Designation = CutCharacters(item, DESIGNATION_LENGTH);
    if (!NextField(s, pos, item) || !ParseKind(item, record.Kind))
        return false;
    if (!NextField(s, pos, item))
        return false;
    const std::int32_t id = StrToIntDef(item, NO_ID);
    if (id < 1 || id > MAX_ID)
        return false;
    record.Id = static_cast<std::uint16_t>(id);
    out = std::move(record);
    return true;
}

std::size_t ParseSwitchEntries(const std::vector<std::string>& strings, std::size_t count,
                               std::vector<TSwitchRecord>& records) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!ParseSwitchEntry(strings[i], records[i]))
            return i;
    }
    return count;
}

} // namespace orvik
