// The upgrade helper as the program runs it: the built executable, on
// temporary folders, with real processes. A copy of a small program running
// from the folder keeps its file busy the way the real program does; the
// journal program stands in for a new version that confirms, fails or
// crashes, and the helper is killed at each step of its journal.

#include "support/DesktopSession.h"
#include "upgrade/auUpgradeJournal.h"
#include "upgrade/helper/HandOver.h"
#include "upgrade/helper/UpgradeJournal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <sys/stat.h>

namespace {

enum class TProgramState { NotRunning, ExitsSoon, NeverExits };
enum class THelperArguments { None, Whole, SplitAtBlanks, RelativePath };

// A file before or after the helper ran; Mode -1 in an expectation: absent.
struct TFile {
    QString Name;
    QByteArray Content;
    int Mode = 0644;
};

const QString ProgramName = QStringLiteral("app");
constexpr int Absent = -1;

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The copy of this that runs from the test folder stands for the program.
QByteArray LingeringProgram()
{
    static const QByteArray bytes = ReadAll(QStringLiteral(LINGERING_PROGRAM));
    return bytes;
}

// A program that writes down how it was started (its arguments, whether it
// leads a session of its own, what had happened before), confirms its start,
// then renames its record into place, so the test sees all of it or none of
// it.
QByteArray Recorder(const char* tag)
{
    return QByteArray("#!/bin/sh\n"
                      "d=$(dirname \"$0\")\n"
                      "{\n"
                      "  echo \"tag=") + tag + "\"\n"
                      "  echo \"argc=$#\"\n"
                      "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
                      "  [ \"$(cut -d' ' -f6 /proc/$$/stat)\" = \"$$\" ] && echo own-session\n"
                      "  [ -e \"$d/exited.mark\" ] && echo program-had-exited\n"
                      "  [ -e \"$d/setup.ran\" ] && echo setup-had-ended\n"
                      "} > \"$d/restart.tmp\"\n"
                      // Confirms as the real program does once its window is
                      // up, before the record appears: a test that sees the
                      // record knows the confirmation has let go of the folder.
                      "\"" JOURNAL_PROGRAM "\" confirm \"$0\"\n"
                      "mv \"$d/restart.tmp\" \"$d/restart.txt\"\n";
}

// A set-up program that takes a while, and records its arguments only at its end.
QByteArray SetupProgram()
{
    return "#!/bin/sh\n"
           "d=$(dirname \"$0\")\n"
           "{ echo \"argc=$#\"; for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done; } > \"$d/setup.tmp\"\n"
           "sleep 0.2\n"
           "mv \"$d/setup.tmp\" \"$d/setup.ran\"\n";
}

int ModeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : Absent;
}

void WriteFile(const QString& Path, const QByteArray& Content, int Mode)
{
    QFile out(Path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(Content), Content.size());
    out.close();
    QCOMPARE(::chmod(QFile::encodeName(Path).constData(), mode_t(Mode)), 0);
}

QStringList Lines(const QByteArray& text)
{
    return QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
}

// The program, started from the test folder and ended with the test.
struct TProcessEnd {
    void operator()(QProcess* process) const
    {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished();
        }
        delete process;
    }
};
using TRunningProgram = std::unique_ptr<QProcess, TProcessEnd>;

} // namespace

Q_DECLARE_METATYPE(TFile)
Q_DECLARE_METATYPE(TProgramState)
Q_DECLARE_METATYPE(THelperArguments)

class tst_UpgradeHelper : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void informationBox();
    void confirmation_data();
    void confirmation();
    void killed_data();
    void killed();
    void liveHelper();
    void failedMove();

