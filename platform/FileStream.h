#pragma once
// A stream on a local file, owned through its descriptor.

#include "http/auStream.h"

#include <string>

class TFileStream : public TStream {
public:
    enum TMode {
        fmOpenRead,   // existing file, read only; others may read and write it meanwhile
        fmCreate,     // new or truncated file, written by this stream alone
    };
    // Throws std::runtime_error with the system's reason when the file cannot be opened.
    TFileStream(const std::string& fileName, TMode mode);
    ~TFileStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override;

    const std::string& FileName() const { return FFileName; }
    // Closes the file now; later writes throw. Returns false when the final
    // flush to disk failed, which the caller must treat as lost data.
    bool Close();

private:
    std::string FFileName;
    int FHandle = -1;
};
