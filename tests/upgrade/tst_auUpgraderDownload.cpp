// The upgrade's download against the scripted server: the listed files into
// their temporary files in the program's folder, the events in order, the
// wizard's figures, the lost-file question, the size rule, every way a
// download can fail or be abandoned (and that none of them leaves a ".uTMP"
// for a later helper), the hand-over with a stand-in for the helper, and
// the same download with the maker's key in force: a signed info file and
// files that must match the hashes it publishes.

#include "ModalAnswer.h"
#include "http/HTTPEventLog.h"
#include "http/RecordingLauncher.h"
#include "platform/DetachedProcess.h"
#include "support/ScriptedServer.h"
#include "upgrade/auInfoSignature.h"
#include "upgrade/auUpgradeJournal.h"
#include "upgrade/auUpgrader.h"
#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderDownload.h"
#include "upgrade/auUpgraderUpgradeMsg.h"
#include "upgrade/auUpgraderWizard.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <map>

namespace {

const std::string FileA(8192, 'a');
const std::string FileB(3072, 'b');
const std::string Program(8192, 'p');
// The upgraded program: notes the argument it was started with, then runs
// until told to end (10 s at the most), so that its start can be confirmed
// while it runs.
const std::string NewProgram = "#!/bin/sh\n"
                               "cd \"$(dirname \"$0\")\"\n"
                               "echo \"upgraded $1\" > started\n"
                               "i=0\n"
                               "while [ ! -e end ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n";
const char* const ModifiedA = "Last-Modified: Wed, 01 Jun 2011 10:00:00 GMT";

// The target as the server reads it, percent-escapes decoded.
std::string Decoded(const std::string& Target)
{
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(Target)).toStdString();
}

// The info file at /Upgrader.inf ("$" stands for the server's address) and
// the files below /files/.
void Serve(const std::string& Info, const TTestRequest& Request, TScriptedConnection& c)
{
    const std::string target = Decoded(Request.target);
    if (target == "/Upgrader.inf")
        c.Send(TScriptedServer::Response(200, Info));
    else if (target == "/files/a.bin")
        c.Send(TScriptedServer::Response(200, FileA, ModifiedA));
    else if (target == "/files/b.bin")
        c.Send(TScriptedServer::Response(200, FileB));
    else if (target == "/files/shopscope")
        c.Send(TScriptedServer::Response(200, Program));
    else if (target == "/x/same.bin")
        c.Send(TScriptedServer::Response(200, "first"));
    else if (target == "/y/same.bin")
        c.Send(TScriptedServer::Response(200, "second"));
    else if (target == "/files/中文 文件.bin")
        c.Send(TScriptedServer::Response(200, "cn"));
    else if (target == "/files/new/shopscope")
        c.Send(TScriptedServer::Response(200, NewProgram));
    else if (target == "/files/big.bin")
        c.Send(TScriptedServer::Response(200, std::string(256 * 1024, 'g')));
    else if (target == "/files/cut.bin" || target == "/files/stall.bin") {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(50, 'h'));
        if (target == "/files/cut.bin")
            c.Close();
        else
            c.WaitForRelease("never");
    } else if (target == "/files/held.bin") {
        // Half, in whole chunks of the engine's, then the rest once released.
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 16384\r\n\r\n" + std::string(8192, 'h'));
        c.WaitForRelease("rest");
        c.Send(std::string(8192, 'h'));
    } else
        c.Send(TScriptedServer::Response(404, "No such file"));
}

std::string Replace(std::string Text, const std::string& Base)
{
    for (std::size_t at = Text.find('$'); at != std::string::npos; at = Text.find('$', at + Base.size()))
        Text.replace(at, 1, Base);
    return Text;
}

// The scripted server with Info as its info file, Finish making the bytes
// served of it once the server's address is in (signing them, say).
class TUpgradeServer {
public:
    explicit TUpgradeServer(const std::string& Info,
                            std::function<std::string(const std::string&)> Finish = {})
        : FInfo(Info)
        , FFinish(std::move(Finish))
        , Scripted([this](const TTestRequest& r, TScriptedConnection& c) {
            const std::string info = Replace(FInfo, Base());
            Serve(FFinish ? FFinish(info) : info, r, c);
        })
    {
    }
    std::string Base() const { return Scripted.BaseUrl(); }

private:
    const std::string FInfo;
    const std::function<std::string(const std::string&)> FFinish;

public:
    TScriptedServer Scripted;
};

enum TOption {
    opNone = 0,
    opNoWizard = 1,
    opAnswerNo = 2,           // every question is answered No
    opSizeRule = 4,           // mfuOnlyIfSizeDifferent
    opDeclineAll = 8,         // OnFileStart clears CanUpgrade
    opAbortOnFinished = 16,   // the finished page is closed by its caption's button
    opHelperFails = 32,
    opStall = 64,             // the stall guard shortened
};

