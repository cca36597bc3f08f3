#include "http/auHTTPTransfer.h"

#include "http/auText.h"
#include "http/auThread.h"
#include "platform/Socket.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr long MaxRedirects = 20;
// What curl reads from the socket at once.
constexpr long ReceiveBuffer = 512 * 1024;
// What the worker stages at most before it hands the body over to the window
// thread; otherwise it does so whenever curl has done what it could for now.
// curl delivers 16 KiB per write: handing over each piece would cost more
// than the bytes.
constexpr std::size_t MaxStaged = 1024 * 1024;
// The longest curl waits in one go before the routine looks at its time-outs.
constexpr int MaxWaitMs = 1000;

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

// The address as it goes to the library: with "http://" put in front when it
// has none, and with blanks, control and non-ASCII bytes escaped. Existing
// escapes stay as they are: a "%2F" in a path must not become a "/".
std::string WireURL(const std::string& url)
{
    const std::string address = WithDefaultScheme(std::string(Trim(url)));
    std::string out;
    out.reserve(address.size());
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : address) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string RangeLine(std::int32_t start, std::int32_t end)
{
    std::string line = "RANGE: bytes=" + std::to_string(start) + "-";
    if (end != 0)
        line += std::to_string(end);
    return line;
}

// The scheme as written, before "://": a local file is "file" exactly.
std::string_view WrittenScheme(const std::string& url)
{
    const std::size_t end = url.find("://");
    return end == std::string::npos ? std::string_view() : std::string_view(url).substr(0, end);
}

// The one scheme the server named, so that a resend carries the credentials
// at once instead of probing without them first.
long AuthSchemeBit(const std::string& scheme)
{
    if (scheme == "basic")
        return CURLAUTH_BASIC;
    if (scheme == "digest")
        return CURLAUTH_DIGEST;
    if (scheme == "ntlm")
        return CURLAUTH_NTLM;
    if (scheme == "negotiate")
        return CURLAUTH_NEGOTIATE;
    return CURLAUTH_ANY;
}

bool FollowedScheme(const std::string& url)
{
    const std::string_view scheme = WrittenScheme(url);
    return SameText(scheme, "http") || SameText(scheme, "https");
}

} // namespace

std::uint32_t HTTPTickCount()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

