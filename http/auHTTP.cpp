#include "http/auHTTP.h"

#include "http/auHTTPTransfer.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

std::string EncodeLInfo(const std::string& UserName, const std::string& Password)
{
    const std::size_t length = UserName.size() + Password.size();
    if (length == 0 || length > LInfoMaxLength)
        return {};
    const auto n = static_cast<std::uint8_t>(length + 1);
    const auto key = static_cast<std::uint8_t>(n ^ LInfoKey);
    std::string out;
    out.reserve(1 + n);
    out += static_cast<char>(n);
    out += static_cast<char>(static_cast<std::uint8_t>(UserName.size()) ^ key);
    for (const std::string* part : {&UserName, &Password})
        for (const char c : *part)
            out += static_cast<char>(static_cast<std::uint8_t>(c) ^ key);
    return out;
}

bool DecodeLInfo(const std::string& Bytes, std::string& UserName, std::string& Password)
{
    if (Bytes.empty())
        return false;
    const auto n = static_cast<std::uint8_t>(Bytes[0]);
    if (n == 0 || Bytes.size() != std::size_t(1) + n)
        return false;
    const auto key = static_cast<std::uint8_t>(n ^ LInfoKey);
    std::string plain(Bytes, 1);
    for (char& c : plain)
        c = static_cast<char>(static_cast<std::uint8_t>(c) ^ key);
    const auto userLength = static_cast<std::uint8_t>(plain[0]);
    if (userLength > plain.size() - 1)
        return false;
    UserName = plain.substr(1, userLength);
    Password = plain.substr(1 + userLength);
    return true;
}

std::string HTTPDefaultUserAgent()
{
    return "Shopscope HTTP (" SHOPSCOPE_MAKER_WEB ")";
}

std::string HTTPStatusText(std::int32_t Code)
{
    switch (Code) {
    case 10: return "Resolving name";
    case 11: return "Name resolved";
    case 20: return "Connecting to server";
    case 21: return "Connected";
    case 30: return "Sending Request";
    case 31: return "Request sent";
    case 40: return "Receiving response";
    case 41: return "Response received";
    case 42: return "CTL Response received";
    case 43: return "Prefetch";
    case 50: return "Closing connection";
    case 51: return "Connection closed";
    case 60: return "Handle created";
    case 70: return "Handle closing";
    case 100: return "Request complete";
    case 110: return "Redirect";
    case 120: return "Intermediate response";
    case 200: return "State change";
    default: return "Unknown status";
    }
}

TauHTTPProgress HTTPProgressFigures(std::int32_t ContentLength, std::int32_t BytesRead, std::uint32_t ElapsedMs)
{
    TauHTTPProgress figures;
    figures.PercentsDone = PercentOf(ContentLength, BytesRead);
    const std::uint32_t elapsed = ElapsedMs / 1000;
    figures.ElapsedTime = static_cast<std::int32_t>(elapsed);
    // Both counts as unsigned, as the estimate always took them; the
    // rounding is to nearest with ties to even (the default mode).
    const double total = static_cast<std::uint32_t>(ContentLength);
    const double done = static_cast<std::uint32_t>(BytesRead);
    const double estimate = done == 0 ? 0.0 : std::nearbyint(total / done * elapsed);
    figures.EstimatedTimeLeft = static_cast<std::int32_t>(static_cast<std::int64_t>(estimate) - elapsed);
    figures.TransferRate = static_cast<float>(BytesRead / 1024.0);
    if (elapsed != 0)
        figures.TransferRate /= static_cast<float>(elapsed);
    return figures;
}

namespace {

// Calls a copy of the handler: one that destroys the engine, and so the
// handler itself, must still be able to return.
template <typename TEvent, typename... TArgs>
void Raise(const TEvent& event, TArgs&&... args)
{
    if (!event)
        return;
    const TEvent handler = event;
    handler(std::forward<TArgs>(args)...);
}

} // namespace

TauCustomHTTP::TauCustomHTTP(TComponent* owner)
    : TauLoginComponent(owner)
    , FThread(this)
{
    FThread.SetOnExecute([this](TauCustomThread&) { RunTransfer(); });
    FThread.SetOnFinish([this](TauCustomThread&) { FinishTransfer(); });
    FThread.SetOnError([this] {
        if (!Destroying())
            RaiseFailure(frError, true);
    });
    FThread.OnWaitTimeout = [this](TauCustomThread&) { WaitTimedOut(); };
}

TauCustomHTTP::~TauCustomHTTP()
{
    BeginDestroy();
    *FAlive = false;
    if (FTransfer)
        DropTransfer();
}

