// The upgrade as a person meets it in the real program. The built shopscope
// is copied into a folder of its own and started under a Chinese locale on a
// private display; its upgrade server is a scripted server on 127.0.0.1,
// reached through libcurl's standard http_proxy (the browser engine goes to
// the same server through its --proxy-server). Buttons are pressed with the
// mouse through the X server, and what the windows say is read through the
// accessibility bus. Nothing of the program is told it is under test.

#include "support/DesktopSession.h"
#include "support/ScriptedServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QDeadlineTimer>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <optional>

namespace {

constexpr int StartMs = 120000;  // a program with nine browsers, on a loaded machine
constexpr int ShowMs = 60000;    // a window after a click
// The helper waits up to a minute for the upgraded program to confirm.
constexpr int RestartMs = 180000;

const std::string InfoFileTarget = SHOPSCOPE_UPGRADE_SERVER "/Upgrader.inf";
const std::string ProgramTarget = SHOPSCOPE_UPGRADE_SERVER "/files/shopscope";
const QString SigningKey = QStringLiteral(SHOPSCOPE_TEST_DATA "/upgrade/signing/test-key.pem");

// What the windows say, as the Chinese message table has it.
const QString Caption = QStringLiteral("软件升级精灵");
const QString UpToDate = QStringLiteral("没有发现新的版本，您目前已经是最新版本。");
const QString NotVerified = QStringLiteral("无法验证升级信息：");
const QString FileMismatch = QStringLiteral("与软件发布者发布的内容不符");
const QString Finished = QStringLiteral("已经升级完成");
const QString RolledBack = QStringLiteral("升级已被撤销");
const QString UpgradeButton = QStringLiteral("软件升级");
const QString StartButton = QStringLiteral("开始升级");
const QString LaterButton = QStringLiteral("以后再说");
const QString OkButton = QStringLiteral("确定");

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// The info file and the upgrade file the server hands out; the server's
// threads read them while the test changes them between steps.
class TUpgradeServer {
public:
    TUpgradeServer()
        : FServer([this](const TTestRequest& r, TScriptedConnection& c) { Serve(r, c); }, std::chrono::seconds(1500))
    {
    }

    void Publish(QByteArray info, QByteArray file = {})
    {
        const std::lock_guard lock(FMutex);
        FInfo = std::move(info);
        FFile = std::move(file);
    }
    std::size_t Asked(const std::string& target) const
    {
        std::size_t n = 0;
        for (const TTestRequest& r : FServer.Requests())
            n += r.target == target;
        return n;
    }
    std::string BaseUrl() const { return FServer.BaseUrl(); }
    std::uint16_t Port() const { return FServer.Port(); }

private:
    void Serve(const TTestRequest& r, TScriptedConnection& c)
    {
        QByteArray body;
        {
            const std::lock_guard lock(FMutex);
            if (r.target == InfoFileTarget)
                body = FInfo;
            else if (r.target == ProgramTarget)
                body = FFile;
            else  // the store pages: blank, and at once
                body = "<html><body></body></html>";
        }
        c.Send(TScriptedServer::Response(200, body.toStdString(), "Content-Type: application/octet-stream"));
    }

    mutable std::mutex FMutex;
    QByteArray FInfo, FFile;
    TScriptedServer FServer;
};

QByteArray InfoFile(int version)
{
    return "#version=" + QByteArray::number(version) + "\r\n#message={Faster searches.}\r\n#url1=" +
           QByteArray::fromStdString(ProgramTarget) + "\r\n";
}

// The process whose command line is exactly arguments, if one runs.
std::optional<pid_t> RunningWithCommandLine(const QStringList& arguments)
{
    const QByteArray wanted = arguments.join(QChar(u'\0')).toUtf8() + '\0';
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (number && ReadAll(QStringLiteral("/proc/%1/cmdline").arg(pid)) == wanted)
            return pid;
    }
    return std::nullopt;
}