private:
    // A folder with the old program, a new one to confirm, fail or crash as
    // Behaviour says, a replaced file and a new one, all downloaded.
    QString PrepareUpgrade(const QString& Folder, const QByteArray& Behaviour);
    // Starts the helper as the launching side does, with Environment's
    // "NAME=value" settings.
    void StartHelper(QProcess& Helper, const QString& Folder, const QStringList& Environment);
    // The folder holds one whole version, old or new, that starts, and
    // nothing of the upgrade beside it.
    static void CheckVersion(const QString& Dir, bool NewVersion);

    QTemporaryDir FRoot;
};

void tst_UpgradeHelper::initTestCase()
{
    QVERIFY(FRoot.isValid());
    QVERIFY(!LingeringProgram().isEmpty());
    // New files get 0666 less the umask; fix it so the table can say 0644.
    ::umask(022);
}

void tst_UpgradeHelper::run_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<TProgramState>("program");
    QTest::addColumn<QList<TFile>>("before");
    QTest::addColumn<THelperArguments>("arguments");
    QTest::addColumn<QString>("handOver");
    QTest::addColumn<QStringList>("environment"); // "NAME=value" sets, "NAME" removes
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QList<TFile>>("after");
    QTest::addColumn<QStringList>("restart");  // the restarted program's record; empty: not restarted
    QTest::addColumn<QStringList>("setupRun"); // the set-up program's record; empty: not run
    QTest::addColumn<QString>("message");      // on standard error, and in the log when the exit code is not 0

    const QString selfUpgrade = QStringLiteral("+/afterupgrade0");
    const QStringList restartedNew {"tag=new", "argc=1", "arg=/afterupgrade", "own-session"};
    const QStringList restartedOld {"tag=old", "argc=1", "arg=/afterupgrade", "own-session"};
    const QStringList afterExit = restartedNew + QStringList {"program-had-exited"};
    const TFile oldProgram {ProgramName, Recorder("old"), 0755};
    const TFile newProgram {ProgramName, Recorder("new"), 0755};
    const TFile download {ProgramName + ".uTMP", Recorder("new"), 0600};
    const TFile downloadGone {ProgramName + ".uTMP", {}, Absent};
    const TFile running {ProgramName, LingeringProgram(), 0755};

    QTest::newRow("blank in the path, split at it; waits for the program to exit")
        << "my app" << TProgramState::ExitsSoon
        << QList<TFile> {running, download, {"readme.txt", "old", 0644}, {"readme.txt.uTMP", "new", 0600}}
        << THelperArguments::SplitAtBlanks << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {newProgram, downloadGone, {"readme.txt", "new", 0644}, {"readme.txt.uTMP", {}, Absent}}
        << afterExit << QStringList() << QString();
    QTest::newRow("Chinese path; waits for the program to exit")
        << "升级 测试" << TProgramState::ExitsSoon << QList<TFile> {running, download}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {newProgram, downloadGone} << afterExit << QStringList() << QString();
    QTest::newRow("two blanks in a row")
        << "two  blanks" << TProgramState::NotRunning << QList<TFile> {oldProgram, download}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {newProgram, downloadGone} << restartedNew << QStringList() << QString();
    QTest::newRow("plus and quotes")
        << "c++ \"tools\" +x" << TProgramState::NotRunning << QList<TFile> {oldProgram, download}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {newProgram, downloadGone} << restartedNew << QStringList() << QString();
    QTest::newRow("restart parameter with a blank arrives as one argument")
        << "params" << TProgramState::NotRunning << QList<TFile> {oldProgram}
        << THelperArguments::Whole << "+/after upgrade0" << QStringList() << handover::ExitDone
        << QList<TFile> {oldProgram} << QStringList {"tag=old", "argc=1", "arg=/after upgrade", "own-session"} << QStringList()
        << QString();
    QTest::newRow("the program's own file gains execute permission")
        << "own" << TProgramState::NotRunning
        << QList<TFile> {{ProgramName, Recorder("old"), 0640}, download}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {{ProgramName, Recorder("new"), 0750}, downloadGone} << restartedNew << QStringList()
        << QString();
    QTest::newRow("exe rule: the first exe download becomes the program")
        << "exe" << TProgramState::NotRunning << QList<TFile> {oldProgram, {"new.exe.uTMP", Recorder("new"), 0644}}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {newProgram, {"new.exe", {}, Absent}, {"new.exe.uTMP", {}, Absent}} << restartedNew
        << QStringList() << QString();
    QTest::newRow("exe rule is lower case only")
        << "EXE" << TProgramState::NotRunning << QList<TFile> {oldProgram, {"NEW.EXE.uTMP", "upper", 0600}}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {oldProgram, {"NEW.EXE", "upper", 0644}} << restartedOld << QStringList() << QString();
    QTest::newRow("own download present: an exe keeps its own name")
        << "both" << TProgramState::NotRunning
        << QList<TFile> {oldProgram, {"tool.exe", "old tool", 0755}, {"tool.exe.uTMP", "new tool", 0600}, download}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {newProgram, {"tool.exe", "new tool", 0755}, downloadGone} << restartedNew << QStringList()
        << QString();
    QTest::newRow("read-only target replaced, stays read-only")
        << "read-only" << TProgramState::NotRunning
        << QList<TFile> {oldProgram, {"readme.txt", "old", 0444}, {"readme.txt.uTMP", "new", 0600}}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {oldProgram, {"readme.txt", "new", 0444}} << restartedOld << QStringList() << QString();
    QTest::newRow("mode bits kept; a new file gets the usual permissions")
        << "modes" << TProgramState::NotRunning
        << QList<TFile> {oldProgram, {"tool.sh", "old", 0750}, {"tool.sh.uTMP", "new", 0644},
                         {"notes.txt.uTMP", "notes", 0600}}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {oldProgram, {"tool.sh", "new", 0750}, {"notes.txt", "notes", 0644}} << restartedOld
        << QStringList() << QString();
    QTest::newRow("set-up mode: run, wait, delete, restart")
        << "setup" << TProgramState::NotRunning << QList<TFile> {oldProgram, {"setup.exe.uTMP", SetupProgram(), 0644}}
        << THelperArguments::Whole << "+/afterupgrade1" << QStringList() << handover::ExitDone
        << QList<TFile> {oldProgram, {"setup.exe", {}, Absent}, {"setup.exe.uTMP", {}, Absent}}
        << restartedOld + QStringList {"setup-had-ended"} << QStringList {"argc=1", "arg=/afterupgrade"} << QString();
    QTest::newRow("set-up mode without a set-up program: only the restart")
        << "setup without" << TProgramState::NotRunning
        << QList<TFile> {oldProgram, download, {"tool.exe.uTMP", "tool", 0600}}
        << THelperArguments::Whole << "+/afterupgrade1" << QStringList() << handover::ExitDone
        << QList<TFile> {newProgram, {"tool.exe", "tool", 0644}} << restartedNew << QStringList() << QString();
    // No such file ends the wait at once, with the default limit of minutes.
    QTest::newRow("no program file: no wait, its download becomes it")
        << "missing" << TProgramState::NotRunning << QList<TFile> {download}
        << THelperArguments::Whole << selfUpgrade << QStringList() << handover::ExitDone
        << QList<TFile> {newProgram, downloadGone} << restartedNew << QStringList() << QString();
    QTest::newRow("program never exits: nothing touched after the limit")
        << "stuck" << TProgramState::NeverExits << QList<TFile> {running, download, {"readme.txt.uTMP", "new", 0600}}
        << THelperArguments::Whole << selfUpgrade << QStringList {QString(handover::WaitLimitVariable) + "=300"}
        << handover::ExitProgramRunning
        << QList<TFile> {running, download, {"readme.txt.uTMP", "new", 0600}, {"readme.txt", {}, Absent}}
        << QStringList() << QStringList() << "was still running after 300 ms, so nothing was replaced";

    const QList<TFile> untouched {oldProgram, download};
    // The helper runs in the program's folder here, so a careless reading
    // of "app" would still find the files.
    QTest::newRow("relative program path: nothing touched")
        << "relative" << TProgramState::NotRunning << untouched << THelperArguments::RelativePath << selfUpgrade
        << QStringList() << handover::ExitStepFailed << untouched << QStringList() << QStringList()
        << "no program to upgrade: \"app\" is not the absolute path of a file";
    const QString information = QStringLiteral("Upgrader v3.4\nUpgrader is the self-upgrading part");
    QTest::newRow("no parameters, no display")
        << "info" << TProgramState::NotRunning << untouched << THelperArguments::None << QString() << QStringList()
        << handover::ExitDone << untouched << QStringList() << QStringList() << information;
    QTest::newRow("no parameters, a display that cannot be reached")
        << "info unreachable" << TProgramState::NotRunning << untouched << THelperArguments::None << QString()
        << QStringList {"DISPLAY=:4711"} << handover::ExitDone << untouched << QStringList() << QStringList()
        << information;
    QTest::newRow("no parameters, a windowless platform")
        << "info offscreen" << TProgramState::NotRunning << untouched << THelperArguments::None << QString()
        << QStringList {"DISPLAY=:4711", "QT_QPA_PLATFORM=offscreen"} << handover::ExitDone << untouched
        << QStringList() << QStringList() << information;
}