// The program's folder: the program file "shopscope", what the download
// leaves there, and the files that were there before.
class TProgramFolder {
public:
    TProgramFolder()
    {
        QFile program(Path("shopscope"));
        program.open(QIODevice::WriteOnly);
        program.write(Program.data(), qint64(Program.size()));
    }
    QString Path(const QString& Name) const { return FDir.filePath(Name); }
    std::string ProgramPath() const { return Path("shopscope").toStdString(); }
    void Put(const QString& Name, const QByteArray& Bytes) const
    {
        QFile file(Path(Name));
        file.open(QIODevice::WriteOnly);
        file.write(Bytes);
    }
    QByteArray Read(const QString& Name) const
    {
        QFile file(Path(Name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }
    // Every ".uTMP" entry in the folder, sorted.
    QStringList Temporary() const
    {
        return QDir(FDir.path()).entryList({QStringLiteral("*.uTMP")}, QDir::Files | QDir::Dirs | QDir::Hidden,
                                           QDir::Name);
    }

private:
    QTemporaryDir FDir;
};

// The component set up as the program's (English, by number, version 3),
// its events and the boxes, questions and wizard pages recorded in order.
class TDownload {
public:
    TDownload(const std::string& Base, const TProgramFolder& Folder, int Options)
        : FOptions(Options)
    {
        U.Wizard().SetLanguage(wlEnglish);
        U.Wizard().SetEnabled(!(Options & opNoWizard));
        U.SetInfoFileURL(Base + "/Upgrader.inf");
        U.SetVersionControl(byNumber);
        U.SetVersionNumber("3");
        U.SetShowMessages(TauUpgraderShowMessages::All());
        U.SetProgramPath(Folder.ProgramPath());
        U.SetProcessLauncher(Launcher);
        if (Options & opSizeRule)
            U.SetMiscFilesUpgrade(mfuOnlyIfSizeDifferent);
        if (Options & opStall)
            U.Timeouts().SetStallTimeout(300);
        U.SetHelperStarter([this, &Folder](const std::string& ProgramPath, const std::string& Parameter) {
            QString path = QString::fromStdString(ProgramPath);
            path.replace(Folder.Path(QStringLiteral("shopscope")), QStringLiteral("$/shopscope"));
            Add("helper " + path + " " + QString::fromStdString(Parameter));
            THelperStart started;
            started.HelperPath = TempHelperPath();
            started.ProcessId = (FOptions & opHelperFails) ? -1 : 1;
            started.Error = (FOptions & opHelperFails) ? ENOENT : 0;
            return started;
        });
        U.OnBeginUpgrade = [this](TauUpgrader&, const std::string&, TacUpgradeMethod Method,
                                  const std::vector<std::string>& Files, bool&) {
            Add(QStringLiteral("BeginUpgrade %1 %2").arg(int(Method)).arg(Files.size()));
        };
        U.OnFileStart = [this](TauUpgrader&, const std::string& URL, std::int32_t Size, TDateTime, bool& CanUpgrade) {
            QString entry = QStringLiteral("FileStart %1 %2").arg(Name(URL)).arg(Size);
            if (TauUpgraderWizardForm* wizard = WizardForm())
                entry += " [" + wizard->AllDownloading->text() + ", " + wizard->FileSizeLab->text() + "]";
            Add(entry);
            if (FOptions & opDeclineAll)
                CanUpgrade = false;
            LastPercent = -1;
        };
        U.OnProgress = [this](TauUpgrader&, const std::string&, std::int32_t, std::int32_t, std::int32_t,
                              std::int32_t, std::uint8_t Percent, std::uint8_t Total, float) {
            LastPercent = Percent;
            LastTotal = Total;
            ++Progresses;
            if (OnProgress)
                OnProgress(Percent);
        };
        U.OnFileDone = [this](TauUpgrader&, const std::string& FileName) {
            QString entry = QStringLiteral("FileDone %1 %2%").arg(QFileInfo(QString::fromStdString(FileName)).fileName())
                                .arg(LastPercent);
            if (TauUpgraderWizardForm* wizard = WizardForm())
                entry += QStringLiteral(" [%1 %2]").arg(wizard->ProgressCurrentFile->value()).arg(
                    wizard->ProgressAllFiles->value());
            Add(entry);
        };
        U.OnEndUpgrade = [this](TauUpgrader&) { Add("EndUpgrade"); };
        U.OnDoOwnCloseAppMethod = [this](TauUpgrader&) { Add("Close"); };
        U.OnAborted = [this](TauUpgrader&) { Add("Aborted"); };
        U.OnConnLost = [this](TauUpgrader&) { Add("ConnLost"); };
        U.OnNoUpdateAvailable = [this](TauUpgrader&) { Add("NoUpdateAvailable"); };
        U.OnNoInfoFile = [this](TauUpgrader&) { Add("NoInfoFile"); };
        U.OnLostFile = [this](TauUpgrader&, const std::string& URL, std::int32_t Code, bool&) {
            Add(QStringLiteral("LostFile %1 %2").arg(Name(URL)).arg(Code));
        };

        // Every box and question of the run, each answered once.
        FBoxPoll.setInterval(5);
        QObject::connect(&FBoxPoll, &QTimer::timeout, &FBoxPoll, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box != FAnswered) {
                FAnswered = box;
                Answer(box);
            }
        });
        FBoxPoll.start();
        FOffer = std::make_unique<TModalAnswer<TauUpgraderUpgradeMessageForm>>([this](TauUpgraderUpgradeMessageForm* f) {
            Add("offer");
            f->YesBtn->click();
        });
        // The wizard is not modal: its finished page is looked for.
        FWizardPoll.setInterval(5);
        QObject::connect(&FWizardPoll, &QTimer::timeout, &FWizardPoll, [this] {
            TauUpgraderWizardForm* wizard = WizardForm();
            if (!wizard || !wizard->FinishBtn->isEnabled())
                return;
            FWizardPoll.stop();
            Add("finished page");
            if (FOptions & opAbortOnFinished)
                wizard->close();
            else
                wizard->FinishBtn->click();
        });
        FWizardPoll.start();
    }

