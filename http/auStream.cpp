#include "http/auStream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

std::string TStream::ReadAll()
{
    std::string out;
    char chunk[65536];
    for (;;) {
        const std::size_t n = Read(chunk, sizeof chunk);
        if (n == 0)
            break;
        out.append(chunk, n);
    }
    return out;
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    if (FPosition >= FBytes.size())
        return 0;
    const std::size_t n = std::min(count, FBytes.size() - FPosition);
    std::memcpy(buffer, FBytes.data() + FPosition, n);
    FPosition += n;
    return n;
}

void TMemoryStream::Write(const void* buffer, std::size_t count)
{
    if (count == 0)
        return;
    if (FPosition > FBytes.size())
        FBytes.resize(FPosition, '\0');
    const std::size_t overlap = std::min(count, FBytes.size() - FPosition);
    std::memcpy(FBytes.data() + FPosition, buffer, overlap);
    FBytes.append(static_cast<const char*>(buffer) + overlap, count - overlap);
    FPosition += count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    std::int64_t base = 0;
    if (origin == soCurrent)
        base = static_cast<std::int64_t>(FPosition);
    else if (origin == soEnd)
        base = Size();
    const std::int64_t target = base + offset;
    if (target < 0)
        throw std::runtime_error("Stream position before its start");
    FPosition = static_cast<std::size_t>(target);
    return target;
}
