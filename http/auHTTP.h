#pragma once
// The HTTP engine: fetches one resource at a time, over HTTP(S) with libcurl
// or from a local "file" address, on a worker thread, and reports every step
// as an event on the window thread.
//
// Every transfer ends in exactly one outcome: OnDone, OnDeclined,
// OnConnectionLost, OnNoResponse, OnHTTPError (each failure preceded by
// OnFailure), OnTransferAborted, or OnFailure alone when the output file
// cannot be created. Only status 200 with a complete body counts as success.
// Inside OnFailure, FailureReason tells why and OutcomeFollows whether one
// of the outcomes above follows (false only for the output file).
//
// A server that sends nothing for Timeouts().StallTimeout (60 s unless
// set) ends the transfer in the outcome of its phase: before any status
// OnNoResponse, in the body OnConnectionLost (OnHTTPError for a status
// other than 200). Explicit time-outs win over the guard.

#include "http/auComponent.h"
#include "http/auHTTPRequest.h"
#include "http/auThread.h"
#include "http/auUtils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TStream;
class TauCustomHTTP;
class TauHTTPTransfer;

enum TRequestMethod { rmAuto, rmGet, rmPost };

// The stored form "LInfo" of a user name and password: a length byte N, then
// N bytes (the user name's length, the user name, the password), each XORed
// with N ^ LInfoKey. It holds at most LInfoMaxLength characters of both.
inline constexpr std::uint8_t LInfoKey = 0xA7;
inline constexpr std::size_t LInfoMaxLength = 126;
// Empty when both are empty, and also when they are longer than
// LInfoMaxLength together: nothing is stored rather than a cut password.
std::string EncodeLInfo(const std::string& UserName, const std::string& Password);
// False, leaving both untouched, when Bytes is not a well-formed stored form.
bool DecodeLInfo(const std::string& Bytes, std::string& UserName, std::string& Password);

// The default UserAgent: this component's name and its maker's web domain.
std::string HTTPDefaultUserAgent();

// The text OnStatus carries with Code ("Unknown status" for codes it does
// not know).
std::string HTTPStatusText(std::int32_t Code);

// The figures of OnTransferProgress after ElapsedMs milliseconds: the
// percentage of ContentLength, whole seconds, the estimated seconds left
// (-ElapsedTime when the length is unknown) and kilobytes per second.
struct TauHTTPProgress {
    std::uint8_t PercentsDone = 0;
    std::int32_t ElapsedTime = 0;
    std::int32_t EstimatedTimeLeft = 0;
    float TransferRate = 0;
};
TauHTTPProgress HTTPProgressFigures(std::int32_t ContentLength, std::int32_t BytesRead, std::uint32_t ElapsedMs);

// Holds the credentials that protected addresses need and stores them as
// "LInfo" with the component's settings.
class TauLoginComponent : public TComponent {
public:
    explicit TauLoginComponent(TComponent* owner = nullptr) : TComponent(owner) {}

    const std::string& HTTPUsername() const { return FHTTPUsername; }
    void SetHTTPUsername(const std::string& value) { FHTTPUsername = value; }
    const std::string& HTTPPassword() const { return FHTTPPassword; }
    void SetHTTPPassword(const std::string& value) { FHTTPPassword = value; }

    // The stored property "LInfo": present only when a user name or a
    // password is set and both fit its form.
    bool LInfoStored() const { return !LInfo().empty(); }
    std::string LInfo() const { return EncodeLInfo(FHTTPUsername, FHTTPPassword); }
    // Applies a stored "LInfo"; a malformed one is ignored.
    void SetLInfo(const std::string& bytes) { DecodeLInfo(bytes, FHTTPUsername, FHTTPPassword); }

private:
    std::string FHTTPUsername;
    std::string FHTTPPassword;
};

