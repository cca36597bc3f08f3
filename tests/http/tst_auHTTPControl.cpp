// Controlling a running engine from the window thread: Abort during a
// transfer and while idle, Read while busy and from inside a result event,
// and destroying an engine in mid-transfer.

#include "http/HTTPEventLog.h"
#include "http/auDispatcher.h"
#include "http/auHTTP.h"
#include "support/ScriptedServer.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

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

// "/start" is redirected to "/next", which answers.
void Redirecting(const TTestRequest& r, TScriptedConnection& c)
{
    if (r.target == "/start")
        c.Send(TScriptedServer::Response(302, "moved", "Location: /next"));
    else
        c.Send(TScriptedServer::Response(200, "ok"));
}

// Whether a descriptor of this process refers to path.
bool OpenInProcess(const std::string& path)
{
    const std::filesystem::path target = std::filesystem::weakly_canonical(path);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code unreadable;
        if (std::filesystem::read_symlink(entry.path(), unreadable) == target)
            return true;
    }
    return false;
}

// A one-shot gate a worker waits at, for at most 20 s: a wait that runs out
// means the window thread could not open it in time, which the test reports.
class TWorkerGate {
public:
    void Open()
    {
        std::lock_guard lock(FMutex);
        FOpen = true;
        FSignal.notify_all();
    }
    // False when the 20 s ran out.
    bool Wait()
    {
        std::unique_lock lock(FMutex);
        return FSignal.wait_for(lock, 20s, [this] { return FOpen; });
    }

private:
    std::mutex FMutex;
    std::condition_variable FSignal;
    bool FOpen = false;
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
    void abortReleasesAtOnce();
    void workerHandlersHoldNoLock_data();
    void workerHandlersHoldNoLock();
    void workerHandlerThrows_data();
    void workerHandlerThrows();
    void destroyFromEvent_data();
    void destroyFromEvent();

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
    // The aborted worker has ended: nothing more can come from it.
    QVERIFY(WaitUntil([] { return TauThreadCount() == 1; }));
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
    QVERIFY(WaitUntil([] { return TauThreadCount() == 0; }));
    QCOMPARE(log.Sequence(), std::string("HeaderInfo"));
}

// Abort lets go of the output file before it returns, and of the socket as
// soon as the worker wakes from its wait, while the server still holds the
// body back.
void tst_auHTTPControl::abortReleasesAtOnce()
{
    std::atomic<bool> closed{false};
    TScriptedServer server([&](const TTestRequest&, TScriptedConnection& c) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'a'));
        closed = c.WaitForClientClose();
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    const std::string output = FDir.filePath(QStringLiteral("released.bin")).toStdString();
    http.SetOutputFileName(output);
    http.SetTransferBufferSize(255);
    http.SetURL(server.BaseUrl() + "/held.bin");
    QVERIFY(http.Read());
    QVERIFY(WaitUntil([&] { return !log.Progress.empty(); }));
    QVERIFY(OpenInProcess(output));
    http.Abort();
    QVERIFY(!OpenInProcess(output));
    QVERIFY(WaitUntil([&] { return closed.load(); }));
    QVERIFY(WaitUntil([] { return TauThreadCount() == 1; }));  // the aborted worker has ended
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Aborted"));
    QCOMPARE(FileSize(output), std::int64_t(1000));
}

void tst_auHTTPControl::workerHandlersHoldNoLock_data()
{
    QTest::addColumn<bool>("redirect");  // the handler is OnRedirect, else OnStatus
    QTest::newRow("OnStatus") << false;
    QTest::newRow("OnRedirect") << true;
}

