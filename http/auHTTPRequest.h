#pragma once
// What the HTTP engine and one of its transfers hand each other: the
// settings a transfer takes when it starts, the result it leaves for the
// finish handler, and the events it asks the engine to raise.

#include "http/auUtils.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TStream;

enum TauHTTPAccessType { atPreconfig, atDirect, atUseProxy };

// Why a transfer failed, as OnFailure can read it (TauCustomHTTP::FailureReason).
enum TauHTTPFailureReason {
    frNone,            // no failure (yet)
    frOutputFile,      // the output file could not be created: OnFailure alone
    frNoResponse,      // no HTTP status was obtained
    frTimedOut,        // nothing moved for a time-out or the stall guard
    frConnectionLost,  // status 200, but the body was cut off or of another length
    frHTTPStatus,      // the final status is not 200
    frStoreFailed,     // the body could not be stored (a full disk)
    frError,           // a handler or the library raised an error
};

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
    std::uint32_t StallTimeout = 60000;
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
    // Raised on the worker itself, holding no lock; empty when not handled.
    std::function<void(std::int32_t Code)> Status;
    std::function<void(const std::string& NewURL)> Redirect;
};

// What a transfer found out. The worker writes it while it runs; the window
// thread reads it inside the events and in the finish handler.
struct TauHTTPResult {
    std::int32_t StatusCode = -1;
    bool Success = false;
    bool CanContinue = true;
    TauHTTPFailureReason Failure = frNone;
    std::string RawHeaders;
    std::string ContentType;
    std::string ContentLanguage;
    std::string ContentEncoding;
    std::string Location;
    TDateTime Date = 0;
    TDateTime LastModified = 0;
    TDateTime Expires = 0;
    std::int32_t ContentLength = 0;
    std::int64_t BytesRead = 0;
    std::uint32_t StartTick = 0;
};

struct TauHTTPCredentials {
    std::string UserName;
    std::string Password;
};

// The events a transfer asks its engine to raise, on the window thread while
// the worker waits. A handler may abort the transfer or destroy the engine;
// the transfer checks for that before it goes on.
class TauHTTPTransferEvents {
public:
    // May clear Result.CanContinue.
    virtual void HeaderInfo(TauHTTPResult& Result) = 0;
    // Returns TryAgain; Credentials are what the resend is to carry.
    virtual bool LoginRequest(const std::string& Realm, TauHTTPCredentials& Credentials) = 0;
    virtual bool ProxyAuthenticationRequest(TauHTTPCredentials& Credentials) = 0;
    // Data holds exactly Result.BytesRead bytes.
    virtual void TransferProgress(const TauHTTPResult& Result, TStream* Data) = 0;

protected:
    ~TauHTTPTransferEvents() = default;
};

// A millisecond tick count that wraps like the one the progress figures use.
std::uint32_t HTTPTickCount();

// Whether Host is reached without the proxy under Bypass, a ";"-separated
// list of host names with "*" wildcards (any case), where "<local>" stands
// for every host name without a dot.
bool HTTPProxyBypassed(const std::string& Bypass, const std::string& Host);
