// The program's side of the upgrade hand-over: the helper compiled in, written
// out and started for real. A small shell script stands in for the program;
// the helper restarts it, and the script writes down how it was started.

#include "http/auUtils.h"
#include "platform/ApplicationWindow.h"
#include "platform/DetachedProcess.h"
#include "platform/ExecutableFile.h"
#include "platform/NoExecMount.h"
#include "platform/Stream.h"
#include "upgrade/auHelperLauncher.h"
#include "upgrade/helper/HandOver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int RecordTimeoutMs = 60000;

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray BuiltHelper()
{
    static const QByteArray bytes = ReadAll(QStringLiteral(UPGRADER_PATH));
    return bytes;
}

std::string Std(const QString& text)
{
    return text.toStdString();
}

// Writes "record" beside itself: the path it was started by, then each
// argument, one a line; renamed into place so it is seen whole or not at all.
void WriteRecorder(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n"
               "d=$(dirname \"$0\")\n"
               "printf '%s\\n' \"$0\" \"$@\" > \"$d/record.part\" && mv \"$d/record.part\" \"$d/record\"\n");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// The record of the recorder in folder, once it is there.
QStringList WaitForRecord(const QString& folder)
{
    const QString record = folder + QStringLiteral("/record");
    [&] { QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), RecordTimeoutMs); }();
    QString text = QString::fromUtf8(ReadAll(record));
    text.chop(1);
    return text.split(u'\n');
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A child this test started and must reap, killed first unless it ends itself.
class TChild {
public:
    explicit TChild(int Pid, bool Kill = false) : FPid(Pid), FKill(Kill) {}
    ~TChild()
    {
        if (FPid <= 0)
            return;
        if (FKill)
            ::kill(FPid, SIGKILL);
        platform::WaitForChild(FPid);
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

private:
    int FPid;
    bool FKill;
};

// Files grow no larger than Bytes while this lives: every write past it
// fails with EFBIG, in the temporary folder and the cache folder alike.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t Bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &FSaved);
        FSignal = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FSaved;
        limit.rlim_cur = Bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &FSaved);
        ::signal(SIGXFSZ, FSignal);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FSaved {};
    sighandler_t FSignal = SIG_DFL;
};

// Stands in for the main window: counts close requests.
class TMainWindowStandIn : public QObject {
    Q_OBJECT
public:
    int Closes = 0;
public slots:
    void close() { ++Closes; }
};

} // namespace

class TestHelperLauncher : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void embeddedHelperIsTheBuiltOne();
    void programPathIsTheRealOne();
    void helperRestartsTheProgram_data();
    void helperRestartsTheProgram();
    void helperFolder_data();
    void helperFolder();
    void busyHelperFileIsReplacedBesideItsRunningCopy();
    void unwritableFoldersUseAnEarlierHelper_data();
    void unwritableFoldersUseAnEarlierHelper();
    void noExecReadFromTheMount_data();
    void noExecReadFromTheMount();
    void staleHelpersRemoved();
    void closeStep_data();
    void closeStep();

private:
    // A folder named Name under the test's folder, holding the recorder as
    // the program "app"; returns the program's path.
    QString MakeProgram(const QString& Name);

    std::unique_ptr<QTemporaryDir> FRoot;
    QString FTemp;  // TMPDIR
    QString FCache; // XDG_CACHE_HOME, not made yet
    QByteArray FSavedTmpDir;
    QByteArray FSavedCache;
};

void TestHelperLauncher::init()
{
    FRoot = std::make_unique<QTemporaryDir>();
    QVERIFY(FRoot->isValid());
    FTemp = FRoot->filePath(QStringLiteral("tmp"));
    FCache = FRoot->filePath(QStringLiteral("home/cache"));
    QVERIFY(QDir().mkpath(FTemp));
    FSavedTmpDir = qgetenv("TMPDIR");
    FSavedCache = qgetenv("XDG_CACHE_HOME");
    qputenv("TMPDIR", FTemp.toUtf8());
    qputenv("XDG_CACHE_HOME", FCache.toUtf8());
}

