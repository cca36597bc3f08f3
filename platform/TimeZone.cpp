#include "platform/TimeZone.h"

#include <ctime>

namespace platform {

std::int64_t UtcOffsetAt(std::int64_t UnixTime)
{
    // localtime_r, unlike localtime, need not look at TZ again; tzset makes
    // a changed zone setting count from the next call on.
    ::tzset();
    const std::time_t instant = static_cast<std::time_t>(UnixTime);
    std::tm local {};
    if (::localtime_r(&instant, &local) == nullptr)
        return 0;
    return local.tm_gmtoff;
}

std::optional<std::int64_t> LocalToUnixTime(int Year, int Month, int Day, int Hour, int Minute, int Second)
{
    ::tzset();
    std::tm local {};
    local.tm_year = Year - 1900;
    local.tm_mon = Month - 1;
    local.tm_mday = Day;
    local.tm_hour = Hour;
    local.tm_min = Minute;
    local.tm_sec = Second;
    local.tm_isdst = -1;  // let the zone database say whether daylight time applies
    // mktime returns -1 both on failure and for one valid instant; it leaves
    // tm_wday alone only when it fails.
    local.tm_wday = -1;
    const std::time_t instant = std::mktime(&local);
    if (local.tm_wday < 0)
        return std::nullopt;
    return static_cast<std::int64_t>(instant);
}

} // namespace platform
