// Starts the built program itself, aimed at a local proxy with the browser
// engine's standard proxy setting, and checks what it asks of the stores.

#include "app/StorePages.h"
#include "stores/StoreCatalogue.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <map>

namespace {

constexpr int StartTimeoutMs = 60000;

// Each host is asked for over plain http or, where the engine's HSTS list
// upgrades it to https, through a CONNECT that our proxy refuses.
bool Asked(const std::vector<TTestRequest>& requests, const std::string& host, const std::string& pathAndQuery)
{
    for (const TTestRequest& r : requests) {
        if (r.method == "CONNECT" && r.target == host + ":443")
            return true;
        const TProxyTarget t = SplitProxyTarget(r.target);
        if (t.Host == host && (pathAndQuery.empty() || t.PathAndQuery == pathAndQuery))
            return true;
    }
    return false;
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startsWithStoreHomePagesAndRelay();
    void keepsPersistentCookiesOnlyAcrossRestart();
    void cleanupTestCase();

private:
    void Start();
    void Stop();

    QTemporaryDir FHome;
    std::unique_ptr<TScriptedServer> FProxy;
    QProcess FProgram;
};

void TestProgram::initTestCase()
{
    QVERIFY(FHome.isValid());
}

void TestProgram::Start()
{
    // A proxy of its own for each run, so that every request it sees comes
    // from this run of the program and from no earlier one. A home page
    // asked for without cookies sets a persistent and a session cookie.
    FProxy = std::make_unique<TScriptedServer>(
        [](const TTestRequest& r, TScriptedConnection& c) {
            const TProxyTarget t = SplitProxyTarget(r.target);
            if (r.method == "GET" && t.PathAndQuery == "/" && r.Header("Cookie").empty()) {
                c.Send(TScriptedServer::Response(200, "<html><body>home</body></html>",
                                                 "Content-Type: text/html\r\nSet-Cookie: visited=" + t.Host +
                                                     "; Max-Age=86400; Path=/\r\nSet-Cookie: session=" + t.Host + "; Path=/"));
                return;
            }
            ServeStorePage(r, c, TStoreCatalogue()[7].MainHost);
        },
        std::chrono::seconds(600));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), FHome.path());
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               env.value(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS")) + QStringLiteral(" --proxy-server=127.0.0.1:%1").arg(FProxy->Port()));
    FProgram.setProcessEnvironment(env);
    FProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProgram.start(QStringLiteral(SHOPSCOPE_PROGRAM), {});
    QVERIFY2(FProgram.waitForStarted(), qPrintable(FProgram.errorString()));
}

void TestProgram::Stop()
{
    // A session's end: the program closes its window and writes its profile.
    FProgram.terminate();
    QVERIFY(FProgram.waitForFinished(StartTimeoutMs));
    QCOMPARE(FProgram.exitStatus(), QProcess::NormalExit);
    QCOMPARE(FProgram.exitCode(), 0);
}

void TestProgram::startsWithStoreHomePagesAndRelay()
{
    Start();
    const TStoreCatalogue catalogue;
    for (const TStoreEntry& store : catalogue) {
        QTRY_VERIFY2_WITH_TIMEOUT(Asked(FProxy->Requests(), store.MainHost, PathAsSent(store.HomeAddress())),
                                  store.MainHost.c_str(), StartTimeoutMs);
    }
    // The Gome home page (or its error page) completes, and the relay stores
    // follow with an empty keyword.
    QTRY_VERIFY_WITH_TIMEOUT(Asked(FProxy->Requests(), catalogue[4].MainHost, PathAsSent(catalogue[4].SearchAddress(""))),
                             StartTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(Asked(FProxy->Requests(), catalogue[8].MainHost, PathAsSent(catalogue[8].SearchAddress(""))),
                             StartTimeoutMs);
    // The engine writes new cookies to its database within half a minute.
    // Written at exit only, they are now and then lost; the restart test
    // below is about which cookies are kept, so it starts from a written one.
    const QString cookies = FHome.filePath(QStringLiteral(".local/share/shopscope/browser/Cookies"));
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QFile file(cookies);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("visited");
        }(),
        StartTimeoutMs);
    Stop();
    QVERIFY(QFileInfo(FHome.filePath(QStringLiteral(".local/share/shopscope/browser"))).isDir());
}

void TestProgram::keepsPersistentCookiesOnlyAcrossRestart()
{
    // The first run was given both cookies by each plain-http home page. The
    // first request this run makes to a host can only carry what was kept on
    // disk: every later one may also carry what this run's own home page set.
    Start();
    std::map<std::string, std::string> firstCookies;  // host: Cookie header of its first request
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            firstCookies.clear();
            for (const TTestRequest& request : FProxy->Requests()) {
                const std::string host = SplitProxyTarget(request.target).Host;
                if (!host.empty() && !firstCookies.contains(host))
                    firstCookies[host] = request.Header("Cookie");
            }
            return std::any_of(firstCookies.begin(), firstCookies.end(),
                               [](const auto& first) { return first.second.find("visited=") != std::string::npos; });
        }(),
        StartTimeoutMs);
    Stop();
    // The session cookie came in the same answer as the persistent one and
    // ended with the first run.
    for (const auto& [host, cookies] : firstCookies)
        QVERIFY2(cookies.find("session=") == std::string::npos, (host + ": " + cookies).c_str());
}

void TestProgram::cleanupTestCase()
{
    if (FProgram.state() != QProcess::NotRunning) {
        FProgram.kill();
        FProgram.waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_Program.moc"
