#pragma once
// A small scripted HTTP/1.1 server for tests, on 127.0.0.1 and a free port.
//
// Plain C++ (POSIX sockets, std::thread, no Qt): it accepts and serves on its
// own threads, so it keeps answering while the test's window thread is busy
// or blocked. Every connection has its own thread; the handler runs on it once
// per complete request and scripts the answer byte by byte. The server stops
// by itself after its lifetime, so a test that hangs never leaves it behind.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct TTestRequest {
    std::string method, target, version;  // target as sent: "/path?q", an absolute URI (proxy) or "host:443" (CONNECT)
    std::vector<std::pair<std::string, std::string>> headers;  // in order, names as sent
    std::string body;                      // by Content-Length, or de-chunked
    std::size_t connection = 0;            // serial number of the connection it came on, from 1
    // The first header of that name, compared case-insensitively; "" when absent.
    std::string Header(std::string_view name) const;
};

class TScriptedServer;

// Owns one file descriptor; closes it when destroyed.
class TScriptedFd {
public:
    explicit TScriptedFd(int fd = -1) : fd_(fd) {}
    ~TScriptedFd() { Close(); }
    TScriptedFd(TScriptedFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TScriptedFd& operator=(TScriptedFd&&) = delete;
    TScriptedFd(const TScriptedFd&) = delete;
    TScriptedFd& operator=(const TScriptedFd&) = delete;
    int Get() const { return fd_; }
    void Close();

private:
    int fd_;
};

// One accepted connection, handed to the handler. Every call blocks only the
// connection's own thread, and every wait ends early when the server stops.
class TScriptedConnection {
public:
    TScriptedConnection(const TScriptedConnection&) = delete;
    TScriptedConnection& operator=(const TScriptedConnection&) = delete;
    ~TScriptedConnection();

    // Raw bytes, e.g. a status line and headers, then part of a body. Quietly
    // does nothing once the connection is closed, reset or gone at the client.
    void Send(std::string_view bytes);
    void Sleep(std::chrono::milliseconds ms);
    // Blocks until TScriptedServer::Release(gate) (before or after this call)
    // or until the server stops.
    void WaitForRelease(std::string_view gate);
    // Blocks until the client has closed its end (or reset it), reading and
    // dropping whatever it still sends; false when the server stops first.
    bool WaitForClientClose();
    // Orderly close (FIN) after what was sent; the client sees the end of the
    // stream, never a reset, even if it had pipelined more requests.
    void Close();
    // Abortive close (RST, SO_LINGER 0): the client sees a connection reset.
    void Reset();

private:
    friend class TScriptedServer;
    TScriptedConnection(TScriptedServer& server, TScriptedFd fd);
    bool Open() const { return fd_.Get() >= 0 && !closeRequested_ && !peerGone_; }
    // Waits until the socket is ready for events: 1 when ready, 0 after
    // timeoutMs (-1: no limit), -1 when the server stops.
    int WaitReady(short events, int timeoutMs) const;
    // Appends whatever bytes have arrived; false at the end of the stream,
    // on an error or when the server stops.
    bool Receive(std::string& buffer);
    void FinishClose();

    TScriptedServer& server_;
    TScriptedFd fd_;
    bool closeRequested_ = false;
    bool peerGone_ = false;
};

class TScriptedServer {
public:
    // Called on the connection's thread, possibly on several at once.
    using THandler = std::function<void(const TTestRequest&, TScriptedConnection&)>;

    // Listens at once; throws std::runtime_error when it cannot.
    explicit TScriptedServer(THandler handler, std::chrono::seconds lifetime = std::chrono::seconds(120));
    // Stops: closes the listener and every connection, joins every thread.
    ~TScriptedServer();
    TScriptedServer(const TScriptedServer&) = delete;
    TScriptedServer& operator=(const TScriptedServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string BaseUrl() const;  // "http://127.0.0.1:<port>"
    // Every complete request received so far, in arrival order.
    std::vector<TTestRequest> Requests() const;
    // True once at least count requests have arrived; false after timeout.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    // Opens gate for every present and future WaitForRelease(gate).
    void Release(std::string_view gate);
    // True once the lifetime is over (or the server is being destroyed).
    bool Stopped() const { return stopping_.load(); }

    // A complete answer with Content-Length. extraHeaders are whole header
    // lines ("Name: value", separated and optionally ended by CRLF).
    static std::string Response(int status, std::string_view body, std::string_view extraHeaders = {});

private:
    friend class TScriptedConnection;
    struct TWorker {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void AcceptLoop(TScriptedFd listener, std::chrono::steady_clock::time_point deadline);
    void Serve(TScriptedFd fd, std::size_t serial);
    void Stop();
    void ReapFinished();

    THandler handler_;
    std::uint16_t port_ = 0;
    TScriptedFd wake_;  // eventfd, made readable at stop and never drained; every poll watches it
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;  // new request, gate released or stop
    std::vector<TTestRequest> requests_;
    std::set<std::string, std::less<>> released_;

    // Touched only by the acceptor thread until it has been joined.
    std::list<std::unique_ptr<TWorker>> workers_;
    std::thread acceptor_;
};
