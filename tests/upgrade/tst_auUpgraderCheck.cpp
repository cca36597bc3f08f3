// The upgrade check against the scripted server: every outcome with its
// events in order and the box or window that follows (answered here), the
// ShowMessages members, the redirect method, the program folder that cannot
// be written, the automatic silent check, and a second check after each
// outcome starting afresh.

#include "ModalAnswer.h"
#include "http/HTTPEventLog.h"
#include "http/RecordingLauncher.h"
#include "support/ScriptedServer.h"
#include "upgrade/auUpgrader.h"
#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderDownload.h"
#include "upgrade/auUpgraderUpgradeMsg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace {

// A port on 127.0.0.1 that refuses connections: bound, never listening, and
// held for the test's life so no one else can take it.
class TRefusingPort {
public:
    TRefusingPort()
        : FFd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (FFd < 0 || ::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no port to refuse on");
        FPort = ntohs(address.sin_port);
    }
    ~TRefusingPort() { ::close(FFd); }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(FPort); }

private:
    int FFd;
    std::uint16_t FPort = 0;
};

enum TScenario {
    scRefused,       // nothing listens
    scReset,         // the connection is reset once the request arrived
    scNeverAnswers,  // the request is read and nothing comes back
    sc404,
    sc500,
    scCut,           // 200 with 100 bytes announced, 10 sent, then closed
    sc401,           // always 401
    sc401Auth,       // 401 unless the user and password are "user" and "secret"
    scInfo,          // the info file, and the upgrade files below
};

const std::string Credentials = "Basic dXNlcjpzZWNyZXQ=";  // user:secret

std::string Replace(std::string text, const std::string& base)
{
    for (std::size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + base.size()))
        text.replace(at, 1, base);
    return text;
}

void Serve(TScenario scenario, const std::string& info, const TTestRequest& request, TScriptedConnection& c)
{
    const std::string unauthorised =
        TScriptedServer::Response(401, "Who are you?", "WWW-Authenticate: Basic realm=\"Upgrades\"");
    if (request.target == "/files/a.exe") {
        c.Send(TScriptedServer::Response(200, "AAAA"));
    } else if (request.target == "/files/b.exe") {
        c.Send(TScriptedServer::Response(404, "No such file"));
    } else if (request.target == "/files/c.exe") {
        c.Send(TScriptedServer::Response(200, "CCCC"));
    } else if (scenario == scReset) {
        c.Reset();
    } else if (scenario == scNeverAnswers) {
        c.WaitForRelease("never");
    } else if (scenario == sc404) {
        c.Send(TScriptedServer::Response(404, "Not here"));
    } else if (scenario == sc500) {
        c.Send(TScriptedServer::Response(500, "Broken"));
    } else if (scenario == scCut) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n#version=4");
        c.Close();
    } else if (scenario == sc401 || (scenario == sc401Auth && request.Header("Authorization") != Credentials)) {
        c.Send(unauthorised);
    } else {
        c.Send(TScriptedServer::Response(200, info));
    }
}

