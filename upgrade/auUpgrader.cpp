#include "upgrade/auUpgrader.h"

#include "http/auText.h"
#include "platform/ExecutableFile.h"
#include "platform/FileReplace.h"
#include "platform/MimeAssociations.h"
#include "platform/ProgramFile.h"
#include "platform/Stream.h"
#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderDownload.h"
#include "upgrade/auUpgraderLostFile.h"
#include "upgrade/auUpgraderPassword.h"
#include "upgrade/auUpgraderUpgradeMsg.h"
#include "upgrade/auUpgraderWizard.h"

#include <QCoreApplication>
#include <QObject>
#include <QTemporaryFile>
#include <QTimerEvent>

#include <charconv>
#include <cstdio>

// The automatic check's timer: ticks on the thread that made it, the window
// thread. What a tick raises goes on to the application's error handler.
class TauUpgraderTimerWindow : public QObject {
public:
    explicit TauUpgraderTimerWindow(std::function<void()> Tick)
        : FTick(std::move(Tick))
    {
    }
    // False when the system refuses the timer (a negative period, or a
    // thread without an event loop).
    bool Start(int Ms)
    {
        Stop();
        FTimerId = startTimer(Ms);
        return FTimerId != 0;
    }
    void Stop()
    {
        if (FTimerId != 0)
            killTimer(std::exchange(FTimerId, 0));
    }

protected:
    void timerEvent(QTimerEvent* Event) override
    {
        if (Event->timerId() == FTimerId)
            FTick();
    }

private:
    std::function<void()> FTick;
    int FTimerId = 0;
};

namespace {

// Optional sign and decimal digits, nothing else, within int.
bool ReadInteger(const std::string& Text, int& Value)
{
    const char* first = Text.data();
    const char* last = first + Text.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last || *first == '+')
        return false;
    const auto [end, error] = std::from_chars(first, last, Value);
    return error == std::errc() && end == last;
}

std::vector<std::string> ApplicationArguments()
{
    std::vector<std::string> arguments;
    if (!QCoreApplication::instance())
        return arguments;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(all[i].toStdString());
    return arguments;
}

// The redirect method opens its address in the web browser: only a web
// page. Anything else ("file:", a desktop's own schemes) would have the
// opener run or show a local file on the word of the info file.
bool IsWebAddress(const std::string& URL)
{
    const std::string address = WithDefaultScheme(URL);
    const std::string scheme = LowerCase(std::string_view(address).substr(0, address.find("://")));
    return scheme == "http" || scheme == "https";
}

} // namespace

TauUpgrader::TauUpgrader(TComponent* owner)
    : TauCustomHTTP(owner)
    , FOnline([] { return IsOnline(); })
    , FHelperStarter([](const std::string& ProgramPath, const std::string& Parameter) {
        return StartUpgradeHelper(ProgramPath, Parameter, {});
    })
{
    SetProgramPath(platform::RunningExecutablePath());
    if (FProgramFolder.empty())
        FProgramFolder = platform::ProgramFolder();
    SetHideOutputFile(true);

    OnHeaderInfo = [this](TauCustomHTTP&, const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, std::int32_t ContentLength, TDateTime,
                          TDateTime LastModified, TDateTime, bool& CanContinue) {
        HeaderInfoHandler(ContentLength, LastModified, CanContinue);
    };
    OnDone = [this](TauCustomHTTP&, const std::string&, std::int32_t, TStream* Data) { DoneHandler(Data); };
    OnDeclined = [this](TauCustomHTTP&) { DeclinedHandler(); };
    OnTransferProgress = [this](TauCustomHTTP&, const std::string&, std::int32_t ContentLength,
                                std::int32_t BytesRead, std::int32_t ElapsedTime, std::int32_t EstimatedTimeLeft,
                                std::uint8_t PercentsDone, float TransferRate, TStream*) {
        ProgressHandler(ContentLength, BytesRead, ElapsedTime, EstimatedTimeLeft, PercentsDone, TransferRate);
    };
    OnConnectionLost = [this](TauCustomHTTP&, const std::string&, std::int32_t, std::int32_t, TStream*) {
        ConnectionLostHandler();
    };
    OnNoResponse = [this](TauCustomHTTP&) { NoResponseHandler(); };
    OnHTTPError = [this](TauCustomHTTP&, std::int32_t StatusCode, TStream*) { HTTPErrorHandler(StatusCode); };
    OnLoginRequest = [this](TauCustomHTTP&, const std::string& Realm, bool& TryAgain) {
        LoginRequestHandler(Realm, TryAgain);
    };
    // A file the engine could not create ends its transfer with OnFailure
    // alone; without this the upgrade would never end.
    OnFailure = [this](TauCustomHTTP&) { FailureHandler(); };

    PasswordWindow = ShowPasswordWindow;

    // The helper of the upgrade that restarted us is done by now.
    RemoveStaleHelpers();

    FVersionDate = FormatVersionDate(QDate::currentDate());
    FWizard.SetLanguage(wlAuto);
    FTimerWindow = std::make_unique<TauUpgraderTimerWindow>([this] { TimerWndProc(); });
}

