#pragma once
// The local time zone, from the system's zone database (TZ or /etc/localtime).

#include <cstdint>
#include <optional>

namespace platform {

// Seconds the local zone is ahead of UTC at the instant UnixTime (seconds
// since 1970 UTC), daylight time included when it is in force then; 0 when
// the system cannot tell. Reads the zone settings afresh on every call.
std::int64_t UtcOffsetAt(std::int64_t UnixTime);

// The instant (seconds since 1970 UTC) that a local date-time means; nullopt
// when the system cannot convert it. A time in the hour skipped or repeated
// at a daylight-time change gets the system's choice of offset.
std::optional<std::int64_t> LocalToUnixTime(int Year, int Month, int Day, int Hour, int Minute, int Second);

} // namespace platform
