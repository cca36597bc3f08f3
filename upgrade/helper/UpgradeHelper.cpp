#include "upgrade/helper/UpgradeHelper.h"

#include "platform/DetachedProcess.h"
#include "platform/ExecutableWait.h"
#include "platform/FolderListing.h"
#include "platform/LogFile.h"

#include <cerrno>

namespace {

// Short enough that the restart follows the program's exit at once, long
// enough that the wait costs next to no processor time.
constexpr std::chrono::milliseconds WaitPause {20};

const std::string Suffix = handover::DownloadSuffix;

bool EndsInExe(const std::string& Name)
{
    // Exactly "exe" in lower case: "SETUP.EXE" never takes a role.
    return Name.size() >= 3 && Name.compare(Name.size() - 3, 3, "exe") == 0;
}

std::string Quoted(const std::string& Path)
{
    return "\"" + Path + "\"";
}

} // namespace

TUpgradeHelper::TUpgradeHelper(const handover::THandOver& HandOver, std::chrono::milliseconds WaitLimit,
                               const THelperLog& Log)
    : FWaitLimit(WaitLimit)
    , FLog(Log)
    , FProgramPath(HandOver.ProgramPath)
    , FRestartText(HandOver.RestartText)
    , FSetupMode(HandOver.SetupMode)
{
}

int TUpgradeHelper::Run()
{
    if (!ReadProgramPath())
        return handover::ExitStepFailed;
    if (!WaitForProgram())
        return handover::ExitProgramRunning;
    NoteOwnReplacement();
    for (const TReplacement& replacement : PlanReplacements())
        PutInPlace(replacement);
    const int started = StartProgram();
    if (!FSavedProgramPath.empty())
        FinishSetup(started);
    return FAnyStepFailed ? handover::ExitStepFailed : handover::ExitDone;
}

bool TUpgradeHelper::ReadProgramPath()
{
    const std::size_t slash = FProgramPath.rfind('/');
    if (FProgramPath.empty() || FProgramPath.front() != '/' || slash + 1 == FProgramPath.size()) {
        StepFailed("no program to upgrade: " + Quoted(FProgramPath) + " is not the absolute path of a file");
        return false;
    }
    FFolder = FProgramPath.substr(0, slash + 1);
    FProgramFileName = FProgramPath.substr(slash + 1);
    return true;
}

bool TUpgradeHelper::WaitForProgram()
{
    const platform::TExecutableWaitResult wait = platform::WaitUntilNotRunning(FProgramPath, FWaitLimit, WaitPause);
    switch (wait.Outcome) {
    case platform::TExecutableWait::ewReleased:
        return true;
    case platform::TExecutableWait::ewOpenFailed:
        // No file there (the upgrade brings it) is no failure; any other
        // answer cannot tell whether the program still runs, so say so.
        if (wait.Error != ENOENT)
            StepFailed("could not tell whether " + Quoted(FProgramPath) + " has closed (" +
                       platform::ErrorText(wait.Error) + "); upgrading without waiting");
        return true;
    case platform::TExecutableWait::ewTimedOut:
        break;
    }
    StepFailed("gave up: " + Quoted(FProgramPath) + " was still running after " +
               std::to_string(FWaitLimit.count()) + " ms, so nothing was replaced");
    return false;
}

void TUpgradeHelper::NoteOwnReplacement()
{
    FOwnReplacement = platform::PathExists(FProgramPath + Suffix);
}

std::vector<TReplacement> TUpgradeHelper::PlanReplacements()
{
    std::vector<std::string> names;
    if (const int error = platform::FilesEndingIn(FFolder, Suffix, names)) {
        StepFailed("could not list " + Quoted(FFolder) + ": " + platform::ErrorText(error));
        return {};
    }
    std::vector<TReplacement> plan;
    for (const std::string& name : names)
        plan.push_back(Plan(name));
    return plan;
}

TReplacement TUpgradeHelper::Plan(const std::string& DownloadName)
{
    std::string target = DownloadName.substr(0, DownloadName.size() - Suffix.size());
    platform::TReplaceRole role =
        target == FProgramFileName ? platform::TReplaceRole::rrProgram : platform::TReplaceRole::rrData;
    if (!FOwnReplacement && EndsInExe(target)) {
        if (FSetupMode) {
            FSavedProgramPath = FProgramPath;
            FProgramPath = FFolder + target;
        } else {
            target = FProgramFileName;
        }
        role = platform::TReplaceRole::rrProgram;
        FOwnReplacement = true;
    }
    return {FFolder + DownloadName, FFolder + target, role};
}

// The hidden and archive attributes of other systems have no meaning here;
// what matters is the permission bits, which ReplaceFile sets.
void TUpgradeHelper::PutInPlace(const TReplacement& Replacement)
{
    if (const int error = platform::ReplaceFile(Replacement.Source, Replacement.Target, Replacement.Role))
        StepFailed("could not put " + Quoted(Replacement.Source) + " in place of " + Quoted(Replacement.Target) +
                   ": " + platform::ErrorText(error));
}

int TUpgradeHelper::StartProgram()
{
    std::vector<std::string> arguments {FProgramPath};
    if (!FRestartText.empty())
        arguments.push_back(FRestartText);
    int process = -1;
    if (const int error = platform::StartInOwnSession(arguments, process)) {
        StepFailed("could not start " + Quoted(FProgramPath) + ": " + platform::ErrorText(error));
        return -1;
    }
    return process;
}

void TUpgradeHelper::FinishSetup(int SetupProcess)
{
    // The set-up program is our own child, so its end is known exactly; it
    // need not be a binary whose file stays busy while it runs.
    if (SetupProcess > 0) {
        if (const int error = platform::WaitForChild(SetupProcess))
            StepFailed("could not wait for " + Quoted(FProgramPath) + ": " + platform::ErrorText(error));
    }
    // A set-up program that removed itself has done this step for us.
    if (const int error = platform::RemoveFile(FProgramPath); error && error != ENOENT)
        StepFailed("could not delete " + Quoted(FProgramPath) + ": " + platform::ErrorText(error));
    FProgramPath = FSavedProgramPath;
    StartProgram();
}

void TUpgradeHelper::StepFailed(const std::string& What)
{
    FAnyStepFailed = true;
    FLog.Line(What);
}
