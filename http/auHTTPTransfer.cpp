#include "http/auHTTPTransfer.h"

#include "platform/FileInfo.h"
#include "platform/FileStream.h"
#include "platform/Socket.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

namespace {

constexpr long MaxRedirects = 20;
// An announced length only hints at the size of a memory destination: a
// server announcing gigabytes must not make us allocate them before a byte
// has arrived.
constexpr std::size_t MaxReserve = 1024 * 1024;
// Local files are read in blocks of at most this size; chunks for the
// progress events are put together from them.
constexpr std::size_t MaxFileBlock = 64 * 1024;

using TClock = std::chrono::steady_clock;

bool IEquals(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// A whole decimal number that fits 32 bits, else 0.
std::int32_t DecimalOrZero(std::string_view text)
{
    text = Trim(text);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return (error == std::errc() && end == text.data() + text.size()) ? value : 0;
}

// The code of a status line "HTTP/1.1 200 OK": 0 when it is not a number.
std::int32_t StatusOf(const std::string& line)
{
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return 0;
    std::string_view code(line);
    code.remove_prefix(blank + 1);
    code = code.substr(0, code.find(' '));
    return DecimalOrZero(code);
}

// The realm of a challenge: from after its first '="' up to, not including,
// its last character; the whole value when it holds no '="'.
std::string RealmOf(const std::string& challenge)
{
    const std::size_t quote = challenge.find("=\"");
    if (quote == std::string::npos)
        return challenge;
    const std::size_t start = quote + 2;
    if (start + 1 > challenge.size())
        return {};
    return challenge.substr(start, challenge.size() - 1 - start);
}

// The address as it goes to the library: with "http://" put in front when it
// has none, and with blanks, control and non-ASCII bytes escaped. Existing
// escapes stay as they are: a "%2F" in a path must not become a "/".
std::string WireURL(const std::string& url)
{
    std::string_view s(url);
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20)
        s.remove_suffix(1);
    std::string out = s.find("://") == std::string_view::npos ? "http://" : "";
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : s) {
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

} // namespace

std::uint32_t HTTPTickCount()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

std::optional<std::string> TauHTTPTransfer::THeaderBlock::Find(const std::string& name) const
{
    for (std::size_t i = 1; i < Lines.size(); ++i) {
        const std::string& line = Lines[i];
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && IEquals(Trim(std::string_view(line).substr(0, colon)), name))
            return std::string(Trim(std::string_view(line).substr(colon + 1)));
    }
    return std::nullopt;
}

TauHTTPTransfer::TauHTTPTransfer(TauCustomHTTP& engine, TauHTTPRequest request)
    : FEngine(engine)
    , FRequest(std::move(request))
{
}

TauHTTPTransfer::~TauHTTPTransfer() = default;

void TauHTTPTransfer::Abort()
{
    std::lock_guard<std::mutex> lock(FDataMutex);
    FAborted = true;
}

bool TauHTTPTransfer::Stopped() const
{
    return FAborted.load() || FWorker->Discarded();
}

bool TauHTTPTransfer::Received()
{
    if (Stopped())
        return false;
    FLastReceive = TClock::now();
    return true;
}

bool TauHTTPTransfer::Sync(const std::function<void()>& call)
{
    if (Stopped())
        return false;
    FWorker->Synchronize(call);
    return !Stopped();
}

void TauHTTPTransfer::Status(std::int32_t code)
{
    if (FRequest.OnStatus)
        FWorker->WithOwner([&] { FRequest.OnStatus(FEngine, code, HTTPStatusText(code)); });
}

void TauHTTPTransfer::Redirected(const std::string& newURL)
{
    Status(110);
    if (FRequest.OnRedirect)
        FWorker->WithOwner([&] { FRequest.OnRedirect(FEngine, newURL); });
}

void TauHTTPTransfer::Run(TauEventThread& worker)
{
    FWorker = &worker;
    try {
        Execute();
    } catch (...) {
        // Nothing may escape into the worker: whatever went wrong counts as
        // a transfer that did not complete, and the finish handler says so.
        FSuccess = false;
        FReadFailed = true;
    }
    if (FCurl) {
        Status(70);
        FCurl.reset();
    }
    FHeaders.reset();
}

void TauHTTPTransfer::Execute()
{
    FStartTick = HTTPTickCount();
    FChunkSize = std::max<std::size_t>(FRequest.ChunkSize, 1);
    std::string scheme, host, path, user, password, extra;
    std::uint16_t port = 0;
    CrackURL(FRequest.URL, scheme, host, path, user, password, extra, port);
    if (user.empty())
        user = FRequest.HTTPUsername;
    if (password.empty())
        password = FRequest.HTTPPassword;

    if (scheme == "file") {
        ReadLocalFile(path);
        return;
    }
    // No cache stands behind an offline session here, so nothing can answer.
    if (FRequest.WorkOffline)
        return;
    if (!OpenRequest(host, user, password))
        return;
    SendLoop();
}

