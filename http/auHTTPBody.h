#pragma once
// The body of a transfer: its destination (the output file or memory), the
// chunks of TransferBufferSize that raise one OnTransferProgress each, and
// the local-file source.
//
// The worker stages what the library or the local file delivers (a memory
// destination receives it straight after its end, a file destination in a
// buffer of the body's), and hands it all to the window thread in one
// marshalled call. There the body stores the bytes chunk by chunk and raises
// each chunk's event in order, so that a handler sees exactly BytesRead
// bytes in Data, and an Abort from a handler stops the storing at once.

#include "http/auHTTPRequest.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TStream;
class TFileStream;
class TMemoryStream;

// Where the worker's side of a transfer hands a body.
class TauHTTPBodyTarget {
public:
    // The transfer is to stop: aborted, discarded or failed.
    virtual bool Stopped() const = 0;
    // Creates the destination (an empty memory stream when the source did
    // not open); false: the transfer ends.
    virtual bool BeginBody(bool SourceOpen) = 0;
    // Stores bytes and raises their chunks' events; false: the transfer ends.
    virtual bool Deliver(const char* Bytes, std::size_t Count) = 0;
    // After the last bytes, also after a read failed: raises the event of a
    // last chunk shorter than the others.
    virtual bool EndBody() = 0;

protected:
    ~TauHTTPBodyTarget() = default;
};

class TauHTTPBody {
public:
    // Aborted is set (on the window thread) when the transfer is aborted,
    // also from inside an event this body raised.
    TauHTTPBody(const TauHTTPRequest& Request, TauHTTPResult& Result, TauHTTPTransferEvents& Events,
                const std::atomic<bool>& Aborted);
    ~TauHTTPBody();
    TauHTTPBody(const TauHTTPBody&) = delete;
    TauHTTPBody& operator=(const TauHTTPBody&) = delete;

    // Worker: puts bytes aside for the next Store; false when the body is
    // released (aborted) or cannot take them.
    bool Stage(const char* Bytes, std::size_t Count);
    // Worker, and the window thread inside a marshalled call.
    std::size_t Staged() const { return FStaged; }

    // Window thread.
    bool Begin(bool SourceOpen);
    // Stores what is staged, raising one event per complete chunk.
    bool Store();
    bool End();
    // Closes the output file; false when its last bytes did not reach the
    // disk. Data is gone afterwards.
    bool CloseOutputFile();
    // Releases Data; an output file keeps what it holds.
    void Release();

    TStream* Data() const { return FData.get(); }
    bool ToFile() const { return FFile != nullptr; }
    bool StoreFailed() const { return FStoreFailed; }
    // The output file this body created, "" when it created none.
    const std::string& CreatedFile() const { return FCreatedFile; }

private:
    bool Flush();
    bool ChunkStored();
    bool StoreChunk(const char* bytes, std::size_t count);
    // Notes that storing failed; false.
    bool Failed();

    const TauHTTPRequest& FRequest;
    TauHTTPResult& FResult;
    TauHTTPTransferEvents& FEvents;
    const std::atomic<bool>& FAborted;
    std::size_t FChunkSize;
    std::size_t FPartial = 0;  // bytes of the current chunk stored so far
    std::unique_ptr<TStream> FData;
    TFileStream* FFile = nullptr;      // FData, when the body goes to a file
    TMemoryStream* FMemory = nullptr;  // FData, when the body goes to memory
    std::string FCreatedFile;
    bool FStoreFailed = false;
    // Orders the worker's staging against Release on the window thread.
    std::mutex FStageLock;
    std::size_t FStaged = 0;
    std::vector<char> FFileStage;  // what is staged for a file
};

// Worker: reads the local file Path as the body of a transfer: StatusCode
// 200 and its size as ContentLength, or 404 and an empty memory stream
// when it cannot be opened. False when a read failed part-way.
bool HTTPReadLocalFile(const std::string& Path, TauHTTPResult& Result, TauHTTPBodyTarget& Target);
