#include "link/protocol/NodeSettings.h"

#include "link/protocol/StatusTexts.h"
#include "link/protocol/ValueTables.h"

#include <algorithm>
#include <cctype>

namespace orvik {

namespace {

constexpr std::array<SettingId, SETTING_COUNT> MakeAll() {
    std::array<SettingId, SETTING_COUNT> all{};
    std::size_t i = 0;
    for (std::uint8_t b = 0; b < BREAKER_COUNT; ++b)
        all[i++] = {SettingKind::TripCurrent, b};
    for (std::uint8_t b = 0; b < BREAKER_COUNT; ++b)
        all[i++] = {SettingKind::TripTime, b};
    for (SettingKind k : {SettingKind::Doubling, SettingKind::PowerOnMask, SettingKind::Wigwag,
                          SettingKind::WigwagInterval, SettingKind::Flasher, SettingKind::DualLed})
        all[i++] = {k, 0};
    return all;
}
constexpr std::array<SettingId, SETTING_COUNT> ALL = MakeAll();

template <typename Table> std::string TableText(const Table& table) {
    std::string out;
    for (auto v : table)
        out += (out.empty() ? "" : ", ") + std::to_string(v);
    return out;
}

} // namespace

const std::array<SettingId, SETTING_COUNT>& AllSettings() {
    return ALL;
}

std::size_t SettingIndex(SettingId id) {
    switch (id.kind) {
    case SettingKind::TripCurrent:
        return id.breaker % BREAKER_COUNT;
    case SettingKind::TripTime:
        return BREAKER_COUNT + id.breaker % BREAKER_COUNT;
    default:
        return 2 * BREAKER_COUNT + static_cast<std::size_t>(id.kind) -
               static_cast<std::size_t>(SettingKind::Doubling);
    }
}

std::string SettingSection(SettingId id) {
    if (id.kind == SettingKind::TripCurrent || id.kind == SettingKind::TripTime)
        return "Breaker" + std::to_string(id.breaker + 1);
    return "Node";
}

const char* SettingKey(SettingId id) {
    switch (id.kind) {
    case SettingKind::TripCurrent:
        return "TripCurrent";
    case SettingKind::TripTime:
        return "TripTime";
    case SettingKind::Doubling:
        return "Doubling";
    case SettingKind::PowerOnMask:
        return "PowerOnMask";
    case SettingKind::Wigwag:
        return "Wigwag";
    case SettingKind::WigwagInterval:
        return "WigwagInterval";
    case SettingKind::Flasher:
        return "Flasher";
    case SettingKind::DualLed:
        return "DualLed";
    }
    return "";
}

std::string SettingName(SettingId id) {
    const std::string breaker = "breaker " + std::to_string(id.breaker + 1);
    switch (id.kind) {
    case SettingKind::TripCurrent:
        return breaker + " trip current";
    case SettingKind::TripTime:
        return breaker + " trip time";
    case SettingKind::Doubling:
        return "doubling/tripling";
    case SettingKind::PowerOnMask:
        return "power on defaults";
    case SettingKind::Wigwag:
        return "wigwag";
    case SettingKind::WigwagInterval:
        return "wigwag interval";
    case SettingKind::Flasher:
        return "flasher";
    case SettingKind::DualLed:
        return "dual LED";
    }
    return "";
}

std::string SettingReading(SettingId id, std::uint16_t value) {
    const auto byte = static_cast<std::uint8_t>(value);
    switch (id.kind) {
    case SettingKind::TripCurrent:
        return FormatTenths(value) + " A";
    case SettingKind::TripTime:
    case SettingKind::WigwagInterval:
        return FormatTenths(value) + " seconds";
    case SettingKind::Doubling:
        return JoiningOptionText(byte);
    case SettingKind::PowerOnMask: {
        if (byte == 0)
            return "all breakers off";
        if (byte == 0xFF)
            return "all breakers on";
        std::string on;
        int count = 0;
        for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
            if (byte & BitMaskTable[b]) {
                on += (count++ ? ", " : "") + std::to_string(b + 1);
            }
        return (count == 1 ? "breaker " : "breakers ") + on + " on";
    }
    case SettingKind::Wigwag:
        return WigwagModeText(byte);
    case SettingKind::Flasher: {
        const char* text = FlasherModeText(byte);
        return text ? text : "flasher mode " + std::to_string(value);
    }
    case SettingKind::DualLed:
        return DualLedText(value != 0);
    }
    return std::to_string(value);
}

std::string SettingComment(SettingId id, std::uint16_t value) {
    switch (id.kind) {
    case SettingKind::TripCurrent:
        return "tenths of an ampere: " + SettingReading(id, value);
    case SettingKind::TripTime:
    case SettingKind::WigwagInterval:
        return "tenths of a second: " + SettingReading(id, value);
    default:
        return SettingReading(id, value);
    }
}

bool SettingValueValid(SettingId id, std::uint32_t value, std::string* why) {
    auto range = [&](std::uint32_t max) {
        if (why)
            *why = "0.." + std::to_string(max);
        return value <= max;
    };
    switch (id.kind) {
    case SettingKind::TripCurrent:
        if (why)
            *why = "one of " + TableText(TripCurrentTable) + " (tenths of an ampere)";
        return std::find(TripCurrentTable.begin(), TripCurrentTable.end(), value) !=
               TripCurrentTable.end();
    case SettingKind::TripTime:
        if (why)
            *why = "one of " + TableText(TripTimeTable) + " (tenths of a second)";
        return std::find(TripTimeTable.begin(), TripTimeTable.end(), value) != TripTimeTable.end();
    case SettingKind::Doubling:
        return range(4);
    case SettingKind::PowerOnMask:
    case SettingKind::WigwagInterval:
        return range(255);
    case SettingKind::Wigwag:
        return range(3);
    case SettingKind::Flasher:
        return range(2);
    case SettingKind::DualLed:
        return range(1);
    }
    return false;
}

std::string ProfileName(const NodeProfile& profile) {
    return profile.programmable ? "Programmable" : "Fixed " + std::to_string(profile.fixed);
}

std::optional<NodeProfile> ParseProfile(const std::string& text) {
    std::string lower;
    for (char c : text)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "programmable")
        return NodeProfile{};
    if (lower.rfind("fixed ", 0) != 0)
        return std::nullopt;
    const std::string digits = lower.substr(6);
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int n = std::stoi(digits);
    if (n < 1 || n > 256)
        return std::nullopt;
    return NodeProfile{false, static_cast<std::uint16_t>(n)};
}