void TauCustomHTTP::SetTransferBufferSize(std::int32_t value)
{
    FTransferBufferSize = std::max<std::int32_t>(value, 255);
}

bool TauCustomHTTP::Busy() const
{
    return FTransfer != nullptr;
}

bool TauCustomHTTP::Read()
{
    if (Busy() || Destroying())
        return false;
    TauHTTPRequest r;
    r.URL = FURL;
    r.OutputFileName = FOutputFileName;
    r.PostData = FPostData;
    r.Referer = FReferer;
    r.AcceptTypes = FAcceptTypes;
    r.UserAgent = FUserAgent;
    r.ExtraHeaders = FExtraHeaders;
    r.Post = FRequestMethod == rmPost || (FRequestMethod == rmAuto && !FPostData.empty());
    r.UseCache = FUseCache;
    r.UseCookies = FUseCookies;
    r.WorkOffline = FWorkOffline;
    r.StartRange = FRange.StartRange();
    r.EndRange = FRange.EndRange();
    r.ConnectTimeout = FTimeouts.ConnectTimeout();
    r.ReceiveTimeout = FTimeouts.ReceiveTimeout();
    r.SendTimeout = FTimeouts.SendTimeout();
    r.StallTimeout = FTimeouts.StallTimeout();
    r.ChunkSize = static_cast<std::size_t>(FTransferBufferSize);
    r.AccessType = FProxy.AccessType();
    r.ProxyServer = FProxy.ProxyServer();
    r.ProxyPort = FProxy.ProxyPort();
    r.ProxyBypass = FProxy.ProxyBypass();
    r.HTTPUsername = HTTPUsername();
    r.HTTPPassword = HTTPPassword();
    r.HasHeaderInfo = static_cast<bool>(OnHeaderInfo);
    r.HasTransferProgress = static_cast<bool>(OnTransferProgress);
    r.HasLoginRequest = static_cast<bool>(OnLoginRequest);
    r.HasProxyAuthenticationRequest = static_cast<bool>(OnProxyAuthenticationRequest);
    // Copies of the handlers: the worker raises these on its own, and must
    // not read the engine to find them.
    if (OnStatus)
        r.Status = [handler = OnStatus, this](std::int32_t code) { handler(*this, code, HTTPStatusText(code)); };
    if (OnRedirect)
        r.Redirect = [handler = OnRedirect, this](const std::string& url) { handler(*this, url); };
    FTransfer = std::make_shared<TauHTTPTransfer>(std::move(r), static_cast<TauHTTPTransferEvents&>(*this));
    FFailureReason = frNone;
    FOutcomeFollows = false;
    // From inside a result event the previous transfer still holds its
    // Data and output file: the new one starts when those are gone.
    if (FFinishing) {
        FStartPending = true;
        return true;
    }
    try {
        FThread.Start();
    } catch (const std::exception&) {
        FTransfer.reset();
        return false;
    }
    return true;
}

void TauCustomHTTP::Abort()
{
    // Idle, or inside a result event: nothing is left to stop, and the
    // finish handler releases that transfer's Data right after the event.
    if (!FTransfer)
        return;
    DropTransfer();
    if (!Destroying())
        Raise(OnTransferAborted, *this);
}

void TauCustomHTTP::DropTransfer()
{
    // Data and the output file go now; the socket and the library's handles
    // as soon as the woken worker unwinds, on its thread.
    FTransfer->Abort();
    if (FStartPending)
        FStartPending = false;  // never started: no worker to discard
    else
        FThread.Terminate(true);
    FTransfer.reset();
}

void TauCustomHTTP::RunTransfer()
{
    TauEventThread* worker = TauEventThread::Current();
    if (!worker)
        return;
    std::shared_ptr<TauHTTPTransfer> transfer;
    if (!worker->WithOwner([&] { transfer = FTransfer; }) || !transfer)
        return;
    transfer->Run(*worker);
}

void TauCustomHTTP::FinishTransfer()
{
    std::shared_ptr<TauHTTPTransfer> t = std::move(FTransfer);  // Busy is false from here on
    if (!t)
        return;
    const std::shared_ptr<bool> alive = FAlive;
    FFinishing = true;
    bool deleteOutputFile = false;
    std::exception_ptr error;
    try {
        RaiseResult(*t, deleteOutputFile);
    } catch (...) {
        error = std::current_exception();
    }
    // Also after a handler failed or destroyed the engine: Data goes, a
    // failed body's file is deleted, and only then may a transfer asked for
    // meanwhile start.
    t->Body().Release();
    if (deleteOutputFile) {
        std::error_code ignored;
        std::filesystem::remove(t->Body().CreatedFile(), ignored);
    }
    if (!*alive)
        return;  // nothing of the engine is left to touch
    t.reset();
    FFinishing = false;
    if (std::exchange(FStartPending, false) && FTransfer) {
        try {
            FThread.Start();
        } catch (const std::exception&) {
            FTransfer.reset();
            if (RaiseFailure(frError, true))
                Raise(OnNoResponse, *this);
        }
    }
    if (error)
        std::rethrow_exception(error);
}