TauUpgrader::~TauUpgrader()
{
    BeginDestroy();
    SetAutoCheck(false);
}

void TauUpgrader::Loaded()
{
    TauCustomHTTP::Loaded();
    if (!OnAfterRestart)
        return;
    // The helper restarts the program with RestartParams alone: nothing else
    // marks a restart.
    const std::vector<std::string> arguments = FCommandLine ? *FCommandLine : ApplicationArguments();
    if (!arguments.empty() && arguments.front() == FRestartParams)
        Fire(OnAfterRestart);
}

std::string TauUpgrader::FormatVersionDate(QDate Date)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", Date.month(), Date.day(), Date.year());
    return text;
}

QDate TauUpgrader::ParseVersionDate(const std::string& Text)
{
    const std::size_t first = Text.find('/');
    const std::size_t second = first == std::string::npos ? first : Text.find('/', first + 1);
    int month = 0;
    int day = 0;
    int year = 0;
    if (second == std::string::npos || !ReadInteger(Text.substr(0, first), month) ||
        !ReadInteger(Text.substr(first + 1, second - first - 1), day) ||
        !ReadInteger(Text.substr(second + 1), year) || year < 1 || year > 9999 ||
        !QDate::isValid(year, month, day))
        return QDate::currentDate();
    return QDate(year, month, day);
}

void TauUpgrader::SetAutoCheck(bool value)
{
    if (value == FAutoCheck)
        return;
    FAutoCheck = value;
    UpdateTimer();
}

