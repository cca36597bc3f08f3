#include "platform/FileReplace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Set-user and set-group bits are not carried over: a downloaded file does
// not inherit privileges that were granted to the file it replaces.
constexpr mode_t PermissionBits = 0777;

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Read permission implies execute permission for a program: r-- becomes r-x,
// so whoever could start the old program can start the new one.
mode_t WithExecute(mode_t mode)
{
    if (mode & S_IRUSR)
        mode |= S_IXUSR;
    if (mode & S_IRGRP)
        mode |= S_IXGRP;
    if (mode & S_IROTH)
        mode |= S_IXOTH;
    return mode | S_IXUSR;
}

mode_t NewMode(const std::string& Target, TReplaceRole Role)
{
    struct stat target {};
    mode_t mode = ::stat(Target.c_str(), &target) == 0 ? (target.st_mode & PermissionBits)
                                                      : (0666 & ~CurrentUmask());
    return Role == TReplaceRole::rrProgram ? WithExecute(mode) : mode;
}

std::string FolderOf(const std::string& Path)
{
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? std::string(".") : Path.substr(0, slash + 1);
}

// The rename is durable only once the folder's entry is on disk; a failure
// here changes nothing that a reader of the folder would see.
void SyncFolder(const std::string& Folder)
{
    const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Mode and content of Source are made final before the rename, so the new
// name never shows a file with the wrong permissions or unwritten blocks.
int PrepareSource(const std::string& Source, mode_t Mode)
{
    const int fd = ::open(Source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat source {};
    int error = 0;
    if (::fstat(fd, &source) != 0)
        error = errno;
    else if (!S_ISREG(source.st_mode))
        error = EINVAL;
    else if (::fchmod(fd, Mode) != 0 || ::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    return error;
}

} // namespace

int ReplaceFile(const std::string& Source, const std::string& Target, TReplaceRole Role)
{
    if (const int error = PrepareSource(Source, NewMode(Target, Role)))
        return error;
    if (::rename(Source.c_str(), Target.c_str()) != 0)
        return errno;
    SyncFolder(FolderOf(Target));
    return 0;
}

int RemoveFile(const std::string& Path)
{
    return ::unlink(Path.c_str()) == 0 ? 0 : errno;
}

bool PathExists(const std::string& Path)
{
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

} // namespace platform
