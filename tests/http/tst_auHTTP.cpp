// The engine's outcomes and destinations: every way a transfer can end, what
// reaches memory or the output file, the progress events, local files, and
// the stored credentials.

#include "http/HTTPEventLog.h"
#include "http/auHTTP.h"
#include "support/ScriptedServer.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

enum TEnding { enKeep, enClose, enReset };

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<absent>";
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Answers every request with response, then ends the connection as asked.
TScriptedServer::THandler Answer(std::string response, TEnding ending)
{
    return [response, ending](const TTestRequest&, TScriptedConnection& c) {
        c.Send(response);
        if (ending == enClose)
            c.Close();
        else if (ending == enReset)
            c.Reset();
    };
}

std::string Chunked(const std::string& raw)
{
    return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + raw;
}


} // namespace

class tst_auHTTP : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void outcomes_data();
    void outcomes();
    void unreachable_data();
    void unreachable();
    void headerInfo();
    void hugeAnnouncedLength();

    void outputFile_data();
    void outputFile();
    void failedWriteIsLostConnection();
    void dataReadable_data();
    void dataReadable();
    void failureReason_data();
    void failureReason();
    void badInput_data();
    void badInput();

    void progress_data();
    void progress();
    void progressFigures_data();
    void progressFigures();

    void localFile_data();
    void localFile();

    void lInfo_data();
    void lInfo();
    void lInfoLimits();
    void proxyBypass_data();
    void proxyBypass();
    void defaults();

private:
    std::string Path(const char* name) const { return FDir.filePath(QString::fromUtf8(name)).toStdString(); }
    QTemporaryDir FDir;
    TNoProxyEnvironment FNoProxy;
};

void tst_auHTTP::initTestCase()
{
    QVERIFY(FDir.isValid());
}

void tst_auHTTP::outcomes_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("ending");
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<int>("bytesRead");  // -1: not compared
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");  // of OnHTTPError

    auto row = [](const char* name, const std::string& response, TEnding ending, const char* sequence,
                  int bytesRead, const char* body, int status = -1) {
        QTest::newRow(name) << QByteArray::fromStdString(response) << int(ending) << QByteArray(sequence)
                            << bytesRead << QByteArray(body) << status;
    };
    const std::string closeNoLength = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nhello";
    row("200 with length", TScriptedServer::Response(200, "hello"), enKeep, "HeaderInfo Done", 5, "hello");
    row("200 without length", closeNoLength, enClose, "HeaderInfo Done", 5, "hello");
    row("200 chunked", Chunked("5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"), enKeep, "HeaderInfo Done", 11,
        "hello world");
    row("200 empty", TScriptedServer::Response(200, ""), enKeep, "HeaderInfo Done", 0, "");
    // A length beyond 32 bits is unknown to the events but still enforced.
    row("length beyond 32 bits", "HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\nhello", enClose,
        "HeaderInfo Failure ConnectionLost", 5, "hello");
    row("shorter than announced", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", enClose,
        "HeaderInfo Failure ConnectionLost", 5, "hello");
    // Without a length, only a body that the server ends in order is whole.
    row("reset mid-body without length", closeNoLength, enReset, "HeaderInfo Failure ConnectionLost", -1, "");
    row("broken chunked encoding", Chunked("5\r\nhello\r\nXYZ\r\n"), enClose, "HeaderInfo Failure ConnectionLost",
        5, "hello");
    row("chunked body cut off", Chunked("5\r\nhello\r\n"), enClose, "HeaderInfo Failure ConnectionLost", 5,
        "hello");
    row("404 with body", TScriptedServer::Response(404, "not here"), enKeep, "HeaderInfo Failure HTTPError", -1,
        "not here", 404);
    row("500 cut off", "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 10\r\n\r\noops", enClose,
        "HeaderInfo Failure HTTPError", -1, "oops", 500);
    row("closed before answering", "", enClose, "Failure NoResponse", -1, "");
    row("reset before answering", "", enReset, "Failure NoResponse", -1, "");
    row("headers cut off", "HTTP/1.1 200 OK\r\nContent-Le", enClose, "Failure NoResponse", -1, "");
}

