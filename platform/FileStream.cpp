#include "platform/FileStream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Appends below this size are gathered; larger ones go straight out.
constexpr std::size_t PendingCapacity = 64 * 1024;

std::runtime_error SystemError(const std::string& what, const std::string& fileName)
{
    return std::runtime_error(what + " \"" + fileName + "\": " + std::strerror(errno));
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, TMode mode)
    : FFileName(fileName)
{
    // A created file is also read back: the engine hands it to handlers
    // that read what has arrived so far, or the error page a server sent.
    const int flags = mode == fmOpenRead ? O_RDONLY : (O_RDWR | O_CREAT | O_TRUNC);
    FHandle = ::open(fileName.c_str(), flags | O_CLOEXEC, 0666);
    if (FHandle < 0)
        throw SystemError(mode == fmOpenRead ? "Cannot open file" : "Cannot create file", fileName);
    FAtEnd = mode == fmCreate;
}

TFileStream::~TFileStream()
{
    Close();
}

bool TFileStream::Close()
{
    if (FHandle < 0)
        return true;
    bool written = true;
    try {
        Flush();
    } catch (const std::exception&) {
        written = false;
    }
    const int rc = ::close(FHandle);
    FHandle = -1;
    FPendingSize = 0;
    return written && rc == 0;
}

void TFileStream::WriteOut(const char* bytes, std::size_t count)
{
    if (FHandle < 0)
        throw std::runtime_error("Write to a closed file \"" + FFileName + "\"");
    while (count > 0) {
        const ssize_t n = ::write(FHandle, bytes, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw SystemError("Cannot write file", FFileName);
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
}

void TFileStream::Flush()
{
    if (FPendingSize == 0)
        return;
    // Dropped also when the write fails: the caller learns it from the
    // exception, and a retry must not write them twice.
    const std::size_t count = FPendingSize;
    FPendingSize = 0;
    WriteOut(FPending.get(), count);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    if (FHandle < 0)
        throw std::runtime_error("Read from a closed file \"" + FFileName + "\"");
    Flush();
    FAtEnd = false;
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
    Flush();
    FAtEnd = false;
    WriteOut(static_cast<const char*>(buffer), count);
}

void TFileStream::Append(const void* buffer, std::size_t count)
{
    if (FHandle < 0)
        throw std::runtime_error("Write to a closed file \"" + FFileName + "\"");
    if (!FAtEnd) {
        Flush();
        if (::lseek(FHandle, 0, SEEK_END) < 0)
            throw SystemError("Cannot seek in file", FFileName);
        FAtEnd = true;
    }
    if (FPendingSize + count > PendingCapacity)
        Flush();
    if (count >= PendingCapacity) {
        WriteOut(static_cast<const char*>(buffer), count);
        return;
    }
    if (!FPending)
        FPending = std::make_unique<char[]>(PendingCapacity);
    std::memcpy(FPending.get() + FPendingSize, buffer, count);
    FPendingSize += count;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    if (FHandle >= 0)
        Flush();
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t pos = FHandle < 0 ? -1 : ::lseek(FHandle, offset, whence);
    if (pos < 0)
        throw SystemError("Cannot seek in file", FFileName);
    FAtEnd = false;
    return pos;
}

std::int64_t TFileStream::Size() const
{
    struct stat st {};
    if (FHandle < 0 || ::fstat(FHandle, &st) != 0)
        return -1;
    return st.st_size + static_cast<std::int64_t>(FPendingSize);
}
