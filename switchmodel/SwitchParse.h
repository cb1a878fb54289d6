// Parsing of the switch descriptions "designation,kind,number" into switch records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

// Switch kinds, as the description names them.
enum : std::uint8_t {
    KIND_TOGGLE = 0,
    KIND_ROCKER = 1,
    KIND_REDPUSH = 2,
    KIND_REDGREENPUSH = 3,
};

// Switch states, as GetSwitch returns them.
enum : std::uint8_t {
    STATE_UNDEFINED = 0,
    STATE_OFF = 1,
    STATE_ON = 2,
};

inline constexpr std::size_t DESIGNATION_LENGTH = 30; // characters kept of a designation
inline constexpr std::uint16_t NO_ID = 65535;         // Id of an entry not parsed
inline constexpr std::uint16_t MAX_ID = 256;
inline constexpr const char* INVALID_SWITCH_INFO = "Invalid information in SwitchInfoArray: ";

struct TSwitchRecord {
    std::string Designation; // UTF-8, at most DESIGNATION_LENGTH characters
    std::uint8_t Kind = KIND_TOGGLE;
    std::uint8_t State = STATE_UNDEFINED;
    std::uint16_t Id = 0;
};

// Takes the next comma-separated item of s from the 1-based position pos, and advances pos
// past the comma that ends it. Only the comma separates; blanks belong to the item. Returns
// false when the item is empty.
bool NextField(std::string_view s, std::size_t& pos, std::string& item);

// The usual integer reading: leading blanks, an optional sign, then decimal digits, or
// hexadecimal digits after "$" or "0x"; nothing may follow. Anything else, or a value beyond
// 32 bits, gives fallback.
std::int32_t StrToIntDef(std::string_view s, std::int32_t fallback);

// s cut to its first n characters; a UTF-8 sequence is never split.
std::string CutCharacters(std::string_view s, std::size_t n);

// Parses one description into record. On failure record is left as it was.
bool ParseSwitchEntry(std::string_view s, TSwitchRecord& record);

// Parses the first count strings into the records of the same index, in order, and stops at
// the first bad entry. Returns its index, or count when all passed. The records from the bad
// one on are left as they were. Both vectors must hold at least count entries.
std::size_t ParseSwitchEntries(const std::vector<std::string>& strings, std::size_t count,
                               std::vector<TSwitchRecord>& records);

} // namespace orvik