bool HTTPProxyBypassed(const std::string& Bypass, const std::string& Host)
{
    const std::string host = LowerCase(Host);
    std::size_t start = 0;
    while (start <= Bypass.size()) {
        std::size_t end = Bypass.find_first_of("; \t", start);
        if (end == std::string::npos)
            end = Bypass.size();
        const std::string entry = LowerCase(std::string_view(Bypass).substr(start, end - start));
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

TauHTTPTransfer::TauHTTPTransfer(TauHTTPRequest request, TauHTTPTransferEvents& events)
    : FRequest(std::move(request))
    , FEvents(events)
    , FBody(FRequest, FResult, events, FAborted)
    , FStoreCall([this] { FDelivered = FBody.Store(); })
{
}

TauHTTPTransfer::~TauHTTPTransfer() = default;

template <typename F>
bool TauHTTPTransfer::Guard(F&& body) noexcept
{
    try {
        body();
        return true;
    } catch (...) {
        // Nothing may unwind through libcurl's C frames: the transfer ends,
        // and the finish handler reports it as an error in its phase.
        FError = true;
        return false;
    }
}

void TauHTTPTransfer::Abort()
{
    FAborted = true;
    FBody.Release();
    std::lock_guard lock(FWakeLock);
    if (FWakeable)
        curl_multi_wakeup(FWakeable);
}

bool TauHTTPTransfer::Stopped() const
{
    return FError || FAborted.load() || FWorker->Discarded();
}

bool TauHTTPTransfer::Sync(const std::function<void()>& call)
{
    if (Stopped())
        return false;
    FWorker->Synchronize(call);
    // Time the window thread took does not count as the server's silence.
    FLastActivity = TClock::now();
    return !Stopped();
}

bool TauHTTPTransfer::Received()
{
    if (Stopped())
        return false;
    FLastActivity = TClock::now();
    return true;
}

void TauHTTPTransfer::Status(std::int32_t code)
{
    if (FRequest.Status && !Stopped())
        FRequest.Status(code);
}

void TauHTTPTransfer::Redirected(const std::string& newURL)
{
    Status(110);
    if (FRequest.Redirect && !Stopped())
        FRequest.Redirect(newURL);
}

void TauHTTPTransfer::Run(TauEventThread& worker)
{
    FWorker = &worker;
    Guard([this] { Execute(); });
    Guard([this] { Close(); });
    Conclude();
}

void TauHTTPTransfer::Execute()
{
    FResult.StartTick = HTTPTickCount();
    std::string scheme, host, path, user, password, extra;
    std::uint16_t port = 0;
    CrackURL(FRequest.URL, scheme, host, path, user, password, extra, port);
    if (user.empty())
        user = FRequest.HTTPUsername;
    if (password.empty())
        password = FRequest.HTTPPassword;

    // The address splitter lower-cases the scheme; only "file" as written
    // names a local file.
    if (WrittenScheme(FRequest.URL) == "file") {
        if (!HTTPReadLocalFile(path, FResult, *this))
            FReadFailed = true;
        if (!Stopped())
            Complete();
        return;
    }
    // No cache stands behind an offline session here, so nothing can answer.
    if (FRequest.WorkOffline)
        return;
    if (!OpenRequest(host, user, password))
        return;
    SendLoop();
}

void TauHTTPTransfer::Close()
{
    if (FCurl)
        Status(70);
    {
        std::lock_guard lock(FWakeLock);
        FWakeable = nullptr;
    }
    // The connections live in the multi handle's cache: they close with it.
    FCurl.reset();
    FMulti.reset();
    FHeaders.reset();
}

void TauHTTPTransfer::Conclude()
{
    if (FError)
        FResult.Success = false;
    if (FResult.Success || FResult.Failure != frNone)
        return;
    if (FError)
        FResult.Failure = frError;
    else if (FBody.StoreFailed())
        FResult.Failure = frStoreFailed;
    else if (FTimedOut)
        FResult.Failure = frTimedOut;
    else if (FResult.StatusCode == -1)
        FResult.Failure = frNoResponse;
    else if (FResult.StatusCode != 200)
        FResult.Failure = frHTTPStatus;
    else
        FResult.Failure = frConnectionLost;
}

bool TauHTTPTransfer::OpenRequest(const std::string& host, const std::string& user, const std::string& password)
{
    FCurl = CurlNewEasy();
    FMulti = CurlNewMulti();
    if (!FCurl || !FMulti)
        return false;
    {
        std::lock_guard lock(FWakeLock);
        FWakeable = FMulti.get();
    }
    Status(60);
    if (Stopped())
        return false;

    CURL* h = FCurl.get();
    bool ok = true;
    auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(h, option, value) == CURLE_OK; };
    const std::string url = WireURL(FRequest.URL);
    set(CURLOPT_URL, url.c_str());
    // Only the web: neither the address nor a redirection may reach files
    // or other protocols through the library.
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_NOSIGNAL, 1L);  // several threads use the library
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, MaxRedirects);
    set(CURLOPT_BUFFERSIZE, std::max<long>(ReceiveBuffer, static_cast<long>(std::min<std::size_t>(
                                                              FRequest.ChunkSize, CURL_MAX_READ_SIZE))));
    if (!FRequest.UserAgent.empty())
        set(CURLOPT_USERAGENT, FRequest.UserAgent.c_str());
    if (!FRequest.Referer.empty())
        set(CURLOPT_REFERER, FRequest.Referer.c_str());

    switch (FRequest.AccessType) {
    case atPreconfig:
        break;  // the library reads http_proxy, https_proxy and no_proxy itself
    case atDirect:
        set(CURLOPT_PROXY, "");  // also when the environment names a proxy
        break;
    case atUseProxy: {
        // The bypass list has its own syntax, so it is decided here and the
        // environment's no_proxy is kept out of it.
        const bool direct = FRequest.ProxyServer.empty() || HTTPProxyBypassed(FRequest.ProxyBypass, host);
        const std::string proxy =
            direct ? std::string() : FRequest.ProxyServer + ":" + std::to_string(FRequest.ProxyPort);
        set(CURLOPT_PROXY, proxy.c_str());
        set(CURLOPT_NOPROXY, "");
        break;
    }
    }

    if (FRequest.Post) {
        set(CURLOPT_POST, 1L);
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(FRequest.PostData.size()));
        set(CURLOPT_COPYPOSTFIELDS, FRequest.PostData.c_str());
    } else {
        set(CURLOPT_HTTPGET, 1L);
    }
    if (!BuildHeaders())
        return false;
    set(CURLOPT_HTTPHEADER, FHeaders.get());

    if (FRequest.UseCookies) {
        set(CURLOPT_SHARE, CurlCookieShare());
        set(CURLOPT_COOKIEFILE, "");
    }
    // A server that never answers the connection must not hold the
    // transfer for the library's five minutes: the stall guard bounds it.
    const std::uint32_t connect = FRequest.ConnectTimeout != 0 ? FRequest.ConnectTimeout : FRequest.StallTimeout;
    if (connect != 0)
        set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect));

    set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    set(CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
    if (!user.empty() || !password.empty()) {
        set(CURLOPT_USERNAME, user.c_str());
        set(CURLOPT_PASSWORD, password.c_str());
    }

    set(CURLOPT_HEADERFUNCTION, &TauHTTPTransfer::HeaderCallback);
    set(CURLOPT_HEADERDATA, this);
    set(CURLOPT_WRITEFUNCTION, &TauHTTPTransfer::WriteCallback);
    set(CURLOPT_WRITEDATA, this);
    set(CURLOPT_RESOLVER_START_FUNCTION, &TauHTTPTransfer::ResolverStartCallback);
    set(CURLOPT_RESOLVER_START_DATA, this);
    set(CURLOPT_SOCKOPTFUNCTION, &TauHTTPTransfer::SocketOptionCallback);
    set(CURLOPT_SOCKOPTDATA, this);
    set(CURLOPT_PREREQFUNCTION, &TauHTTPTransfer::PrerequestCallback);
    set(CURLOPT_PREREQDATA, this);
    set(CURLOPT_CLOSESOCKETFUNCTION, &TauHTTPTransfer::CloseSocketCallback);
    set(CURLOPT_CLOSESOCKETDATA, this);
    return ok;
}