void tst_UpgradeHelper::run()
{
    QFETCH(QString, folder);
    QFETCH(TProgramState, program);
    QFETCH(QList<TFile>, before);
    QFETCH(THelperArguments, arguments);
    QFETCH(QString, handOver);
    QFETCH(QStringList, environment);
    QFETCH(int, exitCode);
    QFETCH(QList<TFile>, after);
    QFETCH(QStringList, restart);
    QFETCH(QStringList, setupRun);
    QFETCH(QString, message);

    const QString dir = FRoot.filePath(folder) + u'/';
    QVERIFY(QDir().mkpath(dir));
    for (const TFile& file : before)
        WriteFile(dir + file.Name, file.Content, file.Mode);
    if (QTest::currentTestFailed())
        return;

    const QString programPath = dir + ProgramName;
    TRunningProgram running(new QProcess);
    if (program != TProgramState::NotRunning) {
        running->start(programPath, {dir + "exited.mark", program == TProgramState::ExitsSoon ? "400" : "forever"});
        QVERIFY2(running->waitForStarted(), qPrintable(running->errorString()));
    }

    QStringList helperArguments;
    if (arguments == THelperArguments::Whole) {
        // Exactly what the launching side starts.
        const std::vector<std::string> command =
            handover::HelperCommand(UPGRADER_PATH, programPath.toStdString(), handOver.toStdString());
        for (auto it = command.begin() + 1; it != command.end(); ++it)
            helperArguments << QString::fromStdString(*it);
    } else if (arguments == THelperArguments::SplitAtBlanks)
        helperArguments = programPath.split(u' ') << handOver;
    else if (arguments == THelperArguments::RelativePath)
        helperArguments = QStringList {ProgramName, handOver};

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", handover::WaitLimitVariable})
        env.remove(QString::fromLatin1(name));
    env.insert("XDG_CACHE_HOME", FRoot.filePath(folder + " cache"));
    for (const QString& setting : environment) {
        const qsizetype equals = setting.indexOf(u'=');
        if (equals < 0)
            env.remove(setting);
        else
            env.insert(setting.left(equals), setting.mid(equals + 1));
    }

    QProcess helper;
    helper.setProcessEnvironment(env);
    helper.setWorkingDirectory(dir);
    helper.start(QStringLiteral(UPGRADER_PATH), helperArguments);
    QVERIFY2(helper.waitForStarted(), qPrintable(helper.errorString()));
    // Ends at once in every row (or after its shortened limit); a helper that
    // waits for the wrong reason would sit out the default limit of minutes.
    QVERIFY2(helper.waitForFinished(60000), "the helper is still waiting");
    const QByteArray errors = helper.readAllStandardError();
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QVERIFY2(helper.exitCode() == exitCode, errors.constData());

    if (message.isEmpty()) {
        QVERIFY2(errors.isEmpty(), errors.constData());
    } else {
        QVERIFY2(errors.contains(message.toUtf8()), errors.constData());
        if (exitCode != handover::ExitDone)
            QVERIFY(ReadAll(FRoot.filePath(folder + " cache/shopscope/upgrader.log")).contains(message.toUtf8()));
    }

    // The set-up program had ended before the helper did; the restarted
    // program may still be writing its record, so that is waited for.
    QCOMPARE(Lines(ReadAll(dir + "setup.ran")), setupRun);
    if (restart.isEmpty()) {
        QVERIFY(!QFile::exists(dir + "restart.txt"));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "restart.txt"), 30000);
        QCOMPARE(Lines(ReadAll(dir + "restart.txt")), restart);
    }

    for (const TFile& file : after) {
        QCOMPARE(ModeOf(dir + file.Name), file.Mode);
        if (file.Mode != Absent)
            QVERIFY2(ReadAll(dir + file.Name) == file.Content, qPrintable(file.Name));
    }
    // A confirmed upgrade, or one that needed no journal, leaves none behind.
    const QStringList left =
        QDir(dir).entryList({"*.uBAK", "*.upgrade-journal*"}, QDir::Files | QDir::Hidden | QDir::System);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
}