// Records the component's events, and the boxes and windows shown, in order.
class TUpgraderLog {
public:
    explicit TUpgraderLog(TauUpgrader& u)
    {
        u.OnBeginUpgrade = [this](TauUpgrader&, const std::string& message, TacUpgradeMethod method,
                                  const std::vector<std::string>& files, bool& canUpgrade) {
            Add(QStringLiteral("BeginUpgrade %1 %2 %3")
                    .arg(int(method))
                    .arg(files.size())
                    .arg(QString::fromStdString(message)));
            canUpgrade = CanUpgrade;
        };
        u.OnEndUpgrade = [this](TauUpgrader&) { Add("EndUpgrade"); };
        u.OnLaterUpgrade = [this](TauUpgrader&) { Add("LaterUpgrade"); };
        u.OnFileStart = [this](TauUpgrader&, const std::string& url, std::int32_t, TDateTime, bool&) {
            Add("FileStart " + QString::fromStdString(url));
        };
        u.OnFileDone = [this](TauUpgrader&, const std::string& name) {
            Add("FileDone " + QFileInfo(QString::fromStdString(name)).fileName());
        };
        u.OnAborted = [this](TauUpgrader&) { Add("Aborted"); };
        u.OnConnLost = [this](TauUpgrader&) { Add("ConnLost"); };
        u.OnHostUnreachable = [this](TauUpgrader&, const std::string& url, const std::string& host) {
            Add(QStringLiteral("HostUnreachable %1 %2").arg(QString::fromStdString(url), QString::fromStdString(host)));
        };
        u.OnNoUpdateAvailable = [this](TauUpgrader&) { Add("NoUpdateAvailable"); };
        u.OnNoInfoFile = [this](TauUpgrader&) { Add("NoInfoFile"); };
        u.OnLostFile = [this](TauUpgrader&, const std::string& url, std::int32_t code, bool&) {
            Add(QStringLiteral("LostFile %1 %2").arg(QString::fromStdString(url)).arg(code));
        };
        u.OnPasswordRequest = [this](TauCustomHTTP& sender, const std::string& realm, bool& tryAgain) {
            Add("PasswordRequest " + QString::fromStdString(realm));
            if (TryAgain) {
                sender.SetHTTPUsername("user");
                sender.SetHTTPPassword("secret");
                tryAgain = true;
            }
        };
    }

    void Add(const QString& entry) { Entries << entry; }
    QString Joined() const { return Entries.join(QStringLiteral(" | ")); }

    // The answer of each box or window shown during one check.
    std::unique_ptr<TModalAnswer<QMessageBox>> AnswerBoxes(bool Yes)
    {
        return std::make_unique<TModalAnswer<QMessageBox>>([this, Yes](QMessageBox* box) {
            if (box->standardButtons() == (QMessageBox::Yes | QMessageBox::No)) {
                const bool format = box->icon() == QMessageBox::Warning;
                Add(QStringLiteral("question %1: %2").arg(box->windowTitle(), box->text()) + (format ? "" : "!"));
                box->button(Yes ? QMessageBox::Yes : QMessageBox::No)->click();
                return;
            }
            const bool format = box->windowTitle() == LangStr(0) && box->icon() == QMessageBox::Critical &&
                                box->standardButtons() == QMessageBox::Ok;
            Add("box " + box->text() + (format ? "" : "!"));
            box->button(QMessageBox::Ok)->click();
        });
    }
    std::unique_ptr<TModalAnswer<TauUpgraderUpgradeMessageForm>> AnswerOffer(bool Yes)
    {
        return std::make_unique<TModalAnswer<TauUpgraderUpgradeMessageForm>>(
            [this, Yes](TauUpgraderUpgradeMessageForm* form) {
                Add(OfferShows.isEmpty() || form->Label1->text().contains(OfferShows) ? "offer" : "offer!");
                if (DuringOffer) {
                    DuringOffer();
                    return;
                }
                (Yes ? form->YesBtn : form->LaterBtn)->click();
            });
    }

    QStringList Entries;
    // Text the offer must show; empty: not looked at.
    QString OfferShows;
    // Runs instead of answering the offer.
    std::function<void()> DuringOffer;
    bool CanUpgrade = true;
    bool TryAgain = false;
};

// Stands in for the download that comes later: fetches each listed file into
// the program folder in turn, so that the failures of an upgrade file can be
// driven through the component's handlers.
class TDownloadingUpgrader : public TauUpgrader {
public:
    bool StandIn = false;
    TUpgraderLog* Log = nullptr;

protected:
    void DownloadNextFile(bool First) override
    {
        if (!StandIn) {
            TauUpgrader::DownloadNextFile(First);
            return;
        }
        if (First) {
            SetCheckingInfo(false);
            FileIndex = 0;
        } else {
            ++FileIndex;
        }
        if (FileIndex < static_cast<std::int32_t>(FileList.size())) {
            SetURL(FileList[FileIndex]);
            CurrentFile = ProgramFolder() + URLFileName(FileList[FileIndex]) + ".uTMP";
            SetOutputFileName(CurrentFile);
            Read();
            return;
        }
        Log->Add("finished");
        StopUpgrade();
    }
};

