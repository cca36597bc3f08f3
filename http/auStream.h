#pragma once
// Streams that carry a transfer's body: into memory or into a file.
// Write throws std::runtime_error when the bytes cannot be stored (a full
// disk, a closed file); readers rely on that to report the failure.

#include <cstddef>
#include <cstdint>
#include <string>

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

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : FBytes(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(FBytes.size()); }

    // Capacity hint only: the stream still grows as data arrives.
    void Reserve(std::size_t bytes) { FBytes.reserve(bytes); }
    const std::string& Bytes() const { return FBytes; }

private:
    std::string FBytes;
    std::size_t FPosition = 0;
};
