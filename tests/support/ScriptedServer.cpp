#include "support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

// A request head larger than this is refused rather than buffered forever.
constexpr std::size_t kMaxHeadBytes = 1 << 20;
// How long an orderly close keeps reading what the client still sends, so that
// unread bytes do not turn the FIN into a reset.
constexpr int kDrainMs = 2000;

void Log(const char* what, const char* detail)
{
    std::fprintf(stderr, "ScriptedServer: %s%s%s\n", what, detail[0] ? ": " : "", detail);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool ContainsText(std::string_view haystack, std::string_view needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                       [](char x, char y) { return Lower(x) == Lower(y); }) != haystack.end();
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

enum class TParse { Incomplete, Complete, Bad };

// Reads one line ending in LF (a CR before it is dropped) starting at pos.
bool NextLine(std::string_view buffer, std::size_t& pos, std::string_view& line)
{
    const std::size_t nl = buffer.find('\n', pos);
    if (nl == std::string_view::npos)
        return false;
    line = buffer.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    pos = nl + 1;
    return true;
}

TParse ParseChunkedBody(std::string_view buffer, std::size_t& pos, std::string& body)
{
    for (;;) {
        std::string_view line;
        if (!NextLine(buffer, pos, line))
            return TParse::Incomplete;
        line = Trim(line.substr(0, line.find(';')));
        std::size_t size = 0;
        const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), size, 16);
        if (line.empty() || ec != std::errc() || end != line.data() + line.size())
            return TParse::Bad;
        if (size == 0) {
            // Trailer fields up to the empty line; they are not kept.
            do {
                if (!NextLine(buffer, pos, line))
                    return TParse::Incomplete;
            } while (!line.empty());
            return TParse::Complete;
        }
        if (buffer.size() - pos < size)
            return TParse::Incomplete;
        body.append(buffer.substr(pos, size));
        pos += size;
        if (!NextLine(buffer, pos, line))
            return TParse::Incomplete;
        if (!line.empty())
            return TParse::Bad;
    }
}

// Parses the first request in buffer. headComplete tells whether the head has
// fully arrived (even when the body has not), for the interim 100 answer.
TParse ParseRequest(std::string_view buffer, TTestRequest& request, std::size_t& consumed, bool& headComplete)
{
    headComplete = false;
    std::size_t pos = 0;
    std::string_view line;
    // Empty lines before a request are tolerated, as HTTP/1.1 asks of servers.
    do {
        if (!NextLine(buffer, pos, line))
            return buffer.size() > kMaxHeadBytes ? TParse::Bad : TParse::Incomplete;
    } while (line.empty());
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp1 == 0 || sp2 == std::string_view::npos || sp2 == sp1 + 1 || !line.substr(sp2 + 1).starts_with("HTTP/"))
        return TParse::Bad;
    request.method = line.substr(0, sp1);
    request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    request.version = line.substr(sp2 + 1);
    request.headers.clear();
    for (;;) {
        if (!NextLine(buffer, pos, line))
            return pos > kMaxHeadBytes || buffer.size() > kMaxHeadBytes ? TParse::Bad : TParse::Incomplete;
        if (line.empty())
            break;
        if ((line.front() == ' ' || line.front() == '\t') && !request.headers.empty()) {
            // Obsolete line folding: the line continues the previous value.
            request.headers.back().second.append(" ").append(Trim(line));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return TParse::Bad;
        request.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }
    headComplete = true;
    request.body.clear();
    if (ContainsText(request.Header("Transfer-Encoding"), "chunked")) {
        const TParse result = ParseChunkedBody(buffer, pos, request.body);
        if (result == TParse::Complete)
            consumed = pos;
        return result;
    }
    const std::string length = request.Header("Content-Length");
    std::size_t size = 0;
    if (!length.empty()) {
        const auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), size);
        if (ec != std::errc() || end != length.data() + length.size())
            return TParse::Bad;
    }
    if (buffer.size() - pos < size)
        return TParse::Incomplete;
    request.body.assign(buffer.substr(pos, size));
    consumed = pos + size;
    return TParse::Complete;
}

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

}  // namespace