// With a display, the information is a box captioned "Upgrader v3.4" that
// says what the helper is and that the user closes; nothing goes to
// standard error.
void tst_UpgradeHelper::informationBox()
{
#ifndef SHOPSCOPE_UPGRADER_BOX
    QSKIP("a core-only helper has no box");
#endif
    const TDesktopSession desktop;
    QVERIFY2(desktop.Error().isEmpty(), qPrintable(desktop.Error()));
    QProcessEnvironment env = desktop.Environment(QProcessEnvironment::systemEnvironment());
    env.insert("XDG_CACHE_HOME", FRoot.filePath("box cache"));

    QProcess helper;
    helper.setProcessEnvironment(env);
    helper.start(QStringLiteral(UPGRADER_PATH), {});
    QVERIFY2(helper.waitForStarted(), qPrintable(helper.errorString()));

    const std::optional<TAccessibleWindow> box = desktop.WaitForWindow(
        [&](const TAccessibleWindow& w) { return w.Pid == helper.processId() && w.Caption == "Upgrader v3.4"; }, 60000);
    QVERIFY2(box, "no information box");
    QVERIFY2(box->Says().contains("Upgrader is the self-upgrading part"), qPrintable(box->Says()));
    const TAccessibleItem* ok = box->Find("push button", QString());
    QVERIFY(ok);
    QVERIFY(desktop.Click(ok->Box));

    QVERIFY(helper.waitForFinished(60000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), handover::ExitDone);
    QCOMPARE(helper.readAllStandardError(), QByteArray());
}

