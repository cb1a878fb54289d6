// Times as people and spreadsheets read them.
#pragma once

#include <cstdint>
#include <string>

namespace orvik {

// Local ISO 8601 with milliseconds and the UTC offset: "2025-03-01T14:02:03.250+01:00".
std::string LocalTimeText(std::int64_t msSince1970);
// The local time of day to the second: "14:02:03".
std::string LocalClockText(std::int64_t msSince1970);

} // namespace orvik
