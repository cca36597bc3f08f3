#include "platform/FileTimes.h"

#include "platform/FileInfo.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {
timespec Stamp(std::optional<std::int64_t> seconds)
{
    timespec stamp {};
    if (seconds)
        stamp.tv_sec = static_cast<time_t>(*seconds);
    else
        stamp.tv_nsec = UTIME_OMIT;
    return stamp;
}
} // namespace

bool SetFileTimes(const std::string& FileName, std::optional<std::int64_t> Modified,
                  std::optional<std::int64_t> Accessed)
{
    // The existence check comes first: with both times omitted utimensat
    // may succeed without looking at the path at all.
    if (!IsFile(FileName))
        return false;
    const timespec times[2] = {Stamp(Accessed), Stamp(Modified)};
    return ::utimensat(AT_FDCWD, FileName.c_str(), times, 0) == 0;
}

} // namespace platform