// OnStatus and OnRedirect run on the worker holding no lock: while one waits,
// the window thread aborts, reads again and destroys the engine, and the
// handler's own blocking call to the window thread is served.
void tst_auHTTPControl::workerHandlersHoldNoLock()
{
    QFETCH(bool, redirect);
    TScriptedServer server(Redirecting);
    auto http = std::make_unique<TauCustomHTTP>();
    std::atomic<bool> entered{false}, gateTimedOut{false}, finished{false};
    TWorkerGate gate;
    QObject windowThreadObject;
    auto handler = [&] {
        if (entered.exchange(true))
            return;  // the later transfer's events pass straight through
        if (!gate.Wait()) {
            gateTimedOut = true;  // the window thread was stuck waiting for us
        } else {
            QMetaObject::invokeMethod(&windowThreadObject, [] {}, Qt::BlockingQueuedConnection);
        }
        finished = true;
    };
    if (redirect)
        http->OnRedirect = [&](TauCustomHTTP&, const std::string&) { handler(); };
    else
        http->OnStatus = [&](TauCustomHTTP&, std::int32_t code, const std::string&) {
            if (code == 40)
                handler();
        };
    http->SetURL(server.BaseUrl() + "/start");
    QVERIFY(http->Read());
    QVERIFY(WaitUntil([&] { return entered.load(); }));
    http->Abort();
    QVERIFY(!http->Busy());
    QVERIFY(http->Read());
    http.reset();
    gate.Open();
    QVERIFY(WaitUntil([&] { return finished.load(); }));
    QVERIFY(!gateTimedOut);
    QVERIFY(WaitUntil([] { return TauThreadCount() == 0; }));
}

void tst_auHTTPControl::workerHandlerThrows_data()
{
    QTest::addColumn<int>("code");  // the status at which OnStatus throws; 110: OnRedirect throws
    QTest::addColumn<bool>("outOfMemory");
    QTest::addColumn<QByteArray>("sequence");

    QTest::newRow("connecting") << 20 << false << QByteArray("Failure NoResponse");
    QTest::newRow("receiving the headers") << 40 << false << QByteArray("Failure NoResponse");
    QTest::newRow("out of memory in the headers") << 41 << true << QByteArray("Failure NoResponse");
    QTest::newRow("redirect") << 110 << false << QByteArray("Failure NoResponse");
    // After the body the error still counts: the body is not reported done.
    QTest::newRow("closing the handle") << 70 << false << QByteArray("HeaderInfo Failure ConnectionLost");
}

// An exception of a handler that runs inside the library's callbacks never
// unwinds through them: the transfer ends as an error in the outcome of its
// phase.
void tst_auHTTPControl::workerHandlerThrows()
{
    QFETCH(int, code);
    QFETCH(bool, outOfMemory);
    QFETCH(QByteArray, sequence);
    TScriptedServer server(Redirecting);
    TauCustomHTTP http;
    THTTPEventLog log(http);
    auto raise = [outOfMemory] {
        if (outOfMemory)
            throw std::bad_alloc();
        throw std::runtime_error("handler failed");
    };
    if (code == 110)
        http.OnRedirect = [&](TauCustomHTTP&, const std::string&) { raise(); };
    else
        http.OnStatus = [&](TauCustomHTTP&, std::int32_t status, const std::string&) {
            if (status == code)
                raise();
        };
    http.SetURL(server.BaseUrl() + (code == 110 ? "/start" : "/file.txt"));
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    QCOMPARE(log.Reasons, std::vector<TauHTTPFailureReason>{frError});
}