// Ends the test function when a step it took has failed, so that it does not
// go on waiting for what can no longer come.
#define STEP(call)                      \
    do {                                \
        call;                           \
        if (QTest::currentTestFailed()) \
            return;                     \
    } while (false)

enum class TOutcome { Upgraded, RolledBack, InfoRefused, FileRefused };

bool Gone(pid_t pid)
{
    // Not our child: init reaps it, and then it is no more.
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

class TestProgramUpgrade : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void checkTellsUpToDateOrOffersUpgrade();
    void wholeUpgrade_data();
    void wholeUpgrade();

private:
    // A folder with a copy of program as "shopscope"; its path.
    QString Install(const QString& folder, const QString& program);
    QProcessEnvironment ProgramEnvironment() const;
    // Starts the program at path and waits for its main window.
    void Start(QProcess& program, const QString& path);
    // The program's shown window that accept takes, within ShowMs.
    std::optional<TAccessibleWindow> WaitFor(qint64 pid, const std::function<bool(const TAccessibleWindow&)>& accept,
                                             int timeoutMs = ShowMs) const;
    // Clicks the button named name in window, then waits until the window of
    // that caption and that button has gone.
    void Press(const TAccessibleWindow& window, const QString& name);
    // Presses the upgrade button in the main window.
    void PressUpgrade(qint64 pid);
    QByteArray Signed(const QByteArray& info, const QByteArray& file) const;

    QTemporaryDir FRoot;
    std::unique_ptr<TDesktopSession> FDesktop;
    std::unique_ptr<TUpgradeServer> FServer;
};

void TestProgramUpgrade::initTestCase()
{
    QVERIFY(FRoot.isValid());
    FDesktop = std::make_unique<TDesktopSession>();
    QVERIFY2(FDesktop->Error().isEmpty(), qPrintable(FDesktop->Error()));
    FServer = std::make_unique<TUpgradeServer>();
}

void TestProgramUpgrade::cleanupTestCase()
{
    // Ends every program still on the display; the server stops after it.
    FDesktop.reset();
    FServer.reset();
}

QString TestProgramUpgrade::Install(const QString& folder, const QString& program)
{
    const QString dir = FRoot.filePath(folder);
    const QString path = dir + QStringLiteral("/shopscope");
    if (!QDir().mkpath(dir) || !QFile::copy(program, path))
        return {};
    return path;
}

QProcessEnvironment TestProgramUpgrade::ProgramEnvironment() const
{
    QProcessEnvironment env = FDesktop->Environment(QProcessEnvironment::systemEnvironment());
    // A user of a Chinese desktop, with a home of its own.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                             "no_proxy", "NO_PROXY"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("LANG"), QStringLiteral("zh_CN.UTF-8"));
    env.insert(QStringLiteral("HOME"), FRoot.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("TMPDIR"), FRoot.filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("http_proxy"), QString::fromStdString(FServer->BaseUrl()));
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               env.value(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS")) +
                   QStringLiteral(" --proxy-server=127.0.0.1:%1").arg(FServer->Port()));
    return env;
}

void TestProgramUpgrade::Start(QProcess& program, const QString& path)
{
    QVERIFY(QDir().mkpath(FRoot.filePath(QStringLiteral("tmp"))));
    program.setProcessEnvironment(ProgramEnvironment());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(path, {});
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    if (!WaitFor(program.processId(),
                 [](const TAccessibleWindow& w) { return w.Find(QStringLiteral("push button"), UpgradeButton); }, StartMs)) {
        QStringList seen;
        for (const TAccessibleWindow& w : FDesktop->Windows())
            seen << QStringLiteral("%1 \"%2\" %3").arg(w.Pid).arg(w.Caption, w.Says().left(80));
        QFAIL(qPrintable(QStringLiteral("the main window of %1 did not show (%2); shown: %3")
                             .arg(program.processId())
                             .arg(program.state() == QProcess::Running ? "running" : "ended")
                             .arg(seen.join(QStringLiteral("; ")))));
    }
}

