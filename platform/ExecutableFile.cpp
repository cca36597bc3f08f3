#include "platform/ExecutableFile.h"

#include "platform/DescriptorIO.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Makes Folder and whatever is missing above it; an existing one is fine.
int MakePrivateFolder(const std::string& Folder)
{
    if (Folder.empty() || ::mkdir(Folder.c_str(), 0700) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    const std::size_t slash = Folder.find_last_of('/', Folder.find_last_not_of('/'));
    if (slash == std::string::npos || slash == 0)
        return ENOENT;
    if (const int error = MakePrivateFolder(Folder.substr(0, slash)))
        return error;
    return ::mkdir(Folder.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// The bytes and the mode of the file beside the target are final before the
// rename, so the target's name never shows a file that cannot run yet.
int FillAside(int Fd, std::string_view Bytes)
{
    if (const int error = WriteWhole(Fd, Bytes))
        return error;
    return ::fchmod(Fd, 0700) == 0 ? 0 : errno;
}

} // namespace

int WriteExecutableFile(const std::string& Path, std::string_view Bytes)
{
    const std::size_t slash = Path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int error = MakePrivateFolder(Path.substr(0, slash)))
            return error;
    }
    // A name of our own beside the target: a fixed one could be a link that
    // someone else placed in a shared temporary folder.
    std::string aside = Path + ".XXXXXX";
    const int fd = ::mkostemp(aside.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = FillAside(fd, Bytes);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(aside.c_str(), Path.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(aside.c_str());
    return error;
}

bool IsOwnExecutable(const std::string& Path)
{
    struct stat info {};
    return ::stat(Path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 && ::access(Path.c_str(), X_OK) == 0;
}

std::string RunningExecutablePath()
{
    char path[PATH_MAX];
    return ::realpath("/proc/self/exe", path) ? std::string(path) : std::string();
}

} // namespace platform