// Set up as the program's: by number, version 3, English, the info file
// at Base.
void AsProgram(TauUpgrader& u, const std::string& Base,
               TauUpgraderShowMessages Messages = TauUpgraderShowMessages::All())
{
    u.Wizard().SetLanguage(wlEnglish);
    u.SetInfoFileURL(Base + "/Upgrader.inf");
    u.SetVersionControl(byNumber);
    u.SetVersionNumber("3");
    u.SetShowMessages(Messages);
}

// The automatic check's timer ticking every 20 ms, Online telling whether
// the machine is online.
void TickFast(TauUpgrader& u, std::function<bool()> Online)
{
    u.SetOnlineTest(std::move(Online));
    u.SetAutoCheckInterval(20);
}

QString Box(int k)
{
    return "box " + ShownLines(LangStr(k));
}

QString HostBox()
{
    return "box " + ShownLines(LangFmt(26, "'http://127.0.0.1'"));
}

enum TOption {
    opNone = 0,
    opCanUpgradeCleared = 1,
    opFolderNotWritable = 2,
    opPasswordWindowConfirms = 4,  // the window confirms once, then is cancelled
    opHandlerTriesAgain = 8,
    opStandInDownload = 16,
    opOfferLater = 32,
    opQuestionNo = 64,
    opFileNotStorable = 128,       // a folder stands where the first file goes
};

constexpr std::uint8_t All = 0x7F;
constexpr std::uint8_t Default = 75;

std::uint8_t Without(TauUpgraderShowMessage m)
{
    TauUpgraderShowMessages s = TauUpgraderShowMessages::All();
    s.Exclude(m);
    return s.Byte();
}

} // namespace

class TestUpgraderCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void check_data();
    void check();
    void silentUnreachableRetried();
    void silentCheck_data();
    void silentCheck();
    void buttonDuringSilentCheck();
    void offlineTicks();
    void anyInfoFile_data();
    void anyInfoFile();
    void abortWhileOffered();
    void timerDuringUserCheck();
    void checkFromOwnEvent();

private:
    QTemporaryDir FTemp;
    TNoProxyEnvironment FNoProxy;
};

void TestUpgraderCheck::initTestCase()
{
    QVERIFY(FTemp.isValid());
    qputenv("TMPDIR", FTemp.path().toUtf8());
    // English texts whatever the machine's locale.
    qputenv("LC_ALL", "C");
}

