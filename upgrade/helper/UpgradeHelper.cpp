#include "upgrade/helper/UpgradeHelper.h"

#include "platform/DetachedProcess.h"
#include "platform/ExecutableWait.h"
#include "platform/FolderListing.h"
#include "platform/LogFile.h"

#include <cerrno>
#include <csignal>
#include <thread>

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
                               std::chrono::milliseconds ConfirmLimit, std::string KillAt, const THelperLog& Log)
    : FWaitLimit(WaitLimit)
    , FConfirmLimit(ConfirmLimit)
    , FKillAt(std::move(KillAt))
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
    LockFolder();
    FinishEarlierJournal();
    NoteOwnReplacement();
    const std::vector<TReplacement> plan = PlanReplacements();
    if (!plan.empty()) {
        if (!WriteJournal(plan)) {
            // Nothing moved: the program is the old one, so no restart text.
            FLock.Unlock();
            StartProgram(false);
            return handover::ExitStepFailed;
        }
        for (std::size_t i = 0; i < plan.size(); ++i) {
            // A half-replaced set of files may not run together: all or none.
            if (!PutInPlace(i))
                return RollBack();
        }
        SaveJournal(journal::TPhase::jpMoved);
        Step("moved");
        if (!FSetupMode)
            return RestartAndConfirm();
        FinishJournal();
    }
    FLock.Unlock();
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

void TUpgradeHelper::LockFolder()
{
    // Without locks (some network file systems) the journal's process id
    // tells the program that this helper is alive.
    if (const int error = FLock.Lock(FFolder, true))
        FLog.Line("could not lock " + Quoted(FFolder) + " (" + platform::ErrorText(error) +
                  "); going on without the lock");
}