void TauUpgrader::SetProgramPath(const std::string& Path)
{
    FProgramPath = Path;
    const std::size_t slash = Path.rfind('/');
    FProgramFolder = slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

void TauUpgrader::SetProgramFolder(const std::string& Folder)
{
    const std::size_t slash = FProgramPath.rfind('/');
    FProgramFolder = Folder;
    FProgramPath = Folder + (slash == std::string::npos ? FProgramPath : FProgramPath.substr(slash + 1));
}

void TauUpgrader::SetRestartParams(const std::string& value)
{
    if (value == FRestartParams)
        return;
    FRestartParams = value.empty() ? std::string(" ") : value;
}

void TauUpgrader::UpdateTimer()
{
    FTimerWindow->Stop();
    if (FAutoCheck && !TimerFired && !FTimerWindow->Start(FAutoCheckInterval))
        throw EOutOfResources("Not enough timers available");
}

void TauUpgrader::TimerWndProc()
{
    if (!FAutoCheck || !FOnline())
        return;  // the next tick asks again
    TimerFired = true;
    UpdateTimer();
    // A check the user started meanwhile stands for the automatic one; made
    // silent it would swallow the answer the user is waiting for.
    if (FActive)
        return;
    if (CheckForUpdate())
        SilentCheck = true;
}

bool TauUpgrader::CheckForUpdate()
{
    SilentCheck = false;
    if (FActive || Busy())
        return true;
    Aborted = false;
    SetCheckingInfo(true);
    SetURL(FInfoFileURL);
    SetOutputFileName(std::string());
    FActive = Read();
    return FActive;
}

void TauUpgrader::AbortUpgrade()
{
    Aborted = true;
    StopUpgrade();
    Fire(OnAborted);
}

void TauUpgrader::StopUpgrade()
{
    const bool downloading = FActive && !CheckingInfo;
    Abort();
    DestroyUpgradeMessageForm();
    DestroyWizardForm();
    FActive = false;
    // Whatever this download stored, complete or not, would otherwise be
    // put in place by the helper of some later upgrade.
    if (downloading)
        RemoveDownloadFiles(FProgramFolder, FileList);
}

void TauUpgrader::SetCheckingInfo(bool Checking)
{
    CheckingInfo = Checking;
    SetUseCache(!Checking);
}

bool TauUpgrader::IsNewerVersion(const TauInfoFileText& Info) const
{
    if (FVersionControl == byNumber)
        return CompareVersions(Info.InfoValue("version"), FVersionNumber) > 0;
    return ParseVersionDate(FVersionDate) < ParseVersionDate(Info.InfoValue("date"));
}

void TauUpgrader::ParseInfoFile(TStream* Data)
{
    const TauInfoFileText info(Data ? Data->ReadAll() : std::string());
    // With the maker's key in force an info file that is not signed by it
    // names nothing to fetch: anyone on the way could have written it.
    FileChecks = CheckInfoFile(info);
    if (!FileChecks.Accepted()) {
        FileList.clear();
        if (!Fire(OnNoInfoFile) || !FActive || Aborted)
            return;
        if (Shows(mNoInfoFile))
            ShowErrorMsg(32);
        FActive = false;
        return;
    }
    FileList = info.FileList();
    if (!IsNewerVersion(info) || FileList.empty()) {
        if (!Fire(OnNoUpdateAvailable) || !FActive || Aborted)
            return;
        if (!SilentCheck && Shows(mNoUpdateAvailable))
            ShowErrorMsg(24);
        FActive = false;
        return;
    }

    bool canUpgrade = true;
    const std::string message = info.InfoValue("message", true);
    InfoMethod = info.Method();
    if (!Fire(OnBeginUpgrade, message, static_cast<TacUpgradeMethod>(InfoMethod), FileList, canUpgrade) ||
        !FActive || Aborted)
        return;
    if (!canUpgrade || (Shows(mAskUpgrade) && !ShowUpgradeMessage(DecodeInfoText(message)))) {
        // StopUpgrade closes an open offer too: that is no "later".
        if (!FActive || Aborted)
            return;
        if (Fire(OnLaterUpgrade))
            FActive = false;
        return;
    }
    if (!FActive || Aborted)
        return;
    if (InfoMethod == umRedirectToURL) {
        if (IsWebAddress(FileList.front()))
            OpenInBrowser(FileList.front(), true, TMimeAssociations(), *FLauncher);
        FActive = false;
        return;
    }
    DownloadNextFile(true);
}

bool TauUpgrader::ProgramFolderWritable() const
{
    if (FProgramFolder.empty())
        return false;
    // Creating a file is the one test that also knows read-only mounts,
    // access lists and root's rights.
    QTemporaryFile probe(QString::fromStdString(FProgramFolder) + QStringLiteral(".shopscope-XXXXXX"));
    return probe.open();
}

void TauUpgrader::DoneHandler(TStream* Data)
{
    if (!FActive || Aborted)
        return;
    if (CheckingInfo)
        ParseInfoFile(Data);
    else if (DownloadingFile())
        FileDone();
}

void TauUpgrader::NoResponseHandler()
{
    if (!FActive || Aborted)
        return;
    const std::string host = HostName();
    if (!Fire(OnHostUnreachable, URL(), host) || !FActive || Aborted)
        return;
    if (SilentCheck) {
        // Tried again at the next tick, without a word.
        TimerFired = false;
        StopUpgrade();
        UpdateTimer();
        return;
    }
    if (Shows(mHostUnreachable))
        ShowErrorText(LangFmt(26, "'http://" + host + "'"));
    StopUpgrade();
}

void TauUpgrader::HTTPErrorHandler(std::int32_t StatusCode)
{
    if (!FActive || Aborted)
        return;
    if (CheckingInfo) {
        if (!Fire(OnNoInfoFile) || !FActive || Aborted)
            return;
        if (Shows(mNoInfoFile))
            ShowErrorMsg(25);
        FActive = false;
        return;
    }
    // The engine deletes the error page it stored for this file once we
    // return, before the next file's transfer begins; going on from here
    // may reach the hand-over first, so it goes now.
    bool continueUpgrade = false;
    if (!Fire(OnLostFile, URL(), StatusCode, continueUpgrade) || !DownloadingFile())
        return;
    if (Shows(mLostFile))
        continueUpgrade = ShowLostFileQuestion(DecodeInfoText(FileName()), StatusCode);
    if (!DownloadingFile())
        return;
    if (continueUpgrade) {
        platform::RemoveFile(CurrentFile);
        DownloadNextFile(false);
    } else {
        AbortUpgrade();
    }
}

void TauUpgrader::ConnectionLostHandler()
{
    if (!FActive || Aborted)
        return;
    // The body arrived but could not reach the disk (a full disk): no
    // connection was lost.
    if (DownloadingFile() && FailureReason() == frStoreFailed) {
        FileNotStored();
        return;
    }
    if (!Fire(OnConnLost) || !FActive || Aborted)
        return;
    if (Shows(mConnLost))
        ShowErrorMsg(30);
    StopUpgrade();
}

void TauUpgrader::FailureHandler()
{
    // OnFailure alone: the output file could not be created.
    if (OutcomeFollows() || !FActive || Aborted)
        return;
    if (DownloadingFile())
        FileNotStored();
    else
        StopUpgrade();
}

void TauUpgrader::LoginRequestHandler(const std::string& Realm, bool& TryAgain)
{
    if (!FActive || Aborted)
        return;
    if (!Fire(OnPasswordRequest, Realm, TryAgain))
        return;
    if (!FActive || Aborted) {
        TryAgain = false;
        return;
    }
    if (TryAgain || !Shows(mPasswordRequest))
        return;
    const auto window = PasswordWindow;
    TryAgain = window && window(*this);
    if (!TryAgain)
        AbortUpgrade();
}