std::optional<std::uint16_t> StatusValue(const StatusRecord& record, std::size_t node,
                                         SettingId id) {
    const std::uint8_t flags = record.OptionFlags(node);
    switch (id.kind) {
    case SettingKind::Doubling:
        return record.DoublingOption(node);
    case SettingKind::PowerOnMask:
        return record.PowerOnMask(node);
    case SettingKind::Wigwag:
        return flags & OPT_WIGWAG;
    case SettingKind::WigwagInterval:
        return record.WigwagInterval(node);
    case SettingKind::Flasher:
        return (flags & OPT_FLASHER) >> 3;
    case SettingKind::DualLed:
        return (flags & OPT_DUAL_LED) ? 1 : 0;
    default:
        return std::nullopt;
    }
}

NodeSettings SettingsFromStatus(const StatusRecord& record, std::size_t node) {
    NodeSettings s;
    s.number = static_cast<int>(node + 1);
    const bool programmable = record.OptionFlags(node) & OPT_PROGRAMMABLE;
    s.profile = NodeProfile{
        programmable, static_cast<std::uint16_t>(programmable ? 1 : record.FixedProfile(node) + 1)};
    for (SettingId id : ALL)
        if (auto v = StatusValue(record, node, id))
            s.Set(id, *v);
    return s;
}

void AddTripSettings(NodeSettings& settings, const BreakerSetupRecord& setup) {
    for (std::uint8_t b = 0; b < BREAKER_COUNT; ++b) {
        settings.Set({SettingKind::TripCurrent, b}, setup.TripCurrent[b]);
        settings.Set({SettingKind::TripTime, b}, setup.TripTime[b]);
    }
}

std::vector<SettingDifference> CompareSettings(const NodeSettings& node, const NodeSettings& file) {
    std::vector<SettingDifference> out;
    for (SettingId id : ALL) {
        const auto want = file.Get(id);
        if (want && node.Get(id) != want)
            out.push_back({id, node.Get(id), *want});
    }
    return out;
}

} // namespace orvik