void TUpgradeHelper::FinishEarlierJournal()
{
    const journal::TRecoveryResult earlier = journal::Recover(JournalProgramPath());
    if (earlier.Outcome == journal::TRecovery::rcUnreadable)
        StepFailed("could not read the earlier upgrade journal " + Quoted(journal::JournalPath(JournalProgramPath())) +
                   "; it is replaced");
    else if (earlier.Error)
        StepFailed("could not finish the earlier upgrade journal " + Quoted(journal::JournalPath(JournalProgramPath())) +
                   ": " + platform::ErrorText(earlier.Error));
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

bool TUpgradeHelper::WriteJournal(const std::vector<TReplacement>& Plan)
{
    FJournal = {};
    FJournal.Helper = platform::OwnProcessId();
    FJournal.Program = FProgramFileName;
    FJournal.RestartText = FRestartText;
    for (const TReplacement& replacement : Plan) {
        journal::TMove move;
        move.Source = replacement.Source.substr(FFolder.size());
        move.Target = replacement.Target.substr(FFolder.size());
        if (platform::PathExists(replacement.Target))
            move.Backup = move.Target + journal::BackupSuffix;
        FJournal.Moves.push_back(move);
        FRoles.push_back(replacement.Role);
    }
    if (const int error = journal::SaveJournal(JournalProgramPath(), FJournal)) {
        StepFailed("could not write the upgrade journal " + Quoted(journal::JournalPath(JournalProgramPath())) + ": " +
                   platform::ErrorText(error) + "; nothing was replaced");
        return false;
    }
    Step("planned");
    return true;
}

// The hidden and archive attributes of other systems have no meaning here;
// what matters is the permission bits, which ReplaceFile sets.
bool TUpgradeHelper::PutInPlace(std::size_t Index)
{
    journal::TMove& move = FJournal.Moves[Index];
    const std::string target = FFolder + move.Target;
    if (!move.Backup.empty()) {
        if (const int error = platform::KeepBeside(target, FFolder + move.Backup)) {
            StepFailed("could not keep " + Quoted(target) + " as " + Quoted(FFolder + move.Backup) + ": " +
                       platform::ErrorText(error));
            return false;
        }
        Step("backup " + move.Target);
        move.State = journal::TMoveState::msKept;
        SaveJournal(journal::TPhase::jpPlanned);
        Step("kept " + move.Target);
    }
    if (const int error = platform::ReplaceFile(FFolder + move.Source, target, FRoles[Index])) {
        StepFailed("could not put " + Quoted(FFolder + move.Source) + " in place of " + Quoted(target) + ": " +
                   platform::ErrorText(error));
        return false;
    }
    Step("renamed " + move.Target);
    move.State = journal::TMoveState::msPlaced;
    SaveJournal(journal::TPhase::jpPlanned);
    Step("placed " + move.Target);
    return true;
}

void TUpgradeHelper::FinishJournal()
{
    if (const int error = journal::Complete(JournalProgramPath(), FJournal, [this](const std::string& name) { Step(name); }))
        StepFailed("could not remove the old files kept during the upgrade: " + platform::ErrorText(error));
}

int TUpgradeHelper::RestartAndConfirm()
{
    // Noted before the start, so a confirmation can never come first.
    SaveJournal(journal::TPhase::jpRestarted);
    Step("restarted");
    const int process = StartProgram();
    if (process < 0)
        return RollBack();
    switch (AwaitConfirmation(process)) {
    case TOutcome::ocConfirmed:
        FinishJournal();
        return FAnyStepFailed ? handover::ExitStepFailed : handover::ExitDone;
    case TOutcome::ocFailed:
        return RollBack();
    case TOutcome::ocTimedOut:
        break;
    }
    // It runs, so it stays: stopping it or changing its files under it would
    // be worse. It removes the backups itself when it confirms, or its next
    // start does (journal::Recover).
    FLog.Line(Quoted(FProgramPath) + " runs but had not confirmed its start after " +
              std::to_string(FConfirmLimit.count()) + " ms; the new version is kept");
    return handover::ExitNotConfirmed;
}

TUpgradeHelper::TOutcome TUpgradeHelper::AwaitConfirmation(int Process)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + FConfirmLimit;
    for (;;) {
        // The child's end first, the journal after: a confirmation written
        // before the program ended is then always seen.
        platform::TChildEnd end;
        const int error = platform::PollChild(Process, end);
        journal::TJournal now;
        if (journal::LoadJournal(JournalProgramPath(), now) == 0 && now.Phase == journal::TPhase::jpConfirmed)
            return TOutcome::ocConfirmed;
        if (error) {
            StepFailed("could not watch " + Quoted(FProgramPath) + ": " + platform::ErrorText(error));
            return TOutcome::ocTimedOut;
        }
        if (end.Ended) {
            // An exit status of 0 without a confirmation is no start either:
            // the program ends so only when its window never came up.
            StepFailed("the new version " + Quoted(FProgramPath) + " ended before it confirmed its start (" +
                       (end.Signalled ? "signal " : "exit status ") + std::to_string(end.Code) +
                       "); putting the old version back");
            return TOutcome::ocFailed;
        }
        if (Clock::now() >= deadline)
            return TOutcome::ocTimedOut;
        std::this_thread::sleep_for(WaitPause);
    }
}

int TUpgradeHelper::RollBack()
{
    SaveJournal(journal::TPhase::jpRollingBack);
    Step("rolling back");
    bool programChanged = false;
    if (const int error =
            journal::Undo(JournalProgramPath(), FJournal, programChanged, [this](const std::string& name) { Step(name); }))
        StepFailed("could not put every old file back: " + platform::ErrorText(error));
    SaveJournal(journal::TPhase::jpRolledBack);
    Step("rolled back");
    // Set-up mode: the set-up program was never run; the program itself is
    // what starts again.
    if (!FSavedProgramPath.empty()) {
        FProgramPath = FSavedProgramPath;
        FSavedProgramPath.clear();
    }
    // Unlocked first: the old program finds the journal finished and tells
    // the user.
    FLock.Unlock();
    StartProgram(false);
    return handover::ExitRolledBack;
}

void TUpgradeHelper::SaveJournal(journal::TPhase Phase)
{
    FJournal.Phase = Phase;
    if (const int error = journal::SaveJournal(JournalProgramPath(), FJournal))
        StepFailed("could not update the upgrade journal " + Quoted(journal::JournalPath(JournalProgramPath())) + ": " +
                   platform::ErrorText(error));
}

std::string TUpgradeHelper::JournalProgramPath() const
{
    return FFolder + FProgramFileName;
}

void TUpgradeHelper::Step(const std::string& Name) const
{
    if (!FKillAt.empty() && Name == FKillAt)
        std::raise(SIGKILL);
}

int TUpgradeHelper::StartProgram(bool Restarted)
{
    std::vector<std::string> arguments {FProgramPath};
    if (Restarted && !FRestartText.empty())
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