    // Runs a whole check and download; true once the component is idle.
    bool Run()
    {
        return U.CheckForUpdate() && WaitUntil([this] { return !U.InProgress(); });
    }

    void Add(const QString& Entry) { Entries << Entry; }
    QString Joined() const { return Entries.join(QStringLiteral(" | ")); }

    TauUpgrader U;
    TRecordingLauncher Launcher;
    QStringList Entries;
    int LastPercent = -1;
    int LastTotal = -1;
    int Progresses = 0;
    std::function<void(int)> OnProgress;

private:
    static QString Name(const std::string& URL)
    {
        return QString::fromStdString(URL).section(u'/', -1);
    }

    // Questions (Yes and No) are logged by their caption, boxes by their
    // text; each box must be the component's error box.
    void Answer(QMessageBox* Box)
    {
        if (Box->standardButtons() == (QMessageBox::Yes | QMessageBox::No)) {
            Add("question " + Box->windowTitle());
            Box->button((FOptions & opAnswerNo) ? QMessageBox::No : QMessageBox::Yes)->click();
            return;
        }
        const bool errorBox = Box->windowTitle() == LangStr(0) && Box->icon() == QMessageBox::Critical;
        Add("box " + Box->text() + (errorBox ? "" : "!"));
        Box->button(QMessageBox::Ok)->click();
    }

    int FOptions;
    QTimer FBoxPoll;
    QPointer<QMessageBox> FAnswered;
    std::unique_ptr<TModalAnswer<TauUpgraderUpgradeMessageForm>> FOffer;
    QTimer FWizardPoll;
};

QString Box(const QString& Text)
{
    return "box " + ShownLines(Text);
}

// The keys made for the tests (tests/data/upgrade/signing).
std::string SigningFixture(const char* Name)
{
    QFile file(QStringLiteral(SHOPSCOPE_TEST_DATA "/upgrade/signing/") + QLatin1String(Name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Puts the test key in force for one test, whatever way it ends.
class TTestKeyInForce {
public:
    TTestKeyInForce()
    {
        OverrideUpgradePublicKey(QByteArray::fromStdString(SigningFixture("test-key.pub")).trimmed().toStdString());
    }
    ~TTestKeyInForce() { OverrideUpgradePublicKey(std::nullopt); }
    TTestKeyInForce(const TTestKeyInForce&) = delete;
    TTestKeyInForce& operator=(const TTestKeyInForce&) = delete;
};

enum TSigning {
    sgTestKey,      // signed by the key in force
    sgOtherKey,     // signed by another maker's key
    sgNone,         // not signed at all
    sgFlipped,      // signed, then the version's digit changed by one bit
};

// Info with "%a" and "%b" standing for the SHA-256 of the served a.bin and
// b.bin, signed as Signing says with the signature as its last line.
std::string Signed(std::string Info, TSigning Signing)
{
    const auto hashOf = [](const std::string& Bytes) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(QByteArrayView(Bytes.data(), qsizetype(Bytes.size())));
        return hash.result().toHex().toStdString();
    };
    for (const auto& [mark, bytes] : {std::pair{"%a", &FileA}, std::pair{"%b", &FileB}})
        for (std::size_t at = Info.find(mark); at != std::string::npos; at = Info.find(mark))
            Info.replace(at, 2, hashOf(*bytes));
    if (Signing == sgNone)
        return Info;
    const auto key =
        TEd25519PrivateKey::FromPem(SigningFixture(Signing == sgOtherKey ? "other-key.pem" : "test-key.pem"));
    const auto signature = key ? key->Sign(Info) : std::nullopt;
    if (!signature)
        return "(no signature)";
    std::string text = Info + std::string("#") + std::string(SignatureEntryKey) + "=" + SignatureText(*signature) + "\n";
    if (Signing == sgFlipped)
        text[text.find("#version=") + 9] ^= 1;
    return text;
}

} // namespace

class TestUpgraderDownload : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void chain_data();
    void chain();
    void abortWhileDownloading_data();
    void abortWhileDownloading();
    void totalPercents();
    void fileTimes();
    void diskFull();
    void handOverToTheHelper();
    void redirect_data();
    void redirect();
    void signedUpgrade_data();
    void signedUpgrade();

private:
    QTemporaryDir FTemp;
    TNoProxyEnvironment FNoProxy;
};

