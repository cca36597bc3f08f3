#include "platform/FileStream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::runtime_error SystemError(const std::string& what, const std::string& fileName)
{
    return std::runtime_error(what + " \"" + fileName + "\": " + std::strerror(errno));
}
} // namespace

TFileStream::TFileStream(const std::string& fileName, TMode mode)
    : FFileName(fileName)
{
    const int flags = mode == fmOpenRead ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
    FHandle = ::open(fileName.c_str(), flags | O_CLOEXEC, 0666);
    if (FHandle < 0)
        throw SystemError(mode == fmOpenRead ? "Cannot open file" : "Cannot create file", fileName);
}

TFileStream::~TFileStream()
{
    Close();
}

bool TFileStream::Close()
{
    if (FHandle < 0)
        return true;
    const int rc = ::close(FHandle);
    FHandle = -1;
    return rc == 0;
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    if (FHandle < 0)
        throw std::runtime_error("Read from a closed file \"" + FFileName + "\"");
    for (;;) {
        const ssize_t n = ::read(FHandle, buffer, count);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            throw SystemError("Cannot read file", FFileName);
    }
}

void TFileStream::Write(const void* buffer, std::size_t count)
{
    if (FHandle < 0)
        throw std::runtime_error("Write to a closed file \"" + FFileName + "\"");
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        const ssize_t n = ::write(FHandle, p, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw SystemError("Cannot write file", FFileName);
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t pos = FHandle < 0 ? -1 : ::lseek(FHandle, offset, whence);
    if (pos < 0)
        throw SystemError("Cannot seek in file", FFileName);
    return pos;
}

std::int64_t TFileStream::Size() const
{
    struct stat st {};
    if (FHandle < 0 || ::fstat(FHandle, &st) != 0)
        return -1;
    return st.st_size;
}
