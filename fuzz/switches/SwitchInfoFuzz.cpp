// Arbitrary switch descriptions, one a line: the model's records, Parsed and the one report
// must match a plain reading of "designation,kind,number" done here.
#include "switchmodel/SwitchModel.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

struct Expected {
    std::string designation;
    std::uint8_t kind = 0;
    std::uint16_t id = 0;
};

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The first 30 characters; a character starts at the first byte and at every byte that does
// not continue a UTF-8 sequence.
std::string First30(std::string_view s) {
    std::size_t starts = 0;
    for (std::size_t k = 0; k < s.size(); ++k) {
        if (k == 0 || !IsContinuation(s[k])) {
            if (++starts == 31)
                return std::string(s.substr(0, k));
        }
    }
    return std::string(s);
}

std::optional<std::uint8_t> Kind(std::string_view s) {
    static constexpr std::string_view names[] = {"toggle", "rocker", "redpush", "redgreenpush"};
    for (std::uint8_t k = 0; k < 4; ++k) {
        const auto n = names[k];
        if (s.size() == n.size() && std::equal(s.begin(), s.end(), n.begin(), [](char a, char b) {
                return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b;
            }))
            return k;
    }
    return std::nullopt;
}

// A number 1..256: leading blanks, "+" allowed, decimal or hexadecimal after "$" or "0x".
std::optional<std::uint16_t> Number(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    bool minus = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        minus = s.front() == '-';
        s.remove_prefix(1);
    }
    unsigned base = 10;
    if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() >= 3 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return std::nullopt;
    unsigned long value = 0;
    for (char c : s) {
        unsigned d = 99;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        if (d >= base)
            return std::nullopt;
        value = std::min(value * base + d, 100000ul);
    }
    if (minus || value < 1 || value > 256)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::optional<Expected> Parse(std::string_view s) {
    std::vector<std::string_view> items;
    for (std::size_t start = 0; items.size() < 3;) {
        const std::size_t comma = s.find(',', start);
        items.push_back(s.substr(start, comma == std::string_view::npos ? s.npos : comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (items.size() < 3 || items[0].empty() || items[1].empty() || items[2].empty())
        return std::nullopt;
    const auto kind = Kind(items[1]);
    const auto id = Number(items[2]);
    if (!kind || !id)
        return std::nullopt;
    return Expected{First30(items[0]), *kind, *id};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> strings;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t nl = text.find('\n', start);
        const std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        strings.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }

    orvik::SwitchModel model;
    std::vector<std::string> reports;
    model.SetReporter([&reports](const std::string& m) { reports.push_back(m); });
    model.AssignSwitches(strings);

    Check(model.GetNumberOfSwitches() == std::min(strings.size(), orvik::MAX_SWITCHES));
    if (strings.size() > orvik::MAX_SWITCHES)
        return 0;
    std::size_t bad = strings.size();
    std::vector<Expected> expected;
    for (std::size_t i = 0; i < strings.size() && bad == strings.size(); ++i) {
        if (auto e = Parse(strings[i]))
            expected.push_back(*e);
        else
            bad = i;
    }
    Check(model.Parsed() == (bad == strings.size()));
    if (bad == strings.size())
        Check(reports.empty());
    else
        Check(reports.size() == 1 && reports[0] == orvik::INVALID_SWITCH_INFO + strings[bad]);

    const auto& records = model.Records();
    Check(records.size() == strings.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        Check(r.State == orvik::STATE_UNDEFINED);
        if (i < bad) {
            Check(r.Designation == expected[i].designation);
            Check(r.Kind == expected[i].kind && r.Id == expected[i].id);
        } else {
            Check(r.Designation.empty() && r.Kind == 0 && r.Id == orvik::NO_ID);
        }
    }
    return 0;
}