void TestUpgraderCheck::check_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("options");
    QTest::addColumn<std::string>("info");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("requests");  // per check; -1: not counted

    ChooseUpgraderLanguage(wlEnglish);
    const std::string same = "#version=3\r\n#url1=$/files/a.exe\r\n";
    const std::string newer = "#version=4\r\n#message={Faster.}\r\n#url1=$/files/a.exe\r\n";
    const std::string three = "#VERSION=4\n#url1=$/files/a.exe\n#url2=$/files/b.exe\n#url3=$/files/c.exe\n";
    const QString unreachable = "HostUnreachable $/Upgrader.inf 127.0.0.1";
    const QString offered = "BeginUpgrade 0 1 Faster.";
    const QString question = "question Error #404: " + ShownLines(LangFmt(28, "b.exe"));
    const QString threeFiles = "BeginUpgrade 0 3  | offer | FileStart $/files/a.exe | FileDone a.exe.uTMP | "
                               "FileStart $/files/b.exe | LostFile $/files/b.exe 404";

    QTest::newRow("no response: refused") << int(scRefused) << int(All) << 0 << same
                                          << unreachable + " | " + HostBox() << -1;
    QTest::newRow("no response: refused, default messages")
        << int(scRefused) << int(Default) << 0 << same << unreachable << -1;
    QTest::newRow("no response: reset") << int(scReset) << int(All) << 0 << same << unreachable + " | " + HostBox()
                                        << 1;
    QTest::newRow("no response: never answers")
        << int(scNeverAnswers) << int(All) << 0 << same << unreachable + " | " + HostBox() << 1;
    QTest::newRow("info file 404") << int(sc404) << int(All) << 0 << same << "NoInfoFile | " + Box(25) << 1;
    QTest::newRow("info file 500") << int(sc500) << int(All) << 0 << same << "NoInfoFile | " + Box(25) << 1;
    QTest::newRow("info file 404, default messages") << int(sc404) << int(Default) << 0 << same << "NoInfoFile" << 1;
    QTest::newRow("connection lost") << int(scCut) << int(All) << 0 << same << "ConnLost | " + Box(30) << 1;
    QTest::newRow("connection lost, no mConnLost")
        << int(scCut) << int(Without(mConnLost)) << 0 << same << "ConnLost" << 1;
    QTest::newRow("401, no mPasswordRequest") << int(sc401) << int(Without(mPasswordRequest)) << 0 << same
                                              << "PasswordRequest Upgrades | NoInfoFile | " + Box(25) << 1;
    QTest::newRow("401, password window cancelled")
        << int(sc401) << int(All) << 0 << same << "PasswordRequest Upgrades | window | Aborted" << 1;
    QTest::newRow("401, password window confirmed")
        << int(sc401Auth) << int(All) << int(opPasswordWindowConfirms) << same
        << "PasswordRequest Upgrades | window | NoUpdateAvailable | " + Box(24) << 2;
    QTest::newRow("401 again after the password window")
        << int(sc401) << int(All) << int(opPasswordWindowConfirms) << same
        << "PasswordRequest Upgrades | window | PasswordRequest Upgrades | window | Aborted" << 2;
    QTest::newRow("401, OnPasswordRequest tries again")
        << int(sc401Auth) << int(All) << int(opHandlerTriesAgain) << same
        << "PasswordRequest Upgrades | NoUpdateAvailable | " + Box(24) << 2;
    QTest::newRow("no newer version") << int(scInfo) << int(All) << 0 << same << "NoUpdateAvailable | " + Box(24)
                                      << 1;
    QTest::newRow("no newer version, default messages")
        << int(scInfo) << int(Default) << 0 << same << "NoUpdateAvailable" << 1;
    QTest::newRow("newer version without files")
        << int(scInfo) << int(All) << 0 << std::string("#version=4\r\n#url2=$/files/a.exe")
        << "NoUpdateAvailable | " + Box(24) << 1;
    QTest::newRow("offer answered Later") << int(scInfo) << int(All) << int(opOfferLater) << newer
                                          << offered + " | offer | LaterUpgrade" << 1;
    QTest::newRow("CanUpgrade cleared") << int(scInfo) << int(All) << int(opCanUpgradeCleared) << newer
                                        << offered + " | LaterUpgrade" << 1;
    QTest::newRow("accepted, folder writable")
        << int(scInfo) << int(All) << 0 << newer
        << offered + " | offer | FileStart $/files/a.exe | FileDone a.exe.uTMP | EndUpgrade | Close" << 2;
    QTest::newRow("accepted, folder not writable")
        << int(scInfo) << int(All) << int(opFolderNotWritable) << newer << offered + " | offer | " + Box(31) << 1;
    QTest::newRow("no mAskUpgrade, folder not writable")
        << int(scInfo) << int(Without(mAskUpgrade)) << int(opFolderNotWritable) << newer
        << offered + " | " + Box(31) << 1;
    QTest::newRow("redirect") << int(scInfo) << int(All) << 0
                              << std::string("#version=4\r\n#method=2x\r\n#url=$/news.html\r\n#url1=$/files/a.exe")
                              << "BeginUpgrade 2 1  | offer" << 1;
    QTest::newRow("lost file: Yes skips it")
        << int(scInfo) << int(All) << int(opStandInDownload) << three
        << threeFiles + " | " + question + " | FileStart $/files/c.exe | FileDone c.exe.uTMP | finished" << 4;
    QTest::newRow("lost file: No abandons") << int(scInfo) << int(All) << int(opStandInDownload | opQuestionNo)
                                            << three << threeFiles + " | " + question + " | Aborted" << 3;
    QTest::newRow("upgrade file cannot be stored")
        << int(scInfo) << int(All) << int(opStandInDownload | opFileNotStorable) << three
        << "BeginUpgrade 0 3  | offer | FileStart $/files/a.exe | box " + FileNotStoredText("a.exe") << 2;
    QTest::newRow("lost file, no mLostFile")
        << int(scInfo) << int(Without(mLostFile)) << int(opStandInDownload) << three << threeFiles + " | Aborted"
        << 3;
}

