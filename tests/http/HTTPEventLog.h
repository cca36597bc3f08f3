#pragma once
// Records every event of one TauCustomHTTP for the engine's tests: the
// window-thread events in order (with the thread each came on), what each
// outcome carried, and the status events raised on the worker.

#include "http/EnvironmentScope.h"
#include "http/auHTTP.h"
#include "platform/Stream.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Failing comparisons of the engine's strings show both sides.
namespace QTest {
template <>
inline char* toString(const std::string& value)
{
    return toString(QByteArray::fromStdString(value));
}
} // namespace QTest

// Runs the window thread's events until done() holds or the guard time has
// passed; returns done().
inline bool WaitUntil(const std::function<bool()>& done, int guardMs = 20000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(2);
    guard.start(guardMs);
    loop.exec();
    return done();
}

// Clears the proxy variables libcurl reads for its lifetime, so that no test
// goes through a proxy of the machine it runs on.
class TNoProxyEnvironment {
public:
    TNoProxyEnvironment()
    {
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                                 "NO_PROXY"})
            FScopes.push_back(std::make_unique<TEnvironmentScope>(name, std::nullopt));
    }

private:
    std::vector<std::unique_ptr<TEnvironmentScope>> FScopes;
};

struct THTTPProgressRecord {
    std::int32_t ContentLength, BytesRead, ElapsedTime, EstimatedTimeLeft;
    std::uint8_t PercentsDone;
    float TransferRate;
    std::int64_t DataSize;
};

class THTTPEventLog {
public:
    explicit THTTPEventLog(TauCustomHTTP& http) : FHttp(http)
    {
        http.OnHeaderInfo = [this](TauCustomHTTP&, const std::string& raw, const std::string& type,
                                   const std::string& language, const std::string& encoding,
                                   const std::string& location, std::int32_t length, TDateTime date,
                                   TDateTime modified, TDateTime expires, bool& canContinue) {
            Record("HeaderInfo");
            RawHeaders = raw;
            HeaderContentType = type;
            ContentLanguage = language;
            ContentEncoding = encoding;
            Location = location;
            HeaderContentLength = length;
            Date = date;
            LastModified = modified;
            Expires = expires;
            canContinue = CanContinue;
            if (AfterHeaderInfo)
                AfterHeaderInfo();
        };
        http.OnTransferProgress = [this](TauCustomHTTP&, const std::string&, std::int32_t length,
                                         std::int32_t bytes, std::int32_t elapsed, std::int32_t left,
                                         std::uint8_t percents, float rate, TStream* data) {
            CheckThread();
            Progress.push_back({length, bytes, elapsed, left, percents, rate, data ? data->Size() : -1});
            if (AfterProgress)
                AfterProgress();
        };
        http.OnDone = [this](TauCustomHTTP&, const std::string& type, std::int32_t bytes, TStream* data) {
            Outcome("Done", bytes, data);
            ContentType = type;
            if (AfterOutcome)
                AfterOutcome();
        };
        http.OnDeclined = [this](TauCustomHTTP&) {
            Outcome("Declined", -1, nullptr);
            if (AfterOutcome)
                AfterOutcome();
        };
        // Alone (the output file could not be made), it is the outcome.
        http.OnFailure = [this](TauCustomHTTP& sender) {
            Record("Failure");
            Reasons.push_back(sender.FailureReason());
            if (!sender.OutcomeFollows()) {
                ++FOutcomes;
                if (AfterOutcome)
                    AfterOutcome();
            }
        };
        http.OnTransferAborted = [this](TauCustomHTTP&) { Outcome("Aborted", -1, nullptr); };
        http.OnConnectionLost = [this](TauCustomHTTP&, const std::string& type, std::int32_t length,
                                       std::int32_t bytes, TStream* data) {
            Outcome("ConnectionLost", bytes, data);
            ContentType = type;
            LostContentLength = length;
            if (AfterOutcome)
                AfterOutcome();
        };
        http.OnNoResponse = [this](TauCustomHTTP&) {
            Outcome("NoResponse", -1, nullptr);
            if (AfterOutcome)
                AfterOutcome();
        };
        http.OnHTTPError = [this](TauCustomHTTP&, std::int32_t status, TStream* data) {
            Outcome("HTTPError", -1, data);
            StatusCode = status;
            if (AfterOutcome)
                AfterOutcome();
        };
        http.OnLoginRequest = [this](TauCustomHTTP&, const std::string& realm, bool& tryAgain) {
            Record("LoginRequest");
            Realms.push_back(realm);
            if (AnswerLogin)
                AnswerLogin(realm, tryAgain);
        };
        http.OnProxyAuthenticationRequest = [this](TauCustomHTTP&, std::string& user, std::string& password,
                                                   bool& tryAgain) {
            Record("ProxyAuthenticationRequest");
            if (AnswerProxy)
                AnswerProxy(user, password, tryAgain);
        };
        http.OnTransferTimeout = [this](TauCustomHTTP&) { Outcome("TransferTimeout", -1, nullptr); };
        http.OnStatus = [this](TauCustomHTTP&, std::int32_t code, const std::string& text) {
            std::lock_guard<std::mutex> lock(FStatusMutex);
            FStatus.push_back(code);
            if (text != HTTPStatusText(code))
                FStatusTextWrong = true;
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                FStatusOnWindowThread = true;
        };
        http.OnRedirect = [this](TauCustomHTTP&, const std::string& url) {
            std::lock_guard<std::mutex> lock(FStatusMutex);
            FStatus.push_back(-110);  // marks where the redirect came among the status codes
            FRedirects.push_back(url);
        };
    }