std::optional<TAccessibleWindow> TestProgramUpgrade::WaitFor(
    qint64 pid, const std::function<bool(const TAccessibleWindow&)>& accept, int timeoutMs) const
{
    return FDesktop->WaitForWindow([&](const TAccessibleWindow& w) { return w.Pid == pid && accept(w); }, timeoutMs);
}

void TestProgramUpgrade::Press(const TAccessibleWindow& window, const QString& name)
{
    const TAccessibleItem* button = window.Find(QStringLiteral("push button"), name);
    QVERIFY2(button, qPrintable(QStringLiteral("no button %1 in %2").arg(name, window.Says())));
    QVERIFY(FDesktop->Click(button->Box));
    const QString says = window.Says();
    // Gone: no shown window of that program says the same any more.
    QDeadlineTimer deadline(ShowMs);
    for (;;) {
        bool shown = false;
        for (const TAccessibleWindow& w : FDesktop->Windows())
            shown |= w.Pid == window.Pid && w.Caption == window.Caption && w.Says() == says &&
                     w.Find(QStringLiteral("push button"), name);
        if (!shown)
            return;
        QVERIFY2(!deadline.hasExpired(), qPrintable(QStringLiteral("still shown after pressing %1: %2").arg(name, says)));
        QTest::qWait(200);
    }
}

void TestProgramUpgrade::PressUpgrade(qint64 pid)
{
    const auto main = WaitFor(pid, [](const TAccessibleWindow& w) { return w.Find(QStringLiteral("push button"), UpgradeButton); });
    QVERIFY(main);
    QVERIFY(FDesktop->Click(main->Find(QStringLiteral("push button"), UpgradeButton)->Box));
}

QByteArray TestProgramUpgrade::Signed(const QByteArray& info, const QByteArray& file) const
{
    // The maker's own steps: hash the file under its url entry, then sign.
    const QString infoPath = FRoot.filePath(QStringLiteral("publish/Upgrader.inf"));
    const QString filePath = FRoot.filePath(QStringLiteral("publish/shopscope"));
    if (!QDir().mkpath(FRoot.filePath(QStringLiteral("publish"))) || !WriteAll(infoPath, info) || !WriteAll(filePath, file))
        return {};
    for (const QStringList& arguments : {QStringList{QStringLiteral("hash"), infoPath, QStringLiteral("--file"), QStringLiteral("url1=") + filePath},
                                         QStringList{QStringLiteral("sign"), infoPath, QStringLiteral("--key"), SigningKey}}) {
        QProcess publish;
        publish.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        publish.start(QStringLiteral(SHOPSCOPE_PUBLISH), arguments);
        if (!publish.waitForFinished(60000) || publish.exitStatus() != QProcess::NormalExit || publish.exitCode() != 0)
            return {};
    }
    return ReadAll(infoPath);
}

// The upgrade button, as issue-free users see it: an up-to-date program
// says so in a box; a newer version is offered, and "以后再说" leaves the
// program as it was, ready to check again.
void TestProgramUpgrade::checkTellsUpToDateOrOffersUpgrade()
{
    const QString path = Install(QStringLiteral("check"), QStringLiteral(SHOPSCOPE_PROGRAM));
    QVERIFY(!path.isEmpty());
    const QByteArray original = ReadAll(path);
    QProcess program;
    STEP(Start(program, path));
    const qint64 pid = program.processId();

    const auto upToDate = [](const TAccessibleWindow& w) {
        return w.Caption == Caption && w.Says().contains(UpToDate);
    };
    FServer->Publish(InfoFile(3));
    STEP(PressUpgrade(pid));
    auto box = WaitFor(pid, upToDate);
    QVERIFY2(box, "no up-to-date box");
    QCOMPARE(box->Says(), UpToDate);
    STEP(Press(*box, QString()));  // its one button

    FServer->Publish(InfoFile(4), "never asked for");
    STEP(PressUpgrade(pid));
    const auto offer = WaitFor(pid, [](const TAccessibleWindow& w) {
        return w.Find(QStringLiteral("push button"), StartButton) && w.Find(QStringLiteral("push button"), LaterButton);
    });
    QVERIFY2(offer, "no newer-version window");
    QCOMPARE(offer->Caption, Caption);
    QVERIFY2(offer->Says().contains(QStringLiteral("Faster searches.")), qPrintable(offer->Says()));
    STEP(Press(*offer, LaterButton));

    // Checking again works, so the component is idle, not half-way.
    FServer->Publish(InfoFile(3));
    STEP(PressUpgrade(pid));
    box = WaitFor(pid, upToDate);
    QVERIFY2(box, "no up-to-date box after putting the upgrade off");
    STEP(Press(*box, QString()));

    QCOMPARE(FServer->Asked(ProgramTarget), std::size_t(0));
    QCOMPARE(QDir(FRoot.filePath(QStringLiteral("check"))).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("shopscope")});
    QCOMPARE(ReadAll(path), original);
    QCOMPARE(program.state(), QProcess::Running);
    program.terminate();
    QVERIFY(program.waitForFinished(StartMs));
    QCOMPARE(program.exitCode(), 0);
}

