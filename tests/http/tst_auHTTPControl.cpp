// Controlling a running engine from the window thread: Abort during a
// transfer and while idle, Read while busy and from inside a result event,
// and destroying an engine in mid-transfer.

#include "http/HTTPEventLog.h"
#include "http/auHTTP.h"
#include "support/ScriptedServer.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <filesystem>
#include <memory>

using namespace std::chrono_literals;

namespace {


std::int64_t FileSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : std::int64_t(size);
}

// Sends the headers and the first part of a 100000-byte body, waits for the
// gate "rest", then sends the rest; counts the answers that ran to the end.
struct TGatedServer {
    std::atomic<int> Finished{0};
    TScriptedServer Server{[this](const TTestRequest& r, TScriptedConnection& c) {
        if (r.target != "/gated.bin") {
            c.Send(TScriptedServer::Response(200, "other body"));
            return;
        }
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'a'));
        c.WaitForRelease("rest");
        c.Send(std::string(99000, 'b'));
        ++Finished;
    }};
};

} // namespace

class tst_auHTTPControl : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void abortMidBody_data();
    void abortMidBody();
    void abortWhileIdle();
    void readAfterAbort();
    void readWhileBusy();
    void readFromResultEvent_data();
    void readFromResultEvent();
    void destroyWhileBusy();

private:
    QTemporaryDir FDir;
    TNoProxyEnvironment FNoProxy;
};

void tst_auHTTPControl::initTestCase()
{
    QVERIFY(FDir.isValid());
}

void tst_auHTTPControl::abortMidBody_data()
{
    QTest::addColumn<bool>("toFile");
    QTest::addColumn<QByteArray>("from");  // where Abort is called

    QTest::newRow("memory") << false << QByteArray("outside");
    QTest::newRow("file") << true << QByteArray("outside");
    QTest::newRow("file, from the progress handler") << true << QByteArray("OnTransferProgress");
    QTest::newRow("file, from the header handler") << true << QByteArray("OnHeaderInfo");
}

// Abort returns at once with OnTransferAborted as the only outcome, even
// while the server holds the body back; nothing reaches the file afterwards,
// and the file keeps what had been written.
void tst_auHTTPControl::abortMidBody()
{
    QFETCH(bool, toFile);
    QFETCH(QByteArray, from);

    TGatedServer gated;
    TauCustomHTTP http;
    THTTPEventLog log(http);
    const std::string output = FDir.filePath(QString::fromUtf8(QTest::currentDataTag()) + ".bin").toStdString();
    if (toFile)
        http.SetOutputFileName(output);
    http.SetTransferBufferSize(255);
    http.SetURL(gated.Server.BaseUrl() + "/gated.bin");
    std::int64_t sizeAtAbort = -2;
    auto abort = [&] {
        http.Abort();
        QVERIFY(!http.Busy());
        if (toFile)
            sizeAtAbort = FileSize(output);
    };
    if (from == "OnTransferProgress")
        log.AfterProgress = [&] {
            if (log.Progress.size() == 1)
                abort();
        };
    if (from == "OnHeaderInfo")
        log.AfterHeaderInfo = abort;
    QVERIFY(http.Read());
    if (from == "outside") {
        QVERIFY(WaitUntil([&] { return !log.Progress.empty(); }));
        abort();
    }
    QVERIFY(WaitUntil([&] { return log.Outcomes() == 1; }));
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Aborted"));
    const std::size_t progressAtAbort = log.Progress.size();

    gated.Server.Release("rest");
    QVERIFY(WaitUntil([&] { return gated.Finished == 1; }));
    WaitUntil([] { return false; }, 100);  // time for a wrongly running worker to show
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Aborted"));
    QCOMPARE(log.Progress.size(), progressAtAbort);
    if (toFile) {
        // Before the body phase no file was made; after it, it stays.
        QVERIFY(from == "OnHeaderInfo" ? sizeAtAbort == -1 : sizeAtAbort >= 255);
        QCOMPARE(FileSize(output), sizeAtAbort);
    }
}