// Every way a transfer into memory can end, with exactly one outcome on the
// window thread, and what its Data holds then.
void tst_auHTTP::outcomes()
{
    QFETCH(QByteArray, response);
    QFETCH(int, ending);
    QFETCH(QByteArray, sequence);
    QFETCH(int, bytesRead);
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    TScriptedServer server(Answer(response.toStdString(), TEnding(ending)));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/file.txt");
    QVERIFY(http.Read());
    QVERIFY(http.Busy());
    QVERIFY(log.WaitForOutcome());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    QVERIFY(!http.Busy());
    if (bytesRead >= 0)
        QCOMPARE(log.BytesRead, bytesRead);
    if (log.DataKind == "memory") {
        QCOMPARE(log.DataPosition, std::int64_t(0));
        if (bytesRead >= 0 || status != -1)
            QCOMPARE(log.Body, body.toStdString());
    }
    if (sequence.endsWith("Done") || status != -1)
        QCOMPARE(log.DataKind, std::string("memory"));
    if (status != -1)
        QCOMPARE(log.StatusCode, status);
}

void tst_auHTTP::unreachable_data()
{
    QTest::addColumn<QByteArray>("url");  // "*" stands for a live server's address
    QTest::addColumn<bool>("offline");

    std::string refused;
    {
        TScriptedServer gone(Answer("", enClose));
        refused = gone.BaseUrl() + "/file.txt";
    }
    QTest::newRow("connection refused") << QByteArray::fromStdString(refused) << false;
    QTest::newRow("offline") << QByteArray("*") << true;
    QTest::newRow("malformed address") << QByteArray("http://[bad/file.txt") << false;
    QTest::newRow("ftp address") << QByteArray("ftp://127.0.0.1/file.txt") << false;
}

// No status at all: OnFailure and OnNoResponse, and nothing reaches a server
// while offline.
void tst_auHTTP::unreachable()
{
    QFETCH(QByteArray, url);
    QFETCH(bool, offline);

    TScriptedServer server(Answer(TScriptedServer::Response(200, "hello"), enKeep));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(url == "*" ? server.BaseUrl() + "/file.txt" : url.toStdString());
    http.SetWorkOffline(offline);
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("Failure NoResponse"));
    QCOMPARE(server.Requests().size(), std::size_t(0));
}

void tst_auHTTP::headerInfo()
{
    const std::string headers = "Content-Type: text/plain; charset=utf-8\r\n"
                                "Content-Language: zh-CN\r\n"
                                "Content-Encoding: identity\r\n"
                                "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                "Last-Modified: Sat, 05 Nov 1994 10:00:00 GMT";
    TScriptedServer server(Answer(TScriptedServer::Response(200, "hello", headers), enKeep));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/file.txt");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(log.HeaderContentType, std::string("text/plain; charset=utf-8"));
    QCOMPARE(log.ContentType, log.HeaderContentType);
    QCOMPARE(log.ContentLanguage, std::string("zh-CN"));
    QCOMPARE(log.ContentEncoding, std::string("identity"));
    QCOMPARE(log.Location, std::string());
    QCOMPARE(log.HeaderContentLength, 5);
    QCOMPARE(log.Date, HTTPDateToLocal("Sun, 06 Nov 1994 08:49:37 GMT"));
    QCOMPARE(log.LastModified, HTTPDateToLocal("Sat, 05 Nov 1994 10:00:00 GMT"));
    QCOMPARE(log.Expires, TDateTime(0));
    QVERIFY(log.RawHeaders.starts_with("HTTP/1.1 200 OK\r\n"));
    QVERIFY(log.RawHeaders.find("\r\nContent-Language: zh-CN\r\n") != std::string::npos);
    QVERIFY(log.RawHeaders.ends_with("GMT\r\n\r\n"));
}

// A server that announces 2 GB and sends a little must not make the engine
// allocate the announced size up front.
void tst_auHTTP::hugeAnnouncedLength()
{
    TScriptedServer server(Answer("HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\n\r\n" + std::string(1000, 'x'),
                                  enClose));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/big.bin");
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Failure ConnectionLost"));
    QCOMPARE(log.LostContentLength, 2000000000);
    QCOMPARE(log.BytesRead, 1000);
    QCOMPARE(log.Body.size(), std::size_t(1000));
    QVERIFY2(log.DataCapacity <= 8u * 1024 * 1024, std::to_string(log.DataCapacity).c_str());
}