bool TauHTTPTransfer::BuildHeaders()
{
    std::vector<std::string> lines;
    for (const std::string& line : FRequest.ExtraHeaders)
        if (!line.empty())
            lines.push_back(line);
    if (FRequest.StartRange != 0 || FRequest.EndRange != 0)
        lines.push_back(RangeLine(FRequest.StartRange, FRequest.EndRange));
    // "Accept:" with no value keeps the library's own "*/*" out as well.
    lines.push_back("Accept: " + FRequest.AcceptTypes);
    if (!FRequest.UseCache) {
        lines.push_back("Cache-Control: no-cache");
        lines.push_back("Pragma: no-cache");
    }
    if (FRequest.Post) {
        lines.push_back("Content-Type: application/x-www-form-urlencoded");
        // No "Expect: 100-continue" round trip: a server that does not know
        // it would keep the form waiting for a second.
        lines.push_back("Expect:");
    }
    for (const std::string& line : lines)
        if (!CurlAppend(FHeaders, line))
            return false;
    return true;
}

void TauHTTPTransfer::SendLoop()
{
    for (;;) {
        FTryAgain = false;
        FDecided = false;
        FVerdict = TVerdict::Proceed;
        FFinal.reset();
        FReader.Reset();
        FRedirects = 0;
        const CURLcode rc = Perform();
        if (Stopped())
            return;
        Status(100);
        if (Stopped())
            return;
        if (!FDecided) {
            // No body byte came: the answer is decided now, if there is one.
            // Without one the pass failed and StatusCode stays what it was.
            if (!FFinal)
                return;
            FDecided = true;
            FVerdict = FinalHeaders();
            if (Stopped())
                return;
        }
        ApplyCredentials();
        if (FVerdict == TVerdict::Retry)
            continue;
        if (FVerdict == TVerdict::Stop)
            return;
        // A body that ends in an error was cut off, whatever its length
        // header said; it is never complete.
        if (rc != CURLE_OK)
            FReadFailed = true;
        if (!EndBody() && Stopped())
            return;
        break;
    }
    Complete();
}