void TestUpgraderDownload::initTestCase()
{
    QVERIFY(FTemp.isValid());
    qputenv("TMPDIR", FTemp.path().toUtf8());
    qputenv("LC_ALL", "C");
    ChooseUpgraderLanguage(wlEnglish);
}

void TestUpgraderDownload::chain_data()
{
    QTest::addColumn<std::string>("info");
    QTest::addColumn<int>("options");
    QTest::addColumn<QStringList>("before");   // files in the folder before the check
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("left");     // ".uTMP" entries afterwards

    ChooseUpgraderLanguage(wlEnglish);
    const std::string two = "#version=4\n#url1=$/files/a.bin\n#url2=$/files/b.bin\n";
    const QString begin2 = "BeginUpgrade 0 2 | offer | ";
    const QString aDone = "FileStart a.bin 8192 | FileDone a.bin.uTMP 100%";
    const QString bDone = "FileStart b.bin 3072 | FileDone b.bin.uTMP 100%";
    const QString handOver = "EndUpgrade | helper $/shopscope +/afterupgrade0 | Close";
    const QStringList both{"a.bin.uTMP", "b.bin.uTMP"};
    const QString stored = Box(FileNotStoredText(QStringLiteral("b.bin")));

    QTest::newRow("two files, wizard")
        << two << int(opNone) << QStringList()
        << begin2 + "FileStart a.bin 8192 [Downloading 1 of 2, File size: 8.0 Kb] | FileDone a.bin.uTMP 100% [100 50] | "
                    "FileStart b.bin 3072 [Downloading 2 of 2, File size: 3.0 Kb] | FileDone b.bin.uTMP 100% [100 100] | "
                    "finished page | " + handOver
        << both;
    QTest::newRow("two files, no wizard")
        << two << int(opNoWizard) << QStringList() << begin2 + aDone + " | " + bDone + " | " + handOver << both;
    QTest::newRow("external set-up") << std::string("#version=4\n#method=1\n#url1=$/files/a.bin\n") << int(opNoWizard)
                                     << QStringList()
                                     << "BeginUpgrade 1 1 | offer | " + aDone +
                                            " | EndUpgrade | helper $/shopscope +/afterupgrade1 | Close"
                                     << QStringList{"a.bin.uTMP"};
    QTest::newRow("404 skipped")
        << std::string("#version=4\n#url1=$/files/a.bin\n#url2=$/files/gone.bin\n#url3=$/files/b.bin\n") << int(opNoWizard)
        << QStringList()
        << "BeginUpgrade 0 3 | offer | " + aDone + " | FileStart gone.bin 12 | LostFile gone.bin 404 | "
               "question Error #404 | " + bDone + " | " + handOver
        << both;
    QTest::newRow("404 last, skipped")
        << std::string("#version=4\n#url1=$/files/a.bin\n#url2=$/files/gone.bin\n") << int(opNone) << QStringList()
        << "BeginUpgrade 0 2 | offer | FileStart a.bin 8192 [Downloading 1 of 2, File size: 8.0 Kb] | "
           "FileDone a.bin.uTMP 100% [100 50] | FileStart gone.bin 12 [Downloading 2 of 2, File size: 0.0 Kb] | "
           "LostFile gone.bin 404 | question Error #404 | finished page | " + handOver
        << QStringList{"a.bin.uTMP"};
    QTest::newRow("404 not skipped")
        << std::string("#version=4\n#url1=$/files/a.bin\n#url2=$/files/gone.bin\n#url3=$/files/b.bin\n")
        << int(opNoWizard | opAnswerNo) << QStringList()
        << "BeginUpgrade 0 3 | offer | " + aDone + " | FileStart gone.bin 12 | LostFile gone.bin 404 | "
               "question Error #404 | Aborted"
        << QStringList();
    // A stale temporary file of a listed name is removed before the download
    // starts; one of a name that is not listed is none of ours.
    QTest::newRow("size rule, same size")
        << two << int(opNoWizard | opSizeRule) << QStringList{"a.bin=8192", "a.bin.uTMP=9", "other.bin.uTMP=9"}
        << begin2 + "FileStart a.bin 8192 | " + bDone + " | " + handOver
        << QStringList{"b.bin.uTMP", "other.bin.uTMP"};
    QTest::newRow("size rule, other size") << two << int(opNoWizard | opSizeRule) << QStringList{"a.bin=100"}
                                           << begin2 + aDone + " | " + bDone + " | " + handOver << both;
    QTest::newRow("size rule, the program's own file")
        << std::string("#version=4\n#url1=$/files/shopscope\n#url2=$/files/b.bin\n") << int(opNoWizard | opSizeRule)
        << QStringList()
        << begin2 + "FileStart shopscope 8192 | FileDone shopscope.uTMP 100% | " + bDone + " | " + handOver
        << QStringList{"b.bin.uTMP", "shopscope.uTMP"};
    QTest::newRow("size rule, a single file") << std::string("#version=4\n#url1=$/files/a.bin\n") << int(opNoWizard | opSizeRule)
                                              << QStringList{"a.bin=8192"}
                                              << "BeginUpgrade 0 1 | offer | " + aDone + " | " + handOver
                                              << QStringList{"a.bin.uTMP"};
    QTest::newRow("every file declined")
        << two << int(opDeclineAll) << QStringList{"a.bin.uTMP=9"}
        << begin2 + "FileStart a.bin 8192 [Downloading 1 of 2, File size: 8.0 Kb] | "
                    "FileStart b.bin 3072 [Downloading 2 of 2, File size: 3.0 Kb] | finished page | " + handOver
        << QStringList();
    QTest::newRow("connection lost in a file")
        << std::string("#version=4\n#url1=$/files/a.bin\n#url2=$/files/cut.bin\n") << int(opNone) << QStringList()
        << "BeginUpgrade 0 2 | offer | FileStart a.bin 8192 [Downloading 1 of 2, File size: 8.0 Kb] | "
           "FileDone a.bin.uTMP 100% [100 50] | FileStart cut.bin 100 [Downloading 2 of 2, File size: 0.1 Kb] | "
           "ConnLost | " + Box(LangStr(30))
        << QStringList();
    QTest::newRow("server stops sending")
        << std::string("#version=4\n#url1=$/files/a.bin\n#url2=$/files/stall.bin\n") << int(opNoWizard | opStall)
        << QStringList() << begin2 + aDone + " | FileStart stall.bin 100 | ConnLost | " + Box(LangStr(30))
        << QStringList();
    // A folder stands where the second file goes: it cannot be created.
    QTest::newRow("file cannot be stored") << two << int(opNone) << QStringList{"b.bin.uTMP/"}
                                           << begin2 + "FileStart a.bin 8192 [Downloading 1 of 2, File size: 8.0 Kb] | "
                                                       "FileDone a.bin.uTMP 100% [100 50] | "
                                                       "FileStart b.bin 3072 [Downloading 2 of 2, File size: 3.0 Kb] | " + stored
                                           << QStringList{"b.bin.uTMP"};
    QTest::newRow("helper cannot start")
        << two << int(opHelperFails) << QStringList()
        << begin2 + "FileStart a.bin 8192 [Downloading 1 of 2, File size: 8.0 Kb] | FileDone a.bin.uTMP 100% [100 50] | "
                    "FileStart b.bin 3072 [Downloading 2 of 2, File size: 3.0 Kb] | FileDone b.bin.uTMP 100% [100 100] | "
                    "finished page | EndUpgrade | helper $/shopscope +/afterupgrade0 | " +
               Box(FileNotStoredText(QStringLiteral("Upgrader3.exe")))
        << QStringList();
    QTest::newRow("abandoned on the finished page")
        << two << int(opAbortOnFinished) << QStringList()
        << begin2 + "FileStart a.bin 8192 [Downloading 1 of 2, File size: 8.0 Kb] | FileDone a.bin.uTMP 100% [100 50] | "
                    "FileStart b.bin 3072 [Downloading 2 of 2, File size: 3.0 Kb] | FileDone b.bin.uTMP 100% [100 100] | "
                    "finished page | question tst_auUpgraderDownload | Aborted"
        << QStringList();
    // The later download replaces the earlier one: the list's order is the
    // publisher's, and the helper installs one file per name.
    QTest::newRow("two addresses, one file name")
        << std::string("#version=4\n#url1=$/x/same.bin\n#url2=$/y/same.bin\n") << int(opNoWizard) << QStringList()
        << begin2 + "FileStart same.bin 5 | FileDone same.bin.uTMP 100% | FileStart same.bin 6 | "
                    "FileDone same.bin.uTMP 100% | " + handOver
        << QStringList{"same.bin.uTMP"};
    QTest::newRow("Chinese and blanks") << std::string("#version=4\n#url1=$/files/中文 文件.bin\n") << int(opNoWizard)
                                        << QStringList()
                                        << "BeginUpgrade 0 1 | offer | FileStart 中文 文件.bin 2 | "
                                           "FileDone 中文 文件.bin.uTMP 100% | " + handOver
                                        << QStringList{"中文 文件.bin.uTMP"};
    // An escaped address is stored under the name the server means.
    QTest::newRow("escaped Chinese and blanks")
        << std::string("#version=4\n#url1=$/files/%E4%B8%AD%E6%96%87%20%E6%96%87%E4%BB%B6.bin\n") << int(opNoWizard)
        << QStringList()
        << "BeginUpgrade 0 1 | offer | FileStart %E4%B8%AD%E6%96%87%20%E6%96%87%E4%BB%B6.bin 2 | "
           "FileDone 中文 文件.bin.uTMP 100% | " + handOver
        << QStringList{"中文 文件.bin.uTMP"};
    QTest::newRow("empty file list") << std::string("#version=4\n") << int(opNone) << QStringList()
                                     << "NoUpdateAvailable | " + Box(LangStr(24)) << QStringList();
}