void TauHTTPTransfer::ReadLocalFile(const std::string& path)
{
    std::unique_ptr<TFileStream> source;
    if (!path.empty() && !platform::IsFolder(path)) {
        try {
            source = std::make_unique<TFileStream>(path, TFileStream::fmOpenRead);
        } catch (const std::exception&) {
        }
    }
    if (!source) {
        FStatusCode = 404;
        std::lock_guard<std::mutex> lock(FDataMutex);
        FData = std::make_unique<TMemoryStream>();
        return;
    }
    FStatusCode = 200;
    FContentLength = static_cast<std::int32_t>(static_cast<std::uint32_t>(source->Size()));
    if (!BeginBody())
        return;
    std::vector<char> block(std::min(FChunkSize, MaxFileBlock));
    for (;;) {
        std::size_t count = 0;
        try {
            count = source->Read(block.data(), block.size());
        } catch (const std::exception&) {
            FReadFailed = true;
            break;
        }
        if (count == 0)
            break;
        if (!Deliver(block.data(), count))
            break;
    }
    if (Stopped() || (!Flush() && Stopped()))
        return;
    Complete();
}

bool TauHTTPTransfer::OpenRequest(const std::string& host, const std::string& user, const std::string& password)
{
    FCurl = CurlNewEasy();
    if (!FCurl)
        return false;
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
    if (FRequest.ConnectTimeout != 0)
        set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(FRequest.ConnectTimeout));

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
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &TauHTTPTransfer::ProgressCallback);
    set(CURLOPT_XFERINFODATA, this);
    // The debug stream is where the library tells that a request went out.
    set(CURLOPT_VERBOSE, 1L);
    set(CURLOPT_DEBUGFUNCTION, &TauHTTPTransfer::DebugCallback);
    set(CURLOPT_DEBUGDATA, this);
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
        FInBlock = false;
        FBlock = THeaderBlock();
        FAwaitingTunnel = false;
        FRedirects = 0;
        const CURLcode rc = curl_easy_perform(FCurl.get());
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
        if (!Flush() && Stopped())
            return;
        break;
    }
    Complete();
}

void TauHTTPTransfer::ApplyCredentials()
{
    CURL* h = FCurl.get();
    const char* none = nullptr;
    if (std::exchange(FSetCredentials, false)) {
        const bool any = !FAuthUser.empty() || !FAuthPassword.empty();
        curl_easy_setopt(h, CURLOPT_USERNAME, any ? FAuthUser.c_str() : none);
        curl_easy_setopt(h, CURLOPT_PASSWORD, any ? FAuthPassword.c_str() : none);
    }
    if (std::exchange(FSetProxyCredentials, false)) {
        const bool any = !FProxyUser.empty() || !FProxyPassword.empty();
        curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, any ? FProxyUser.c_str() : none);
        curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, any ? FProxyPassword.c_str() : none);
    }
}

void TauHTTPTransfer::EndOfBlock()
{
    THeaderBlock block = std::move(FBlock);
    FBlock = THeaderBlock();
    block.Status = StatusOf(block.Lines.front());
    // A proxy's "200 Connection established" is not the answer to our
    // request; its refusals (407 above all) are.
    if (std::exchange(FAwaitingTunnel, false) && block.Status >= 200 && block.Status < 300)
        return;
    if (block.Status >= 100 && block.Status < 200) {
        Status(120);
        return;
    }
    const std::optional<std::string> location = block.Find("Location");
    if (block.Status >= 300 && block.Status < 400 && location && FRedirects < MaxRedirects) {
        // The library follows it; tell where to, as an absolute address.
        ++FRedirects;
        char* current = nullptr;
        curl_easy_getinfo(FCurl.get(), CURLINFO_EFFECTIVE_URL, &current);
        std::string next = CurlResolveURL(current ? current : "", *location);
        FFinal.reset();
        Redirected(next.empty() ? *location : next);
        return;
    }
    FFinal = std::move(block);
}

