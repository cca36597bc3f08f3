#pragma once
// The upgrade component: knows the program's version, fetches the info file
// from InfoFileURL through its HTTP engine, decides whether a newer version
// exists, reports every outcome through its events first and then, as
// ShowMessages allows, through its own boxes and windows, and on the user's
// Yes starts the download of the listed files. Window thread only.
//
// Its only raised error is EOutOfResources ("Not enough timers available")
// when the automatic check's timer cannot be started.

#include "http/auHTTP.h"
#include "platform/ProcessLauncher.h"
#include "upgrade/auHelperLauncher.h"
#include "upgrade/auInfoFile.h"
#include "upgrade/auInfoSignature.h"
#include "upgrade/auUpgraderSettings.h"

#include <QDate>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class TStream;
class TauUpgraderTimerWindow;
class TauUpgrader;

class EOutOfResources : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using TAUNotifyEvent = std::function<void(TauUpgrader& Sender)>;
using TAUBeginUpgradeEvent =
    std::function<void(TauUpgrader& Sender, const std::string& UpgradeMsg, TacUpgradeMethod UpgradeMethod,
                       const std::vector<std::string>& Files, bool& CanUpgrade)>;
using TAUProgressEvent = std::function<void(
    TauUpgrader& Sender, const std::string& FileURL, std::int32_t FileSize, std::int32_t BytesRead,
    std::int32_t ElapsedTime, std::int32_t EstimatedTimeLeft, std::uint8_t PercentsDone,
    std::uint8_t TotalPercentsDone, float TransferRate)>;
using TAUFileStartEvent = std::function<void(TauUpgrader& Sender, const std::string& FileURL, std::int32_t FileSize,
                                             TDateTime FileTime, bool& CanUpgrade)>;
using TAUFileDoneEvent = std::function<void(TauUpgrader& Sender, const std::string& FileName)>;
using TAUHostUnreachableEvent =
    std::function<void(TauUpgrader& Sender, const std::string& URL, const std::string& Hostname)>;
using TAULostFileEvent = std::function<void(TauUpgrader& Sender, const std::string& FileURL,
                                            std::int32_t ErrorCode, bool& ContinueUpgrade)>;
// Writes and starts the upgrade helper for the program at ProgramPath with
// the hand-over parameter (StartUpgradeHelper).
using TauHelperStarter =
    std::function<THelperStart(const std::string& ProgramPath, const std::string& Parameter)>;

class TauUpgrader : public TauCustomHTTP {
public:
    static constexpr char DefaultRestartParams[] = "/afterupgrade";
    static constexpr int AutoCheckIntervalMs = 10000;

    // Deletes the helper program a previous upgrade left behind and chooses
    // the language of the upgrade texts (wlAuto).
    explicit TauUpgrader(TComponent* owner = nullptr);
    // Stops the timer. Open upgrade windows are left to the application.
    ~TauUpgrader() override;

    // After the stored settings: fires OnAfterRestart when the program's
    // first argument is exactly RestartParams.
    void Loaded() override;

    // Starts a check: true when a transfer runs or was started, false when
    // the engine refused to start one. While a check or an upgrade is under
    // way (also inside the component's own events and boxes) it starts
    // nothing, returns true and only makes the running check non-silent.
    bool CheckForUpdate();
    // Abandons the upgrade: StopUpgrade, then OnAborted.
    void AbortUpgrade();
    // Stops the transfer, destroys the newer-version window and the wizard
    // without a question; idle afterwards. A download stopped before its
    // hand-over leaves none of its ".uTMP" files behind, so that no later
    // helper installs them.
    void StopUpgrade();
    // The info file is always fetched past every cache, upgrade files with
    // caching allowed.
    void SetCheckingInfo(bool Checking);
    // Whether Info names a newer version than this program's: by number
    // (CompareVersions of "version" and VersionNumber) or by date ("date"
    // strictly later than VersionDate, an unreadable date counting as today).
    bool IsNewerVersion(const TauInfoFileText& Info) const;
    // A check or an upgrade is under way (from CheckForUpdate until the
    // component is idle again).
    bool InProgress() const { return FActive; }

    // "MM/DD/YYYY" with literal slashes.
    static std::string FormatVersionDate(QDate Date);
    // Month, day and year between the first two slashes, each a decimal
    // integer; today's date for anything that is no valid date.
    static QDate ParseVersionDate(const std::string& Text);