    // The window-thread events so far, progress left out, separated by
    // blanks; "!thread" is added for any event raised on another thread.
    std::string Sequence() const
    {
        std::string s;
        for (const std::string& e : FEvents)
            s += (s.empty() ? "" : " ") + e;
        if (FWrongThread)
            s += " !thread";
        return s;
    }
    int Outcomes() const { return FOutcomes; }
    bool WaitForOutcome(int count = 1, int guardMs = 20000)
    {
        return WaitUntil([&] { return FOutcomes >= count; }, guardMs);
    }
    // Starts a transfer and waits for its outcome.
    bool Transfer()
    {
        const int before = FOutcomes;
        return FHttp.Read() && WaitForOutcome(before + 1);
    }
    std::vector<std::int32_t> StatusCodes() const
    {
        std::lock_guard<std::mutex> lock(FStatusMutex);
        return FStatus;
    }
    std::vector<std::string> Redirects() const
    {
        std::lock_guard<std::mutex> lock(FStatusMutex);
        return FRedirects;
    }
    bool StatusOnWindowThread() const
    {
        std::lock_guard<std::mutex> lock(FStatusMutex);
        return FStatusOnWindowThread;
    }
    bool StatusTextWrong() const
    {
        std::lock_guard<std::mutex> lock(FStatusMutex);
        return FStatusTextWrong;
    }

    // How the handlers answer.
    bool CanContinue = true;
    std::function<void(const std::string& realm, bool& tryAgain)> AnswerLogin;
    std::function<void(std::string& user, std::string& password, bool& tryAgain)> AnswerProxy;
    std::function<void()> AfterHeaderInfo;
    std::function<void()> AfterProgress;
    std::function<void()> AfterOutcome;

    // What the events carried.
    std::string RawHeaders, HeaderContentType, ContentLanguage, ContentEncoding, Location;
    std::int32_t HeaderContentLength = -1;
    TDateTime Date = -1, LastModified = -1, Expires = -1;
    std::vector<THTTPProgressRecord> Progress;
    std::vector<std::string> Realms;
    std::string ContentType;
    std::int32_t BytesRead = -1;
    std::int32_t LostContentLength = -1;
    std::int32_t StatusCode = -1;
    std::vector<TauHTTPFailureReason> Reasons;  // of each OnFailure
    // Data at the outcome: "none", "memory" or "file", with its position and
    // what it reads from there.
    std::string DataKind;
    std::string Body;
    std::int64_t DataPosition = -1;
    std::size_t DataCapacity = 0;

private:
    void CheckThread()
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            FWrongThread = true;
    }
    void Record(const std::string& name)
    {
        CheckThread();
        FEvents.push_back(name);
    }
    void Outcome(const std::string& name, std::int32_t bytes, TStream* data)
    {
        Record(name);
        ++FOutcomes;
        BytesRead = bytes;
        if (!data) {
            DataKind = "none";
        } else {
            auto* memory = dynamic_cast<TMemoryStream*>(data);
            DataKind = memory ? "memory" : "file";
            DataCapacity = memory ? memory->Capacity() : 0;
            DataPosition = data->Position();
            Body = data->ReadAll();
            data->SetPosition(DataPosition);
        }
    }

    TauCustomHTTP& FHttp;
    std::vector<std::string> FEvents;
    int FOutcomes = 0;
    bool FWrongThread = false;
    mutable std::mutex FStatusMutex;
    std::vector<std::int32_t> FStatus;
    std::vector<std::string> FRedirects;
    bool FStatusOnWindowThread = false;
    bool FStatusTextWrong = false;
};