TauHTTPTransfer::TVerdict TauHTTPTransfer::FinalHeaders()
{
    const THeaderBlock block = FFinal.value_or(THeaderBlock());
    if (!block.Lines.empty())
        FStatusCode = block.Status;
    FTryAgain = false;
    if (FStatusCode == 401 && FRequest.HasLoginRequest) {
        const std::string realm = RealmOf(block.Value("WWW-Authenticate"));
        FContentType = realm;
        if (!Sync([&] { FEngine.RaiseLoginRequest(*this, realm); }))
            return TVerdict::Stop;
        FSetCredentials = true;
    } else if (FStatusCode == 407 && FRequest.HasProxyAuthenticationRequest) {
        if (!Sync([&] { FEngine.RaiseProxyAuthenticationRequest(*this); }))
            return TVerdict::Stop;
        FSetProxyCredentials = true;
    }
    if (FTryAgain)
        return TVerdict::Retry;

    TakeHeaderInfo(block);
    if (FRequest.HasHeaderInfo) {
        if (!Sync([&] { FEngine.RaiseHeaderInfo(*this); }))
            return TVerdict::Stop;
        if (!FCanContinue)
            return TVerdict::Stop;
    }
    return BeginBody() ? TVerdict::Proceed : TVerdict::Stop;
}

void TauHTTPTransfer::TakeHeaderInfo(const THeaderBlock& block)
{
    if (const auto type = block.Find("Content-Type"))
        FContentType = *type;
    FContentLength = DecimalOrZero(block.Value("Content-Length"));
    if (!FRequest.HasHeaderInfo)
        return;
    FRawHeaders.clear();
    for (const std::string& line : block.Lines)
        FRawHeaders += line + "\r\n";
    if (!FRawHeaders.empty())
        FRawHeaders += "\r\n";
    FContentLanguage = block.Value("Content-Language");
    FContentEncoding = block.Value("Content-Encoding");
    FLocation = block.Value("Location");
    auto date = [&](const char* name) {
        const auto value = block.Find(name);
        return value ? HTTPDateToLocal(*value) : TDateTime(0);
    };
    FDate = date("Date");
    FLastModified = date("Last-Modified");
    FExpires = date("Expires");
}

bool TauHTTPTransfer::BeginBody()
{
    std::unique_ptr<TStream> data;
    TFileStream* file = nullptr;
    std::lock_guard<std::mutex> lock(FDataMutex);
    if (FAborted)
        return false;
    if (!FRequest.OutputFileName.empty()) {
        // Only now, with an answer to store, may an older file go.
        std::error_code ignored;
        std::filesystem::remove(FRequest.OutputFileName, ignored);
        try {
            auto created = std::make_unique<TFileStream>(FRequest.OutputFileName, TFileStream::fmCreate);
            file = created.get();
            data = std::move(created);
        } catch (const std::exception&) {
            FFileFailed = true;
            return false;
        }
        FBodyFileName = FRequest.OutputFileName;
    } else {
        auto memory = std::make_unique<TMemoryStream>();
        if (FContentLength > 0)
            memory->Reserve(std::min<std::size_t>(static_cast<std::size_t>(FContentLength), MaxReserve));
        data = std::move(memory);
    }
    FData = std::move(data);
    FOutputFile = file;
    FBytesRead = 0;
    FPending.clear();
    FPending.reserve(std::min(FChunkSize, MaxReserve));
    return true;
}

bool TauHTTPTransfer::Deliver(const char* bytes, std::size_t count)
{
    FPending.append(bytes, count);
    std::size_t used = 0;
    bool ok = true;
    while (ok && FPending.size() - used >= FChunkSize) {
        ok = StoreChunk(FPending.data() + used, FChunkSize);
        used += FChunkSize;
    }
    FPending.erase(0, used);
    return ok;
}

bool TauHTTPTransfer::Flush()
{
    if (FPending.empty())
        return true;
    const std::string rest = std::move(FPending);
    FPending.clear();
    return StoreChunk(rest.data(), rest.size());
}

bool TauHTTPTransfer::StoreChunk(const char* bytes, std::size_t count)
{
    {
        std::lock_guard<std::mutex> lock(FDataMutex);
        if (FAborted)
            return false;
        try {
            FData->Write(bytes, count);
        } catch (...) {
            FStoreFailed = true;
            return false;
        }
    }
    FBytesRead += static_cast<std::int64_t>(count);
    if (FRequest.HasTransferProgress)
        return Sync([this] { FEngine.RaiseTransferProgress(*this); });
    return !Stopped();
}

void TauHTTPTransfer::Complete()
{
    FSuccess = FStatusCode == 200 && !FReadFailed && !FStoreFailed;
    if (FSuccess && FContentLength != 0)
        FSuccess = FBytesRead == FContentLength;
}

bool TauHTTPTransfer::CloseOutputFile()
{
    std::lock_guard<std::mutex> lock(FDataMutex);
    if (!FOutputFile)
        return true;
    const bool flushed = FOutputFile->Close();
    FOutputFile = nullptr;
    FData.reset();
    return flushed;
}

