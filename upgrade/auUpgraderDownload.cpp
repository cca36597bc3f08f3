// The download half of the upgrade component: each listed file in turn into
// its temporary file beside the program, the wizard kept up to date, then
// the finishing step and the hand-over to the helper.

#include "upgrade/auUpgraderDownload.h"

#include "http/auText.h"
#include "platform/FileReplace.h"
#include "upgrade/auUpgrader.h"
#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderLang.h"
#include "upgrade/auUpgraderWizard.h"
#include "upgrade/helper/HandOver.h"

#include <exception>

namespace {

// The file name part of Path, its letters A to Z upper-cased.
std::string UpperFileName(const std::string& Path)
{
    return UpperCase(std::string_view(Path).substr(Path.rfind('/') + 1));
}

} // namespace

std::string DownloadFileOf(const std::string& Folder, const std::string& Address)
{
    return Folder + URLFileName(Address) + handover::DownloadSuffix;
}

void RemoveDownloadFiles(const std::string& Folder, const std::vector<std::string>& Addresses)
{
    for (const std::string& address : Addresses)
        platform::RemoveFile(DownloadFileOf(Folder, address));
}

QString FileNotStoredText(const QString& FileName)
{
    return ShownLines(LangFmt(28, FileName)).section(QStringLiteral("\n\n"), 0, 0);
}

void TauUpgrader::DownloadNextFile(bool First)
{
    if (First) {
        // A program installed by another user could be fetched but never put
        // in place: say so before anything is downloaded.
        if (!ProgramFolderWritable()) {
            ShowErrorMsg(31);
            StopUpgrade();
            return;
        }
        SetCheckingInfo(false);
        FileIndex = 0;
        // Left by an earlier download that ended before its hand-over: the
        // helper would install them with this upgrade's files.
        RemoveDownloadFiles(FProgramFolder, FileList);
        if (FWizard.Enabled()) {
            ShowWizard({FWizard.StayOnTop(), FWizard.Pic118x218()}, [this, alive = std::weak_ptr<bool>(FAlive)] {
                if (!alive.expired() && Downloading())
                    AbortUpgrade();
            });
        }
    } else {
        ++FileIndex;
    }
    const auto count = static_cast<std::int32_t>(FileList.size());
    if (FileIndex >= count) {
        FinishUpgrade();
        return;
    }
    const std::string& address = FileList[FileIndex];
    if (TauUpgraderWizardForm* wizard = WizardForm())
        wizard->ShowCurrentFile(QString::fromStdString(address), FileIndex + 1, count);
    SetURL(address);
    CurrentFile = DownloadFileOf(FProgramFolder, address);
    CurrentFileTime = 0;
    SetOutputFileName(CurrentFile);
    // Refused only when no worker thread can be had: nothing was stored.
    if (!Read())
        StopUpgrade();
}

void TauUpgrader::HeaderInfoHandler(std::int32_t ContentLength, TDateTime LastModified, bool& CanContinue)
{
    if (!DownloadingFile())
        return;
    CurrentFileTime = LastModified;
    if (TauUpgraderWizardForm* wizard = WizardForm())
        wizard->ShowFileSize(ContentLength);
    if (FMiscFilesUpgrade == mfuOnlyIfSizeDifferent && ContentLength != 0 && FileList.size() > 1) {
        // The path the file will have once the helper has put it in place.
        const std::string target =
            CurrentFile.substr(0, CurrentFile.size() - std::string_view(handover::DownloadSuffix).size());
        const std::int64_t size = GetFileSize64(target);
        if (UpperFileName(target) != UpperFileName(FProgramPath) && size >= 0)
            CanContinue = size != ContentLength;
    }
    Fire(OnFileStart, URL(), ContentLength, CurrentFileTime, CanContinue);
}

void TauUpgrader::FileDone()
{
    if (!DownloadedFileMatches(FileChecks, static_cast<std::size_t>(FileIndex), CurrentFile)) {
        FileTampered();
        return;
    }
    if (CurrentFileTime != 0)
        SetFileTimes(CurrentFile, CurrentFileTime, CurrentFileTime, -1);
    if (Fire(OnFileDone, CurrentFile) && DownloadingFile())
        DownloadNextFile(false);
}

void TauUpgrader::DeclinedHandler()
{
    if (DownloadingFile())
        DownloadNextFile(false);
}

void TauUpgrader::ProgressHandler(std::int32_t ContentLength, std::int32_t BytesRead, std::int32_t ElapsedTime,
                                  std::int32_t EstimatedTimeLeft, std::uint8_t PercentsDone, float TransferRate)
{
    if (!DownloadingFile())
        return;
    const auto count = static_cast<std::int32_t>(FileList.size());
    const auto total = static_cast<std::uint8_t>(PercentsDone / count + PercentOf(count, FileIndex));
    if (!Fire(OnProgress, URL(), ContentLength, BytesRead, ElapsedTime, EstimatedTimeLeft, PercentsDone, total,
              TransferRate) ||
        !DownloadingFile())
        return;
    if (TauUpgraderWizardForm* wizard = WizardForm())
        wizard->ShowProgress(PercentsDone, total, TransferRate, EstimatedTimeLeft);
}

void TauUpgrader::FinishUpgrade()
{
    if (TauUpgraderWizardForm* wizard = WizardForm()) {
        wizard->ShowFinished();
        const std::weak_ptr<bool> alive = FAlive;
        // Inside the last transfer's completion event: the engine has
        // cleaned that transfer up and starts nothing meanwhile.
        WaitForWizardForm();
        if (alive.expired() || Destroying() || !Downloading())
            return;  // abandoned from the wizard, or stopped
        if (WizardForm()) {
            // The wait ended without the window closing: the application
            // is quitting. No OK, no hand-over.
            StopUpgrade();
            return;
        }
    }
    HandOver();
}

void TauUpgrader::HandOver()
{
    if (!Fire(OnEndUpgrade) || !Downloading())
        return;
    THelperStart started;
    try {
        started = FHelperStarter(FProgramPath, handover::HandOverParameter(FRestartParams, InfoMethod));
    } catch (const std::exception&) {
        started.Error = -1;
    }
    if (!started.Started()) {
        // Closing now would leave the program closed and nothing to install
        // its files, which a later helper must not find either.
        StopUpgrade();
        ShowErrorText(FileNotStoredText(QString::fromUtf8(handover::HelperFileName)));
        return;
    }
    FActive = false;  // the helper has it from here
    CloseAfterHandOver(OnDoOwnCloseAppMethod ? std::function<void()>([this] { Fire(OnDoOwnCloseAppMethod); })
                                             : std::function<void()>());
}

void TauUpgrader::FileNotStored()
{
    const bool writable = ProgramFolderWritable();
    const QString name = DecodeInfoText(FileName());
    // Stopped first: the wizard goes, and no late event can act while the
    // box is up.
    StopUpgrade();
    if (writable)
        ShowErrorText(FileNotStoredText(name));
    else
        ShowErrorMsg(31);
}

void TauUpgrader::FileTampered()
{
    platform::RemoveFile(CurrentFile);
    // No question: skipping the file would install the rest of the upgrade
    // without it. The event's answer is not asked for.
    bool continueUpgrade = false;
    if (!Fire(OnLostFile, URL(), 200, continueUpgrade) || !DownloadingFile())
        return;
    if (Shows(mLostFile)) {
        ShowErrorText(LangFmt(33, DecodeInfoText(FileName())));
        if (!DownloadingFile())
            return;
    }
    // Removes the files of this download stored before this one.
    AbortUpgrade();
}