void TestUpgraderDownload::chain()
{
    QFETCH(std::string, info);
    QFETCH(int, options);
    QFETCH(QStringList, before);
    QFETCH(QString, expected);
    QFETCH(QStringList, left);

    TUpgradeServer server(info);
    TProgramFolder folder;
    for (const QString& file : before) {
        if (file.endsWith(u'/'))
            QVERIFY(QDir().mkpath(folder.Path(file + "keep")));
        else
            folder.Put(file.section(u'=', 0, 0), QByteArray(file.section(u'=', 1).toInt(), 'o'));
    }
    TDownload d(server.Base(), folder, options);
    QVERIFY(d.Run());
    QCOMPARE(d.Entries, expected.split(QStringLiteral(" | ")));
    QCOMPARE(folder.Temporary(), left);
    // Idle, and nothing of the upgrade left on the screen.
    QVERIFY(!d.U.Busy());
    QVERIFY(!WizardForm());
    QVERIFY(!UpgradeMessageForm());

    // What is left is whole: the served bytes.
    if (left.contains("a.bin.uTMP"))
        QCOMPARE(folder.Read("a.bin.uTMP").toStdString(), FileA);
    if (left.contains("b.bin.uTMP") && !before.contains("b.bin.uTMP/"))
        QCOMPARE(folder.Read("b.bin.uTMP").toStdString(), FileB);
    if (left.contains("same.bin.uTMP"))
        QCOMPARE(folder.Read("same.bin.uTMP"), QByteArray("second"));
    if (left.contains("中文 文件.bin.uTMP"))
        QCOMPARE(folder.Read("中文 文件.bin.uTMP"), QByteArray("cn"));
    // The program and the files in place are untouched.
    QCOMPARE(folder.Read("shopscope").toStdString(), Program);
    if (before.contains("a.bin=8192"))
        QCOMPARE(folder.Read("a.bin"), QByteArray(8192, 'o'));
    // Nothing was opened in a browser.
    QVERIFY(d.Launcher.Started.empty());
}