void TestHelperLauncher::cleanup()
{
    qputenv("TMPDIR", FSavedTmpDir);
    qputenv("XDG_CACHE_HOME", FSavedCache);
    FRoot.reset();
}

QString TestHelperLauncher::MakeProgram(const QString& Name)
{
    const QString folder = FRoot->filePath(Name);
    if (!QDir().mkpath(folder))
        return {};
    const QString program = folder + QStringLiteral("/app");
    WriteRecorder(program);
    return program;
}

void TestHelperLauncher::embeddedHelperIsTheBuiltOne()
{
    TMemoryStream stream;
    QVERIFY(SaveResourceToStream(handover::HelperResourceName, handover::HelperResourceName, &stream));
    QVERIFY(!BuiltHelper().isEmpty());
    QVERIFY(stream.Bytes() == std::string_view(BuiltHelper().constData(), BuiltHelper().size()));
}

// The path the helper is given when none is: this very executable's, links
// resolved, as the helper must find the file again after the program ended.
void TestHelperLauncher::programPathIsTheRealOne()
{
    QCOMPARE(QString::fromStdString(platform::RunningExecutablePath()),
             QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
}

// The whole start: the helper written to the temporary folder, started with
// the program's path kept whole, and the program started again by it with
// exactly RestartParams.
void TestHelperLauncher::helperRestartsTheProgram_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("restartParams");
    QTest::addColumn<int>("method");

    QTest::newRow("plain, self-upgrade") << "program" << "/afterupgrade" << handover::MethodSelfUpgrade;
    QTest::newRow("blanks, quote and +") << "my  \"shop\" +scope" << "/afterupgrade" << handover::MethodSelfUpgrade;
    QTest::newRow("Chinese, blank in RestartParams") << QStringLiteral("比价 程序") << "/after upgrade"
                                                    << handover::MethodSelfUpgrade;
}

void TestHelperLauncher::helperRestartsTheProgram()
{
    QFETCH(QString, folder);
    QFETCH(QString, restartParams);
    QFETCH(int, method);
    const QString program = MakeProgram(folder);
    QVERIFY(!program.isEmpty());

    const THelperStart start = StartUpgradeHelper(
        Std(program), handover::HandOverParameter(Std(restartParams), method), [](const std::string&) { return false; });
    const TChild helper(start.ProcessId);
    QCOMPARE(start.Error, 0);
    QVERIFY(start.Started());
    QCOMPARE(QString::fromStdString(start.HelperPath), FTemp + QStringLiteral("/Upgrader3.exe"));
    QCOMPARE(QString::fromStdString(TempHelperPath()), FTemp + QStringLiteral("/Upgrader3.exe"));

    const QString helperPath = QString::fromStdString(start.HelperPath);
    QCOMPARE(ReadAll(helperPath), BuiltHelper());
    QVERIFY(QFileInfo(helperPath).isExecutable());
    QCOMPARE(Entries(FTemp), QStringList{QStringLiteral("Upgrader3.exe")});

    const QStringList record = WaitForRecord(QFileInfo(program).path());
    QCOMPARE(record, (QStringList{program, restartParams}));
}

// Where the helper goes: the temporary folder, or the cache folder when the
// temporary one forbids running programs or cannot take the file.
void TestHelperLauncher::helperFolder_data()
{
    QTest::addColumn<bool>("tempNoExec");
    QTest::addColumn<bool>("tempNameTaken");
    QTest::addColumn<bool>("inCache");

    QTest::newRow("temporary folder") << false << false << false;
    QTest::newRow("temporary folder mounted noexec") << true << false << true;
    QTest::newRow("temporary folder cannot take it") << false << true << true;
}