void TestUpgraderCheck::check()
{
    QFETCH(int, scenario);
    QFETCH(int, messages);
    QFETCH(int, options);
    QFETCH(std::string, info);
    QFETCH(QString, expected);
    QFETCH(int, requests);

    TRefusingPort refusing;
    std::string base;
    TScriptedServer server(
        [&](const TTestRequest& request, TScriptedConnection& c) {
            Serve(TScenario(scenario), Replace(info, base), request, c);
        });
    base = scenario == scRefused ? refusing.BaseUrl() : server.BaseUrl();

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    std::string programFolder = folder.path().toStdString() + "/";
    if (options & opFolderNotWritable) {
        // A file where the folder should be: no user, root included, can
        // create anything in it.
        QFile blocker(folder.filePath("program"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        programFolder += "program/";
    }

    if (options & opFileNotStorable) {
        QVERIFY(QDir(folder.path()).mkpath("a.exe.uTMP/keep"));
    }
    TDownloadingUpgrader u;
    TUpgraderLog log(u);
    TRecordingLauncher launcher;
    AsProgram(u, base, TauUpgraderShowMessages::FromByte(std::uint8_t(messages)));
    u.SetProgramFolder(programFolder);
    u.SetProcessLauncher(launcher);
    // Only where the server is silent on purpose: elsewhere a loaded machine
    // could be taken for a silent server.
    if (scenario == scNeverAnswers)
        u.Timeouts().SetStallTimeout(300);
    u.StandIn = options & opStandInDownload;
    // The real download runs without its window and hands over to no helper.
    u.Wizard().SetEnabled(false);
    u.SetHelperStarter([](const std::string&, const std::string&) { return THelperStart{"helper", 1, 0}; });
    u.OnDoOwnCloseAppMethod = [&log](TauUpgrader&) { log.Add("Close"); };
    u.Log = &log;
    log.CanUpgrade = !(options & opCanUpgradeCleared);
    log.TryAgain = options & opHandlerTriesAgain;
    int windows = 0;
    u.PasswordWindow = [&](TauCustomHTTP& engine) {
        log.Add("window");
        if (!(options & opPasswordWindowConfirms) || ++windows > 1)
            return false;
        engine.SetHTTPUsername("user");
        engine.SetHTTPPassword("secret");
        return true;
    };
    const QString want = QString::fromStdString(Replace(expected.toStdString(), base));

    // The second check must find the component as fresh as the first.
    for (int run = 1; run <= 2; ++run) {
        log.Entries.clear();
        windows = 0;
        u.SetHTTPUsername(std::string());
        u.SetHTTPPassword(std::string());
        const auto boxes = log.AnswerBoxes(!(options & opQuestionNo));
        const auto offer = log.AnswerOffer(!(options & opOfferLater));
        QVERIFY(u.CheckForUpdate());
        QVERIFY(u.InProgress());
        QVERIFY(WaitUntil([&] { return !u.InProgress(); }));
        QCOMPARE(log.Joined(), want);
        QVERIFY(!u.Busy());
        // Idle: every request of this check has been answered.
        if (requests >= 0)
            QCOMPARE(server.Requests().size(), std::size_t(requests * run));
    }

    if (options & opStandInDownload) {
        // The error page stored for the refused file is gone, and so are the
        // files of the download that ended without a hand-over.
        QVERIFY(!QFile::exists(folder.filePath("b.exe.uTMP")));
        QCOMPARE(QFile::exists(folder.filePath("a.exe.uTMP")), bool(options & opFileNotStorable));
        QCOMPARE(QFileInfo(folder.filePath("a.exe.uTMP")).isDir(), bool(options & opFileNotStorable));
    }
    if (QString(QTest::currentDataTag()) == "redirect") {
        // The first address is opened, nothing is downloaded.
        QCOMPARE(launcher.Started.size(), std::size_t(2));
        QCOMPARE(launcher.Started[0].back(), base + "/news.html");
    } else {
        QVERIFY(launcher.Started.empty());
    }
    // The info file is always asked for past every cache.
    for (const TTestRequest& r : server.Requests())
        if (r.target == "/Upgrader.inf")
            QVERIFY(r.Header("Cache-Control").find("no-cache") != std::string::npos);
}

void TestUpgraderCheck::silentUnreachableRetried()
{
    // A check started by the timer that finds no host shows nothing and is
    // tried again at the next tick, until AutoCheck goes off.
    TRefusingPort refusing;
    TauUpgrader u;
    TUpgraderLog log(u);
    AsProgram(u, refusing.BaseUrl());
    TickFast(u, [] { return true; });
    int failures = 0;
    u.OnHostUnreachable = [&](TauUpgrader& sender, const std::string&, const std::string&) {
        log.Add("HostUnreachable");
        if (++failures == 3)
            sender.SetAutoCheck(false);
    };
    {
        const auto boxes = log.AnswerBoxes(true);
        u.SetAutoCheck(true);
        QVERIFY(WaitUntil([&] { return failures == 3 && !u.InProgress(); }));
        QCOMPARE(log.Joined(), QStringLiteral("HostUnreachable | HostUnreachable | HostUnreachable"));
    }
    // Pressed by the user, the same failure is told.
    log.Entries.clear();
    const auto boxes = log.AnswerBoxes(true);
    QVERIFY(u.CheckForUpdate());
    QVERIFY(WaitUntil([&] { return !u.InProgress(); }));
    QCOMPARE(log.Joined(), "HostUnreachable | " + HostBox());
}

void TestUpgraderCheck::silentCheck_data()
{
    QTest::addColumn<std::string>("info");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no update: nothing shown") << std::string("#version=3") << QStringLiteral("NoUpdateAvailable");
    QTest::newRow("update: offered as usual")
        << std::string("#version=4\n#url=$/files/a.exe") << QStringLiteral("BeginUpgrade 0 1  | offer | LaterUpgrade");
}

void TestUpgraderCheck::silentCheck()
{
    QFETCH(std::string, info);
    QFETCH(QString, expected);
    std::string base;
    TScriptedServer server([&](const TTestRequest& request, TScriptedConnection& c) {
        Serve(scInfo, Replace(info, base), request, c);
    });
    base = server.BaseUrl();
    TauUpgrader u;
    TUpgraderLog log(u);
    AsProgram(u, base);
    TickFast(u, [] { return true; });
    const auto boxes = log.AnswerBoxes(true);
    const auto offer = log.AnswerOffer(false);
    u.SetAutoCheck(true);
    QVERIFY(WaitUntil([&] { return !log.Entries.isEmpty() && !u.InProgress(); }));
    QCOMPARE(log.Joined(), expected);
    // The timer went off with its check: one request, and no other can come.
    QCOMPARE(server.Requests().size(), std::size_t(1));
    // Off and on again after it fired: the timer stays off.
    u.SetAutoCheck(false);
    u.SetAutoCheck(true);
    QVERIFY(u.AutoCheck());
}

void TestUpgraderCheck::buttonDuringSilentCheck()
{
    // The button pressed while a timer-started check waits for its answer
    // starts nothing, but the running check now tells its outcome.
    TScriptedServer server([](const TTestRequest&, TScriptedConnection& c) {
        c.WaitForRelease("answer");
        c.Send(TScriptedServer::Response(200, "#version=3"));
    });
    TauUpgrader u;
    TUpgraderLog log(u);
    AsProgram(u, server.BaseUrl());
    TickFast(u, [] { return true; });
    const auto boxes = log.AnswerBoxes(true);
    u.SetAutoCheck(true);
    // The window thread keeps running: the timer ticks on it.
    QVERIFY(WaitUntil([&] { return !server.Requests().empty(); }));
    QVERIFY(u.InProgress());
    QVERIFY(u.CheckForUpdate());
    server.Release("answer");
    QVERIFY(WaitUntil([&] { return !u.InProgress(); }));
    QCOMPARE(log.Joined(), "NoUpdateAvailable | " + Box(24));
    QCOMPARE(server.Requests().size(), std::size_t(1));
}

void TestUpgraderCheck::offlineTicks()
{
    // Offline, every tick asks again and nothing is requested; the first
    // tick that finds the machine online checks.
    TScriptedServer server([](const TTestRequest& request, TScriptedConnection& c) {
        Serve(scInfo, "#version=3", request, c);
    });
    TauUpgrader u;
    TUpgraderLog log(u);
    AsProgram(u, server.BaseUrl(), TauUpgraderShowMessages());
    int asked = 0;
    bool online = false;
    TickFast(u, [&] {
        ++asked;
        return online;
    });
    u.SetAutoCheck(true);
    QVERIFY(WaitUntil([&] { return asked >= 3; }));
    // Every tick so far found the machine offline: no check was started.
    QVERIFY(!u.InProgress());
    QVERIFY(server.Requests().empty());
    online = true;
    QVERIFY(WaitUntil([&] { return !log.Entries.isEmpty() && !u.InProgress(); }));
    QCOMPARE(log.Joined(), QStringLiteral("NoUpdateAvailable"));
    QCOMPARE(server.Requests().size(), std::size_t(1));
}

void TestUpgraderCheck::anyInfoFile_data()
{
    QTest::addColumn<std::string>("info");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("shown");  // in the offer

    std::string filler(10 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < filler.size(); i += 100)
        filler[i] = '\n';
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += char((i * 7919) & 0xFF);
    QTest::newRow("empty") << std::string() << "NoUpdateAvailable | " + Box(24) << QString();
    QTest::newRow("binary") << binary << "NoUpdateAvailable | " + Box(24) << QString();
    QTest::newRow("no entries") << std::string("version 4\nurl http://x/y.exe\n") << "NoUpdateAvailable | " + Box(24)
                                << QString();
    QTest::newRow("10 MB, entries at the end")
        << filler + "\n#version=4\n#url=$/files/a.exe\n#message={At the end.}" << "BeginUpgrade 0 1 At the end. | offer | LaterUpgrade"
        << QStringLiteral("At the end.");
    QTest::newRow("message without }")
        << std::string("#version=4\r\n#url=$/files/a.exe\r\n#message={Faster\r\n#method=2") << QString("BeginUpgrade 2 1 Faster\r\n#method=2 | offer | LaterUpgrade")
        << QString();
    QTest::newRow("GBK message") << std::string("#version=4\n#url=$/files/a.exe\n#message={\xb8\xfc\xbf\xec}")
                                 << QString() << QStringLiteral("更快");
    QTest::newRow("NUL before the entries")
        << std::string("\0\0#version=4\n#url=$/files/a.exe\n", 32) << "BeginUpgrade 0 1  | offer | LaterUpgrade" << QString();
}

void TestUpgraderCheck::anyInfoFile()
{
    // Whatever the server sends as the info file, the check ends in an
    // outcome and the component is ready for the next one.
    QFETCH(std::string, info);
    QFETCH(QString, expected);
    QFETCH(QString, shown);
    std::string base;
    TScriptedServer server([&](const TTestRequest& request, TScriptedConnection& c) {
        Serve(scInfo, Replace(info, base), request, c);
    });
    base = server.BaseUrl();
    TauUpgrader u;
    TUpgraderLog log(u);
    AsProgram(u, base);
    log.OfferShows = shown;
    for (int run = 1; run <= 2; ++run) {
        log.Entries.clear();
        const auto boxes = log.AnswerBoxes(true);
        const auto offer = log.AnswerOffer(false);
        QVERIFY(u.CheckForUpdate());
        QVERIFY(WaitUntil([&] { return !u.InProgress(); }, 60000));
        if (expected.isEmpty()) {
            // Only what the offer shows is looked at.
            QCOMPARE(log.Entries.value(1), QStringLiteral("offer"));
        } else {
            QCOMPARE(log.Joined(), QString::fromStdString(Replace(expected.toStdString(), base)));
        }
    }
}

void TestUpgraderCheck::abortWhileOffered()
{
    // The upgrade abandoned while the offer is open closes it; its closing
    // is no "later", and nothing else follows.
    std::string base;
    TScriptedServer server([&](const TTestRequest& request, TScriptedConnection& c) {
        Serve(scInfo, Replace("#version=4\n#url=$/files/a.exe", base), request, c);
    });
    base = server.BaseUrl();
    TauUpgrader u;
    TUpgraderLog log(u);
    AsProgram(u, base);
    log.DuringOffer = [&] {
        u.AbortUpgrade();
        log.Add(UpgradeMessageForm() ? "still open" : "closed");
    };
    const auto offer = log.AnswerOffer(true);
    QVERIFY(u.CheckForUpdate());
    QVERIFY(WaitUntil([&] { return !u.InProgress() && log.Entries.size() >= 4; }));
    QCOMPARE(log.Joined(), QStringLiteral("BeginUpgrade 0 1  | offer | Aborted | closed"));
    QCOMPARE(server.Requests().size(), std::size_t(1));
}

void TestUpgraderCheck::timerDuringUserCheck()
{
    // The automatic check comes due while the user's own check waits for
    // its answer: it starts nothing and does not silence the user's check.
    TScriptedServer server([](const TTestRequest&, TScriptedConnection& c) {
        c.WaitForRelease("answer");
        c.Send(TScriptedServer::Response(200, "#version=3"));
    });
    TauUpgrader u;
    TUpgraderLog log(u);
    AsProgram(u, server.BaseUrl());
    int asked = 0;
    TickFast(u, [&] {
        ++asked;
        return true;
    });
    const auto boxes = log.AnswerBoxes(true);
    QVERIFY(u.CheckForUpdate());
    u.SetAutoCheck(true);
    QVERIFY(WaitUntil([&] { return asked >= 1; }));
    server.Release("answer");
    QVERIFY(WaitUntil([&] { return !u.InProgress(); }));
    QCOMPARE(log.Joined(), "NoUpdateAvailable | " + Box(24));
    // The tick counted as the automatic check: the timer is off for good.
    QCOMPARE(asked, 1);
    QCOMPARE(server.Requests().size(), std::size_t(1));
}

void TestUpgraderCheck::checkFromOwnEvent()
{
    // A handler that checks again from inside an outcome starts nothing:
    // the outcome is still being told.
    TScriptedServer server([](const TTestRequest& request, TScriptedConnection& c) {
        Serve(sc404, std::string(), request, c);
    });
    TauUpgrader u;
    TUpgraderLog log(u);
    AsProgram(u, server.BaseUrl());
    bool again = false;
    u.OnNoInfoFile = [&](TauUpgrader& sender) {
        log.Add("NoInfoFile");
        again = sender.CheckForUpdate();
    };
    const auto boxes = log.AnswerBoxes(true);
    QVERIFY(u.CheckForUpdate());
    QVERIFY(WaitUntil([&] { return !u.InProgress(); }));
    QCOMPARE(log.Joined(), "NoInfoFile | " + Box(25));
    QVERIFY(again);
    QVERIFY(!u.Busy());
    QCOMPARE(server.Requests().size(), std::size_t(1));
}

QTEST_MAIN(TestUpgraderCheck)
#include "tst_auUpgraderCheck.moc"