void TestUpgraderDownload::abortWhileDownloading_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("Yes abandons") << true << "question tst_auUpgraderDownload | Aborted" << QStringList();
    QTest::newRow("No carries on")
        << false << "question tst_auUpgraderDownload | FileDone held.bin.uTMP 100% [100 100] | finished page | "
                    "EndUpgrade | helper $/shopscope +/afterupgrade0 | Close"
        << QStringList{"a.bin.uTMP", "held.bin.uTMP"};
}

void TestUpgraderDownload::abortWhileDownloading()
{
    // The wizard's Cancel while the second file is half way: Yes stops the
    // transfer and removes what was stored; No leaves it undisturbed.
    QFETCH(bool, yes);
    QFETCH(QString, expected);
    QFETCH(QStringList, left);
    TUpgradeServer server("#version=4\n#url1=$/files/a.bin\n#url2=$/files/held.bin\n");
    TProgramFolder folder;
    TDownload d(server.Base(), folder, yes ? opNone : opAnswerNo);
    bool half = false;
    d.OnProgress = [&](int Percent) { half = half || (d.U.URL().ends_with("held.bin") && Percent == 50); };
    QVERIFY(d.U.CheckForUpdate());
    QVERIFY(WaitUntil([&] { return half; }));
    QVERIFY(QFile::exists(folder.Path("held.bin.uTMP")));
    d.Entries.clear();
    WizardForm()->CancelBtn->click();
    QVERIFY(WaitUntil([&] { return !d.Entries.isEmpty(); }));
    // The question has been answered: now the rest may come (or not).
    server.Scripted.Release("rest");
    QVERIFY(WaitUntil([&] { return !d.U.InProgress(); }));
    QCOMPARE(d.Entries, expected.split(QStringLiteral(" | ")));
    QCOMPARE(folder.Temporary(), left);
    QVERIFY(!WizardForm());
}

void TestUpgraderDownload::totalPercents()
{
    // Three files, the second at 50 %: 50 div 3 + 33 = 49; the third at
    // 100 %: 33 + 67 = 100.
    TUpgradeServer server("#version=4\n#url1=$/files/a.bin\n#url2=$/files/held.bin\n#url3=$/files/b.bin\n");
    TProgramFolder folder;
    TDownload d(server.Base(), folder, opNoWizard);
    QStringList totals;
    d.OnProgress = [&](int Percent) {
        const QString file = QString::fromStdString(d.U.URL()).section(u'/', -1);
        if (Percent == 100 || (file == "held.bin" && Percent == 50))
            totals << QStringLiteral("%1 %2: %3").arg(file).arg(Percent).arg(d.LastTotal);
        if (file == "held.bin" && Percent == 50)
            server.Scripted.Release("rest");
    };
    QVERIFY(d.Run());
    QCOMPARE(totals, (QStringList{"a.bin 100: 33", "held.bin 50: 49", "held.bin 100: 66", "b.bin 100: 100"}));
}

