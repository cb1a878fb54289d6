// Helpers of the history tests.
#pragma once

#include "link/protocol/StatusRecord.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace orvik::test {

// A status record with these nodes present, everything else zero.
inline StatusRecord Record(std::uint8_t present) {
    StatusRecord r;
    r.SetNodePresent(present);
    return r;
}

// Local time is this POSIX TZ while it lives.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        Set(tz);
    }
    ~ScopedTimeZone() { Set(old_ ? old_->c_str() : nullptr); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    static void Set(const char* tz) {
#ifdef _WIN32
        _putenv_s("TZ", tz ? tz : "");
        _tzset();
#else
        if (tz)
            setenv("TZ", tz, 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }
    std::optional<std::string> old_;
};

} // namespace orvik::test