QByteArray JournalProgram()
{
    static const QByteArray bytes = ReadAll(QStringLiteral(JOURNAL_PROGRAM));
    return bytes;
}

QString tst_UpgradeHelper::PrepareUpgrade(const QString& Folder, const QByteArray& Behaviour)
{
    const QString dir = FRoot.filePath(Folder) + u'/';
    if (!QDir().mkpath(dir))
        return {};
    WriteFile(dir + ProgramName, Recorder("old"), 0755);
    WriteFile(dir + ProgramName + ".uTMP", JournalProgram(), 0600);
    WriteFile(dir + "readme.txt", "old readme", 0644);
    WriteFile(dir + "readme.txt.uTMP", "new readme", 0600);
    WriteFile(dir + "notes.txt.uTMP", "notes", 0600);
    WriteFile(dir + "behaviour", Behaviour, 0644);
    return QTest::currentTestFailed() ? QString() : dir;
}

void tst_UpgradeHelper::StartHelper(QProcess& Helper, const QString& Folder, const QStringList& Environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", handover::WaitLimitVariable, journal::ConfirmLimitVariable,
                             journal::KillAtVariable})
        env.remove(QString::fromLatin1(name));
    env.insert("XDG_CACHE_HOME", FRoot.filePath(Folder + " cache"));
    for (const QString& setting : Environment) {
        const qsizetype equals = setting.indexOf(u'=');
        env.insert(setting.left(equals), setting.mid(equals + 1));
    }
    const QString programPath = FRoot.filePath(Folder) + u'/' + ProgramName;
    Helper.setProcessEnvironment(env);
    Helper.start(QStringLiteral(UPGRADER_PATH), {programPath, QStringLiteral("+/afterupgrade0")});
    QVERIFY2(Helper.waitForStarted(), qPrintable(Helper.errorString()));
}