void tst_auHTTP::outputFile_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("ending");
    QTest::addColumn<bool>("canContinue");
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<QByteArray>("file");  // afterwards; "<absent>" or "<older>"

    const QByteArray ok = QByteArray::fromStdString(TScriptedServer::Response(200, "new body"));
    QTest::newRow("done") << ok << int(enKeep) << true << QByteArray("HeaderInfo Done") << QByteArray("new body");
    QTest::newRow("lost connection") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial")
                                     << int(enClose) << true << QByteArray("HeaderInfo Failure ConnectionLost")
                                     << QByteArray("<absent>");
    QTest::newRow("reset without length") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\npartial")
                                          << int(enReset) << true
                                          << QByteArray("HeaderInfo Failure ConnectionLost")
                                          << QByteArray("<absent>");
    QTest::newRow("http error") << QByteArray::fromStdString(TScriptedServer::Response(404, "error page"))
                                << int(enKeep) << true << QByteArray("HeaderInfo Failure HTTPError")
                                << QByteArray("<absent>");
    // Failing before the headers, or declining them, leaves an older file alone.
    QTest::newRow("no answer") << QByteArray() << int(enClose) << true << QByteArray("Failure NoResponse")
                               << QByteArray("<older>");
    QTest::newRow("declined") << ok << int(enKeep) << false << QByteArray("HeaderInfo Declined")
                              << QByteArray("<older>");
}

// The output file exists only from the body phase on, holds exactly the body
// after OnDone (which gets no stream), and never stays behind a failure.
void tst_auHTTP::outputFile()
{
    QFETCH(QByteArray, response);
    QFETCH(int, ending);
    QFETCH(bool, canContinue);
    QFETCH(QByteArray, sequence);
    QFETCH(QByteArray, file);

    const std::string output = Path("output.bin");
    WriteFile(output, "older contents");
    TScriptedServer server(Answer(response.toStdString(), TEnding(ending)));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    log.CanContinue = canContinue;
    std::string fileAtOutcome;
    log.AfterOutcome = [&] { fileAtOutcome = FileText(output); };
    http.SetURL(server.BaseUrl() + "/setup.exe");
    http.SetOutputFileName(output);
    http.SetHideOutputFile(true);
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    const std::string expected = file == "<older>" ? "older contents" : file.toStdString();
    QCOMPARE(FileText(output), expected);
    if (sequence.endsWith("Done")) {
        QCOMPARE(log.DataKind, std::string("none"));
        QCOMPARE(fileAtOutcome, expected);  // complete on disk when OnDone runs
        QCOMPARE(std::size_t(log.BytesRead), expected.size());
    }
}

// Storing the body fails (the file may not grow past a limit): that is a
// transfer that did not complete, never a success, and the file goes.
void tst_auHTTP::failedWriteIsLostConnection()
{
    const std::string output = Path("limited.bin");
    TScriptedServer server(Answer(TScriptedServer::Response(200, std::string(300 * 1024, 'x')), enKeep));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/setup.exe");
    http.SetOutputFileName(output);

    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 256 * 1024;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QVERIFY(http.Read());
    const bool ended = log.WaitForOutcome();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(ended);
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Failure ConnectionLost"));
    QVERIFY(log.BytesRead <= 256 * 1024);
    QCOMPARE(FileText(output), std::string("<absent>"));
}

void tst_auHTTP::dataReadable_data()
{
    QTest::addColumn<bool>("toFile");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<QByteArray>("atOutcome");  // what Data reads at a failure's outcome

    const std::string body = std::string(3000, 'a') + std::string(3000, 'b') + std::string(2000, 'c');
    const QByteArray ok = QByteArray::fromStdString(TScriptedServer::Response(200, body));
    const QByteArray error = QByteArray::fromStdString(TScriptedServer::Response(404, "<h1>no such file</h1>"));
    const QByteArray cut = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf a body";
    for (const bool toFile : {true, false}) {
        const char* to = toFile ? "file" : "memory";
        QTest::addRow("%s, progress", to) << toFile << ok << QByteArray("HeaderInfo Done") << QByteArray();
        QTest::addRow("%s, error page", to) << toFile << error << QByteArray("HeaderInfo Failure HTTPError")
                                            << QByteArray("<h1>no such file</h1>");
        QTest::addRow("%s, connection lost", to) << toFile << cut << QByteArray("HeaderInfo Failure ConnectionLost")
                                                 << QByteArray("half a body");
    }
}