class TauHTTPProxy {
public:
    TauHTTPAccessType AccessType() const { return FAccessType; }
    void SetAccessType(TauHTTPAccessType value) { FAccessType = value; }
    std::int32_t ProxyPort() const { return FProxyPort; }
    void SetProxyPort(std::int32_t value) { FProxyPort = value; }
    const std::string& ProxyServer() const { return FProxyServer; }
    void SetProxyServer(const std::string& value) { FProxyServer = value; }
    const std::string& ProxyBypass() const { return FProxyBypass; }
    void SetProxyBypass(const std::string& value) { FProxyBypass = value; }
    // ProxyServer and ProxyBypass are stored only for a named proxy.
    bool ProxyServerStored() const { return FAccessType == atUseProxy; }
    bool ProxyBypassStored() const { return FAccessType == atUseProxy; }

private:
    TauHTTPAccessType FAccessType = atPreconfig;
    std::int32_t FProxyPort = 8080;
    std::string FProxyServer;
    std::string FProxyBypass = "127.0.0.1;";
};

// A byte range: both 0 means the whole resource; EndRange 0 means to the end.
class TauHTTPRange {
public:
    std::int32_t StartRange() const { return FStartRange; }
    void SetStartRange(std::int32_t value) { FStartRange = value; }
    std::int32_t EndRange() const { return FEndRange; }
    void SetEndRange(std::int32_t value) { FEndRange = value; }

private:
    std::int32_t FStartRange = 0;
    std::int32_t FEndRange = 0;
};

// Milliseconds; 0 leaves the stall guard in charge. Receive and send bound
// the longest wait for data in each direction, not the whole transfer.
class TauHTTPTimeouts {
public:
    // The stall guard: the longest silence of a server in any phase where
    // no explicit time-out is set; 0 turns it off.
    static constexpr std::uint32_t DefaultStallTimeout = 60000;
    std::uint32_t ConnectTimeout() const { return FConnectTimeout; }
    void SetConnectTimeout(std::uint32_t value) { FConnectTimeout = value; }
    std::uint32_t ReceiveTimeout() const { return FReceiveTimeout; }
    void SetReceiveTimeout(std::uint32_t value) { FReceiveTimeout = value; }
    std::uint32_t SendTimeout() const { return FSendTimeout; }
    void SetSendTimeout(std::uint32_t value) { FSendTimeout = value; }
    std::uint32_t StallTimeout() const { return FStallTimeout; }
    void SetStallTimeout(std::uint32_t value) { FStallTimeout = value; }

private:
    std::uint32_t FConnectTimeout = 0;
    std::uint32_t FReceiveTimeout = 0;
    std::uint32_t FSendTimeout = 0;
    std::uint32_t FStallTimeout = DefaultStallTimeout;
};

using TauHTTPNotifyEvent = std::function<void(TauCustomHTTP& Sender)>;
using TauHTTPHeaderInfoEvent = std::function<void(
    TauCustomHTTP& Sender, const std::string& RawHeaders, const std::string& ContentType,
    const std::string& ContentLanguage, const std::string& ContentEncoding, const std::string& Location,
    std::int32_t ContentLength, TDateTime Date, TDateTime LastModified, TDateTime Expires, bool& CanContinue)>;
using TauHTTPDoneEvent =
    std::function<void(TauCustomHTTP& Sender, const std::string& ContentType, std::int32_t BytesRead, TStream* Data)>;
using TauHTTPProgressEvent = std::function<void(
    TauCustomHTTP& Sender, const std::string& ContentType, std::int32_t ContentLength, std::int32_t BytesRead,
    std::int32_t ElapsedTime, std::int32_t EstimatedTimeLeft, std::uint8_t PercentsDone, float TransferRate,
    TStream* Data)>;
using TauHTTPStatusEvent =
    std::function<void(TauCustomHTTP& Sender, std::int32_t StatusCode, const std::string& StatusText)>;
using TauHTTPRedirectEvent = std::function<void(TauCustomHTTP& Sender, const std::string& NewURL)>;
using TauHTTPConnectionLostEvent = std::function<void(TauCustomHTTP& Sender, const std::string& ContentType,
                                                      std::int32_t ContentLength, std::int32_t BytesRead,
                                                      TStream* Data)>;
using TauHTTPErrorEvent = std::function<void(TauCustomHTTP& Sender, std::int32_t StatusCode, TStream* Data)>;
using TauHTTPPasswordRequestEvent =
    std::function<void(TauCustomHTTP& Sender, const std::string& Realm, bool& TryAgain)>;