void TauHTTPTransfer::ReleaseData()
{
    std::lock_guard<std::mutex> lock(FDataMutex);
    FOutputFile = nullptr;
    FData.reset();
    FPending = std::string();
}

std::size_t TauHTTPTransfer::HeaderCallback(char* bytes, std::size_t size, std::size_t count, void* user)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    const std::size_t length = size * count;
    if (!t.Received())
        return 0;
    if (t.FDecided)
        return length;  // trailers after a chunked body
    std::string_view line(bytes, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (!t.FInBlock) {
        if (line.empty())
            return length;
        t.FInBlock = true;
        t.FBlock.Lines.assign(1, std::string(line));
        t.Status(40);
    } else if (line.empty()) {
        t.FInBlock = false;
        t.Status(41);
        t.EndOfBlock();
    } else if ((line.front() == ' ' || line.front() == '\t') && t.FBlock.Lines.size() > 1) {
        t.FBlock.Lines.back() += " " + std::string(Trim(line));  // a folded header line
    } else {
        t.FBlock.Lines.emplace_back(line);
    }
    return t.Stopped() ? 0 : length;
}

std::size_t TauHTTPTransfer::WriteCallback(char* bytes, std::size_t size, std::size_t count, void* user)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    const std::size_t length = size * count;
    if (!t.Received())
        return 0;
    // The first body byte of a pass: the header block before it is final.
    if (!t.FDecided) {
        t.FDecided = true;
        t.FVerdict = t.FinalHeaders();
        if (t.FVerdict != TVerdict::Proceed)
            return 0;
    }
    return t.Deliver(bytes, length) ? length : 0;
}

int TauHTTPTransfer::ProgressCallback(void* user, curl_off_t, curl_off_t dlnow, curl_off_t ultotal,
                                      curl_off_t ulnow)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    if (t.Stopped())
        return 1;
    const auto now = TClock::now();
    if (ulnow != t.FUploaded) {
        t.FUploaded = ulnow;
        t.FLastSend = now;
    }
    if (dlnow != t.FDownloaded) {
        t.FDownloaded = dlnow;
        t.FLastReceive = now;
    }
    using std::chrono::milliseconds;
    const bool sending = t.FRequestSent && ulnow < ultotal;
    if (t.FRequest.SendTimeout != 0 && sending && now - t.FLastSend > milliseconds(t.FRequest.SendTimeout))
        return 1;
    // Waiting for the answer begins when the request has gone out.
    const bool receiving = t.FRequestSent && !sending;
    if (t.FRequest.ReceiveTimeout != 0 && receiving &&
        now - std::max(t.FLastSend, t.FLastReceive) > milliseconds(t.FRequest.ReceiveTimeout))
        return 1;
    return 0;
}

int TauHTTPTransfer::DebugCallback(CURL*, curl_infotype type, char* bytes, std::size_t size, void* user)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    switch (type) {
    case CURLINFO_HEADER_OUT:
        t.FLastSend = TClock::now();
        t.FRequestSent = true;
        // A new request: whatever answered the one before is not its answer.
        t.FFinal.reset();
        t.FAwaitingTunnel = std::string_view(bytes, size).starts_with("CONNECT ");
        t.Status(30);
        t.Status(31);
        break;
    case CURLINFO_DATA_OUT:
    case CURLINFO_SSL_DATA_OUT:
        t.FLastSend = TClock::now();
        break;
    case CURLINFO_HEADER_IN:
    case CURLINFO_DATA_IN:
    case CURLINFO_SSL_DATA_IN:
        t.FLastReceive = TClock::now();
        break;
    default:
        break;
    }
    return 0;
}

int TauHTTPTransfer::ResolverStartCallback(void*, void*, void* user)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    t.FResolving = true;
    t.Status(10);
    return t.Stopped() ? 1 : 0;
}

int TauHTTPTransfer::SocketOptionCallback(void* user, curl_socket_t, curlsocktype)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    if (std::exchange(t.FResolving, false))
        t.Status(11);
    t.FRequestSent = false;
    t.Status(20);
    return t.Stopped() ? CURL_SOCKOPT_ERROR : CURL_SOCKOPT_OK;
}

int TauHTTPTransfer::PrerequestCallback(void* user, char*, char*, int, int)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    t.FRequestSent = false;
    t.Status(21);
    return t.Stopped() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

int TauHTTPTransfer::CloseSocketCallback(void* user, curl_socket_t socket)
{
    auto& t = *static_cast<TauHTTPTransfer*>(user);
    t.Status(50);
    const bool closed = platform::CloseSocket(socket);
    t.Status(51);
    return closed ? 0 : 1;
}
