#include "platform/Stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <sys/mman.h>

namespace {

// From this size on the bytes live in pages of their own, which grow by
// remapping, never by copying: a body of hundreds of megabytes is copied
// once, as it arrives. (Huge pages were tried: their compaction on a busy
// machine cost more than the page faults they save.)
constexpr std::size_t MapThreshold = 1024 * 1024;
constexpr std::size_t MapUnit = 2 * 1024 * 1024;

} // namespace

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

TMemoryStream::TMemoryStream(std::string_view bytes)
{
    Append(bytes.data(), bytes.size());
    FPosition = 0;
}

TMemoryStream::~TMemoryStream()
{
    if (FMapped)
        ::munmap(FBytes, FCapacity);
    else
        std::free(FBytes);
}

void TMemoryStream::Reserve(std::size_t bytes)
{
    if (bytes > FCapacity)
        Grow(bytes);
}

void TMemoryStream::Grow(std::size_t size)
{
    if (size <= FCapacity)
        return;
    // Doubling keeps appends amortised constant.
    std::size_t capacity = std::max({size, FCapacity * 2, std::size_t(256)});
    if (capacity < MapThreshold) {
        void* grown = std::realloc(FBytes, capacity);
        if (!grown)
            throw std::bad_alloc();
        FBytes = static_cast<char*>(grown);
        FCapacity = capacity;
        return;
    }
    capacity = (capacity + MapUnit - 1) / MapUnit * MapUnit;
    void* grown = FMapped ? ::mremap(FBytes, FCapacity, capacity, MREMAP_MAYMOVE)
                          : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (grown == MAP_FAILED)
        throw std::bad_alloc();
    if (!FMapped) {
        if (FSize + FStaged != 0)
            std::memcpy(grown, FBytes, FSize + FStaged);
        std::free(FBytes);
        FMapped = true;
    }
    FBytes = static_cast<char*>(grown);
    FCapacity = capacity;
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    if (FPosition >= FSize)
        return 0;
    const std::size_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FBytes + FPosition, n);
    FPosition += n;
    return n;
}

void TMemoryStream::Write(const void* buffer, std::size_t count)
{
    if (count == 0)
        return;
    FStaged = 0;
    const std::size_t end = FPosition + count;
    Grow(end);
    if (FPosition > FSize)
        std::memset(FBytes + FSize, 0, FPosition - FSize);
    std::memcpy(FBytes + FPosition, buffer, count);
    FSize = std::max(FSize, end);
    FPosition = end;
}

void TMemoryStream::Append(const void* buffer, std::size_t count)
{
    FPosition = FSize;
    Write(buffer, count);
}

void TMemoryStream::Stage(const void* buffer, std::size_t count)
{
    if (count == 0)
        return;
    Grow(FSize + FStaged + count);
    std::memcpy(FBytes + FSize + FStaged, buffer, count);
    FStaged += count;
}

void TMemoryStream::Commit(std::size_t count)
{
    count = std::min(count, FStaged);
    FSize += count;
    FStaged -= count;
    FPosition = FSize;
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