// Handlers read Data, file or memory: at each progress event it holds exactly
// BytesRead bytes (and reading it does not disturb what is stored next); at
// OnHTTPError and OnConnectionLost it is positioned at the start of what came.
void tst_auHTTP::dataReadable()
{
    QFETCH(bool, toFile);
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, sequence);
    QFETCH(QByteArray, atOutcome);

    const std::string sent = response.toStdString();
    const std::string body = sent.substr(sent.find("\r\n\r\n") + 4);
    TScriptedServer server(Answer(sent, enClose));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    std::vector<std::int32_t> mismatches;
    http.OnTransferProgress = [&](TauCustomHTTP&, const std::string&, std::int32_t, std::int32_t bytesRead,
                                  std::int32_t, std::int32_t, std::uint8_t, float, TStream* data) {
        const std::int64_t size = data->Size();
        data->SetPosition(0);
        if (size != bytesRead || data->ReadAll() != body.substr(0, std::size_t(bytesRead)))
            mismatches.push_back(bytesRead);
        data->SetPosition(1);  // moved on purpose: the next chunk still goes to the end
    };
    const std::string output = Path("readable.bin");
    http.SetURL(server.BaseUrl() + "/file.bin");
    if (toFile)
        http.SetOutputFileName(output);
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    QCOMPARE(mismatches, std::vector<std::int32_t>());
    if (atOutcome.isEmpty()) {
        QCOMPARE(toFile ? FileText(output) : log.Body, body);
    } else {
        QCOMPARE(log.DataKind, std::string(toFile ? "file" : "memory"));
        QCOMPARE(log.DataPosition, std::int64_t(0));
        QCOMPARE(log.Body, atOutcome.toStdString());
    }
}

void tst_auHTTP::failureReason_data()
{
    QTest::addColumn<QByteArray>("response");  // "<refused>": nobody listens
    QTest::addColumn<bool>("creatable");      // the output file can be created
    QTest::addColumn<int>("reason");
    QTest::addColumn<QByteArray>("sequence");

    const QByteArray ok = QByteArray::fromStdString(TScriptedServer::Response(200, "body"));
    QTest::newRow("output file, alone") << ok << false << int(frOutputFile) << QByteArray("HeaderInfo Failure");
    QTest::newRow("404") << QByteArray::fromStdString(TScriptedServer::Response(404, "gone")) << true
                         << int(frHTTPStatus) << QByteArray("HeaderInfo Failure HTTPError");
    QTest::newRow("cut off") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nbod") << true
                             << int(frConnectionLost) << QByteArray("HeaderInfo Failure ConnectionLost");
    QTest::newRow("refused") << QByteArray("<refused>") << true << int(frNoResponse)
                             << QByteArray("Failure NoResponse");
}

// OnFailure knows why, and whether an outcome follows: the upgrade tells
// "OnFailure alone" from the others by that, without waiting for anything.
// (The log counts a Failure without a following outcome as the outcome.)
void tst_auHTTP::failureReason()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, creatable);
    QFETCH(int, reason);
    QFETCH(QByteArray, sequence);

    std::unique_ptr<TScriptedServer> server;
    std::string url;
    if (response == "<refused>") {
        url = TScriptedServer([](const TTestRequest&, TScriptedConnection&) {}).BaseUrl() + "/file.txt";
    } else {
        server = std::make_unique<TScriptedServer>(Answer(response.toStdString(), enClose));
        url = server->BaseUrl() + "/file.txt";
    }
    TauCustomHTTP http;
    THTTPEventLog log(http);
    QCOMPARE(int(http.FailureReason()), int(frNone));
    http.SetURL(url);
    http.SetOutputFileName(creatable ? Path("reason.bin") : Path("no-such-folder/reason.bin"));
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    QCOMPARE(log.Reasons, std::vector<TauHTTPFailureReason>{TauHTTPFailureReason(reason)});
    QCOMPARE(int(http.FailureReason()), reason);
}

