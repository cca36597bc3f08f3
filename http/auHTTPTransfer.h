#pragma once
// One transfer of the HTTP engine: the settings Read took, and the routine
// that runs it on the worker, over libcurl or from a local file. This unit
// wires libcurl (options, callbacks, the passes of the send loop, time-outs)
// and emulates the status notifications; header blocks are read by
// auHTTPHeaders, the body is stored by auHTTPBody.
//
// The engine holds the transfer from Read until its finish handler begins
// (or Abort); the worker holds it while its routine runs; whoever lets go
// last frees it, on its own thread. The routine reaches the engine only
// through the events interface inside marshalled calls, which do not run
// once the worker is discarded, and raises the status events through the
// request's own copies of the handlers.

#include "http/auCurl.h"
#include "http/auHTTPBody.h"
#include "http/auHTTPHeaders.h"
#include "http/auHTTPRequest.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

class TauEventThread;

class TauHTTPTransfer final : private TauHTTPBodyTarget {
public:
    TauHTTPTransfer(TauHTTPRequest Request, TauHTTPTransferEvents& Events);
    ~TauHTTPTransfer();
    TauHTTPTransfer(const TauHTTPTransfer&) = delete;
    TauHTTPTransfer& operator=(const TauHTTPTransfer&) = delete;

    // Worker thread: the request routine. Returns once the transfer has
    // ended or its worker has been discarded; never throws.
    void Run(TauEventThread& Worker);
    // Window thread: the routine stops at once (curl is woken from its
    // wait), nothing more is stored, and Data is released now.
    void Abort();

    // Window thread, inside the events and once Run has returned.
    const TauHTTPResult& Result() const { return FResult; }
    TauHTTPBody& Body() { return FBody; }

private:
    enum class TVerdict { Proceed, Retry, Stop };
    using TClock = std::chrono::steady_clock;

    bool Stopped() const override;
    bool BeginBody(bool SourceOpen) override;
    bool Deliver(const char* Bytes, std::size_t Count) override;
    bool EndBody() override;

    void Execute();
    void Close();
    bool OpenRequest(const std::string& Host, const std::string& User, const std::string& Password);
    bool BuildHeaders();
    void SendLoop();
    CURLcode Perform();
    int WaitLimit();
    void ApplyCredentials();
    void EndOfBlock();
    TVerdict FinalHeaders();
    void Complete();
    void Conclude();

    bool Sync(const std::function<void()>& Call);
    // Stores what the body staged, on the window thread.
    bool HandOver();
    // Notes bytes from the server; false when the transfer is to stop.
    bool Received();
    void Status(std::int32_t Code);
    void Redirected(const std::string& NewURL);
    // Runs Body, which may raise anything (user code, allocations): a
    // failure ends the transfer as an error. False when Body raised.
    template <typename F>
    bool Guard(F&& Body) noexcept;

    static std::size_t HeaderCallback(char* Bytes, std::size_t Size, std::size_t Count, void* User);
    static std::size_t WriteCallback(char* Bytes, std::size_t Size, std::size_t Count, void* User);
    static int ResolverStartCallback(void* ResolverState, void* Reserved, void* User);
    static int SocketOptionCallback(void* User, curl_socket_t Socket, curlsocktype Purpose);
    static int PrerequestCallback(void* User, char* PrimaryIP, char* LocalIP, int PrimaryPort, int LocalPort);
    static int CloseSocketCallback(void* User, curl_socket_t Socket);

    const TauHTTPRequest FRequest;
    TauHTTPTransferEvents& FEvents;  // only inside marshalled calls
    TauHTTPResult FResult;
    std::atomic<bool> FAborted{false};
    TauHTTPBody FBody;  // window thread only
    TauEventThread* FWorker = nullptr;
    // The multi handle while curl may wait in it, for Abort to wake it.
    std::mutex FWakeLock;
    CURLM* FWakeable = nullptr;

    // Worker only.
    bool FError = false;       // a handler or the library raised
    bool FReadFailed = false;  // the body did not end normally
    bool FTimedOut = false;
    TCurlMulti FMulti;
    TCurlEasy FCurl;
    TCurlList FHeaders;
    THTTPHeaderReader FReader;
    std::optional<THTTPHeaderBlock> FFinal;  // the last complete answer to our request in this pass
    bool FConnected = false;  // the request went out on the current connection
    bool FDecided = false;    // this pass's final headers have been taken
    TVerdict FVerdict = TVerdict::Proceed;
    int FRedirects = 0;
    bool FResolving = false;
    TClock::time_point FLastActivity;
    curl_off_t FUploaded = 0;
    // Answers of the authentication events, for the next pass.
    bool FTryAgain = false;
    bool FSetCredentials = false;
    bool FSetProxyCredentials = false;
    TauHTTPCredentials FCredentials;
    TauHTTPCredentials FProxyCredentials;
    long FAuthScheme = CURLAUTH_ANY;
    long FProxyAuthScheme = CURLAUTH_ANY;
    // The window thread's answer to a hand-over.
    bool FDelivered = false;
    const std::function<void()> FStoreCall;
};