void tst_UpgradeHelper::CheckVersion(const QString& Dir, bool NewVersion)
{
    const QByteArray program = ReadAll(Dir + ProgramName);
    QVERIFY2(program == (NewVersion ? JournalProgram() : Recorder("old")), NewVersion ? "not the new program" : "not the old program");
    QCOMPARE(ModeOf(Dir + ProgramName) & 0111, 0111);
    QCOMPARE(ReadAll(Dir + "readme.txt"), NewVersion ? QByteArray("new readme") : QByteArray("old readme"));
    QCOMPARE(ModeOf(Dir + "readme.txt"), 0644);
    QCOMPARE(QFile::exists(Dir + "notes.txt"), NewVersion);
    const QStringList left = QDir(Dir).entryList(
        {"*.uTMP", "*.uBAK", "*.upgrade-journal*", "*.new"}, QDir::Files | QDir::Hidden | QDir::System);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
}

void tst_UpgradeHelper::confirmation_data()
{
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("newVersion");
    QTest::addColumn<QStringList>("environment");

    QTest::newRow("exits with 1 at once") << QByteArray("exit1") << handover::ExitRolledBack << false << QStringList();
    QTest::newRow("aborts") << QByteArray("abort") << handover::ExitRolledBack << false << QStringList();
    QTest::newRow("segmentation fault") << QByteArray("segv") << handover::ExitRolledBack << false << QStringList();
    // Its window never came up, or it would have confirmed on closing.
    QTest::newRow("exits with 0 before confirming") << QByteArray("exit0") << handover::ExitRolledBack << false << QStringList();
    QTest::newRow("confirms") << QByteArray("confirm") << handover::ExitDone << true << QStringList();
    QTest::newRow("confirms after the helper gave up waiting")
        << QByteArray("late-confirm") << handover::ExitNotConfirmed << true
        << QStringList {QString(journal::ConfirmLimitVariable) + "=300"};
}

