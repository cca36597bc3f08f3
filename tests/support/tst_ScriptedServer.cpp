// The scripted server seen from a plain socket client: what it parses, how it
// keeps, closes and resets connections, and that it always stops.

#include "support/ScriptedServer.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

enum class TEnd { Eof, Reset, Timeout };

// A blocking client socket with a receive time-out, so a fault fails the test
// instead of hanging it.
class TClient {
public:
    explicit TClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const timeval limit{10, 0};
        ::setsockopt(fd_.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected_ = ::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        connectError_ = connected_ ? 0 : errno;
    }
    bool Connected() const { return connected_; }
    int ConnectError() const { return connectError_; }

    void Write(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            bytes.remove_prefix(std::size_t(n));
        }
    }
    void WriteBytewise(std::string_view bytes)
    {
        for (char c : bytes)
            Write(std::string_view(&c, 1));
    }
    void CloseWrite() { ::shutdown(fd_.Get(), SHUT_WR); }

    // Exactly count bytes, or fewer when the stream ends first.
    std::string Read(std::size_t count)
    {
        std::string data;
        char chunk[4096];
        while (data.size() < count) {
            const ssize_t n = ::recv(fd_.Get(), chunk, std::min(sizeof chunk, count - data.size()), 0);
            if (n <= 0)
                break;
            data.append(chunk, std::size_t(n));
        }
        return data;
    }
    // Everything up to the end of the stream, and how it ended.
    TEnd ReadToEnd(std::string* data = nullptr)
    {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_.Get(), chunk, sizeof chunk, 0);
            if (n > 0 && data)
                data->append(chunk, std::size_t(n));
            if (n == 0)
                return TEnd::Eof;
            if (n < 0)
                return errno == ECONNRESET ? TEnd::Reset : TEnd::Timeout;
        }
    }
    bool HasDataWithin(int ms)
    {
        pollfd fd{fd_.Get(), POLLIN, 0};
        return ::poll(&fd, 1, ms) > 0;
    }

private:
    TScriptedFd fd_;
    bool connected_ = false;
    int connectError_ = 0;
};

// Answers every request with its own body, so the client sees what was parsed.
void Echo(const TTestRequest& request, TScriptedConnection& connection)
{
    connection.Send(TScriptedServer::Response(200, request.body));
}

// Larger than the socket buffers, so much of it is still in flight when the
// handler closes the connection.
const std::string& LargeAnswer()
{
    static const std::string answer = TScriptedServer::Response(200, std::string(16 << 20, 'b'));
    return answer;
}

}  // namespace

class tst_ScriptedServer : public QObject {
    Q_OBJECT
private slots:
    void parsesRequest_data();
    void parsesRequest();
    void keepsConnectionAlive_data();
    void keepsConnectionAlive();
    void closesOrResets_data();
    void closesOrResets();
    void answersExpectContinue();
    void dropsRequestCutOffByClient();
    void survivesThrowingHandler();
    void servesManyConnectionsAtOnce();
    void releasesGates();
    void stopWakesEveryConnection();
    void stopsAfterLifetime();
};

void tst_ScriptedServer::parsesRequest_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("bytewise");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("host");

    const QByteArray get = "GET /a/b.txt?x=1 HTTP/1.1\r\nHOST: example\r\nAccept: */*\r\n\r\n";
    const QByteArray post = "POST /form HTTP/1.1\r\nHost: example\r\nContent-Length: 9\r\n\r\na=1&b=%20";
    const QByteArray chunked = "POST /up HTTP/1.1\r\nHost: example\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "5;name=x\r\nhello\r\n6\r\n world\r\n0\r\nX-Sum: 1\r\n\r\n";
    const QByteArray proxy = "GET http://www.jd.com/ HTTP/1.1\r\nHost: www.jd.com\r\nProxy-Connection: keep-alive\r\n\r\n";
    const QByteArray tunnel = "CONNECT www.jd.com:443 HTTP/1.1\r\nHost: www.jd.com:443\r\n\r\n";
    const QByteArray bareLf = "POST /lf HTTP/1.0\nHost: example\nContent-Length: 2\n\nok";
    for (bool bytewise : {false, true}) {
        const char* mode = bytewise ? " byte by byte" : "";
        QTest::addRow("get%s", mode) << get << bytewise << QByteArray("GET") << QByteArray("/a/b.txt?x=1") << QByteArray() << QByteArray("example");
        QTest::addRow("content-length%s", mode) << post << bytewise << QByteArray("POST") << QByteArray("/form") << QByteArray("a=1&b=%20") << QByteArray("example");
        QTest::addRow("chunked%s", mode) << chunked << bytewise << QByteArray("POST") << QByteArray("/up") << QByteArray("hello world") << QByteArray("example");
        QTest::addRow("proxy%s", mode) << proxy << bytewise << QByteArray("GET") << QByteArray("http://www.jd.com/") << QByteArray() << QByteArray("www.jd.com");
        QTest::addRow("connect%s", mode) << tunnel << bytewise << QByteArray("CONNECT") << QByteArray("www.jd.com:443") << QByteArray() << QByteArray("www.jd.com:443");
        QTest::addRow("bare LF%s", mode) << bareLf << bytewise << QByteArray("POST") << QByteArray("/lf") << QByteArray("ok") << QByteArray("example");
    }
}

