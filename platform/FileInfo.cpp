#include "platform/FileInfo.h"

#include <sys/stat.h>

namespace platform {

std::int64_t FileSize(const std::string& Path)
{
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool IsFile(const std::string& Path)
{
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& Path)
{
    struct stat st {};
    return !Path.empty() && ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace platform