void TestHelperLauncher::helperFolder()
{
    QFETCH(bool, tempNoExec);
    QFETCH(bool, tempNameTaken);
    QFETCH(bool, inCache);
    const QString program = MakeProgram(QStringLiteral("program"));
    // A folder at the helper's name: the rename over it fails.
    if (tempNameTaken)
        QVERIFY(QDir().mkpath(FTemp + QStringLiteral("/Upgrader3.exe/x")));
    QStringList asked;
    const auto noExec = [&](const std::string& folder) {
        asked << QString::fromStdString(folder);
        return tempNoExec && QString::fromStdString(folder) == FTemp + u'/';
    };

    const THelperStart start = StartUpgradeHelper(Std(program), "+/afterupgrade0", noExec);
    const TChild helper(start.ProcessId);
    QCOMPARE(start.Error, 0);
    QVERIFY(asked.contains(FTemp + u'/'));
    const QString cachePath = FCache + QStringLiteral("/shopscope/Upgrader3.exe");
    QCOMPARE(QString::fromStdString(CacheHelperPath()), cachePath);
    const QString expected = inCache ? cachePath : FTemp + QStringLiteral("/Upgrader3.exe");
    QCOMPARE(QString::fromStdString(start.HelperPath), expected);
    QCOMPARE(ReadAll(expected), BuiltHelper());
    QVERIFY(QFileInfo(expected).isExecutable());
    // Nothing half-written left beside either place.
    QCOMPARE(Entries(FTemp), tempNameTaken || !inCache ? QStringList{QStringLiteral("Upgrader3.exe")} : QStringList{});
    if (inCache)
        QCOMPARE(Entries(FCache + QStringLiteral("/shopscope")), QStringList{QStringLiteral("Upgrader3.exe")});
    QCOMPARE(WaitForRecord(QFileInfo(program).path()), (QStringList{program, QStringLiteral("/afterupgrade")}));
}

// A helper from an earlier hand-over still runs from the file. The new one
// is renamed over it: the running copy keeps its own file and runs on.
void TestHelperLauncher::busyHelperFileIsReplacedBesideItsRunningCopy()
{
    const QString helperPath = FTemp + QStringLiteral("/Upgrader3.exe");
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), helperPath));
    int earlierPid = -1;
    QCOMPARE(platform::StartInOwnSession({Std(helperPath), "300"}, earlierPid), 0);
    const TChild earlier(earlierPid, true);
    {
        const int fd = ::open(helperPath.toUtf8().constData(), O_WRONLY);
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        QCOMPARE(fd, -1);
        QCOMPARE(error, ETXTBSY);
    }
    const QString program = MakeProgram(QStringLiteral("program"));

    const THelperStart start = StartUpgradeHelper(Std(program), "+/afterupgrade0", {});
    const TChild helper(start.ProcessId);
    QCOMPARE(start.Error, 0);
    QCOMPARE(QString::fromStdString(start.HelperPath), helperPath);
    QCOMPARE(ReadAll(helperPath), BuiltHelper());
    QCOMPARE(WaitForRecord(QFileInfo(program).path()), (QStringList{program, QStringLiteral("/afterupgrade")}));
    // Still running (a zombie would not yet be reaped: it is our child).
    int status = 0;
    QCOMPARE(::waitpid(earlierPid, &status, WNOHANG), 0);
}

// When no folder can take the helper (here: files may not grow), a helper
// file this user left earlier is started, but only one nobody else could
// have put there or changed.
void TestHelperLauncher::unwritableFoldersUseAnEarlierHelper_data()
{
    QTest::addColumn<int>("earlierMode"); // -1: no earlier file
    QTest::addColumn<bool>("used");

    QTest::newRow("own, private") << 0700 << true;
    QTest::newRow("own, others may write") << 0777 << false;
    QTest::newRow("own, group may write") << 0770 << false;
    QTest::newRow("not executable") << 0600 << false;
    QTest::newRow("none") << -1 << false;
}

