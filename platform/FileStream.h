#pragma once
// A stream on a local file, owned through its descriptor.

#include "platform/Stream.h"

#include <memory>
#include <string>

class TFileStream : public TStream {
public:
    enum TMode {
        fmOpenRead,  // existing file, read only; others may read and write it meanwhile
        fmCreate,    // new or truncated file, read and written by this stream
    };
    // Throws std::runtime_error with the system's reason when the file cannot be opened.
    TFileStream(const std::string& fileName, TMode mode);
    ~TFileStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    // Small appends are gathered and written in blocks. They count as
    // stored for every use of this stream (Read, Seek and Size see them);
    // another reader of the file sees them after Flush.
    void Append(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override;

    const std::string& FileName() const { return FFileName; }
    // Writes what appends gathered; throws when it cannot.
    void Flush();
    // Closes the file now; later writes throw. Returns false when the final
    // write or the flush to disk failed, which the caller must treat as lost
    // data.
    bool Close();

private:
    void WriteOut(const char* bytes, std::size_t count);

    std::string FFileName;
    int FHandle = -1;
    // Appended bytes not yet written; they belong at the end of the file.
    std::unique_ptr<char[]> FPending;
    std::size_t FPendingSize = 0;
    // The system's file position is at the end, where appends go.
    bool FAtEnd = false;
};
