#include "platform/NoExecMount.h"

#include <sys/statvfs.h>

namespace platform {

bool MountedNoExec(const std::string& Path)
{
    struct statvfs info {};
    return ::statvfs(Path.c_str(), &info) == 0 && (info.f_flag & ST_NOEXEC) != 0;
}

} // namespace platform