void tst_auHTTP::badInput_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArray>("path");  // "<FILE>": an upper-case FILE:// address of an existing local file
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<int>("status");  // of OnHTTPError

    static const char garbage[] = "\x16\x03\x01 garbage\r\n\x00\xff\r\n\r\n";
    QTest::newRow("garbage instead of HTTP") << QByteArray(garbage, sizeof garbage - 1)
                                             << QByteArray("/file.txt") << QByteArray("Failure NoResponse") << -1;
    QTest::newRow("no status line") << QByteArray("HELLO\r\n\r\n") << QByteArray("/file.txt")
                                    << QByteArray("Failure NoResponse") << -1;
    QTest::newRow("20 KB header line")
        << QByteArray::fromStdString(TScriptedServer::Response(200, "ok", "X-Filler: " + std::string(20000, 'f')))
        << QByteArray("/file.txt") << QByteArray("HeaderInfo Done") << -1;
    // The library refuses a length that is no number as a malformed answer.
    QTest::newRow("length not a number")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: many\r\nConnection: close\r\n\r\nhello")
        << QByteArray("/file.txt") << QByteArray("Failure NoResponse") << -1;
    // A redirection the engine does not follow is the answer, with its status.
    QTest::newRow("redirect to ftp") << QByteArray::fromStdString(TScriptedServer::Response(
                                            302, "moved", "Location: ftp://127.0.0.1/file.txt"))
                                     << QByteArray("/file.txt") << QByteArray("HeaderInfo Failure HTTPError") << 302;
    QTest::newRow("redirect to a local file")
        << QByteArray::fromStdString(TScriptedServer::Response(301, "moved", "Location: file:///etc/passwd"))
        << QByteArray("/file.txt") << QByteArray("HeaderInfo Failure HTTPError") << 301;
    // Only "file" as written names a local file.
    QTest::newRow("FILE in upper case") << QByteArray() << QByteArray("<FILE>") << QByteArray("Failure NoResponse")
                                        << -1;
}

// Bad input ends in its outcome, never in a crash or a hang.
void tst_auHTTP::badInput()
{
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, sequence);
    QFETCH(int, status);

    TScriptedServer server(Answer(response.toStdString(), enClose));
    TauCustomHTTP http;
    THTTPEventLog log(http);
    if (path == "<FILE>") {
        const std::string local = Path("local.txt");
        WriteFile(local, "local bytes");
        http.SetURL("FILE://" + local);
    } else {
        http.SetURL(server.BaseUrl() + path.toStdString());
    }
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    if (status != -1)
        QCOMPARE(log.StatusCode, status);
    QVERIFY(log.Redirects().empty());
}

void tst_auHTTP::progress_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<bool>("announced");
    QTest::addColumn<QList<int>>("bytes");
    QTest::addColumn<QList<int>>("percents");

    QTest::newRow("known length") << 10000 << 4096 << true << QList<int>{4096, 8192, 10000}
                                  << QList<int>{41, 82, 100};
    QTest::newRow("unknown length") << 10000 << 4096 << false << QList<int>{4096, 8192, 10000}
                                    << QList<int>{0, 0, 0};
    QTest::newRow("exact multiple") << 8192 << 4096 << true << QList<int>{4096, 8192} << QList<int>{50, 100};
    QTest::newRow("chunk below the least") << 600 << 100 << true << QList<int>{255, 510, 600}
                                           << QList<int>{42, 85, 100};  // 42.5 rounds to even
}

