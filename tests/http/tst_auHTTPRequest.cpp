// What the engine sends and how it meets the server: request lines and
// headers as the server received them, form data, escaping, redirects,
// authentication by server and proxy, proxy modes, cookies, status events
// and time-outs.

#include "http/HTTPEventLog.h"
#include "http/auHTTP.h"
#include "support/ScriptedServer.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <memory>

using namespace std::chrono_literals;

namespace {


TScriptedServer::THandler Always(int status, std::string body, std::string headers = {})
{
    return [=](const TTestRequest&, TScriptedConnection& c) { c.Send(TScriptedServer::Response(status, body, headers)); };
}

// The header exactly as named on the wire, or "<absent>".
std::string SentHeader(const TTestRequest& request, const std::string& name)
{
    for (const auto& [n, v] : request.headers)
        if (n == name)
            return v;
    return "<absent>";
}

std::string Basic(const char* credentials)
{
    return "Basic " + QByteArray(credentials).toBase64().toStdString();
}

} // namespace

class tst_auHTTPRequest : public QObject {
    Q_OBJECT

private slots:
    void requestHeaders();
    void plainRequestAddsNothing();
    void range_data();
    void range();
    void form_data();
    void form();
    void addressEscaping_data();
    void addressEscaping();
    void addressWithoutScheme();
    void redirect_data();
    void redirect();

    void login_data();
    void login();
    void resendFails();
    void resendCarriesCredentials_data();
    void resendCarriesCredentials();
    void credentials_data();
    void credentials();
    void proxyAuthentication_data();
    void proxyAuthentication();
    void proxyModes_data();
    void proxyModes();
    void cookies();

    void statusEvents();
    void silentServer_data();
    void silentServer();
    void explicitTimeoutWins();

private:
    TNoProxyEnvironment FNoProxy;
};

void tst_auHTTPRequest::requestHeaders()
{
    TScriptedServer server(Always(200, "ok"));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/dir/file.txt?lang=zh");
    http.ExtraHeaders() = {"X-Shopscope: 1", "X-Version: 1.1.610"};
    http.Range().SetStartRange(100);
    http.SetUseCache(false);
    http.SetReferer("http://www.shopscope.test/start");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));

    const TTestRequest r = server.Requests().at(0);
    QCOMPARE(r.method, std::string("GET"));
    QCOMPARE(r.target, std::string("/dir/file.txt?lang=zh"));
    QCOMPARE(SentHeader(r, "X-Shopscope"), std::string("1"));
    QCOMPARE(SentHeader(r, "X-Version"), std::string("1.1.610"));
    QCOMPARE(SentHeader(r, "RANGE"), std::string("bytes=100-"));
    QCOMPARE(SentHeader(r, "Cache-Control"), std::string("no-cache"));
    QCOMPARE(SentHeader(r, "Pragma"), std::string("no-cache"));
    QCOMPARE(SentHeader(r, "Accept"), std::string("text/html, */*"));
    QCOMPARE(r.Header("User-Agent"), http.UserAgent());
    QCOMPARE(r.Header("Referer"), std::string("http://www.shopscope.test/start"));
}

void tst_auHTTPRequest::plainRequestAddsNothing()
{
    TScriptedServer server(Always(200, "ok"));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/file.txt");
    http.SetAcceptTypes("");
    http.SetUserAgent("");
    QVERIFY(log.Transfer());
    const TTestRequest r = server.Requests().at(0);
    for (const char* name : {"RANGE", "Cache-Control", "Pragma", "Content-Type", "Accept", "User-Agent",
                             "Referer", "Authorization", "Cookie"})
        QVERIFY2(r.Header(name).empty(), name);
}

void tst_auHTTPRequest::range_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("from 100 on") << 100 << 0 << QByteArray("bytes=100-");
    QTest::newRow("first hundred") << 0 << 99 << QByteArray("bytes=0-99");
    QTest::newRow("middle") << 5 << 10 << QByteArray("bytes=5-10");
}