bool TauCustomHTTP::RaiseFailure(TauHTTPFailureReason reason, bool outcomeFollows)
{
    FFailureReason = reason;
    FOutcomeFollows = outcomeFollows;
    if (!OnFailure)
        return true;
    const std::shared_ptr<bool> alive = FAlive;
    Raise(OnFailure, *this);
    return *alive;
}

void TauCustomHTTP::RaiseResult(TauHTTPTransfer& t, bool& deleteOutputFile)
{
    if (Destroying())
        return;
    const TauHTTPResult& r = t.Result();
    TauHTTPBody& body = t.Body();
    if (body.Data())
        body.Data()->SetPosition(0);
    if (!r.CanContinue) {
        Raise(OnDeclined, *this);
        return;
    }
    if (r.Failure == frOutputFile) {
        RaiseFailure(frOutputFile, false);
        return;
    }
    const auto bytesRead = static_cast<std::int32_t>(r.BytesRead);
    bool success = r.Success;
    TauHTTPFailureReason reason = r.Failure;
    // OnDone gets no stream for a file: it is closed and complete on disk
    // first. A file whose last bytes could not reach the disk is no success.
    if (success && body.ToFile() && !body.CloseOutputFile()) {
        success = false;
        reason = frStoreFailed;
    }
    if (success) {
        Raise(OnDone, *this, r.ContentType, bytesRead, body.Data());
        return;
    }
    deleteOutputFile = !body.CreatedFile().empty();
    if (!RaiseFailure(reason, true))
        return;
    if (r.StatusCode == 200) {
        Raise(OnConnectionLost, *this, r.ContentType, r.ContentLength, bytesRead, body.Data());
    } else if (r.StatusCode == -1) {
        Raise(OnNoResponse, *this);
    } else {
        Raise(OnHTTPError, *this, r.StatusCode, body.Data());
    }
}

void TauCustomHTTP::WaitTimedOut()
{
    if (FTransfer) {
        FTransfer->Abort();
        FTransfer.reset();
    }
    FStartPending = false;
    if (!Destroying())
        Raise(OnTransferTimeout, *this);
}

void TauCustomHTTP::HeaderInfo(TauHTTPResult& r)
{
    if (Destroying() || !OnHeaderInfo)
        return;
    Raise(OnHeaderInfo, *this, r.RawHeaders, r.ContentType, r.ContentLanguage, r.ContentEncoding, r.Location,
          r.ContentLength, r.Date, r.LastModified, r.Expires, r.CanContinue);
}

void TauCustomHTTP::TransferProgress(const TauHTTPResult& r, TStream* data)
{
    if (Destroying() || !OnTransferProgress)
        return;
    const auto bytesRead = static_cast<std::int32_t>(r.BytesRead);
    const TauHTTPProgress p = HTTPProgressFigures(r.ContentLength, bytesRead, HTTPTickCount() - r.StartTick);
    Raise(OnTransferProgress, *this, r.ContentType, r.ContentLength, bytesRead, p.ElapsedTime, p.EstimatedTimeLeft,
          p.PercentsDone, p.TransferRate, data);
}

bool TauCustomHTTP::LoginRequest(const std::string& realm, TauHTTPCredentials& credentials)
{
    bool tryAgain = false;
    const std::shared_ptr<bool> alive = FAlive;
    if (!Destroying())
        Raise(OnLoginRequest, *this, realm, tryAgain);
    if (!*alive)
        return false;
    // Whatever the handler decided, the credentials are what it left.
    credentials = {HTTPUsername(), HTTPPassword()};
    return tryAgain;
}

bool TauCustomHTTP::ProxyAuthenticationRequest(TauHTTPCredentials& credentials)
{
    bool tryAgain = false;
    const std::shared_ptr<bool> alive = FAlive;
    if (!Destroying())
        Raise(OnProxyAuthenticationRequest, *this, FProxyUsername, FProxyPassword, tryAgain);
    if (!*alive)
        return false;
    credentials = {FProxyUsername, FProxyPassword};
    return tryAgain;
}
