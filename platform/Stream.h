#pragma once
// Streams that carry a transfer's body: the base class and the memory
// stream. The file stream is platform/FileStream.h.
//
// Write and Append throw std::runtime_error when the bytes cannot be stored
// (a full disk, a closed file, no memory); readers rely on that to report
// the failure.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to count bytes at the position; returns how many were read.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes all count bytes at the position or throws.
    virtual void Write(const void* buffer, std::size_t count) = 0;
    // Writes all count bytes at the end, wherever the position is, and
    // leaves the position at the new end; throws when it cannot.
    virtual void Append(const void* buffer, std::size_t count) = 0;
    // Returns the new position; throws on a position before the start.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size() const = 0;

    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
    // The bytes from the position to the end.
    std::string ReadAll();

protected:
    TStream() = default;
};

// Bytes in one block of memory. A large block grows by remapping its pages,
// so the bytes already stored are not copied again.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string_view bytes);
    ~TMemoryStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    void Append(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(FSize); }

    // Bytes put after the end without being part of the stream yet, so
    // that one thread can fill the stream while another, which reads it at
    // other times, decides when they count: Commit makes the first count of
    // them part of the stream and moves the position to its end. Write and
    // Append drop what is staged.
    void Stage(const void* buffer, std::size_t count);
    std::size_t StagedSize() const { return FStaged; }
    void Commit(std::size_t count);

    // Capacity hint only: the stream still grows as data arrives.
    void Reserve(std::size_t bytes);
    std::size_t Capacity() const { return FCapacity; }
    std::string_view Bytes() const { return {FBytes, FSize}; }

private:
    // Room for at least size bytes, or std::bad_alloc.
    void Grow(std::size_t size);

    char* FBytes = nullptr;
    std::size_t FSize = 0;
    std::size_t FStaged = 0;  // bytes after FSize, not yet part of the stream
    std::size_t FCapacity = 0;
    std::size_t FPosition = 0;
    bool FMapped = false;  // the block is pages of its own, not from malloc
};
