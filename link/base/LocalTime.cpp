#include "link/base/LocalTime.h"

#include <cstdio>
#include <ctime>

namespace orvik {

std::string LocalClockText(std::int64_t ms) {
    // The ISO text's "hh:mm:ss", so that both read the same local time.
    const std::string iso = LocalTimeText(ms);
    return iso.size() >= 19 ? iso.substr(11, 8) : iso;
}

std::string LocalTimeText(std::int64_t ms) {
    std::int64_t seconds = ms / 1000;
    std::int64_t milli = ms % 1000;
    if (milli < 0) {
        milli += 1000;
        --seconds;
    }
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    long offset = 0; // seconds east of UTC
#ifdef _WIN32
    if (localtime_s(&local, &t) != 0)
        return {};
    std::tm copy = local;
    offset = static_cast<long>(_mkgmtime(&copy) - t);
#else
    if (!localtime_r(&t, &local))
        return {};
    offset = local.tm_gmtoff;
#endif
    const char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(milli), sign, offset / 3600,
                  offset / 60 % 60);
    return text;
}

} // namespace orvik