using TauHTTPProxyAuthenticationEvent = std::function<void(TauCustomHTTP& Sender, std::string& ProxyUsername,
                                                           std::string& ProxyPassword, bool& TryAgain)>;

class TauCustomHTTP : public TauLoginComponent, private TauHTTPTransferEvents {
public:
    explicit TauCustomHTTP(TComponent* owner = nullptr);
    // Discards a running transfer without raising any event. Safe from
    // inside any of its events (the upgrade closes the program from OnDone).
    ~TauCustomHTTP() override;

    // Starts a transfer of URL with the settings as they are now. False, and
    // nothing changes, while a transfer runs. Called from a result event it
    // returns true, and the new transfer begins once that event's transfer
    // has been cleaned up (its output file closed or deleted).
    bool Read();
    // Stops a running transfer at once: OnTransferAborted and no other event
    // follows, and its output file keeps what had been written. Idle: nothing.
    void Abort();
    bool Busy() const;

    // Why the transfer failed: set before OnFailure and kept until the next
    // Read; frNone while nothing failed.
    TauHTTPFailureReason FailureReason() const { return FFailureReason; }
    // Inside OnFailure: whether an outcome event (OnConnectionLost,
    // OnNoResponse, OnHTTPError or, after an error, the finish's own events)
    // follows. False only when the output file could not be created.
    bool OutcomeFollows() const { return FOutcomeFollows; }

    std::string FileName() const { return URLFileName(FURL); }
    std::string HostName() const { return URLHostName(FURL); }

    // Request header lines, each sent as written.
    std::vector<std::string>& ExtraHeaders() { return FExtraHeaders; }
    const std::vector<std::string>& ExtraHeaders() const { return FExtraHeaders; }
    const std::string& AcceptTypes() const { return FAcceptTypes; }
    void SetAcceptTypes(const std::string& value) { FAcceptTypes = value; }
    const std::string& UserAgent() const { return FUserAgent; }
    void SetUserAgent(const std::string& value) { FUserAgent = value; }
    // Empty: the body goes to a memory stream.
    const std::string& OutputFileName() const { return FOutputFileName; }
    void SetOutputFileName(const std::string& value) { FOutputFileName = value; }
    // Hidden and temporary attributes have no counterpart on Linux; kept for
    // the stored settings and otherwise without effect.
    bool HideOutputFile() const { return FHideOutputFile; }
    void SetHideOutputFile(bool value) { FHideOutputFile = value; }
    const std::string& URL() const { return FURL; }
    void SetURL(const std::string& value) { FURL = value; }
    const std::string& PostData() const { return FPostData; }
    void SetPostData(const std::string& value) { FPostData = value; }
    const std::string& Referer() const { return FReferer; }
    void SetReferer(const std::string& value) { FReferer = value; }
    TauHTTPRange& Range() { return FRange; }
    const TauHTTPRange& Range() const { return FRange; }
    TauHTTPTimeouts& Timeouts() { return FTimeouts; }
    const TauHTTPTimeouts& Timeouts() const { return FTimeouts; }
    // Bytes per chunk of the body, and so per OnTransferProgress; kept
    // within 255..2147483647.
    std::int32_t TransferBufferSize() const { return FTransferBufferSize; }
    void SetTransferBufferSize(std::int32_t value);
    // rmAuto: POST when PostData is not empty, else GET.
    TRequestMethod RequestMethod() const { return FRequestMethod; }
    void SetRequestMethod(TRequestMethod value) { FRequestMethod = value; }
    TauHTTPProxy& Proxy() { return FProxy; }
    const TauHTTPProxy& Proxy() const { return FProxy; }
    // False asks every cache on the way for a fresh answer.
    bool UseCache() const { return FUseCache; }
    void SetUseCache(bool value) { FUseCache = value; }
    // One cookie store serves every engine of the process.
    bool UseCookies() const { return FUseCookies; }
    void SetUseCookies(bool value) { FUseCookies = value; }
    // There is no local cache to answer from: an offline HTTP transfer fails
    // before any status; "file" addresses still work.
    bool WorkOffline() const { return FWorkOffline; }
    void SetWorkOffline(bool value) { FWorkOffline = value; }
    TThreadPriority ThreadPriority() const { return FThread.Priority(); }
    void SetThreadPriority(TThreadPriority value) { FThread.SetPriority(value); }