void TestHelperLauncher::unwritableFoldersUseAnEarlierHelper()
{
    QFETCH(int, earlierMode);
    QFETCH(bool, used);
    const QString helperPath = FTemp + QStringLiteral("/Upgrader3.exe");
    if (earlierMode >= 0) {
        WriteRecorder(helperPath);
        QCOMPARE(::chmod(helperPath.toUtf8().constData(), static_cast<mode_t>(earlierMode)), 0);
    }
    const QString program = FRoot->filePath(QStringLiteral("my program+/app"));

    THelperStart start;
    {
        const TFileSizeLimit limit(4096);
        start = StartUpgradeHelper(Std(program), "+/afterupgrade0", {});
    }
    const TChild helper(start.ProcessId);
    QCOMPARE(start.Started(), used);
    QStringList left;
    if (used) {
        QCOMPARE(QString::fromStdString(start.HelperPath), helperPath);
        QCOMPARE(WaitForRecord(FTemp), (QStringList{helperPath, program, QStringLiteral("+/afterupgrade0")}));
        left << QStringLiteral("record");
    } else {
        QCOMPARE(start.Error, EFBIG);
        QCOMPARE(start.ProcessId, -1);
    }
    // Nothing half-written left beside either place.
    if (earlierMode >= 0)
        left << QStringLiteral("Upgrader3.exe");
    left.sort();
    QCOMPARE(Entries(FTemp), left);
    QCOMPARE(Entries(FCache + QStringLiteral("/shopscope")), QStringList{});
}

// The mount's own options, as the system lists them, against the answer.
void TestHelperLauncher::noExecReadFromTheMount_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("noExec");

    QFile mounts(QStringLiteral("/proc/self/mounts"));
    QVERIFY(mounts.open(QIODevice::ReadOnly));
    // A later line for the same mount point covers the earlier ones.
    QMap<QString, bool> points;
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 4 || fields[1].contains('\\'))
            continue;
        points[QString::fromUtf8(fields[1])] = fields[3].split(',').contains("noexec");
    }
    for (auto it = points.cbegin(); it != points.cend(); ++it) {
        if (QFileInfo(it.key()).isDir())
            QTest::newRow(qPrintable(it.key())) << it.key() << it.value();
    }
    QTest::newRow("no such path") << QStringLiteral("/no/such/folder") << false;
}

void TestHelperLauncher::noExecReadFromTheMount()
{
    QFETCH(QString, path);
    QFETCH(bool, noExec);
    QCOMPARE(platform::MountedNoExec(Std(path)), noExec);
}

void TestHelperLauncher::staleHelpersRemoved()
{
    const QString tempHelper = FTemp + QStringLiteral("/Upgrader3.exe");
    const QString cacheHelper = FCache + QStringLiteral("/shopscope/Upgrader3.exe");
    QCOMPARE(platform::WriteExecutableFile(Std(tempHelper), "x"), 0);
    QCOMPARE(platform::WriteExecutableFile(Std(cacheHelper), "x"), 0);
    QVERIFY(QFile::exists(tempHelper) && QFile::exists(cacheHelper));
    RemoveStaleHelpers();
    QVERIFY(!QFile::exists(tempHelper));
    QVERIFY(!QFile::exists(cacheHelper));
    RemoveStaleHelpers(); // nothing there: nothing to complain about
}

// The closing step inside a running event loop: the own close when given,
// else the main window is asked to close and the loop ends.
void TestHelperLauncher::closeStep_data()
{
    QTest::addColumn<bool>("ownClose");
    QTest::addColumn<bool>("mainWindow");

    QTest::newRow("own close") << true << true;
    QTest::newRow("CloseApplication") << false << true;
    QTest::newRow("CloseApplication, no main window") << false << false;
}

void TestHelperLauncher::closeStep()
{
    QFETCH(bool, ownClose);
    QFETCH(bool, mainWindow);
    TMainWindowStandIn window;
    platform::SetMainWindow(mainWindow ? &window : nullptr);
    int ownCloses = 0;
    // The owner's own closing ends the loop its own way.
    const std::function<void()> own = [&] {
        ++ownCloses;
        QCoreApplication::quit();
    };
    QTimer::singleShot(0, this, [&] { CloseAfterHandOver(ownClose ? own : std::function<void()>()); });
    QCOMPARE(QCoreApplication::exec(), 0);
    platform::SetMainWindow(nullptr);
    QCOMPARE(ownCloses, ownClose ? 1 : 0);
    QCOMPARE(window.Closes, !ownClose && mainWindow ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestHelperLauncher)
#include "tst_auHelperLauncher.moc"