void tst_auHTTPControl::abortWhileIdle()
{
    TScriptedServer server([](const TTestRequest&, TScriptedConnection& c) {
        c.Send(TScriptedServer::Response(200, "done"));
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.Abort();
    QCOMPARE(log.Sequence(), std::string());

    http.SetURL(server.BaseUrl() + "/file.txt");
    // Inside a result event the transfer is over: Abort stops nothing.
    log.AfterOutcome = [&] { http.Abort(); };
    QVERIFY(log.Transfer());
    http.Abort();
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(log.Body, std::string("done"));
}

void tst_auHTTPControl::readAfterAbort()
{
    TGatedServer gated;
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(gated.Server.BaseUrl() + "/gated.bin");
    QVERIFY(http.Read());
    QVERIFY(WaitUntil([&] { return !log.RawHeaders.empty(); }));
    http.Abort();
    http.SetURL(gated.Server.BaseUrl() + "/other.txt");
    QVERIFY(http.Read());
    QVERIFY(log.WaitForOutcome(2));
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Aborted HeaderInfo Done"));
    QCOMPARE(log.Body, std::string("other body"));
}

void tst_auHTTPControl::readWhileBusy()
{
    TScriptedServer server([](const TTestRequest&, TScriptedConnection& c) {
        c.WaitForRelease("answer");
        c.Send(TScriptedServer::Response(200, "first"));
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/first.txt");
    QVERIFY(http.Read());
    QVERIFY(server.WaitForRequests(1, 10s));
    http.SetURL(server.BaseUrl() + "/second.txt");
    QVERIFY(!http.Read());
    QVERIFY(http.Busy());
    server.Release("answer");
    QVERIFY(log.WaitForOutcome());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(log.Body, std::string("first"));
    QCOMPARE(server.Requests().size(), std::size_t(1));
}

void tst_auHTTPControl::readFromResultEvent_data()
{
    QTest::addColumn<bool>("failFirst");
    QTest::newRow("from OnDone") << false;
    QTest::newRow("from OnHTTPError, same output file") << true;
}

// A Read from inside a result event returns true, but the next transfer
// starts only after that event's transfer has been cleaned up: a failed
// body's file (with the same name) is deleted before the new one is made.
void tst_auHTTPControl::readFromResultEvent()
{
    QFETCH(bool, failFirst);

    TScriptedServer server([&](const TTestRequest& r, TScriptedConnection& c) {
        if (r.target == "/first")
            c.Send(TScriptedServer::Response(failFirst ? 404 : 200, "first body"));
        else
            c.Send(TScriptedServer::Response(200, "second body"));
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    const std::string output = FDir.filePath("chained.bin").toStdString();
    if (failFirst)
        http.SetOutputFileName(output);
    bool readResult = false, busyAfterRead = false, startedTooEarly = true;
    log.AfterOutcome = [&] {
        if (log.Outcomes() != 1)
            return;
        http.SetURL(server.BaseUrl() + "/second");
        readResult = http.Read();
        busyAfterRead = http.Busy();
        QVERIFY(!http.Read());
        startedTooEarly = server.WaitForRequests(2, 200ms);
    };
    http.SetURL(server.BaseUrl() + "/first");
    QVERIFY(http.Read());
    QVERIFY(log.WaitForOutcome(2));
    QVERIFY(readResult);
    QVERIFY(busyAfterRead);
    QVERIFY(!startedTooEarly);
    QCOMPARE(log.Sequence(), std::string(failFirst ? "HeaderInfo Failure HTTPError HeaderInfo Done"
                                                   : "HeaderInfo Done HeaderInfo Done"));
    if (failFirst)
        QCOMPARE(FileSize(output), std::int64_t(11));
    else
        QCOMPARE(log.Body, std::string("second body"));
}

// Destroying a busy engine raises nothing more, and its worker lets go of
// the transfer on its own.
void tst_auHTTPControl::destroyWhileBusy()
{
    TGatedServer gated;
    auto http = std::make_unique<TauCustomHTTP>();
    THTTPEventLog log(*http);
    http->SetURL(gated.Server.BaseUrl() + "/gated.bin");
    QVERIFY(http->Read());
    QVERIFY(WaitUntil([&] { return !log.RawHeaders.empty(); }));
    http.reset();
    gated.Server.Release("rest");
    QVERIFY(WaitUntil([&] { return gated.Finished == 1; }));
    WaitUntil([] { return false; }, 100);
    QCOMPARE(log.Sequence(), std::string("HeaderInfo"));
}

QTEST_GUILESS_MAIN(tst_auHTTPControl)
#include "tst_auHTTPControl.moc"
