#include "platform/FileReplace.h"

#include "platform/DescriptorIO.h"

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

// Fd holds the data of Aside; makes it durable, closes it and renames Aside
// over Path, or removes Aside when any step failed.
int Commit(int Fd, int Error, const std::string& Aside, const std::string& Path)
{
    if (Error == 0 && ::fsync(Fd) != 0)
        Error = errno;
    if (::close(Fd) != 0 && Error == 0)
        Error = errno;
    if (Error == 0 && ::rename(Aside.c_str(), Path.c_str()) != 0)
        Error = errno;
    if (Error != 0) {
        ::unlink(Aside.c_str());
        return Error;
    }
    SyncFolder(FolderOf(Path));
    return 0;
}

int CopyAside(const std::string& Target, const std::string& Backup)
{
    const int in = ::open(Target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0)
        return errno;
    struct stat target {};
    if (::fstat(in, &target) != 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    const std::string aside = AsidePath(Backup);
    const int out = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                           target.st_mode & PermissionBits);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = ::fchmod(out, target.st_mode & PermissionBits) == 0 ? 0 : errno;
    if (error == 0)
        error = ReadToEnd(in, [out](std::string_view Piece) { return WriteWhole(out, Piece); });
    ::close(in);
    return Commit(out, error, aside, Backup);
}

} // namespace

int KeepBeside(const std::string& Target, const std::string& Backup)
{
    if (::unlink(Backup.c_str()) != 0 && errno != ENOENT)
        return errno;
    if (::link(Target.c_str(), Backup.c_str()) == 0) {
        SyncFolder(FolderOf(Backup));
        return 0;
    }
    // vfat and some network file systems have no hard links.
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK && errno != EXDEV)
        return errno;
    return CopyAside(Target, Backup);
}

int RenameOver(const std::string& Source, const std::string& Target)
{
    if (::rename(Source.c_str(), Target.c_str()) != 0)
        return errno;
    SyncFolder(FolderOf(Target));
    return 0;
}

int WriteFileAside(const std::string& Path, const std::string& Bytes, int Mode)
{
    const std::string aside = AsidePath(Path);
    const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, Mode);
    if (fd < 0)
        return errno;
    return Commit(fd, WriteWhole(fd, Bytes), aside, Path);
}

std::string AsidePath(const std::string& Path)
{
    return Path + ".new";
}

int ReadWholeFile(const std::string& Path, std::string& Bytes)
{
    Bytes.clear();
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st {};
    int error = ::fstat(fd, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : EINVAL);
    if (error == 0)
        error = ReadToEnd(fd, [&Bytes](std::string_view Piece) {
            Bytes.append(Piece);
            return 0;
        });
    ::close(fd);
    return error;
}

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