void TestUpgraderDownload::fileTimes()
{
    // A file served with Last-Modified gets that time; one without keeps the
    // time of its download.
    TUpgradeServer server("#version=4\n#url1=$/files/a.bin\n#url2=$/files/b.bin\n");
    TProgramFolder folder;
    TDownload d(server.Base(), folder, opNoWizard);
    const QDateTime started = QDateTime::currentDateTimeUtc().addSecs(-2);
    QVERIFY(d.Run());
    QCOMPARE(QFileInfo(folder.Path("a.bin.uTMP")).lastModified().toUTC(),
             QDateTime(QDate(2011, 6, 1), QTime(10, 0), Qt::UTC));
    QVERIFY(QFileInfo(folder.Path("b.bin.uTMP")).lastModified().toUTC() >= started);
}

void TestUpgraderDownload::diskFull()
{
    // Writes beyond 64 KiB fail as on a full disk: the file cannot be
    // stored, the user is told, and nothing of the download is left.
    TUpgradeServer server("#version=4\n#url1=$/files/a.bin\n#url2=$/files/big.bin\n");
    TProgramFolder folder;
    TDownload d(server.Base(), folder, opNoWizard);
    rlimit previous{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 64 * 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ran = d.Run();
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(ran);
    QCOMPARE(d.Joined(), "BeginUpgrade 0 2 | offer | FileStart a.bin 8192 | FileDone a.bin.uTMP 100% | "
                         "FileStart big.bin 262144 | " +
                             Box(FileNotStoredText(QStringLiteral("big.bin"))));
    QCOMPARE(folder.Temporary(), QStringList());
}

void TestUpgraderDownload::handOverToTheHelper()
{
    // The real helper, written out by the component: it replaces the
    // program with the downloaded file, keeps it runnable, and starts it
    // again with RestartParams alone.
    TUpgradeServer server("#version=4\n#url1=$/files/new/shopscope\n#url2=$/files/b.bin\n");
    TProgramFolder folder;
    folder.Put(QStringLiteral("shopscope"), "#!/bin/sh\necho old > \"$(dirname \"$0\")/started\"\n");
    QVERIFY(QFile::setPermissions(folder.Path("shopscope"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    TDownload d(server.Base(), folder, opNoWizard);
    int helper = -1;
    d.U.SetHelperStarter([&helper](const std::string& ProgramPath, const std::string& Parameter) {
        const THelperStart started = StartUpgradeHelper(ProgramPath, Parameter, {});
        helper = started.ProcessId;
        return started;
    });
    QVERIFY(d.Run());
    QCOMPARE(d.Entries.last(), QStringLiteral("Close"));
    // The new version runs: it confirms its start (as the program does once
    // its window is up), then ends; the helper is done with the folder once
    // it has ended.
    QVERIFY(helper > 0);
    QVERIFY(WaitUntil([&] { return folder.Read("started") == "upgraded /afterupgrade\n"; }));
    QVERIFY(ConfirmStarted(folder.ProgramPath()));
    folder.Put(QStringLiteral("end"), QByteArray());
    QCOMPARE(platform::WaitForChild(helper), 0);
    QCOMPARE(folder.Read("shopscope").toStdString(), NewProgram);
    QCOMPARE(folder.Read("b.bin").toStdString(), FileB);
    QVERIFY(QFileInfo(folder.Path("shopscope")).isExecutable());
    QCOMPARE(folder.Temporary(), QStringList());
    // Confirmed: no backups and no journal are left.
    QCOMPARE(QDir(folder.Path(QString())).entryList({"*.uBAK", "*.upgrade-journal"}, QDir::Files | QDir::Hidden),
             QStringList());
}

void TestUpgraderDownload::redirect_data()
{
    QTest::addColumn<std::string>("address");
    QTest::addColumn<bool>("opened");
    QTest::newRow("http") << std::string("$/news.html") << true;
    QTest::newRow("HTTPS") << std::string("HTTPS://example.com/news.html") << true;
    QTest::newRow("no scheme: http") << std::string("example.com/news.html") << true;
    QTest::newRow("file") << std::string("file:///bin/sh") << false;
    QTest::newRow("FILE") << std::string("FILE:///tmp/x.desktop") << false;
    QTest::newRow("smb") << std::string("smb://host/share/run.exe") << false;
}

void TestUpgraderDownload::redirect()
{
    // The redirect method opens only web pages; nothing is downloaded.
    QFETCH(std::string, address);
    QFETCH(bool, opened);
    TUpgradeServer server("#version=4\n#method=2\n#url=" + address + "\n");
    TProgramFolder folder;
    TDownload d(server.Base(), folder, opNone);
    QVERIFY(d.Run());
    QCOMPARE(d.Joined(), QStringLiteral("BeginUpgrade 2 1 | offer"));
    QCOMPARE(d.Launcher.Started.size(), std::size_t(opened ? 1 : 0));
    if (opened)
        QCOMPARE(d.Launcher.Started[0].back(), WithDefaultScheme(Replace(address, server.Base())));
    QCOMPARE(server.Scripted.Requests().size(), std::size_t(1));
}

void TestUpgraderDownload::signedUpgrade_data()
{
    QTest::addColumn<std::string>("info");
    QTest::addColumn<int>("signing");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("requested");  // after the info file
    QTest::addColumn<int>("hidden");             // the one box not shown, or -1

    ChooseUpgraderLanguage(wlEnglish);
    const std::string two = "#version=4\n#url1=$/files/a.bin\n#url2=$/files/b.bin\n";
    const std::string hashes = "#sha256-url1=%a\n#sha256-url2=%b\n";
    const QString begin2 = "BeginUpgrade 0 2 | offer | ";
    const QString aDone = "FileStart a.bin 8192 | FileDone a.bin.uTMP 100%";
    const QString bDone = "FileStart b.bin 3072 | FileDone b.bin.uTMP 100%";
    const QString handOver = "EndUpgrade | helper $/shopscope +/afterupgrade0 | Close";
    const QString refused = "NoInfoFile | " + Box(LangStr(32));
    const QStringList both{"/files/a.bin", "/files/b.bin"};

    QTest::newRow("good") << two + hashes << int(sgTestKey) << begin2 + aDone + " | " + bDone + " | " + handOver
                          << both << -1;
    QTest::newRow("one bit of the version flipped") << two + hashes << int(sgFlipped) << refused << QStringList() << -1;
    QTest::newRow("not signed") << two + hashes << int(sgNone) << refused << QStringList() << -1;
    QTest::newRow("signed by another key") << two + hashes << int(sgOtherKey) << refused << QStringList() << -1;
    QTest::newRow("a listed file without its hash")
        << two + "#sha256-url1=%a\n" << int(sgTestKey) << refused << QStringList() << -1;
    // A genuine file of an older version, replayed: nothing newer.
    QTest::newRow("older version, validly signed")
        << std::string("#version=2\n#url1=$/files/a.bin\n#sha256-url1=%a\n") << int(sgTestKey)
        << "NoUpdateAvailable | " + Box(LangStr(24)) << QStringList() << -1;
    // The served file differs from what was published: removed, and the
    // upgrade ends without a question, the first file's bytes removed too.
    QTest::newRow("the only file does not match")
        << std::string("#version=4\n#url1=$/files/a.bin\n#sha256-url1=%b\n") << int(sgTestKey)
        << "BeginUpgrade 0 1 | offer | FileStart a.bin 8192 | LostFile a.bin 200 | " +
               Box(LangFmt(33, QStringLiteral("a.bin"))) + " | Aborted"
        << QStringList{"/files/a.bin"} << -1;
    QTest::newRow("the second file does not match")
        << two + "#sha256-url1=%a\n#sha256-url2=%a\n" << int(sgTestKey)
        << begin2 + aDone + " | FileStart b.bin 3072 | LostFile b.bin 200 | " +
               Box(LangFmt(33, QStringLiteral("b.bin"))) + " | Aborted"
        << both << -1;
    // The boxes follow ShowMessages; the events and the outcome do not.
    QTest::newRow("not signed, no info file box")
        << two + hashes << int(sgNone) << "NoInfoFile" << QStringList() << int(mNoInfoFile);
    QTest::newRow("no match, no lost file box")
        << std::string("#version=4\n#url1=$/files/a.bin\n#sha256-url1=%b\n") << int(sgTestKey)
        << "BeginUpgrade 0 1 | offer | FileStart a.bin 8192 | LostFile a.bin 200 | Aborted"
        << QStringList{"/files/a.bin"} << int(mLostFile);
}

void TestUpgraderDownload::signedUpgrade()
{
    QFETCH(std::string, info);
    QFETCH(int, signing);
    QFETCH(QString, expected);
    QFETCH(QStringList, requested);
    QFETCH(int, hidden);

    const TTestKeyInForce key;
    TUpgradeServer server(info, [signing](const std::string& Info) { return Signed(Info, TSigning(signing)); });
    TProgramFolder folder;
    TDownload d(server.Base(), folder, opNoWizard);
    if (hidden >= 0) {
        TauUpgraderShowMessages shown = TauUpgraderShowMessages::All();
        shown.Exclude(TauUpgraderShowMessage(hidden));
        d.U.SetShowMessages(shown);
    }
    // Idle again: every request the component made has had its answer.
    QVERIFY(d.Run());
    QCOMPARE(d.Entries, expected.split(QStringLiteral(" | ")));

    QStringList targets;
    for (const TTestRequest& request : server.Scripted.Requests())
        targets << QString::fromStdString(request.target);
    QCOMPARE(targets, QStringList{"/Upgrader.inf"} + requested);
    // A download that did not reach the hand-over leaves nothing to install.
    const bool handedOver = expected.endsWith(QStringLiteral("Close"));
    const QStringList stored{"a.bin.uTMP", "b.bin.uTMP"};
    QCOMPARE(folder.Temporary(), handedOver ? stored : QStringList());
    if (handedOver) {
        QCOMPARE(folder.Read("a.bin.uTMP").toStdString(), FileA);
        QCOMPARE(folder.Read("b.bin.uTMP").toStdString(), FileB);
    }
    QCOMPARE(folder.Read("shopscope").toStdString(), Program);
    QVERIFY(!d.U.Busy());
    QVERIFY(!UpgradeMessageForm());
}

QTEST_MAIN(TestUpgraderDownload)
#include "tst_auUpgraderDownload.moc"
