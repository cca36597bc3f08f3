#pragma once
// One transfer of TauCustomHTTP: the settings Read took, the state that the
// request routine builds, and the routine itself, over libcurl or a local
// file.
//
// The engine holds the transfer from Read until its finish handler begins
// (or Abort); the worker holds it while its routine runs; whoever lets go
// last frees it, on its own thread. The routine reaches the engine only in
// calls that Synchronize runs on the window thread, and for the status
// events inside WithOwner, so a discarded worker never touches it.

#include "http/auCurl.h"
#include "http/auHTTP.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TFileStream;

// The settings of one transfer, taken on the window thread when it starts.
struct TauHTTPRequest {
    std::string URL;
    std::string OutputFileName;
    std::string PostData;
    std::string Referer;
    std::string AcceptTypes;
    std::string UserAgent;
    std::vector<std::string> ExtraHeaders;
    bool Post = false;
    bool UseCache = true;
    bool UseCookies = true;
    bool WorkOffline = false;
    std::int32_t StartRange = 0;
    std::int32_t EndRange = 0;
    std::uint32_t ConnectTimeout = 0;
    std::uint32_t ReceiveTimeout = 0;
    std::uint32_t SendTimeout = 0;
    std::size_t ChunkSize = 4096;
    TauHTTPAccessType AccessType = atPreconfig;
    std::string ProxyServer;
    std::int32_t ProxyPort = 8080;
    std::string ProxyBypass;
    std::string HTTPUsername;
    std::string HTTPPassword;
    // Which marshalled events have a handler: the others cost no round trip.
    bool HasHeaderInfo = false;
    bool HasTransferProgress = false;
    bool HasLoginRequest = false;
    bool HasProxyAuthenticationRequest = false;
    // Raised on the worker itself.
    TauHTTPStatusEvent OnStatus;
    TauHTTPRedirectEvent OnRedirect;
};

// A millisecond tick count that wraps like the one the progress figures use.
std::uint32_t HTTPTickCount();

class TauHTTPTransfer {
public:
    TauHTTPTransfer(TauCustomHTTP& engine, TauHTTPRequest request);
    ~TauHTTPTransfer();
    TauHTTPTransfer(const TauHTTPTransfer&) = delete;
    TauHTTPTransfer& operator=(const TauHTTPTransfer&) = delete;

    // Worker thread: the request routine. Returns once the transfer has
    // ended or its worker has been discarded.
    void Run(TauEventThread& worker);
    // Any thread: the routine stops at its next step, and no byte reaches
    // Data (or the output file) once this has returned.
    void Abort();

private:
    friend class TauCustomHTTP;
    enum class TVerdict { Proceed, Retry, Stop };

    struct THeaderBlock {
        std::vector<std::string> Lines;  // the status line first, without line ends
        std::int32_t Status = -1;
        // The value of the first header of that name (any case), trimmed.
        std::optional<std::string> Find(const std::string& name) const;
        std::string Value(const std::string& name) const { return Find(name).value_or(std::string()); }
    };

    void Execute();
    void ReadLocalFile(const std::string& path);
    bool OpenRequest(const std::string& host, const std::string& user, const std::string& password);
    bool BuildHeaders();
    void SendLoop();
    void ApplyCredentials();
    void EndOfBlock();
    TVerdict FinalHeaders();
    void TakeHeaderInfo(const THeaderBlock& block);
    bool BeginBody();
    bool Deliver(const char* bytes, std::size_t count);
    bool Flush();
    bool StoreChunk(const char* bytes, std::size_t count);
    void Complete();
    void ReleaseData();
    bool CloseOutputFile();

    bool Stopped() const;
    // Notes bytes from the server; false when the transfer is to stop.
    bool Received();
    bool Sync(const std::function<void()>& call);
    void Status(std::int32_t code);
    void Redirected(const std::string& newURL);

    static std::size_t HeaderCallback(char* bytes, std::size_t size, std::size_t count, void* user);
    static std::size_t WriteCallback(char* bytes, std::size_t size, std::size_t count, void* user);
    static int ProgressCallback(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                                curl_off_t ulnow);
    static int DebugCallback(CURL* handle, curl_infotype type, char* bytes, std::size_t size, void* user);
    static int ResolverStartCallback(void* resolverState, void* reserved, void* user);
    static int SocketOptionCallback(void* user, curl_socket_t socket, curlsocktype purpose);
    static int PrerequestCallback(void* user, char* primaryIP, char* localIP, int primaryPort, int localPort);
    static int CloseSocketCallback(void* user, curl_socket_t socket);

    TauCustomHTTP& FEngine;  // only inside Synchronize and WithOwner calls
    const TauHTTPRequest FRequest;
    TauEventThread* FWorker = nullptr;
    std::atomic<bool> FAborted{false};
    std::mutex FDataMutex;  // orders Abort against every change to Data and the output file

    // What the finish handler reports, on the window thread after Run.
    std::int32_t FStatusCode = -1;
    bool FSuccess = false;
    bool FCanContinue = true;
    bool FFileFailed = false;   // the output file could not be created
    bool FReadFailed = false;   // the body did not end normally
    bool FStoreFailed = false;  // writing to Data failed
    std::string FRawHeaders;
    std::string FContentType;
    std::string FContentLanguage;
    std::string FContentEncoding;
    std::string FLocation;
    TDateTime FDate = 0;
    TDateTime FLastModified = 0;
    TDateTime FExpires = 0;
    std::int32_t FContentLength = 0;
    std::int64_t FBytesRead = 0;
    std::uint32_t FStartTick = 0;
    std::unique_ptr<TStream> FData;
    TFileStream* FOutputFile = nullptr;  // FData, when the body goes to a file
    std::string FBodyFileName;           // the output file this transfer created

    // Answers of the authentication events, taken on the window thread.
    bool FTryAgain = false;
    bool FSetCredentials = false;
    bool FSetProxyCredentials = false;
    std::string FAuthUser;
    std::string FAuthPassword;
    std::string FProxyUser;
    std::string FProxyPassword;

    // Worker only: the library handle and the state of the current pass.
    TCurlEasy FCurl;
    TCurlList FHeaders;
    std::size_t FChunkSize = 4096;
    std::string FPending;  // body bytes not yet handed out as a whole chunk
    THeaderBlock FBlock;   // the header block being received
    bool FInBlock = false;
    std::optional<THeaderBlock> FFinal;  // the last complete answer to our request in this pass
    bool FAwaitingTunnel = false;        // the next block answers a CONNECT
    bool FDecided = false;               // this pass's final headers have been taken
    TVerdict FVerdict = TVerdict::Proceed;
    int FRedirects = 0;
    bool FResolving = false;
    bool FRequestSent = false;
    curl_off_t FUploaded = 0;
    curl_off_t FDownloaded = 0;
    std::chrono::steady_clock::time_point FLastSend;
    std::chrono::steady_clock::time_point FLastReceive;
};