void TScriptedFd::Close()
{
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

std::string TTestRequest::Header(std::string_view name) const
{
    for (const auto& [key, value] : headers)
        if (SameText(key, name))
            return value;
    return {};
}

// --- TScriptedConnection -----------------------------------------------------

TScriptedConnection::TScriptedConnection(TScriptedServer& server, TScriptedFd fd) : server_(server), fd_(std::move(fd)) {}

TScriptedConnection::~TScriptedConnection() = default;

int TScriptedConnection::WaitReady(short events, int timeoutMs) const
{
    pollfd fds[2] = {{fd_.Get(), events, 0}, {server_.wake_.Get(), POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || fds[1].revents != 0)
            return -1;
        return n == 0 ? 0 : 1;
    }
}

void TScriptedConnection::Send(std::string_view bytes)
{
    while (!bytes.empty() && Open()) {
        const ssize_t n = ::send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(std::size_t(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (WaitReady(POLLOUT, -1) < 0)
                return;
        } else if (!(n < 0 && errno == EINTR)) {
            peerGone_ = true;
        }
    }
}

bool TScriptedConnection::Receive(std::string& buffer)
{
    char chunk[16384];
    for (;;) {
        if (fd_.Get() < 0 || WaitReady(POLLIN, -1) < 0)
            return false;
        const ssize_t n = ::recv(fd_.Get(), chunk, sizeof chunk, 0);
        if (n > 0) {
            buffer.append(chunk, std::size_t(n));
            return true;
        }
        if (n == 0)
            return false;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            peerGone_ = true;
            return false;
        }
    }
}

void TScriptedConnection::Sleep(std::chrono::milliseconds ms)
{
    std::unique_lock lock(server_.mutex_);
    server_.changed_.wait_for(lock, ms, [this] { return server_.stopping_.load(); });
}

void TScriptedConnection::WaitForRelease(std::string_view gate)
{
    std::unique_lock lock(server_.mutex_);
    server_.changed_.wait(lock, [&] { return server_.stopping_.load() || server_.released_.find(gate) != server_.released_.end(); });
}

bool TScriptedConnection::WaitForClientClose()
{
    std::string ignored;
    while (Receive(ignored))
        ignored.clear();
    return !server_.stopping_.load();
}

void TScriptedConnection::Close()
{
    if (fd_.Get() < 0 || closeRequested_)
        return;
    closeRequested_ = true;
    // The FIN goes out now, while the handler may still sleep or wait.
    ::shutdown(fd_.Get(), SHUT_WR);
}

void TScriptedConnection::Reset()
{
    if (fd_.Get() < 0)
        return;
    const linger abortive{1, 0};
    ::setsockopt(fd_.Get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    fd_.Close();
}

void TScriptedConnection::FinishClose()
{
    if (fd_.Get() < 0)
        return;
    if (!closeRequested_)
        ::shutdown(fd_.Get(), SHUT_WR);
    closeRequested_ = true;
    // Closing with unread input makes the kernel answer with a reset, which
    // could destroy the response still on its way; read until the client
    // closes its side too, for a bounded time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
    char sink[16384];
    while (!peerGone_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || WaitReady(POLLIN, int(left)) <= 0)
            break;
        const ssize_t n = ::recv(fd_.Get(), sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            break;
    }
    fd_.Close();
}

// --- TScriptedServer ---------------------------------------------------------

TScriptedServer::TScriptedServer(THandler handler, std::chrono::seconds lifetime)
    : handler_(std::move(handler)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    const auto deadline = std::chrono::steady_clock::now() + lifetime;
    if (wake_.Get() < 0)
        throw std::runtime_error(std::string("ScriptedServer: eventfd: ") + std::strerror(errno));
    TScriptedFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener.Get() < 0 || ::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener.Get(), SOMAXCONN) != 0
        || ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error(std::string("ScriptedServer: cannot listen on 127.0.0.1: ") + std::strerror(errno));
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread(&TScriptedServer::AcceptLoop, this, std::move(listener), deadline);
}

TScriptedServer::~TScriptedServer()
{
    Stop();
    if (acceptor_.joinable())
        acceptor_.join();
    for (auto& worker : workers_)
        worker->thread.join();
}

std::string TScriptedServer::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<TTestRequest> TScriptedServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

bool TScriptedServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void TScriptedServer::Release(std::string_view gate)
{
    {
        std::lock_guard lock(mutex_);
        released_.emplace(gate);
    }
    changed_.notify_all();
}

std::string TScriptedServer::Response(int status, std::string_view body, std::string_view extraHeaders)
{
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (!extraHeaders.empty()) {
        text += extraHeaders;
        if (!text.ends_with("\r\n"))
            text += "\r\n";
    }
    text += "\r\n";
    text += body;
    return text;
}

void TScriptedServer::Stop()
{
    {
        // Under the mutex, so no waiter can test the flag and then miss the notification.
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
}

void TScriptedServer::ReapFinished()
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if ((*it)->done.load()) {
            (*it)->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void TScriptedServer::AcceptLoop(TScriptedFd listener, std::chrono::steady_clock::time_point deadline)
{
    std::size_t serial = 0;
    while (!stopping_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            // The listener goes first, so a client that sees its connection
            // end can rely on new connections being refused.
            Log("lifetime over, stopping", "");
            listener.Close();
            Stop();
            break;
        }
        pollfd fds[2] = {{listener.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
        const int n = ::poll(fds, 2, int(std::min<long long>(left, INT_MAX)));
        if (n < 0 && errno != EINTR) {
            Log("poll", std::strerror(errno));
            Stop();
            break;
        }
        if (n <= 0 || fds[1].revents != 0)
            continue;
        TScriptedFd fd(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (fd.Get() < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
                // Out of descriptors, most likely: give the clients a moment to close some.
                Log("accept", std::strerror(errno));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            continue;
        }
        ReapFinished();
        auto worker = std::make_unique<TWorker>();
        TWorker& slot = *worker;
        try {
            slot.thread = std::thread([this, &slot, fd = std::move(fd), id = ++serial]() mutable {
                Serve(std::move(fd), id);
                slot.done = true;
            });
            workers_.push_back(std::move(worker));
        } catch (const std::system_error& error) {
            Log("cannot start a connection thread", error.what());
        }
    }
    // The listener closes here: once stopped, new connections are refused.
}

void TScriptedServer::Serve(TScriptedFd fd, std::size_t serial)
{
    TScriptedConnection connection(*this, std::move(fd));
    std::string buffer;
    bool continueSent = false;
    while (!stopping_) {
        TTestRequest request;
        std::size_t consumed = 0;
        bool headComplete = false;
        const TParse result = ParseRequest(buffer, request, consumed, headComplete);
        if (result == TParse::Bad) {
            Log("malformed request, closing the connection", "");
            connection.Send(Response(400, "", "Connection: close"));
            break;
        }
        if (result == TParse::Complete) {
            buffer.erase(0, consumed);
            continueSent = false;
            request.connection = serial;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            changed_.notify_all();
            try {
                if (handler_)
                    handler_(request, connection);
            } catch (const std::exception& error) {
                Log("handler threw, closing the connection", error.what());
                break;
            } catch (...) {
                Log("handler threw, closing the connection", "unknown exception");
                break;
            }
            if (!connection.Open())
                break;
            continue;
        }
        // A client that asks before sending its body would otherwise wait
        // (curl: one second) for this interim answer.
        if (headComplete && !continueSent && SameText(request.Header("Expect"), "100-continue")) {
            connection.Send("HTTP/1.1 100 Continue\r\n\r\n");
            continueSent = true;
        }
        // The end of the stream drops a request that has not fully arrived.
        if (!connection.Receive(buffer))
            break;
    }
    connection.FinishClose();
}