    // Published settings.
    bool AutoCheck() const { return FAutoCheck; }
    // Starts or stops the 10-second timer; throws EOutOfResources when the
    // timer cannot be started.
    void SetAutoCheck(bool value);
    TauUpgraderInfo& InfoFile() { return FInfoFile; }
    const TauUpgraderInfo& InfoFile() const { return FInfoFile; }
    const std::string& InfoFileURL() const { return FInfoFileURL; }
    void SetInfoFileURL(const std::string& value) { FInfoFileURL = value; }
    const std::string& RestartParams() const { return FRestartParams; }
    // An empty value becomes " ", which no command line matches.
    void SetRestartParams(const std::string& value);
    bool RestartParamsStored() const { return FRestartParams != DefaultRestartParams; }
    TacMiscFilesUpgradeBehavior MiscFilesUpgrade() const { return FMiscFilesUpgrade; }
    void SetMiscFilesUpgrade(TacMiscFilesUpgradeBehavior value) { FMiscFilesUpgrade = value; }
    TauUpgraderVersionControl VersionControl() const { return FVersionControl; }
    void SetVersionControl(TauUpgraderVersionControl value) { FVersionControl = value; }
    const std::string& VersionDate() const { return FVersionDate; }
    void SetVersionDate(const std::string& value) { FVersionDate = value; }
    bool VersionDateAutoSet() const { return FVersionDateAutoSet; }
    // In a form designer it would also set VersionDate to today; the program
    // never runs in one, so it only stores the value.
    void SetVersionDateAutoSet(bool value) { FVersionDateAutoSet = value; }
    const std::string& VersionNumber() const { return FVersionNumber; }
    void SetVersionNumber(const std::string& value) { FVersionNumber = value; }
    TauUpgraderShowMessages ShowMessages() const { return FShowMessages; }
    void SetShowMessages(TauUpgraderShowMessages value) { FShowMessages = value; }
    TauUpgraderWizard& Wizard() { return FWizard; }
    const TauUpgraderWizard& Wizard() const { return FWizard; }

    // Events: each optional, fired before any box or window of the
    // component; "var" parameters by reference.
    TAUBeginUpgradeEvent OnBeginUpgrade;
    TAUNotifyEvent OnEndUpgrade;
    TAUNotifyEvent OnLaterUpgrade;
    TAUProgressEvent OnProgress;
    TAUFileStartEvent OnFileStart;
    TAUFileDoneEvent OnFileDone;
    TAUNotifyEvent OnDoOwnCloseAppMethod;
    TAUNotifyEvent OnAfterRestart;
    TAUNotifyEvent OnAborted;
    TAUNotifyEvent OnConnLost;
    TAUHostUnreachableEvent OnHostUnreachable;
    TAUNotifyEvent OnNoUpdateAvailable;
    TAUNotifyEvent OnNoInfoFile;
    TAULostFileEvent OnLostFile;
    TauHTTPPasswordRequestEvent OnPasswordRequest;

    // Shows the password window for Engine's current file; true when the
    // user confirmed it, HTTPUsername and HTTPPassword then holding what was
    // typed (default: ShowPasswordWindow). Unset counts as cancelled.
    std::function<bool(TauCustomHTTP& Engine)> PasswordWindow;

    // What the component takes from its surroundings, replaceable for tests.
    // The program's arguments, its own path excluded (default: the running
    // application's).
    void SetCommandLine(std::vector<std::string> Arguments) { FCommandLine = std::move(Arguments); }
    // Whether the machine is online (default: IsOnline).
    void SetOnlineTest(std::function<bool()> Online) { FOnline = std::move(Online); }
    // The automatic check's period; applies from the next start of the timer.
    void SetAutoCheckInterval(int Ms) { FAutoCheckInterval = Ms; }
    // The program's executable file, handed to the helper, and its folder,
    // where the upgrade files are stored (default: the running program's).
    void SetProgramPath(const std::string& Path);
    const std::string& ProgramPath() const { return FProgramPath; }
    // The folder alone, ending in "/"; the program keeps its file name.
    void SetProgramFolder(const std::string& Folder);
    const std::string& ProgramFolder() const { return FProgramFolder; }
    // Starts the web browser of the redirect method.
    void SetProcessLauncher(TProcessLauncher& Launcher) { FLauncher = &Launcher; }
    // Writes and starts the helper at the hand-over.
    void SetHelperStarter(TauHelperStarter Starter) { FHelperStarter = std::move(Starter); }

protected:
    // Reads the received info file and decides: no update, later, the web
    // page of the redirect method, or the download.
    void ParseInfoFile(TStream* Data);
    // Starts the first listed file (First) or the next one; finishes when
    // none is left: the wizard's finished page and its OK, OnEndUpgrade, the
    // helper, the close.
    virtual void DownloadNextFile(bool First);
    // The automatic-check timer's tick.
    virtual void TimerWndProc();
    // Stops the timer, then starts it again when AutoCheck is on and the
    // timer has not yet started its check; EOutOfResources when refused.
    void UpdateTimer();

