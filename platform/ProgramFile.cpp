#include "platform/ProgramFile.h"

#include <climits>
#include <unistd.h>

namespace platform {

std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path)
        return {};
    std::string folder(path, static_cast<std::size_t>(length));
    folder.erase(folder.rfind('/') + 1);
    return folder;
}

} // namespace platform
