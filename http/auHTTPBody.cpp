#include "http/auHTTPBody.h"

#include "platform/FileInfo.h"
#include "platform/FileStream.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// An announced length only hints at the size of a memory destination: a
// server announcing gigabytes must not make us allocate them before a byte
// has arrived.
constexpr std::size_t MaxReserve = 1024 * 1024;
// Local files are read in blocks of this size and handed on whole; the
// chunks for the progress events are cut from them.
constexpr std::size_t LocalBlock = 256 * 1024;

} // namespace

TauHTTPBody::TauHTTPBody(const TauHTTPRequest& request, TauHTTPResult& result, TauHTTPTransferEvents& events,
                         const std::atomic<bool>& aborted)
    : FRequest(request)
    , FResult(result)
    , FEvents(events)
    , FAborted(aborted)
    , FChunkSize(std::max<std::size_t>(request.ChunkSize, 1))
{
}

TauHTTPBody::~TauHTTPBody() = default;

bool TauHTTPBody::Begin(bool sourceOpen)
{
    if (FAborted)
        return false;
    FResult.BytesRead = 0;
    FPartial = 0;
    FStaged = 0;
    if (!sourceOpen || FRequest.OutputFileName.empty()) {
        auto memory = std::make_unique<TMemoryStream>();
        if (sourceOpen && FResult.ContentLength > 0)
            memory->Reserve(std::min<std::size_t>(static_cast<std::size_t>(FResult.ContentLength), MaxReserve));
        std::lock_guard lock(FStageLock);
        FMemory = memory.get();
        FData = std::move(memory);
        return true;
    }
    // Only now, with an answer to store, may an older file go.
    std::error_code ignored;
    std::filesystem::remove(FRequest.OutputFileName, ignored);
    try {
        auto file = std::make_unique<TFileStream>(FRequest.OutputFileName, TFileStream::fmCreate);
        std::lock_guard lock(FStageLock);
        FFile = file.get();
        FData = std::move(file);
    } catch (const std::exception&) {
        FResult.Failure = frOutputFile;
        return false;
    }
    FCreatedFile = FRequest.OutputFileName;
    return true;
}

bool TauHTTPBody::Stage(const char* bytes, std::size_t count)
{
    std::lock_guard lock(FStageLock);
    if (!FData)
        return false;
    try {
        if (FMemory)
            FMemory->Stage(bytes, count);
        else
            FFileStage.insert(FFileStage.end(), bytes, bytes + count);
    } catch (...) {
        FStoreFailed = true;  // no memory left
        return false;
    }
    FStaged += count;
    return true;
}

bool TauHTTPBody::Store()
{
    const std::size_t count = std::exchange(FStaged, 0);
    if (FAborted || !FData)
        return false;
    const char* bytes = FFileStage.data();
    bool stored = true;
    for (std::size_t done = 0; stored && done < count;) {
        const std::size_t take = std::min(count - done, FChunkSize - FPartial);
        stored = StoreChunk(bytes + done, take);
        done += take;
    }
    if (!FAborted)
        FFileStage.clear();
    // The file on disk is complete whenever the worker holds the turn.
    return stored && Flush();
}

bool TauHTTPBody::StoreChunk(const char* bytes, std::size_t count)
{
    try {
        if (FMemory)
            FMemory->Commit(count);  // staged in place: nothing to copy
        else
            FData->Append(bytes, count);
    } catch (...) {
        return Failed();
    }
    FPartial += count;
    FResult.BytesRead += static_cast<std::int64_t>(count);
    return FPartial < FChunkSize || ChunkStored();
}

bool TauHTTPBody::End()
{
    if (FStaged != 0 && !Store())
        return false;
    if (FAborted || !FData)
        return false;
    if (!Flush())
        return false;
    return FPartial == 0 || ChunkStored();
}

bool TauHTTPBody::ChunkStored()
{
    FPartial = 0;
    if (!FRequest.HasTransferProgress)
        return true;
    FEvents.TransferProgress(FResult, FData.get());
    // The handler may have aborted the transfer or destroyed the engine:
    // Data is gone then, and nothing more is stored.
    return !FAborted;
}

bool TauHTTPBody::Flush()
{
    if (!FFile)
        return true;
    try {
        FFile->Flush();
        return true;
    } catch (...) {
        return Failed();
    }
}

bool TauHTTPBody::Failed()
{
    FStoreFailed = true;
    // Bytes gathered for a write that failed are not stored: BytesRead
    // counts what Data really holds.
    const std::int64_t held = FData->Size();
    if (held >= 0)
        FResult.BytesRead = std::min(FResult.BytesRead, held);
    return false;
}

bool TauHTTPBody::CloseOutputFile()
{
    if (!FFile)
        return true;
    const bool flushed = FFile->Close();
    Release();
    return flushed;
}

void TauHTTPBody::Release()
{
    std::lock_guard lock(FStageLock);
    FFile = nullptr;
    FMemory = nullptr;
    FData.reset();
    FFileStage = std::vector<char>();
}

bool HTTPReadLocalFile(const std::string& path, TauHTTPResult& result, TauHTTPBodyTarget& target)
{
    std::unique_ptr<TFileStream> source;
    if (!path.empty() && !platform::IsFolder(path)) {
        try {
            source = std::make_unique<TFileStream>(path, TFileStream::fmOpenRead);
        } catch (const std::exception&) {
        }
    }
    if (!source) {
        result.StatusCode = 404;
        target.BeginBody(false);
        return true;
    }
    result.StatusCode = 200;
    result.ContentLength = static_cast<std::int32_t>(static_cast<std::uint32_t>(source->Size()));
    if (!target.BeginBody(true))
        return true;
    std::vector<char> block(LocalBlock);
    bool complete = true;
    for (;;) {
        std::size_t count = 0;
        try {
            count = source->Read(block.data(), block.size());
        } catch (const std::exception&) {
            complete = false;
            break;
        }
        if (count == 0 || !target.Deliver(block.data(), count))
            break;
    }
    if (!target.Stopped())
        target.EndBody();
    return complete;
}