    // The state of a check, read together:
    //   !FActive                  idle (CheckingInfo keeps its last value)
    //   FActive, CheckingInfo     fetching the info file, then deciding
    //                             inside its OnDone (the offer, the redirect)
    //   FActive, !CheckingInfo    downloading FileList[FileIndex] into
    //                             CurrentFile; finishing once FileIndex
    //                             reaches FileList's size (the wizard's
    //                             finished page waits for OK), then handing
    //                             over (OnEndUpgrade, helper, close) until
    //                             idle
    //   SilentCheck               the running check was started by the timer:
    //                             no "no update" or "unreachable" box
    //   Aborted                   the user abandoned the upgrade
    //   TimerFired                the timer started its check and stays off
    //                             until a silent check finds no host
    // Every engine event handler reads them first: an event that does not
    // belong to the current phase is ignored.
    bool FActive = false;
    bool CheckingInfo = false;
    bool SilentCheck = false;
    bool Aborted = false;
    bool TimerFired = false;
    std::int32_t FileIndex = 0;
    std::vector<std::string> FileList;
    // What the maker's key says of the info file FileList came from: with a
    // key in force, the hash each stored file must have before it is kept.
    TInfoFileCheck FileChecks;
    std::uint8_t InfoMethod = umSelfUpgrade;
    std::string CurrentFile;
    TDateTime CurrentFileTime = 0;

private:
    // Handlers of the engine's events.
    void HeaderInfoHandler(std::int32_t ContentLength, TDateTime LastModified, bool& CanContinue);
    void DoneHandler(TStream* Data);
    void DeclinedHandler();
    void ProgressHandler(std::int32_t ContentLength, std::int32_t BytesRead, std::int32_t ElapsedTime,
                         std::int32_t EstimatedTimeLeft, std::uint8_t PercentsDone, float TransferRate);
    void NoResponseHandler();
    void HTTPErrorHandler(std::int32_t StatusCode);
    void ConnectionLostHandler();
    void LoginRequestHandler(const std::string& Realm, bool& TryAgain);
    void FailureHandler();

    // The download's steps.
    void FileDone();
    // The finishing step: the wizard's OK, then the hand-over.
    void FinishUpgrade();
    void HandOver();
    // Tells the user that CurrentFile could not be stored, then stops.
    void FileNotStored();
    // CurrentFile is not what the signed info file published: nothing of
    // this download may be installed.
    void FileTampered();
    // Downloading: any file of FileList, finishing included.
    bool Downloading() const { return FActive && !CheckingInfo && !Aborted; }
    // A transfer of FileList[FileIndex] is what the engine runs.
    bool DownloadingFile() const
    {
        return Downloading() && FileIndex >= 0 && FileIndex < static_cast<std::int32_t>(FileList.size());
    }
    bool Shows(TauUpgraderShowMessage m) const { return FShowMessages.Contains(m); }
    bool ProgramFolderWritable() const;
    // Fires Event when it is set; false when the component is being or was
    // destroyed (by the handler itself, too): nothing of it may be touched.
    template <typename Event, typename... Args>
    bool Fire(const Event& Handler, Args&&... Arguments);

    bool FAutoCheck = false;
    TauUpgraderInfo FInfoFile;
    std::string FInfoFileURL = "http://";
    std::string FRestartParams = DefaultRestartParams;
    TacMiscFilesUpgradeBehavior FMiscFilesUpgrade = mfuAlwaysDownload;
    TauUpgraderVersionControl FVersionControl = byDate;
    std::string FVersionDate;
    bool FVersionDateAutoSet = true;
    std::string FVersionNumber;
    TauUpgraderShowMessages FShowMessages{mAskUpgrade, mConnLost, mLostFile, mPasswordRequest};
    TauUpgraderWizard FWizard;

    std::optional<std::vector<std::string>> FCommandLine;
    std::function<bool()> FOnline;
    int FAutoCheckInterval = AutoCheckIntervalMs;
    std::string FProgramPath;
    std::string FProgramFolder;
    TProcessLauncher FDefaultLauncher;
    TProcessLauncher* FLauncher = &FDefaultLauncher;
    TauHelperStarter FHelperStarter;

    std::unique_ptr<TauUpgraderTimerWindow> FTimerWindow;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

template <typename Event, typename... Args>
bool TauUpgrader::Fire(const Event& Handler, Args&&... Arguments)
{
    if (Destroying())
        return false;
    if (!Handler)
        return true;
    const std::weak_ptr<bool> alive = FAlive;
    const Event handler = Handler;  // the handler may replace itself or destroy us
    handler(*this, std::forward<Args>(Arguments)...);
    return !alive.expired() && !Destroying();
}