void tst_auHTTPControl::destroyFromEvent_data()
{
    QTest::addColumn<QByteArray>("event");     // whose handler deletes the engine
    QTest::addColumn<QByteArray>("response");  // "": the server closes without answering
    QTest::addColumn<QByteArray>("output");    // "", "file" or "unwritable"

    const QByteArray ok = QByteArray::fromStdString(TScriptedServer::Response(200, std::string(9000, 'x')));
    const QByteArray missing = QByteArray::fromStdString(TScriptedServer::Response(404, "missing"));
    const QByteArray cut = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nsome";
    const QByteArray login = QByteArray::fromStdString(
        TScriptedServer::Response(401, "denied", "WWW-Authenticate: Basic realm=\"Shop files\""));
    QTest::newRow("OnHeaderInfo") << QByteArray("OnHeaderInfo") << ok << QByteArray();
    QTest::newRow("OnTransferProgress") << QByteArray("OnTransferProgress") << ok << QByteArray("file");
    QTest::newRow("OnDone") << QByteArray("OnDone") << ok << QByteArray();
    QTest::newRow("OnDone, file") << QByteArray("OnDone") << ok << QByteArray("file");
    QTest::newRow("OnDone after Read") << QByteArray("OnDone+Read") << ok << QByteArray("file");
    QTest::newRow("OnFailure") << QByteArray("OnFailure") << missing << QByteArray("file");
    QTest::newRow("OnFailure alone") << QByteArray("OnFailure") << ok << QByteArray("unwritable");
    QTest::newRow("OnHTTPError") << QByteArray("OnHTTPError") << missing << QByteArray("file");
    QTest::newRow("OnConnectionLost") << QByteArray("OnConnectionLost") << cut << QByteArray("file");
    QTest::newRow("OnNoResponse") << QByteArray("OnNoResponse") << QByteArray() << QByteArray();
    QTest::newRow("OnDeclined") << QByteArray("OnDeclined") << ok << QByteArray("file");
    QTest::newRow("OnLoginRequest") << QByteArray("OnLoginRequest") << login << QByteArray();
    QTest::newRow("OnTransferAborted") << QByteArray("OnTransferAborted") << ok << QByteArray("file");
}

// The upgrade closes the program from inside a result event: deleting the
// engine from inside any of its events leaves nothing that touches it
// afterwards (AddressSanitizer watches this test), and its worker ends.
void tst_auHTTPControl::destroyFromEvent()
{
    QFETCH(QByteArray, event);
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, output);

    TScriptedServer server([&](const TTestRequest&, TScriptedConnection& c) {
        c.Send(response.toStdString());
        c.Close();
    });
    auto* http = new TauCustomHTTP;
    bool destroyed = false;
    const auto destroy = [&](auto&&...) {
        delete http;
        http = nullptr;
        destroyed = true;
    };
    if (event == "OnHeaderInfo")
        http->OnHeaderInfo = destroy;
    else if (event == "OnTransferProgress")
        http->OnTransferProgress = destroy;
    else if (event == "OnDone")
        http->OnDone = destroy;
    else if (event == "OnDone+Read")
        http->OnDone = [&](auto&&...) {
            QVERIFY(http->Read());
            destroy();
        };
    else if (event == "OnFailure")
        http->OnFailure = destroy;
    else if (event == "OnHTTPError")
        http->OnHTTPError = destroy;
    else if (event == "OnConnectionLost")
        http->OnConnectionLost = destroy;
    else if (event == "OnNoResponse")
        http->OnNoResponse = destroy;
    else if (event == "OnLoginRequest")
        http->OnLoginRequest = destroy;
    else if (event == "OnDeclined") {
        http->OnHeaderInfo = [](TauCustomHTTP&, const std::string&, const std::string&, const std::string&,
                                const std::string&, const std::string&, std::int32_t, TDateTime, TDateTime,
                                TDateTime, bool& canContinue) { canContinue = false; };
        http->OnDeclined = destroy;
    } else if (event == "OnTransferAborted") {
        http->OnTransferProgress = [&](auto&&...) { http->Abort(); };
        http->OnTransferAborted = destroy;
    }
    if (output == "file")
        http->SetOutputFileName(FDir.filePath(QStringLiteral("destroyed.bin")).toStdString());
    else if (output == "unwritable")
        http->SetOutputFileName(FDir.filePath(QStringLiteral("no-such-folder/destroyed.bin")).toStdString());
    http->SetURL(server.BaseUrl() + "/file.bin");
    QVERIFY(http->Read());
    QVERIFY(WaitUntil([&] { return destroyed; }));
    QVERIFY(WaitUntil([] { return TauThreadCount() == 0; }));
}

QTEST_GUILESS_MAIN(tst_auHTTPControl)
#include "tst_auHTTPControl.moc"
