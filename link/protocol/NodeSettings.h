// The settings of one Orvik node that a settings file can hold and an apply can send: the
// node's own settings from the status record and the trip settings of its eight breakers.
// Values are in the wire's units (tenths), as the status record and the setup reply carry them.
#pragma once

#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

enum class SettingKind : std::uint8_t {
    TripCurrent, // tenths of an ampere, an entry of TripCurrentTable
    TripTime,    // tenths of a second, an entry of TripTimeTable
    Doubling,    // joining option 0..4
    PowerOnMask, // bit b: breaker b+1 on at power-on
    Wigwag,      // as the status record shows it: 0 not enabled, 1 off, 2 steady, 3 flashing
    WigwagInterval,
    Flasher, // 0..2
    DualLed, // 0 or 1
};

struct SettingId {
    SettingKind kind = SettingKind::Doubling;
    std::uint8_t breaker = 0; // 0..7, trip settings only
    friend bool operator==(const SettingId&, const SettingId&) = default;
};

inline constexpr std::size_t SETTING_COUNT = 2 * BREAKER_COUNT + 6;

// Every setting, in the order an apply sends them: trip settings first, then doubling, the
// power-on mask, the wigwag (its enable before its mode), its interval, flasher, dual LED.
const std::array<SettingId, SETTING_COUNT>& AllSettings();
// Position of `id` in AllSettings().
std::size_t SettingIndex(SettingId id);

// Section and key of the settings file: "Node"/"Doubling", "Breaker3"/"TripCurrent".
std::string SettingSection(SettingId id);
const char* SettingKey(SettingId id);
// The name a user reads: "doubling/tripling", "breaker 3 trip current".
std::string SettingName(SettingId id);
// A value as the user reads it: "10.0 A", "1.0 seconds", "Wigwag is steady", "breakers 1, 3 on".
std::string SettingReading(SettingId id, std::uint16_t value);
// The comment that a saved file carries beside the value: unit and reading.
std::string SettingComment(SettingId id, std::uint16_t value);
// Whether `value` is one the setting can take; `why` says which values it can.
bool SettingValueValid(SettingId id, std::uint32_t value, std::string* why = nullptr);

// The profile selection of a module: read-only, never applied.
struct NodeProfile {
    bool programmable = true;
    std::uint16_t fixed = 1; // 1..256 when not programmable
    friend bool operator==(const NodeProfile&, const NodeProfile&) = default;
};
std::string ProfileName(const NodeProfile& profile); // "Programmable", "Fixed 3"
std::optional<NodeProfile> ParseProfile(const std::string& text);

// Settings as far as they are known: a node's, or those a file holds.
struct NodeSettings {
    std::optional<int> number; // 1..8
    std::optional<NodeProfile> profile;
    std::array<std::optional<std::uint16_t>, SETTING_COUNT> values{};

    std::optional<std::uint16_t> Get(SettingId id) const { return values[SettingIndex(id)]; }
    void Set(SettingId id, std::uint16_t v) { values[SettingIndex(id)] = v; }
};

// The value the status record shows for a node setting (node index 0..7). Trip settings are
// not in the status record: nullopt.
std::optional<std::uint16_t> StatusValue(const StatusRecord& record, std::size_t node,
                                         SettingId id);
// A node's settings from the status record, and its trip settings from a setup reply when
// there is one.
NodeSettings SettingsFromStatus(const StatusRecord& record, std::size_t node);
void AddTripSettings(NodeSettings& settings, const BreakerSetupRecord& setup);

// One setting that the file sets differently from the node (or that the node's value of is
// not known).
struct SettingDifference {
    SettingId id;
    std::optional<std::uint16_t> now; // the node's value; nullopt: not known
    std::uint16_t file = 0;
};
// The settings of `file` that differ from `node`, in AllSettings() order.
std::vector<SettingDifference> CompareSettings(const NodeSettings& node, const NodeSettings& file);

} // namespace orvik