// One OnTransferProgress per chunk of TransferBufferSize, however the bytes
// arrive, each after the chunk has been stored.
void tst_auHTTP::progress()
{
    QFETCH(int, size);
    QFETCH(int, chunk);
    QFETCH(bool, announced);
    QFETCH(QList<int>, bytes);
    QFETCH(QList<int>, percents);

    const std::string body(std::size_t(size), 'b');
    const std::string response = announced ? TScriptedServer::Response(200, body)
                                           : "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
    // Odd pieces with pauses, so that the library hands the body over in
    // pieces that do not line up with the chunks.
    TScriptedServer server([&](const TTestRequest&, TScriptedConnection& c) {
        std::size_t at = 0;
        c.Send(response.substr(0, response.size() - body.size()));
        for (std::size_t piece = 1000; at < body.size(); at += piece) {
            c.Send(body.substr(at, piece));
            c.Sleep(1ms);
        }
        if (!announced)
            c.Close();
    });
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL(server.BaseUrl() + "/file.bin");
    http.SetTransferBufferSize(chunk);
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), std::string("HeaderInfo Done"));
    QCOMPARE(int(log.Progress.size()), bytes.size());
    for (int i = 0; i < bytes.size(); ++i) {
        const THTTPProgressRecord& p = log.Progress[std::size_t(i)];
        QCOMPARE(p.BytesRead, bytes[i]);
        QCOMPARE(p.DataSize, std::int64_t(bytes[i]));
        QCOMPARE(p.ContentLength, announced ? size : 0);
        QCOMPARE(int(p.PercentsDone), percents[i]);
        const TauHTTPProgress expected =
            HTTPProgressFigures(p.ContentLength, p.BytesRead, std::uint32_t(p.ElapsedTime) * 1000);
        QCOMPARE(p.EstimatedTimeLeft, expected.EstimatedTimeLeft);
        QCOMPARE(p.TransferRate, expected.TransferRate);
        if (!announced)
            QCOMPARE(p.EstimatedTimeLeft, -p.ElapsedTime);
    }
}

void tst_auHTTP::progressFigures_data()
{
    QTest::addColumn<int>("contentLength");
    QTest::addColumn<int>("bytesRead");
    QTest::addColumn<uint>("elapsedMs");
    QTest::addColumn<int>("percents");
    QTest::addColumn<int>("elapsed");
    QTest::addColumn<int>("left");
    QTest::addColumn<float>("rate");

    QTest::newRow("first second") << 10000 << 4096 << 999u << 41 << 0 << 0 << 4.0f;
    QTest::newRow("after three seconds") << 10000 << 4096 << 3000u << 41 << 3 << 4 << float(4.0 / 3);
    QTest::newRow("tie rounds to even down") << 5 << 2 << 1000u << 40 << 1 << 1 << float(2.0 / 1024);
    QTest::newRow("tie rounds to even up") << 7 << 2 << 1000u << 29 << 1 << 3 << float(2.0 / 1024);
    QTest::newRow("unknown length") << 0 << 5000 << 3500u << 0 << 3 << -3 << float(5000.0 / 1024 / 3);
    QTest::newRow("complete") << 2048 << 2048 << 2000u << 100 << 2 << 0 << 1.0f;
}

void tst_auHTTP::progressFigures()
{
    QFETCH(int, contentLength);
    QFETCH(int, bytesRead);
    QFETCH(uint, elapsedMs);
    QFETCH(int, percents);
    QFETCH(int, elapsed);
    QFETCH(int, left);
    QFETCH(float, rate);

    const TauHTTPProgress p = HTTPProgressFigures(contentLength, bytesRead, elapsedMs);
    QCOMPARE(int(p.PercentsDone), percents);
    QCOMPARE(p.ElapsedTime, elapsed);
    QCOMPARE(p.EstimatedTimeLeft, left);
    QCOMPARE(p.TransferRate, rate);
}

void tst_auHTTP::localFile_data()
{
    QTest::addColumn<QByteArray>("name");      // created in the test folder when "contents" is set
    QTest::addColumn<QByteArray>("urlName");   // as it stands in the address
    QTest::addColumn<QByteArray>("contents");  // "<none>": no such file; "<folder>": a folder
    QTest::addColumn<bool>("offline");
    QTest::addColumn<QByteArray>("sequence");

    const QByteArray big(5000, 'f');
    QTest::newRow("found") << QByteArray("local.txt") << QByteArray("local.txt") << big << false
                           << QByteArray("Done");
    QTest::newRow("escaped name") << QByteArray("a b%.txt") << QByteArray("a%20b%25.txt") << QByteArray("x")
                                  << false << QByteArray("Done");
    QTest::newRow("empty") << QByteArray("empty.txt") << QByteArray("empty.txt") << QByteArray("") << false
                           << QByteArray("Done");
    QTest::newRow("offline") << QByteArray("local.txt") << QByteArray("local.txt") << big << true
                             << QByteArray("Done");
    QTest::newRow("missing") << QByteArray("none.txt") << QByteArray("none.txt") << QByteArray("<none>") << false
                             << QByteArray("Failure HTTPError");
    QTest::newRow("folder") << QByteArray("folder") << QByteArray("folder") << QByteArray("<folder>") << false
                            << QByteArray("Failure HTTPError");
}

