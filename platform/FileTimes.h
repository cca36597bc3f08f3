#pragma once
// Setting a file's time stamps. Linux keeps no settable creation time, so
// only the last-write and last-access times can be set.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Sets the last-write and last-access times of the existing file FileName to
// the given instants (seconds since 1970 UTC); an absent value leaves that
// time as it is. False when there is no such regular file or the times
// cannot be changed.
bool SetFileTimes(const std::string& FileName, std::optional<std::int64_t> Modified,
                  std::optional<std::int64_t> Accessed);

} // namespace platform