CURLcode TauHTTPTransfer::Perform()
{
    CURLM* multi = FMulti.get();
    CURL* h = FCurl.get();
    if (curl_multi_add_handle(multi, h) != CURLM_OK)
        return CURLE_FAILED_INIT;
    FLastActivity = TClock::now();
    FConnected = false;
    CURLcode rc = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            rc = CURLE_FAILED_INIT;
            break;
        }
        // What this round delivered goes to the window thread now.
        if (FBody.Staged() != 0 && !HandOver()) {
            rc = CURLE_WRITE_ERROR;
            break;
        }
        int left = 0;
        bool done = false;
        while (const CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE) {
                rc = message->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (Stopped()) {
            rc = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        const int wait = WaitLimit();
        if (wait < 0) {
            rc = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        // Returns on the socket, on curl's own timers, or at once when
        // Abort wakes it.
        curl_multi_poll(multi, nullptr, 0, wait, nullptr);
    }
    curl_multi_remove_handle(multi, h);
    if (rc == CURLE_OPERATION_TIMEDOUT)
        FTimedOut = true;
    return rc;
}

int TauHTTPTransfer::WaitLimit()
{
    using std::chrono::milliseconds;
    const auto now = TClock::now();
    curl_off_t uploaded = 0;
    curl_off_t uploadSize = -1;
    curl_easy_getinfo(FCurl.get(), CURLINFO_SIZE_UPLOAD_T, &uploaded);
    curl_easy_getinfo(FCurl.get(), CURLINFO_CONTENT_LENGTH_UPLOAD_T, &uploadSize);
    if (uploaded != FUploaded) {
        FUploaded = uploaded;
        FLastActivity = now;
    }
    // While connecting, the library's own connect time-out applies.
    if (!FConnected)
        return MaxWaitMs;
    // Explicit time-outs win; without one, the stall guard bounds the
    // silence in either direction.
    const bool sending = uploadSize > 0 && uploaded < uploadSize;
    std::uint32_t limit = sending ? FRequest.SendTimeout : FRequest.ReceiveTimeout;
    if (limit == 0)
        limit = FRequest.StallTimeout;
    if (limit == 0)
        return MaxWaitMs;
    const auto idle = std::chrono::duration_cast<milliseconds>(now - FLastActivity);
    if (idle >= milliseconds(limit))
        return -1;
    return static_cast<int>(std::min<std::int64_t>(MaxWaitMs, milliseconds(limit).count() - idle.count() + 1));
}

void TauHTTPTransfer::ApplyCredentials()
{
    // An empty pair clears them: the resend goes without.
    const auto apply = [h = FCurl.get()](CURLoption user, CURLoption password, CURLoption schemes,
                                         const TauHTTPCredentials& c, long scheme) {
        const bool any = !c.UserName.empty() || !c.Password.empty();
        curl_easy_setopt(h, user, any ? c.UserName.c_str() : nullptr);
        curl_easy_setopt(h, password, any ? c.Password.c_str() : nullptr);
        curl_easy_setopt(h, schemes, scheme);
    };
    if (std::exchange(FSetCredentials, false))
        apply(CURLOPT_USERNAME, CURLOPT_PASSWORD, CURLOPT_HTTPAUTH, FCredentials, FAuthScheme);
    if (std::exchange(FSetProxyCredentials, false))
        apply(CURLOPT_PROXYUSERNAME, CURLOPT_PROXYPASSWORD, CURLOPT_PROXYAUTH, FProxyCredentials, FProxyAuthScheme);
}

void TauHTTPTransfer::EndOfBlock()
{
    THTTPHeaderBlock block = FReader.Take();
    // Before the request went out on this connection, a block answers the
    // proxy's CONNECT: its "200 Connection established" is not the answer
    // to our request, its refusals (407 above all) are.
    if (!FConnected && block.Status >= 200 && block.Status < 300)
        return;
    if (block.Status >= 100 && block.Status < 200) {
        Status(120);
        return;
    }
    const std::optional<std::string> location = block.Find("Location");
    if (block.Status >= 300 && block.Status < 400 && location && FRedirects < MaxRedirects) {
        char* current = nullptr;
        curl_easy_getinfo(FCurl.get(), CURLINFO_EFFECTIVE_URL, &current);
        const std::string next = CurlResolveURL(current ? current : "", *location);
        // The library follows http and https only; any other target leaves
        // this answer as the final one, reported with its own status.
        if (FollowedScheme(next)) {
            ++FRedirects;
            FFinal.reset();
            Redirected(next);
            return;
        }
    }
    FFinal = std::move(block);
}

TauHTTPTransfer::TVerdict TauHTTPTransfer::FinalHeaders()
{
    const THTTPHeaderBlock block = FFinal.value_or(THTTPHeaderBlock());
    if (!block.Lines.empty())
        FResult.StatusCode = block.Status;
    FTryAgain = false;
    if (FResult.StatusCode == 401 && FRequest.HasLoginRequest) {
        const std::string challenge = block.Value("WWW-Authenticate");
        const std::string realm = HTTPRealmOf(challenge);
        FResult.ContentType = realm;
        FAuthScheme = AuthSchemeBit(HTTPSchemeOf(challenge));
        // Whatever the handler decided, the resend carries what it left.
        if (!Sync([this, &realm] {
                try {
                    FTryAgain = FEvents.LoginRequest(realm, FCredentials);
                } catch (...) {
                    // Dropped, as every marshalled call's exception is.
                }
            }))
            return TVerdict::Stop;
        FSetCredentials = true;
    } else if (FResult.StatusCode == 407 && FRequest.HasProxyAuthenticationRequest) {
        FProxyAuthScheme = AuthSchemeBit(HTTPSchemeOf(block.Value("Proxy-Authenticate")));
        if (!Sync([this] {
                try {
                    FTryAgain = FEvents.ProxyAuthenticationRequest(FProxyCredentials);
                } catch (...) {
                }
            }))
            return TVerdict::Stop;
        FSetProxyCredentials = true;
    }
    if (FTryAgain)
        return TVerdict::Retry;

    HTTPTakeHeaderInfo(block, FRequest.HasHeaderInfo, FResult);
    // The header event and the destination in one call: the body phase
    // begins right after the handler, unless it declined or aborted.
    bool begun = false;
    if (!Sync([this, &begun] {
            if (FRequest.HasHeaderInfo) {
                try {
                    FEvents.HeaderInfo(FResult);
                } catch (...) {
                }
            }
            begun = !FAborted && FResult.CanContinue && FBody.Begin(true);
        }))
        return TVerdict::Stop;
    return begun ? TVerdict::Proceed : TVerdict::Stop;
}

bool TauHTTPTransfer::BeginBody(bool sourceOpen)
{
    bool begun = false;
    return Sync([this, &begun, sourceOpen] { begun = FBody.Begin(sourceOpen); }) && begun;
}

bool TauHTTPTransfer::Deliver(const char* bytes, std::size_t count)
{
    return FBody.Stage(bytes, count) && HandOver();
}

bool TauHTTPTransfer::HandOver()
{
    FDelivered = false;
    return Sync(FStoreCall) && FDelivered;
}

bool TauHTTPTransfer::EndBody()
{
    bool ended = false;
    return Sync([this, &ended] { ended = FBody.End(); }) && ended;
}

void TauHTTPTransfer::Complete()
{
    FResult.Success = FResult.StatusCode == 200 && !FReadFailed && !FBody.StoreFailed();
    if (FResult.Success && FResult.ContentLength != 0)
        FResult.Success = FResult.BytesRead == FResult.ContentLength;
}

std::size_t TauHTTPTransfer::HeaderCallback(char* bytes, std::size_t size, std::size_t count, void* user)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    const std::size_t length = size * count;
    const bool ok = t.Guard([&] {
        if (!t.Received() || t.FDecided)
            return;  // trailers after a chunked body are not a new block
        switch (t.FReader.Feed(std::string_view(bytes, length))) {
        case THTTPHeaderReader::hsBlockStarted:
            t.Status(40);
            break;
        case THTTPHeaderReader::hsBlockEnded:
            t.Status(41);
            t.EndOfBlock();
            break;
        case THTTPHeaderReader::hsLine:
            break;
        }
    });
    return ok && !t.Stopped() ? length : 0;
}