// "file" addresses are read from the decoded path, chunk by chunk, with no
// header event; a missing one is a 404 with an empty memory stream.
void tst_auHTTP::localFile()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, urlName);
    QFETCH(QByteArray, contents);
    QFETCH(bool, offline);
    QFETCH(QByteArray, sequence);

    const std::string path = Path(name.constData());
    if (contents == "<folder>")
        QVERIFY(QDir().mkpath(QString::fromStdString(path)));
    else if (contents != "<none>")
        WriteFile(path, contents.toStdString());
    TauCustomHTTP http;
    THTTPEventLog log(http);
    http.SetURL("file://" + Path(urlName.constData()));
    http.SetWorkOffline(offline);
    QVERIFY(log.Transfer());
    QCOMPARE(log.Sequence(), sequence.toStdString());
    QCOMPARE(log.DataKind, std::string("memory"));
    QCOMPARE(log.DataPosition, std::int64_t(0));
    if (sequence == "Done") {
        QCOMPARE(log.Body, contents.toStdString());
        QCOMPARE(log.BytesRead, int(contents.size()));
        QCOMPARE(log.Progress.size(), std::size_t((contents.size() + 4095) / 4096));
        if (!log.Progress.empty())
            QCOMPARE(log.Progress.front().ContentLength, int(contents.size()));
    } else {
        QCOMPARE(log.StatusCode, 404);
        QCOMPARE(log.Body, std::string());
    }
}

void tst_auHTTP::lInfo_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");

    QTest::newRow("both") << QByteArray("shopper") << QByteArray("s3cret!");
    QTest::newRow("user only") << QByteArray("shopper") << QByteArray();
    QTest::newRow("password only") << QByteArray() << QByteArray("s3cret!");
    QTest::newRow("bytes above 127") << QByteArray("\xe7\x94\xa8\xe6\x88\xb7") << QByteArray("\xff\x00\x80", 3);
    QTest::newRow("longest") << QByteArray(100, 'u') << QByteArray(26, 'p');
}

// The stored form, byte for byte, and back.
void tst_auHTTP::lInfo()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);

    const std::string u = user.toStdString(), p = password.toStdString();
    const std::string stored = EncodeLInfo(u, p);
    const auto n = std::uint8_t(u.size() + p.size() + 1);
    const auto key = std::uint8_t(n ^ LInfoKey);
    std::string expected(1, char(n));
    expected += char(std::uint8_t(u.size()) ^ key);
    for (const char c : u + p)
        expected += char(std::uint8_t(c) ^ key);
    QCOMPARE(stored, expected);

    std::string readUser = "x", readPassword = "y";
    QVERIFY(DecodeLInfo(stored, readUser, readPassword));
    QCOMPARE(readUser, u);
    QCOMPARE(readPassword, p);

    TauCustomHTTP from, to;
    from.SetHTTPUsername(u);
    from.SetHTTPPassword(p);
    QVERIFY(from.LInfoStored());
    to.SetLInfo(from.LInfo());
    QCOMPARE(to.HTTPUsername(), u);
    QCOMPARE(to.HTTPPassword(), p);
}