void tst_ScriptedServer::parsesRequest()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, bytewise);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, host);

    TScriptedServer server(Echo);
    TClient client(server.Port());
    QVERIFY(client.Connected());
    if (bytewise)
        client.WriteBytewise(raw.toStdString());
    else
        client.Write(raw.toStdString());
    const std::string expected = TScriptedServer::Response(200, body.toStdString());
    QCOMPARE(client.Read(expected.size()), expected);

    const auto requests = server.Requests();
    QCOMPARE(requests.size(), 1u);
    QCOMPARE(QByteArray::fromStdString(requests[0].method), method);
    QCOMPARE(QByteArray::fromStdString(requests[0].target), target);
    QCOMPARE(QByteArray::fromStdString(requests[0].body), body);
    QCOMPARE(QByteArray::fromStdString(requests[0].Header("host")), host);
    QCOMPARE(requests[0].Header("X-Absent"), std::string());
}

void tst_ScriptedServer::keepsConnectionAlive_data()
{
    QTest::addColumn<bool>("pipelined");
    QTest::newRow("one after the other") << false;
    QTest::newRow("pipelined") << true;
}

void tst_ScriptedServer::keepsConnectionAlive()
{
    QFETCH(bool, pipelined);
    TScriptedServer server(Echo);
    TClient client(server.Port());
    const std::string first = "POST /1 HTTP/1.1\r\nContent-Length: 3\r\n\r\none";
    const std::string second = "POST /2 HTTP/1.1\r\nContent-Length: 3\r\n\r\ntwo";
    const std::string answers = TScriptedServer::Response(200, "one") + TScriptedServer::Response(200, "two");
    if (pipelined) {
        client.Write(first + second);
        QCOMPARE(client.Read(answers.size()), answers);
    } else {
        client.Write(first);
        QCOMPARE(client.Read(TScriptedServer::Response(200, "one").size()), TScriptedServer::Response(200, "one"));
        client.Write(second);
        QCOMPARE(client.Read(TScriptedServer::Response(200, "two").size()), TScriptedServer::Response(200, "two"));
    }
    const auto requests = server.Requests();
    QCOMPARE(requests.size(), 2u);
    QCOMPARE(requests[0].target, std::string("/1"));
    QCOMPARE(requests[1].target, std::string("/2"));
    QCOMPARE(requests[0].connection, requests[1].connection);
}

void tst_ScriptedServer::closesOrResets_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("pipelineMore");
    QTest::addColumn<int>("end");
    QTest::newRow("close") << QByteArray("/close") << false << int(TEnd::Eof);
    // Unread input at close time must not turn the FIN into a reset, which
    // would drop the part of the answer still in flight.
    QTest::newRow("close with a request unread") << QByteArray("/close") << true << int(TEnd::Eof);
    QTest::newRow("reset") << QByteArray("/reset") << false << int(TEnd::Reset);
    QTest::newRow("malformed request") << QByteArray(" / HTTP/1.1") << false << int(TEnd::Eof);
}

void tst_ScriptedServer::closesOrResets()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, pipelineMore);
    QFETCH(int, end);
    TScriptedServer server([](const TTestRequest& request, TScriptedConnection& connection) {
        connection.WaitForRelease("answer");
        if (request.target == "/close") {
            connection.Send(LargeAnswer());
            connection.Close();
        } else {
            connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
            connection.Reset();
        }
    });
    TClient client(server.Port());
    client.Write("GET " + path.toStdString() + " HTTP/1.1\r\nHost: x\r\n\r\n");
    if (pipelineMore) {
        // Sent while the handler is busy, so it is still unread when it closes.
        QVERIFY(server.WaitForRequests(1, 10s));
        client.Write("GET /never HTTP/1.1\r\nHost: x\r\n\r\n");
    }
    server.Release("answer");
    std::string received;
    QCOMPARE(int(client.ReadToEnd(&received)), end);
    if (path == "/close") {
        QCOMPARE(received.size(), LargeAnswer().size());
        QVERIFY(received == LargeAnswer());
    }
    else if (path.startsWith(' '))
        QVERIFY(received.starts_with("HTTP/1.1 400 "));
    QCOMPARE(server.Requests().size(), path.startsWith(' ') ? 0u : 1u);
}

void tst_ScriptedServer::answersExpectContinue()
{
    TScriptedServer server(Echo);
    TClient client(server.Port());
    client.Write("PUT /f HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n");
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    QCOMPARE(client.Read(interim.size()), interim);
    client.Write("data");
    const std::string expected = TScriptedServer::Response(200, "data");
    QCOMPARE(client.Read(expected.size()), expected);
}

