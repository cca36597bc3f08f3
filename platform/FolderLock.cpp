#include "platform/FolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

int TFolderLock::Lock(const std::string& Folder, bool Wait)
{
    Unlock();
    // O_CLOEXEC: a started program holding the same open folder would keep
    // the lock alive after this process had gone.
    const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int result;
    while ((result = ::flock(fd, LOCK_EX | (Wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    FFd = fd;
    return 0;
}

void TFolderLock::Unlock()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

} // namespace platform