    // Kept across transfers; passed to and taken from OnProxyAuthenticationRequest.
    const std::string& ProxyUsername() const { return FProxyUsername; }
    void SetProxyUsername(const std::string& value) { FProxyUsername = value; }
    const std::string& ProxyPassword() const { return FProxyPassword; }
    void SetProxyPassword(const std::string& value) { FProxyPassword = value; }

    // All on the window thread except OnStatus and OnRedirect, which run on
    // the thread that makes the library call (the worker during a transfer)
    // and must not touch window objects. They run holding no lock, so Abort,
    // Read and the destruction of the engine never wait for them; a handler
    // that the engine's destruction may overtake must not use Sender. An
    // exception they raise ends the transfer (OnFailure, then the outcome of
    // its phase). An exception of any other handler is dropped, and the
    // transfer goes on.
    //
    // Data, the body's stream (the output file, opened for reading too, or
    // memory), can be read by the handlers. At each OnTransferProgress it
    // holds exactly BytesRead bytes and is positioned at its end; a handler
    // may move the position, the next chunk still goes to the end. At OnDone
    // (memory only), OnConnectionLost and OnHTTPError it is positioned at its
    // start. The engine releases it after the outcome event.
    TauHTTPHeaderInfoEvent OnHeaderInfo;
    TauHTTPDoneEvent OnDone;
    TauHTTPNotifyEvent OnDeclined;
    TauHTTPProgressEvent OnTransferProgress;
    TauHTTPStatusEvent OnStatus;
    TauHTTPRedirectEvent OnRedirect;
    TauHTTPNotifyEvent OnFailure;
    TauHTTPNotifyEvent OnTransferAborted;
    TauHTTPConnectionLostEvent OnConnectionLost;
    TauHTTPNotifyEvent OnNoResponse;
    TauHTTPErrorEvent OnHTTPError;
    TauHTTPPasswordRequestEvent OnLoginRequest;
    TauHTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;
    TauHTTPNotifyEvent OnTransferTimeout;

private:
    void RunTransfer();     // worker thread
    void FinishTransfer();  // window thread, after the routine ended
    void WaitTimedOut();
    void DropTransfer();
    void RaiseResult(TauHTTPTransfer& t, bool& deleteOutputFile);
    // Raises OnFailure; false when its handler destroyed the engine.
    bool RaiseFailure(TauHTTPFailureReason reason, bool outcomeFollows);

    // The transfer's events, on the window thread while the worker waits.
    void HeaderInfo(TauHTTPResult& Result) override;
    bool LoginRequest(const std::string& Realm, TauHTTPCredentials& Credentials) override;
    bool ProxyAuthenticationRequest(TauHTTPCredentials& Credentials) override;
    void TransferProgress(const TauHTTPResult& Result, TStream* Data) override;

    std::vector<std::string> FExtraHeaders;
    std::string FAcceptTypes = "text/html, */*";
    std::string FUserAgent = HTTPDefaultUserAgent();
    std::string FOutputFileName;
    bool FHideOutputFile = false;
    std::string FURL;
    std::string FPostData;
    std::string FReferer;
    TauHTTPRange FRange;
    TauHTTPTimeouts FTimeouts;
    std::int32_t FTransferBufferSize = 4096;
    TRequestMethod FRequestMethod = rmAuto;
    TauHTTPProxy FProxy;
    bool FUseCache = true;
    bool FUseCookies = true;
    bool FWorkOffline = false;
    std::string FProxyUsername;
    std::string FProxyPassword;

    // The transfer from Read until its finish handler begins (or Abort).
    std::shared_ptr<TauHTTPTransfer> FTransfer;
    TauHTTPFailureReason FFailureReason = frNone;
    bool FOutcomeFollows = false;
    // Cleared by the destructor: code running after an event learns from it
    // that the handler destroyed the engine.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    bool FFinishing = false;     // the finish handler is running
    bool FStartPending = false;  // Read was called from inside it
    // Declared last: destroyed first, before anything a worker could reach.
    TauCustomThread FThread;
};