void tst_ScriptedServer::dropsRequestCutOffByClient()
{
    TScriptedServer server(Echo);
    {
        TClient cut(server.Port());
        cut.Write("POST /cut HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc");
        cut.CloseWrite();
        QCOMPARE(int(cut.ReadToEnd()), int(TEnd::Eof));
    }
    TClient whole(server.Port());
    whole.Write("GET /whole HTTP/1.1\r\n\r\n");
    QCOMPARE(whole.Read(TScriptedServer::Response(200, "").size()), TScriptedServer::Response(200, ""));
    const auto requests = server.Requests();
    QCOMPARE(requests.size(), 1u);
    QCOMPARE(requests[0].target, std::string("/whole"));
}

void tst_ScriptedServer::survivesThrowingHandler()
{
    TScriptedServer server([](const TTestRequest& request, TScriptedConnection& connection) {
        if (request.target == "/throw")
            throw std::runtime_error("scripted failure");
        Echo(request, connection);
    });
    TClient failing(server.Port());
    failing.Write("GET /throw HTTP/1.1\r\n\r\n");
    std::string received;
    QCOMPARE(int(failing.ReadToEnd(&received)), int(TEnd::Eof));
    QCOMPARE(received, std::string());

    TClient next(server.Port());
    next.Write("GET /ok HTTP/1.1\r\n\r\n");
    QCOMPARE(next.Read(TScriptedServer::Response(200, "").size()), TScriptedServer::Response(200, ""));
}

void tst_ScriptedServer::servesManyConnectionsAtOnce()
{
    // Every handler holds its connection until all requests have arrived,
    // which can only happen when the connections are served side by side.
    constexpr std::size_t count = 16;
    TScriptedServer server([](const TTestRequest& request, TScriptedConnection& connection) {
        connection.WaitForRelease("all");
        Echo(request, connection);
    });
    std::vector<std::unique_ptr<TClient>> clients;
    for (std::size_t i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<TClient>(server.Port()));
        clients.back()->Write("POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\n" + std::to_string(10 + i));
    }
    QVERIFY(server.WaitForRequests(count, 10s));
    server.Release("all");
    std::set<std::size_t> connections;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string expected = TScriptedServer::Response(200, std::to_string(10 + i));
        QCOMPARE(clients[i]->Read(expected.size()), expected);
    }
    for (const auto& request : server.Requests())
        connections.insert(request.connection);
    QCOMPARE(connections.size(), count);
}

void tst_ScriptedServer::releasesGates()
{
    TScriptedServer server([](const TTestRequest& request, TScriptedConnection& connection) {
        connection.WaitForRelease(request.target);
        Echo(request, connection);
    });
    server.Release("/early");  // a gate opened before anyone waits stays open
    TClient early(server.Port());
    early.Write("GET /early HTTP/1.1\r\n\r\n");
    const std::string answer = TScriptedServer::Response(200, "");
    QCOMPARE(early.Read(answer.size()), answer);

    TClient late(server.Port());
    late.Write("GET /late HTTP/1.1\r\n\r\n");
    QVERIFY(server.WaitForRequests(2, 10s));
    server.Release("/other");
    QVERIFY(!late.HasDataWithin(50));
    server.Release("/late");
    QCOMPARE(late.Read(answer.size()), answer);
}

void tst_ScriptedServer::stopWakesEveryConnection()
{
    std::optional<TScriptedServer> server;
    server.emplace([](const TTestRequest& request, TScriptedConnection& connection) {
        if (request.target == "/gate")
            connection.WaitForRelease("never");
        else if (request.target == "/sleep")
            connection.Sleep(1h);
        else
            connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n" + std::string(1 << 22, 'x'));
    });
    std::vector<std::unique_ptr<TClient>> clients;
    for (const char* path : {"/gate", "/sleep", "/flood"}) {
        clients.push_back(std::make_unique<TClient>(server->Port()));
        clients.back()->Write(std::string("GET ") + path + " HTTP/1.1\r\n\r\n");
    }
    clients.push_back(std::make_unique<TClient>(server->Port()));  // idle, no request at all
    QVERIFY(server->WaitForRequests(3, 10s));
    server.reset();  // returns only once every connection thread has ended
    for (auto& client : clients)
        QVERIFY(client->ReadToEnd() != TEnd::Timeout);
}

void tst_ScriptedServer::stopsAfterLifetime()
{
    TScriptedServer server(Echo, 1s);
    TClient idle(server.Port());
    QVERIFY(idle.Connected());
    QCOMPARE(int(idle.ReadToEnd()), int(TEnd::Eof));
    QVERIFY(server.Stopped());
    TClient refused(server.Port());
    QVERIFY(!refused.Connected());
    QCOMPARE(refused.ConnectError(), ECONNREFUSED);
}

QTEST_GUILESS_MAIN(tst_ScriptedServer)
#include "tst_ScriptedServer.moc"
