#pragma once
// The body of a transfer: its destination (the output file or memory), the
// chunks of TransferBufferSize that raise one OnTransferProgress each, and
// the local-file source.
//
// A TauHTTPBody lives on the window thread: the worker hands it whatever the
// library or the local file delivered in one marshalled call, and it stores
// the bytes chunk by chunk, raising each chunk's event in order, so that a
// handler sees exactly BytesRead bytes in Data and an Abort from a handler
// stops the storing at once.

#include "http/auHTTPRequest.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

class TStream;
class TFileStream;

// Where the worker's side of a transfer hands a body.
class TauHTTPBodyTarget {
public:
    // The transfer is to stop: aborted, discarded or failed.
    virtual bool Stopped() const = 0;
    // Creates the destination (an empty memory stream when the source did
    // not open); false: the transfer ends.
    virtual bool BeginBody(bool SourceOpen) = 0;
    // Stores bytes; false: the transfer ends.
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

    // All on the window thread.
    bool Begin(bool SourceOpen);
    bool Store(const char* Bytes, std::size_t Count);
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
    // Notes that storing failed; false.
    bool Failed();

    const TauHTTPRequest& FRequest;
    TauHTTPResult& FResult;
    TauHTTPTransferEvents& FEvents;
    const std::atomic<bool>& FAborted;
    std::size_t FChunkSize;
    std::size_t FPartial = 0;  // bytes of the current chunk stored so far
    std::unique_ptr<TStream> FData;
    TFileStream* FFile = nullptr;  // FData, when the body goes to a file
    std::string FCreatedFile;
    bool FStoreFailed = false;
};

// Worker: reads the local file Path as the body of a transfer: StatusCode
// 200 and its size as ContentLength, or 404 and an empty memory stream
// when it cannot be opened. False when a read failed part-way.
bool HTTPReadLocalFile(const std::string& Path, TauHTTPResult& Result, TauHTTPBodyTarget& Target);