void tst_UpgradeHelper::confirmation()
{
    QFETCH(QByteArray, behaviour);
    QFETCH(int, exitCode);
    QFETCH(bool, newVersion);
    QFETCH(QStringList, environment);

    const QString folder = QStringLiteral("confirm ") + QString::fromLatin1(QTest::currentDataTag());
    const QString dir = PrepareUpgrade(folder, behaviour);
    QVERIFY(!dir.isEmpty());
    const std::string programPath = QString(dir + ProgramName).toStdString();
    QProcess helper;
    // The program confirms only once the helper has given up in the last row,
    // so its short limit cannot be missed by chance.
    StartHelper(helper, folder, environment);
    QVERIFY2(helper.waitForFinished(60000), "the helper is still waiting");
    const QByteArray errors = helper.readAllStandardError();
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QVERIFY2(helper.exitCode() == exitCode, errors.constData());

    // The new version ran as the helper's restart, and found the helper at work.
    QCOMPARE(Lines(ReadAll(dir + "started.txt")),
             QStringList({"argc=1", "arg=/afterupgrade", "recovery=helper-at-work"}));

    if (exitCode == handover::ExitNotConfirmed) {
        // Kept, with its backups, until it confirms on its own.
        journal::TJournal left;
        QCOMPARE(journal::LoadJournal(programPath, left), 0);
        QVERIFY(left.Phase == journal::TPhase::jpRestarted);
        QVERIFY(QFile::exists(dir + ProgramName + ".uBAK"));
        QCOMPARE(ReadAll(dir + ProgramName), JournalProgram());
        WriteFile(dir + "release", {}, 0644);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "confirmed.mark"), 30000);
        QCOMPARE(ReadAll(dir + "confirmed.mark"), QByteArray("confirmed\n"));
    }
    if (newVersion) {
        // Only the helper starts the old program, and it has ended.
        QVERIFY(!QFile::exists(dir + "restart.txt"));
    } else {
        QVERIFY2(errors.contains("ended before it confirmed its start"), errors.constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "restart.txt"), 30000);
        QCOMPARE(Lines(ReadAll(dir + "restart.txt")), QStringList({"tag=old", "argc=0", "own-session"}));
    }

    // The old program's next start tells of the rollback, once.
    const TUpgradeRecovery first = RecoverAtStart(programPath);
    QCOMPARE(first.TellRolledBack, !newVersion);
    QVERIFY(first.Outcome == (newVersion ? journal::TRecovery::rcNone : journal::TRecovery::rcRolledBack));
    QVERIFY(!RecoverAtStart(programPath).TellRolledBack);
    CheckVersion(dir, newVersion);
}

void tst_UpgradeHelper::killed_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<bool>("newVersion");
    QTest::addColumn<int>("programChanged"); // -1: depends on the listing order

    const QByteArray confirms("confirm");
    const QByteArray fails("exit1");
    QTest::newRow("planned") << "planned" << confirms << false << 0;
    QTest::newRow("backup app") << "backup app" << confirms << false << 0;
    QTest::newRow("kept app") << "kept app" << confirms << false << 0;
    QTest::newRow("renamed app") << "renamed app" << confirms << false << 1;
    QTest::newRow("placed app") << "placed app" << confirms << false << 1;
    QTest::newRow("backup readme") << "backup readme.txt" << confirms << false << -1;
    QTest::newRow("kept readme") << "kept readme.txt" << confirms << false << -1;
    QTest::newRow("renamed readme") << "renamed readme.txt" << confirms << false << -1;
    QTest::newRow("placed readme") << "placed readme.txt" << confirms << false << -1;
    QTest::newRow("renamed new file") << "renamed notes.txt" << confirms << false << -1;
    QTest::newRow("placed new file") << "placed notes.txt" << confirms << false << -1;
    QTest::newRow("moved") << "moved" << confirms << true << 0;
    QTest::newRow("restarted") << "restarted" << confirms << true << 0;
    QTest::newRow("removing backups") << "removed app.uBAK" << confirms << true << 0;
    QTest::newRow("rolling back") << "rolling back" << fails << false << 1;
    QTest::newRow("restored readme") << "restored readme.txt" << fails << false << -1;
    QTest::newRow("restored new file") << "restored notes.txt" << fails << false << -1;
    QTest::newRow("restored app") << "restored app" << fails << false << 0;
    QTest::newRow("rolled back") << "rolled back" << fails << false << 0;
}