void TestProgramUpgrade::wholeUpgrade_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("outcome");
    const QString plain = QStringLiteral(SHOPSCOPE_PROGRAM);
    const QString keyed = QStringLiteral(SHOPSCOPE_KEYED_PROGRAM);
    QTest::newRow("unsigned") << plain << int(TOutcome::Upgraded);
    QTest::newRow("unsigned, the new version cannot start") << plain << int(TOutcome::RolledBack);
    QTest::newRow("signed") << keyed << int(TOutcome::Upgraded);
    QTest::newRow("signed, info file changed on the way") << keyed << int(TOutcome::InfoRefused);
    QTest::newRow("signed, download changed on the way") << keyed << int(TOutcome::FileRefused);
}

// "开始升级", the wizard's download, OK on its last page: the program ends,
// the helper puts the served file in its place and starts it with
// "/afterupgrade", and the upgraded program confirms. A new version that
// cannot start is undone, and the old program comes back and says so. A
// signed upgrade that was changed on its way is refused with a box that says
// why, and the program stays as it was.
void TestProgramUpgrade::wholeUpgrade()
{
    QFETCH(QString, program);
    QFETCH(int, outcome);
    const auto expected = TOutcome(outcome);
    const QString folder = QStringLiteral("Shop 程序  %1").arg(QTest::currentDataTag()).replace(u',', u'_');
    const QString path = Install(folder, program);
    QVERIFY(!path.isEmpty());
    const QByteArray original = ReadAll(path);
    // A program file may carry bytes after its last section: the served
    // version runs like the old one and is told from it by its bytes.
    const QByteArray upgraded =
        expected == TOutcome::RolledBack ? QByteArray("#!/bin/sh\nexit 1\n") : original + "\nupgraded by the test\n";

    QByteArray info = InfoFile(4);
    if (program != QStringLiteral(SHOPSCOPE_PROGRAM)) {
        info = Signed(info, upgraded);
        QVERIFY(!info.isEmpty());
    }
    if (expected == TOutcome::InfoRefused)
        info.replace("Faster", "Farther");
    FServer->Publish(info, expected == TOutcome::FileRefused ? upgraded + "and changed on its way\n" : upgraded);
    const std::size_t downloadsBefore = FServer->Asked(ProgramTarget);
    const auto onlyTheProgram = [&] {
        return QDir(FRoot.filePath(folder)).entryList(QDir::Files | QDir::Hidden) == QStringList{QStringLiteral("shopscope")};
    };

    QProcess running;
    STEP(Start(running, path));
    const qint64 pid = running.processId();
    STEP(PressUpgrade(pid));

    if (expected == TOutcome::InfoRefused || expected == TOutcome::FileRefused) {
        if (expected == TOutcome::InfoRefused) {
            const auto box = WaitFor(pid, [](const TAccessibleWindow& w) { return w.Says().contains(NotVerified); });
            QVERIFY2(box, "no box saying the info file was refused");
            QCOMPARE(box->Caption, Caption);
            STEP(Press(*box, QString()));
            QCOMPARE(FServer->Asked(ProgramTarget), downloadsBefore);
        } else {
            const auto offer = WaitFor(pid, [](const TAccessibleWindow& w) { return w.Find(QStringLiteral("push button"), StartButton); });
            QVERIFY2(offer, "no newer-version window");
            STEP(Press(*offer, StartButton));
            const auto box = WaitFor(pid, [](const TAccessibleWindow& w) { return w.Says().contains(FileMismatch); });
            QVERIFY2(box, "no box saying the download was refused");
            QCOMPARE(box->Caption, Caption);
            STEP(Press(*box, QString()));
            // The wizard closes with the abandoned upgrade: the main window
            // is the program's only one again.
            const auto onlyMainWindow = [&] {
                std::vector<TAccessibleWindow> shown;
                for (TAccessibleWindow& w : FDesktop->Windows())
                    if (w.Pid == pid)
                        shown.push_back(std::move(w));
                return shown.size() == 1 && shown.front().Find(QStringLiteral("push button"), UpgradeButton);
            };
            QTRY_VERIFY_WITH_TIMEOUT(onlyMainWindow(), ShowMs);
        }
        // Nothing downloaded is kept and nothing is installed.
        QVERIFY(onlyTheProgram());
        QCOMPARE(ReadAll(path), original);
        QCOMPARE(running.state(), QProcess::Running);
        running.terminate();
        QVERIFY(running.waitForFinished(StartMs));
        QCOMPARE(running.exitCode(), 0);
        return;
    }

    const auto offer = WaitFor(pid, [](const TAccessibleWindow& w) { return w.Find(QStringLiteral("push button"), StartButton); });
    QVERIFY2(offer, "no newer-version window");
    STEP(Press(*offer, StartButton));
    const auto done = WaitFor(pid, [](const TAccessibleWindow& w) {
        return w.Says().contains(Finished) && w.Find(QStringLiteral("push button"), OkButton);
    });
    QVERIFY2(done, "the wizard did not finish");
    QCOMPARE(done->Caption, Caption);
    QVERIFY(FDesktop->Click(done->Find(QStringLiteral("push button"), OkButton)->Box));

    // The program hands over and ends by itself.
    QVERIFY2(running.waitForFinished(StartMs), "the program did not close for the upgrade");
    QCOMPARE(running.exitStatus(), QProcess::NormalExit);
    QCOMPARE(running.exitCode(), 0);

    std::optional<pid_t> restarted;
    if (expected == TOutcome::Upgraded) {
        QTRY_VERIFY_WITH_TIMEOUT((restarted = RunningWithCommandLine({path, QStringLiteral("/afterupgrade")})), RestartMs);
        QVERIFY2(WaitFor(*restarted,
                         [](const TAccessibleWindow& w) { return w.Find(QStringLiteral("push button"), UpgradeButton); },
                         StartMs),
                 "the upgraded program shows no window");
    } else {
        // The new version ends with a failure at once; the helper puts the
        // old program back and starts it without the restart parameter,
        // and it tells the user once.
        QTRY_VERIFY_WITH_TIMEOUT((restarted = RunningWithCommandLine({path})), RestartMs);
        const auto box = WaitFor(*restarted, [](const TAccessibleWindow& w) { return w.Says().contains(RolledBack); },
                                 StartMs);
        QVERIFY2(box, "the old program did not say the upgrade was undone");
        QCOMPARE(box->Caption, Caption);
        STEP(Press(*box, QString()));
    }
    // A started program confirms after a few seconds of running; the helper
    // then drops the journal and the old program's copy.
    QTRY_VERIFY_WITH_TIMEOUT(onlyTheProgram(), RestartMs);
    QCOMPARE(ReadAll(path), expected == TOutcome::Upgraded ? upgraded : original);
    QVERIFY(QFileInfo(path).isExecutable());
    ::kill(*restarted, SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(Gone(*restarted), StartMs);
}

QTEST_GUILESS_MAIN(TestProgramUpgrade)
#include "tst_ProgramUpgrade.moc"