std::size_t TauHTTPTransfer::WriteCallback(char* bytes, std::size_t size, std::size_t count, void* user)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    const std::size_t length = size * count;
    bool stored = false;
    t.Guard([&] {
        if (!t.Received())
            return;
        // The first body byte of a pass: the header block before it is final.
        if (!t.FDecided) {
            t.FDecided = true;
            t.FVerdict = t.FinalHeaders();
            if (t.FVerdict != TVerdict::Proceed)
                return;
        }
        stored = t.FBody.Stage(bytes, length) && (t.FBody.Staged() < MaxStaged || t.HandOver());
    });
    return stored ? length : 0;
}

int TauHTTPTransfer::ResolverStartCallback(void*, void*, void* user)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    t.Guard([&] {
        t.FResolving = true;
        t.Status(10);
    });
    return t.Stopped() ? 1 : 0;
}

int TauHTTPTransfer::SocketOptionCallback(void* user, curl_socket_t, curlsocktype)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    t.Guard([&] {
        if (std::exchange(t.FResolving, false))
            t.Status(11);
        // A new connection: what arrives before its request went out
        // answers a CONNECT.
        t.FConnected = false;
        t.Status(20);
    });
    return t.Stopped() ? CURL_SOCKOPT_ERROR : CURL_SOCKOPT_OK;
}

int TauHTTPTransfer::PrerequestCallback(void* user, char*, char*, int, int)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    t.Guard([&] {
        // A new request: whatever answered the one before is not its answer.
        t.FConnected = true;
        t.FFinal.reset();
        t.FLastActivity = TClock::now();
        t.Status(21);
        t.Status(30);
        t.Status(31);
    });
    return t.Stopped() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

int TauHTTPTransfer::CloseSocketCallback(void* user, curl_socket_t socket)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    // The socket is closed whatever the status handlers do.
    t.Guard([&] { t.Status(50); });
    const bool closed = platform::CloseSocket(socket);
    t.Guard([&] { t.Status(51); });
    return closed ? 0 : 1;
}