// The helper kills itself at the step, then the program starts: whatever
// the step, the folder ends with one version and nothing of the upgrade.
void tst_UpgradeHelper::killed()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, behaviour);
    QFETCH(bool, newVersion);
    QFETCH(int, programChanged);

    const QString folder = QStringLiteral("killed ") + QString::fromLatin1(QTest::currentDataTag());
    const QString dir = PrepareUpgrade(folder, behaviour);
    QVERIFY(!dir.isEmpty());
    QProcess helper;
    StartHelper(helper, folder, {QString(journal::KillAtVariable) + u'=' + step});
    QVERIFY2(helper.waitForFinished(60000), "the helper is still waiting");
    QVERIFY2(helper.exitStatus() == QProcess::CrashExit, helper.readAllStandardError().constData());
    QVERIFY(QFile::exists(dir + ".app.upgrade-journal"));

    const TUpgradeRecovery recovery = RecoverAtStart(QString(dir + ProgramName).toStdString());
    QCOMPARE(recovery.TellRolledBack, !newVersion);
    QVERIFY(recovery.Outcome ==
            (newVersion ? journal::TRecovery::rcCompleted
                        : (step == "rolled back" ? journal::TRecovery::rcRolledBack : journal::TRecovery::rcUndone)));
    if (programChanged >= 0)
        QCOMPARE(recovery.ProgramChanged, programChanged == 1);
    CheckVersion(dir, newVersion);
}

// The restarted program's own start, and any other, leaves the journal of a
// helper that waits alone; its confirmation then ends the wait.
void tst_UpgradeHelper::liveHelper()
{
    const QString folder = QStringLiteral("live");
    const QString dir = PrepareUpgrade(folder, "late-confirm");
    QVERIFY(!dir.isEmpty());
    const std::string programPath = QString(dir + ProgramName).toStdString();
    QProcess helper;
    StartHelper(helper, folder, {});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "started.txt"), 30000);
    QVERIFY(Lines(ReadAll(dir + "started.txt")).contains("recovery=helper-at-work"));

    const TUpgradeRecovery recovery = RecoverAtStart(programPath);
    QVERIFY(recovery.Outcome == journal::TRecovery::rcHelperAtWork);
    QVERIFY(!recovery.TellRolledBack);
    journal::TJournal waiting;
    QCOMPARE(journal::LoadJournal(programPath, waiting), 0);
    QVERIFY(waiting.Phase == journal::TPhase::jpRestarted);
    QVERIFY(QFile::exists(dir + "readme.txt.uBAK"));
    QCOMPARE(helper.state(), QProcess::Running);

    WriteFile(dir + "release", {}, 0644);
    QVERIFY2(helper.waitForFinished(60000), "the helper is still waiting");
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QVERIFY2(helper.exitCode() == handover::ExitDone, helper.readAllStandardError().constData());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "confirmed.mark"), 30000);
    QCOMPARE(ReadAll(dir + "confirmed.mark"), QByteArray("confirmed\n"));
    CheckVersion(dir, true);
}

// One file that cannot be replaced (its target is a folder): the others are
// put back too, since old and new files may not run together.
void tst_UpgradeHelper::failedMove()
{
    const QString folder = QStringLiteral("failed move");
    const QString dir = PrepareUpgrade(folder, "confirm");
    QVERIFY(!dir.isEmpty());
    QVERIFY(QDir().mkpath(dir + "data/inside"));
    WriteFile(dir + "data.uTMP", "new data", 0600);
    QProcess helper;
    StartHelper(helper, folder, {});
    QVERIFY2(helper.waitForFinished(60000), "the helper is still waiting");
    const QByteArray errors = helper.readAllStandardError();
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QVERIFY2(helper.exitCode() == handover::ExitRolledBack, errors.constData());
    QVERIFY2(errors.contains("data"), errors.constData());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "restart.txt"), 30000);
    QCOMPARE(Lines(ReadAll(dir + "restart.txt")), QStringList({"tag=old", "argc=0", "own-session"}));
    QVERIFY(!QFile::exists(dir + "started.txt"));
    QVERIFY(RecoverAtStart(QString(dir + ProgramName).toStdString()).TellRolledBack);
    QVERIFY(QFileInfo(dir + "data/inside").isDir());
    CheckVersion(dir, false);
}

QTEST_GUILESS_MAIN(tst_UpgradeHelper)
#include "tst_UpgradeHelper.moc"
