#include "platform/LogFile.h"

#include "platform/DescriptorIO.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int MakeFolders(const std::string& Path)
{
    for (std::size_t slash = Path.find('/', 1); slash != std::string::npos; slash = Path.find('/', slash + 1)) {
        if (::mkdir(Path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

std::string Now()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    char text[32] = "";
    if (::localtime_r(&now, &local))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace

int AppendLogLine(const std::string& Path, const std::string& Line)
{
    if (const int error = MakeFolders(Path))
        return error;
    const int fd = ::open(Path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return errno;
    // One write per line: O_APPEND keeps lines of concurrent writers whole.
    const int error = WriteWhole(fd, Now() + " [" + std::to_string(::getpid()) + "] " + Line + "\n");
    ::close(fd);
    return error;
}

void WriteStandardError(const std::string& Text)
{
    WriteWhole(STDERR_FILENO, Text);
}

std::string ErrorText(int Error)
{
    return std::strerror(Error);
}

} // namespace platform