// A range is answered with 206, which counts as an HTTP error with the
// partial body.
void tst_auHTTPRequest::range()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QByteArray, line);

    TScriptedServer server(Always(206, "partial", "Content-Range: bytes 5-11/100"));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/file.bin");
    http.Range().SetStartRange(start);
    http.Range().SetEndRange(end);
    QVERIFY(log.Transfer());
    QCOMPARE(SentHeader(server.Requests().at(0), "RANGE"), line.toStdString());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Failure HTTPError"));
    QCOMPARE(log.StatusCode, 206);
    QCOMPARE(log.Body, std::string("partial"));
}

void tst_auHTTPRequest::form_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QByteArray>("postData");
    QTest::addColumn<QByteArray>("verb");

    QTest::newRow("auto with data") << int(rmAuto) << QByteArray("q=%E6%89%8B%E6%9C%BA&page=2") << QByteArray("POST");
    QTest::newRow("auto without data") << int(rmAuto) << QByteArray() << QByteArray("GET");
    QTest::newRow("post without data") << int(rmPost) << QByteArray() << QByteArray("POST");
    QTest::newRow("get with data") << int(rmGet) << QByteArray("q=1") << QByteArray("GET");
}

void tst_auHTTPRequest::form()
{
    QFETCH(int, method);
    QFETCH(QByteArray, postData);
    QFETCH(QByteArray, verb);

    TScriptedServer server(Always(200, "ok"));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/search");
    http.SetRequestMethod(TRequestMethod(method));
    http.SetPostData(postData.toStdString());
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    const TTestRequest r = server.Requests().at(0);
    QCOMPARE(r.method, verb.toStdString());
    if (verb == "POST") {
        QCOMPARE(r.body, postData.toStdString());
        QCOMPARE(r.Header("Content-Type"), std::string("application/x-www-form-urlencoded"));
        QCOMPARE(r.Header("Expect"), std::string());
    } else {
        QCOMPARE(r.body, std::string());
        QCOMPARE(r.Header("Content-Type"), std::string());
    }
}

void tst_auHTTPRequest::addressEscaping_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("escaped question mark") << QByteArray("/a%3Fb.txt") << QByteArray("/a%3Fb.txt");
    QTest::newRow("escaped slash") << QByteArray("/dir%2Fname/x.txt?q=%26x") << QByteArray("/dir%2Fname/x.txt?q=%26x");
    QTest::newRow("blank") << QByteArray("/my file.txt") << QByteArray("/my%20file.txt");
    QTest::newRow("non-ASCII") << QByteArray("/\xe6\x96\x87.txt") << QByteArray("/%E6%96%87.txt");
}

// The request goes out with the address's own escaping: decoding it first
// would turn "%2F" into a path separator and "%3F" into a query.
void tst_auHTTPRequest::addressEscaping()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, target);

    TScriptedServer server(Always(200, "ok"));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + path.toStdString());
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(server.Requests().at(0).target, target.toStdString());
}

void tst_auHTTPRequest::addressWithoutScheme()
{
    TScriptedServer server(Always(200, "plain"));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL("127.0.0.1:" + std::to_string(server.Port()) + "/info.inf");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(log.Body, std::string("plain"));
    QCOMPARE(server.Requests().at(0).target, std::string("/info.inf"));
}

void tst_auHTTPRequest::redirect_data()
{
    QTest::addColumn<bool>("otherServer");
    QTest::newRow("relative location") << false;
    QTest::newRow("other server") << true;
}

