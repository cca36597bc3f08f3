#include "http/auHTTP.h"

#include "http/auHTTPTransfer.h"
#include "http/auStream.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Text against a pattern in which "*" stands for any run of characters.
bool WildcardMatch(const std::string& pattern, const std::string& text)
{
    std::size_t p = 0, t = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

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

bool HTTPProxyBypassed(const std::string& Bypass, const std::string& Host)
{
    const std::string host = Lower(Host);
    std::size_t start = 0;
    while (start <= Bypass.size()) {
        std::size_t end = Bypass.find_first_of("; \t", start);
        if (end == std::string::npos)
            end = Bypass.size();
        const std::string entry = Lower(Bypass.substr(start, end - start));
        start = end + 1;
        if (entry.empty())
            continue;
        if (entry == "<local>") {
            if (host.find('.') == std::string::npos)
                return true;
        } else if (WildcardMatch(entry, host)) {
            return true;
        }
    }
    return false;
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

TauCustomHTTP::TauCustomHTTP(TComponent* owner)
    : TauLoginComponent(owner)
    , FThread(this)
{
    FThread.SetOnExecute([this](TauCustomThread&) { RunTransfer(); });
    FThread.SetOnFinish([this](TauCustomThread&) { FinishTransfer(); });
    FThread.SetOnError([this] {
        if (!Destroying() && OnFailure)
            OnFailure(*this);
    });
    FThread.OnWaitTimeout = [this](TauCustomThread&) { WaitTimedOut(); };
}

TauCustomHTTP::~TauCustomHTTP()
{
    BeginDestroy();
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
    r.OnStatus = OnStatus;
    r.OnRedirect = OnRedirect;
    FTransfer = std::make_shared<TauHTTPTransfer>(*this, std::move(r));
    // From inside a result event the previous transfer still holds its
    // buffer, Data and output file: the new one starts when those are gone.
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
    if (!Destroying() && OnTransferAborted)
        OnTransferAborted(*this);
}

void TauCustomHTTP::DropTransfer()
{
    FTransfer->Abort();
    if (FStartPending)
        FStartPending = false;  // never started: no worker to discard
    else
        FThread.Terminate(true);
    // The worker, if it still runs, holds its own reference and frees the
    // transfer (its library handle, its file) on its thread when it unwinds.
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
    FFinishing = true;
    bool deleteOutputFile = false;
    std::exception_ptr error;
    try {
        RaiseResult(*t, deleteOutputFile);
    } catch (...) {
        error = std::current_exception();
    }
    // Also after a handler failed: the buffer and Data go, a failed body's
    // file is deleted, and only then may a transfer asked for meanwhile start.
    t->ReleaseData();
    if (deleteOutputFile) {
        std::error_code ignored;
        std::filesystem::remove(t->FBodyFileName, ignored);
    }
    t.reset();
    FFinishing = false;
    if (std::exchange(FStartPending, false) && FTransfer) {
        try {
            FThread.Start();
        } catch (const std::exception&) {
            FTransfer.reset();
            if (OnFailure)
                OnFailure(*this);
            if (OnNoResponse)
                OnNoResponse(*this);
        }
    }
    if (error)
        std::rethrow_exception(error);
}

void TauCustomHTTP::RaiseResult(TauHTTPTransfer& t, bool& deleteOutputFile)
{
    if (Destroying())
        return;
    if (t.FData)
        t.FData->SetPosition(0);
    if (!t.FCanContinue) {
        if (OnDeclined)
            OnDeclined(*this);
        return;
    }
    if (t.FFileFailed) {
        if (OnFailure)
            OnFailure(*this);
        return;
    }
    const auto bytesRead = static_cast<std::int32_t>(t.FBytesRead);
    bool success = t.FSuccess;
    // OnDone gets no stream for a file: it is closed and complete on disk
    // first. A file whose last bytes could not reach the disk is no success.
    if (success && t.FOutputFile)
        success = t.CloseOutputFile();
    if (success) {
        if (OnDone)
            OnDone(*this, t.FContentType, bytesRead, t.FData.get());
        return;
    }
    deleteOutputFile = !t.FBodyFileName.empty();
    if (OnFailure)
        OnFailure(*this);
    if (t.FStatusCode == 200) {
        if (OnConnectionLost)
            OnConnectionLost(*this, t.FContentType, t.FContentLength, bytesRead, t.FData.get());
    } else if (t.FStatusCode == -1) {
        if (OnNoResponse)
            OnNoResponse(*this);
    } else if (OnHTTPError) {
        OnHTTPError(*this, t.FStatusCode, t.FData.get());
    }
}

void TauCustomHTTP::WaitTimedOut()
{
    if (FTransfer) {
        FTransfer->Abort();
        FTransfer.reset();
    }
    FStartPending = false;
    if (!Destroying() && OnTransferTimeout)
        OnTransferTimeout(*this);
}

void TauCustomHTTP::RaiseHeaderInfo(TauHTTPTransfer& t)
{
    if (Destroying() || !OnHeaderInfo)
        return;
    OnHeaderInfo(*this, t.FRawHeaders, t.FContentType, t.FContentLanguage, t.FContentEncoding, t.FLocation,
                 t.FContentLength, t.FDate, t.FLastModified, t.FExpires, t.FCanContinue);
}

void TauCustomHTTP::RaiseTransferProgress(TauHTTPTransfer& t)
{
    if (Destroying() || !OnTransferProgress)
        return;
    const auto bytesRead = static_cast<std::int32_t>(t.FBytesRead);
    const TauHTTPProgress p = HTTPProgressFigures(t.FContentLength, bytesRead, HTTPTickCount() - t.FStartTick);
    OnTransferProgress(*this, t.FContentType, t.FContentLength, bytesRead, p.ElapsedTime, p.EstimatedTimeLeft,
                       p.PercentsDone, p.TransferRate, t.FData.get());
}

void TauCustomHTTP::RaiseLoginRequest(TauHTTPTransfer& t, const std::string& realm)
{
    bool tryAgain = false;
    if (!Destroying() && OnLoginRequest)
        OnLoginRequest(*this, realm, tryAgain);
    // Whatever the handler decided, the credentials are what it left.
    t.FTryAgain = tryAgain;
    t.FAuthUser = HTTPUsername();
    t.FAuthPassword = HTTPPassword();
}

void TauCustomHTTP::RaiseProxyAuthenticationRequest(TauHTTPTransfer& t)
{
    bool tryAgain = false;
    if (!Destroying() && OnProxyAuthenticationRequest)
        OnProxyAuthenticationRequest(*this, FProxyUsername, FProxyPassword, tryAgain);
    t.FTryAgain = tryAgain;
    t.FProxyUser = FProxyUsername;
    t.FProxyPassword = FProxyPassword;
}