// Nothing is stored without credentials or beyond what the form holds, and a
// damaged stored form changes nothing.
void tst_auHTTP::lInfoLimits()
{
    TauLoginComponent login;
    QVERIFY(!login.LInfoStored());
    QCOMPARE(EncodeLInfo("", ""), std::string());
    QCOMPARE(EncodeLInfo(std::string(100, 'u'), std::string(27, 'p')), std::string());
    login.SetHTTPUsername(std::string(127, 'u'));
    QVERIFY(!login.LInfoStored());

    std::string user = "kept", password = "kept too";
    const std::string good = EncodeLInfo("ab", "cd");
    const std::string damaged[] = {"", std::string(1, '\0'), good.substr(0, good.size() - 1), good + "x",
                                   std::string(1, char(3)) + char(9 ^ 3 ^ LInfoKey) + "ab"};
    for (const std::string& bytes : damaged) {
        QVERIFY(!DecodeLInfo(bytes, user, password));
        QCOMPARE(user, std::string("kept"));
        QCOMPARE(password, std::string("kept too"));
    }
}

void tst_auHTTP::proxyBypass_data()
{
    QTest::addColumn<QByteArray>("bypass");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("bypassed");

    QTest::newRow("default list") << QByteArray("127.0.0.1;") << QByteArray("127.0.0.1") << true;
    QTest::newRow("not listed") << QByteArray("127.0.0.1;") << QByteArray("www.shopscope.cn") << false;
    QTest::newRow("empty list") << QByteArray("") << QByteArray("127.0.0.1") << false;
    QTest::newRow("local name") << QByteArray("<local>") << QByteArray("intranet") << true;
    QTest::newRow("local, dotted name") << QByteArray("<local>") << QByteArray("intranet.lan") << false;
    QTest::newRow("wildcard suffix") << QByteArray("*.shopscope.cn") << QByteArray("FILES.Shopscope.CN") << true;
    QTest::newRow("wildcard, other domain") << QByteArray("*.shopscope.cn") << QByteArray("shopscope.cn.evil")
                                            << false;
    QTest::newRow("wildcard prefix") << QByteArray("192.168.*") << QByteArray("192.168.1.20") << true;
    QTest::newRow("second entry") << QByteArray("a.test; b.test ;") << QByteArray("b.test") << true;
    QTest::newRow("part of a name") << QByteArray("shop") << QByteArray("shopscope.cn") << false;
}

void tst_auHTTP::proxyBypass()
{
    QFETCH(QByteArray, bypass);
    QFETCH(QByteArray, host);
    QFETCH(bool, bypassed);
    QCOMPARE(HTTPProxyBypassed(bypass.toStdString(), host.toStdString()), bypassed);
}

void tst_auHTTP::defaults()
{
    TauCustomHTTP http;
    QCOMPARE(http.AcceptTypes(), std::string("text/html, */*"));
    QVERIFY(http.UserAgent().starts_with("Shopscope HTTP ("));
    QVERIFY(http.UserAgent().ends_with(")"));
    QCOMPARE(http.TransferBufferSize(), 4096);
    QCOMPARE(http.RequestMethod(), rmAuto);
    QVERIFY(http.UseCache());
    QVERIFY(http.UseCookies());
    QVERIFY(!http.WorkOffline());
    QVERIFY(!http.HideOutputFile());
    QCOMPARE(http.Proxy().AccessType(), atPreconfig);
    QCOMPARE(http.Proxy().ProxyPort(), 8080);
    QCOMPARE(http.Proxy().ProxyBypass(), std::string("127.0.0.1;"));
    QVERIFY(!http.Proxy().ProxyServerStored());
    QCOMPARE(http.Range().StartRange(), 0);
    QCOMPARE(http.Timeouts().ReceiveTimeout(), 0u);
    QCOMPARE(http.Timeouts().StallTimeout(), 60000u);
    QCOMPARE(http.ThreadPriority(), tpNormal);
    QVERIFY(!http.Busy());
    http.SetTransferBufferSize(10);
    QCOMPARE(http.TransferBufferSize(), 255);
    http.SetURL("http://www.example.test/dir/setup.exe");
    QCOMPARE(http.FileName(), std::string("setup.exe"));
    QCOMPARE(http.HostName(), std::string("www.example.test"));
    QCOMPARE(HTTPStatusText(41), std::string("Response received"));
    QCOMPARE(HTTPStatusText(999), std::string("Unknown status"));
}

QTEST_GUILESS_MAIN(tst_auHTTP)
#include "tst_auHTTP.moc"