// A followed redirect raises OnStatus 110 and OnRedirect with the absolute
// new address, on the worker; the transfer ends with the new target's body.
void tst_auHTTPRequest::redirect()
{
    QFETCH(bool, otherServer);

    TScriptedServer target(Always(200, "moved body"));
    std::string location = otherServer ? target.BaseUrl() + "/new/file.txt" : "/new/file.txt";
    TScriptedServer server([&](const TTestRequest& r, TScriptedConnection& c) {
        if (r.target == "/old/file.txt")
            c.Send(TScriptedServer::Response(301, "see there", "Location: " + location));
        else
            c.Send(TScriptedServer::Response(200, "moved body"));
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/old/file.txt");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(log.Body, std::string("moved body"));
    const std::string absolute = (otherServer ? target.BaseUrl() : server.BaseUrl()) + "/new/file.txt";
    QCOMPARE(log.Redirects(), std::vector<std::string>{absolute});
    const std::vector<std::int32_t> codes = log.StatusCodes();
    const auto marker = std::find(codes.begin(), codes.end(), -110);
    QVERIFY(marker != codes.begin() && marker != codes.end());
    QCOMPARE(*(marker - 1), 110);
    QCOMPARE((otherServer ? target : server).Requests().back().target, std::string("/new/file.txt"));
}

namespace {
// Answers 401 until the request carries the expected credentials.
TScriptedServer::THandler Protected(std::string authorization)
{
    return [authorization](const TTestRequest& r, TScriptedConnection& c) {
        if (r.Header("Authorization") == authorization)
            c.Send(TScriptedServer::Response(200, "secret"));
        else
            c.Send(TScriptedServer::Response(401, "denied", "WWW-Authenticate: Basic realm=\"Shop files\""));
    };
}
} // namespace

void tst_auHTTPRequest::login_data()
{
    QTest::addColumn<int>("answers");        // TryAgain answers before the handler gives up; -1: no handler
    QTest::addColumn<bool>("rightPassword");  // what the handler supplies
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("answered") << 1 << true << QByteArray("LoginRequest HeaderInfo Done") << QByteArray("secret");
    QTest::newRow("no handler") << -1 << true << QByteArray("HeaderInfo Failure HTTPError") << QByteArray("denied");
    QTest::newRow("handler refuses") << 0 << true << QByteArray("LoginRequest HeaderInfo Failure HTTPError")
                                     << QByteArray("denied");
    // Once per pass, until the handler stops asking for another.
    QTest::newRow("server keeps refusing")
        << 2 << false << QByteArray("LoginRequest LoginRequest LoginRequest HeaderInfo Failure HTTPError")
        << QByteArray("denied");
}

// A 401 raises OnLoginRequest with the realm; the resend carries what the
// handler left in HTTPUsername and HTTPPassword. Without a handler, or once
// it gives up, the 401 and its body are the answer.
void tst_auHTTPRequest::login()
{
    QFETCH(int, answers);
    QFETCH(bool, rightPassword);
    QFETCH(QByteArray, sequence);
    QFETCH(QByteArray, body);

    TScriptedServer server(Protected(Basic("shopper:s3cret")));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    int asked = 0;
    log.AnswerLogin = [&](const std::string&, bool& tryAgain) {
        http.SetHTTPUsername("shopper");
        http.SetHTTPPassword(rightPassword ? "s3cret" : "wrong");
        tryAgain = asked++ < answers;
    };
    if (answers < 0)
        http.OnLoginRequest = nullptr;
    http.SetURL(server.BaseUrl() + "/private/setup.exe");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    QCOMPARE(log.Body, body.toStdString());
    for (const std::string& realm : log.Realms)
        QCOMPARE(realm, std::string("Shop files"));
    if (sequence.endsWith("Done"))
        QCOMPARE(server.Requests().back().Header("Authorization"), Basic("shopper:s3cret"));
    else
        QCOMPARE(log.StatusCode, 401);
    if (answers < 0)
        QCOMPARE(server.Requests().size(), std::size_t(1));
}

// The resend fails: the status of the pass before stands.
void tst_auHTTPRequest::resendFails()
{
    std::atomic<int> requests{0};
    TScriptedServer server([&](const TTestRequest&, TScriptedConnection& c) {
        if (requests++ == 0)
            c.Send(TScriptedServer::Response(401, "denied", "WWW-Authenticate: Basic realm=\"Shop files\""));
        else
            c.Reset();
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    log.AnswerLogin = [&](const std::string&, bool& tryAgain) {
        http.SetHTTPUsername("shopper");
        tryAgain = true;
    };
    http.SetURL(server.BaseUrl() + "/private/setup.exe");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("LoginRequest Failure HTTPError"));
    QCOMPARE(log.StatusCode, 401);
    QCOMPARE(log.DataKind, std::string("none"));
}

void tst_auHTTPRequest::resendCarriesCredentials_data()
{
    QTest::addColumn<QByteArray>("challenge");
    QTest::addColumn<QByteArray>("postData");
    QTest::addColumn<QByteArray>("scheme");  // of the resend's Authorization

    const QByteArray basic = "WWW-Authenticate: Basic realm=\"Shop files\"";
    QTest::newRow("basic") << basic << QByteArray() << QByteArray("Basic");
    QTest::newRow("basic, form") << basic << QByteArray("user=1&order=2") << QByteArray("Basic");
    QTest::newRow("digest") << QByteArray("WWW-Authenticate: Digest realm=\"Shop files\", nonce=\"5f1c\", qop=\"auth\"")
                            << QByteArray() << QByteArray("Digest");
}

// After OnLoginRequest the server sees exactly one more request, and it
// carries the credentials for the scheme the server named: no probe without
// them first, so a form goes out twice, not three times.
void tst_auHTTPRequest::resendCarriesCredentials()
{
    QFETCH(QByteArray, challenge);
    QFETCH(QByteArray, postData);
    QFETCH(QByteArray, scheme);

    TScriptedServer server([&](const TTestRequest& r, TScriptedConnection& c) {
        if (r.Header("Authorization").starts_with(scheme.toStdString() + " "))
            c.Send(TScriptedServer::Response(200, "secret"));
        else
            c.Send(TScriptedServer::Response(401, "denied", challenge.toStdString()));
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    log.AnswerLogin = [&](const std::string&, bool& tryAgain) {
        http.SetHTTPUsername("shopper");
        http.SetHTTPPassword("s3cret");
        tryAgain = true;
    };
    http.SetURL(server.BaseUrl() + "/private/setup.exe");
    http.SetPostData(postData.toStdString());
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("LoginRequest HeaderInfo Done"));
    const std::vector<TTestRequest> requests = server.Requests();
    QCOMPARE(requests.size(), std::size_t(2));
    QCOMPARE(requests[0].Header("Authorization"), std::string());
    QVERIFY(requests[1].Header("Authorization").starts_with(scheme.toStdString() + " "));
    for (const TTestRequest& r : requests)
        QCOMPARE(r.body, postData.toStdString());
    if (scheme == "Basic")
        QCOMPARE(requests[1].Header("Authorization"), Basic("shopper:s3cret"));
}

void tst_auHTTPRequest::credentials_data()
{
    QTest::addColumn<QByteArray>("userInfo");  // put before the host in the address
    QTest::addColumn<QByteArray>("user");      // HTTPUsername
    QTest::addColumn<QByteArray>("password");  // HTTPPassword
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("in the address") << QByteArray("shopper:s3cret@") << QByteArray() << QByteArray()
                                    << QByteArray("shopper:s3cret");
    QTest::newRow("escaped in the address") << QByteArray("shop%40per:s%3Acret@") << QByteArray() << QByteArray()
                                            << QByteArray("shop@per:s:cret");
    QTest::newRow("from the component") << QByteArray() << QByteArray("shopper") << QByteArray("s3cret")
                                        << QByteArray("shopper:s3cret");
    QTest::newRow("address first, each part") << QByteArray("buyer@") << QByteArray("shopper")
                                              << QByteArray("s3cret") << QByteArray("buyer:s3cret");
}

// Credentials go with the connection: the library answers the challenge
// itself and no login event is needed.
void tst_auHTTPRequest::credentials()
{
    QFETCH(QByteArray, userInfo);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, expected);

    TScriptedServer server(Protected(Basic(expected.constData())));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetHTTPUsername(user.toStdString());
    http.SetHTTPPassword(password.toStdString());
    http.SetURL("http://" + userInfo.toStdString() + "127.0.0.1:" + std::to_string(server.Port()) + "/private/a");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(server.Requests().back().Header("Authorization"), Basic(expected.constData()));
}

void tst_auHTTPRequest::proxyAuthentication_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<bool>("handler");
    QTest::addColumn<QByteArray>("answer");  // to a request that carries the credentials
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<int>("status");  // of OnHTTPError
    QTest::addColumn<QByteArray>("target");

    const QByteArray http = "http://files.shopscope.test/Upgrader.inf";
    const QByteArray https = "https://files.shopscope.test/Upgrader.inf";
    const QByteArray ok = QByteArray::fromStdString(TScriptedServer::Response(200, "via proxy"));
    QTest::newRow("answered") << http << true << ok << QByteArray("ProxyAuthenticationRequest HeaderInfo Done") << -1
                              << http;
    QTest::newRow("no handler") << http << false << ok << QByteArray("HeaderInfo Failure HTTPError") << 407 << http;
    // For https the proxy's answers to CONNECT count, its 407 included...
    QTest::newRow("tunnel refused after the login")
        << https << true << QByteArray::fromStdString(TScriptedServer::Response(403, "no tunnels"))
        << QByteArray("ProxyAuthenticationRequest HeaderInfo Failure HTTPError") << 403
        << QByteArray("files.shopscope.test:443");
    // ...but not the "200" that opens the tunnel: that pass gets no answer,
    // and the 407 of the pass before stands.
    QTest::newRow("tunnel up, then no TLS")
        << https << true << QByteArray("HTTP/1.1 200 Connection established\r\n\r\nnot TLS")
        << QByteArray("ProxyAuthenticationRequest Failure HTTPError") << 407 << QByteArray("files.shopscope.test:443");
}

// The test server stands in for a proxy that wants credentials: a 407
// raises OnProxyAuthenticationRequest, and the resend carries its answer.
void tst_auHTTPRequest::proxyAuthentication()
{
    QFETCH(QByteArray, url);
    QFETCH(bool, handler);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, sequence);
    QFETCH(int, status);
    QFETCH(QByteArray, target);

    TScriptedServer proxy([&](const TTestRequest& r, TScriptedConnection& c) {
        if (r.Header("Proxy-Authorization") == Basic("puser:ppass")) {
            c.Send(answer.toStdString());
            c.Close();
        } else {
            c.Send(TScriptedServer::Response(407, "who are you", "Proxy-Authenticate: Basic realm=\"proxy\""));
        }
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    log.AnswerProxy = [](std::string& user, std::string& password, bool& tryAgain) {
        QCOMPARE(user, std::string("kept"));
        user = "puser";
        password = "ppass";
        tryAgain = true;
    };
    if (!handler)
        http.OnProxyAuthenticationRequest = nullptr;
    http.SetProxyUsername("kept");
    http.Proxy().SetAccessType(atUseProxy);
    http.Proxy().SetProxyServer("127.0.0.1");
    http.Proxy().SetProxyPort(proxy.Port());
    http.SetURL(url.toStdString());
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    if (status != -1)
        QCOMPARE(log.StatusCode, status);
    else
        QCOMPARE(log.Body, std::string("via proxy"));
    QCOMPARE(proxy.Requests().back().target, target.toStdString());
    QCOMPARE(http.ProxyUsername(), std::string(handler ? "puser" : "kept"));
    // The resend carries the credentials at once: no probe without them.
    if (sequence.endsWith("Done"))
        QCOMPARE(proxy.Requests().size(), std::size_t(2));
}

void tst_auHTTPRequest::proxyModes_data()
{
    QTest::addColumn<int>("accessType");
    QTest::addColumn<bool>("environmentProxy");  // http_proxy names the proxy
    QTest::addColumn<QByteArray>("noProxy");     // the environment's no_proxy
    QTest::addColumn<QByteArray>("bypass");
    QTest::addColumn<QByteArray>("host");  // "remote" cannot be reached without the proxy
    QTest::addColumn<bool>("viaProxy");

    QTest::newRow("named proxy") << int(atUseProxy) << false << QByteArray() << QByteArray("")
                                 << QByteArray("remote") << true;
    QTest::newRow("named proxy, default bypass") << int(atUseProxy) << false << QByteArray()
                                                 << QByteArray("127.0.0.1;") << QByteArray("127.0.0.1") << false;
    QTest::newRow("named proxy, local names") << int(atUseProxy) << false << QByteArray() << QByteArray("<local>")
                                              << QByteArray("localhost") << false;
    QTest::newRow("named proxy, wildcard") << int(atUseProxy) << false << QByteArray()
                                           << QByteArray("*.shopscope.test;127.0.0.*") << QByteArray("127.0.0.1")
                                           << false;
    QTest::newRow("named proxy, no_proxy ignored") << int(atUseProxy) << false << QByteArray("*") << QByteArray("")
                                                   << QByteArray("remote") << true;
    QTest::newRow("system proxy") << int(atPreconfig) << true << QByteArray() << QByteArray("127.0.0.1;")
                                  << QByteArray("remote") << true;
    QTest::newRow("system, none set") << int(atPreconfig) << false << QByteArray() << QByteArray()
                                      << QByteArray("127.0.0.1") << false;
    QTest::newRow("direct despite the system") << int(atDirect) << true << QByteArray() << QByteArray()
                                               << QByteArray("127.0.0.1") << false;
}

void tst_auHTTPRequest::proxyModes()
{
    QFETCH(int, accessType);
    QFETCH(bool, environmentProxy);
    QFETCH(QByteArray, noProxy);
    QFETCH(QByteArray, bypass);
    QFETCH(QByteArray, host);
    QFETCH(bool, viaProxy);

    TScriptedServer origin(Always(200, "origin"));
    TScriptedServer proxy(Always(200, "proxy"));
    TEnvironmentScope httpProxy("http_proxy", environmentProxy ? std::optional(QByteArray::fromStdString(
                                                                     proxy.BaseUrl()))
                                                               : std::nullopt);
    TEnvironmentScope noProxyScope("no_proxy", noProxy.isEmpty() ? std::nullopt : std::optional(noProxy));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.Proxy().SetAccessType(TauHTTPAccessType(accessType));
    http.Proxy().SetProxyServer("127.0.0.1");
    http.Proxy().SetProxyPort(proxy.Port());
    http.Proxy().SetProxyBypass(bypass.toStdString());
    const std::string hostName = host == "remote" ? "files.shopscope.test" : host.toStdString();
    http.SetURL("http://" + hostName + ":" + std::to_string(origin.Port()) + "/file.txt");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(log.Body, std::string(viaProxy ? "proxy" : "origin"));
    if (viaProxy)
        QCOMPARE(proxy.Requests().at(0).target, "http://" + hostName + ":" + std::to_string(origin.Port()) + "/file.txt");
}

// One cookie store for every engine of the process; switched off, an engine
// neither keeps nor sends cookies.
void tst_auHTTPRequest::cookies()
{
    TScriptedServer server([](const TTestRequest& r, TScriptedConnection& c) {
        if (r.target == "/c/set")
            c.Send(TScriptedServer::Response(200, "set", "Set-Cookie: shopscope_kept=42; Path=/c"));
        else if (r.target == "/c/set-off")
            c.Send(TScriptedServer::Response(200, "set", "Set-Cookie: shopscope_off=1; Path=/c"));
        else
            c.Send(TScriptedServer::Response(200, "check"));
    });
    auto get = [&](bool useCookies, const char* path) {
        TauCustomHTTP http;
        THTTPEventLog log(http);
        http.SetUseCookies(useCookies);
        http.SetURL(server.BaseUrl() + path);
        return log.Transfer() && log.Sequence() == "HeaderInfo Done";
    };
    QVERIFY(get(false, "/c/set-off"));
    QVERIFY(get(true, "/c/set"));
    QVERIFY(get(true, "/c/check"));
    QVERIFY(get(false, "/c/check"));
    const std::vector<TTestRequest> r = server.Requests();
    QCOMPARE(r.size(), std::size_t(4));
    QCOMPARE(r[2].Header("Cookie"), std::string("shopscope_kept=42"));
    QCOMPARE(r[3].Header("Cookie"), std::string());
}

// The status events come from the worker, in the order of the steps.
void tst_auHTTPRequest::statusEvents()
{
    TScriptedServer server(Always(200, "ok"));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/file.txt");
    QVERIFY(log.Transfer());
    QVERIFY(!log.StatusOnWindowThread());
    QVERIFY(!log.StatusTextWrong());
    const std::vector<std::int32_t> codes = log.StatusCodes();
    std::size_t at = 0;
    for (const std::int32_t expected : {60, 10, 11, 20, 21, 30, 31, 40, 41, 100, 70, 50, 51}) {
        const auto found = std::find(codes.begin() + std::ptrdiff_t(at), codes.end(), expected);
        QVERIFY2(found != codes.end(), std::to_string(expected).c_str());
        at = std::size_t(found - codes.begin());
    }
}

void tst_auHTTPRequest::silentServer_data()
{
    QTest::addColumn<bool>("receiveTimeout");  // a receive time-out is set, else only the stall guard acts
    QTest::addColumn<QByteArray>("first");     // sent before the server falls silent
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<int>("bytesRead");

    const QByteArray body = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nsome";
    for (const bool receive : {true, false}) {
        const char* limit = receive ? "receive time-out" : "stall guard";
        QTest::addRow("%s, silent from the start", limit) << receive << QByteArray() << QByteArray("Failure NoResponse")
                                                          << -1;
        QTest::addRow("%s, silent in the body", limit) << receive << body
                                                       << QByteArray("HeaderInfo Failure ConnectionLost") << 4;
    }
    QTest::newRow("stall guard, headers cut off") << false << QByteArray("HTTP/1.1 200 OK\r\nContent-")
                                                  << QByteArray("Failure NoResponse") << -1;
    QTest::newRow("stall guard, silent in an error page")
        << false << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 100\r\n\r\nnot")
        << QByteArray("HeaderInfo Failure HTTPError") << -1;
}

// A server that falls silent ends the transfer in the outcome of its phase
// once the receive time-out, or without one the stall guard, runs out; the
// connection is closed then. ReceiveTimeout bounds a wait for data, not the
// whole transfer. (The guard is 60 s by default, shortened here.)
void tst_auHTTPRequest::silentServer()
{
    QFETCH(bool, receiveTimeout);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, sequence);
    QFETCH(int, bytesRead);

    std::atomic<bool> closed{false};
    TScriptedServer server([&](const TTestRequest&, TScriptedConnection& c) {
        c.Send(first.toStdString());
        closed = c.WaitForClientClose();
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/slow.bin");
    if (receiveTimeout)
        http.Timeouts().SetReceiveTimeout(300);
    else
        http.Timeouts().SetStallTimeout(200);
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    QCOMPARE(log.Reasons, std::vector<TauHTTPFailureReason>{frTimedOut});
    if (bytesRead >= 0)
        QCOMPARE(log.BytesRead, bytesRead);
    QVERIFY(WaitUntil([&] { return closed.load(); }));
}

// A receive time-out that is set is the limit, also when the stall guard is
// shorter: a pause within it is no stall.
void tst_auHTTPRequest::explicitTimeoutWins()
{
    TScriptedServer server([](const TTestRequest&, TScriptedConnection& c) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\nslow");
        c.Sleep(400ms);
        c.Send(" end");
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/slow.bin");
    http.Timeouts().SetStallTimeout(50);
    http.Timeouts().SetReceiveTimeout(60000);
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(log.Body, std::string("slow end"));
}

QTEST_GUILESS_MAIN(tst_auHTTPRequest)
#include "tst_auHTTPRequest.moc"
