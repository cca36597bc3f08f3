#include "upgrade/auUpgradeJournal.h"

#include "platform/ExecutableFile.h"
#include "platform/FileReplace.h"
#include "platform/FolderLock.h"

#include <new>

using journal::TPhase;
using journal::TRecovery;

namespace {

bool AllInPlace(TPhase Phase)
{
    return Phase == TPhase::jpMoved || Phase == TPhase::jpRestarted || Phase == TPhase::jpConfirmed;
}

bool Confirm(const std::string& ProgramPath)
{
    if (!platform::PathExists(journal::JournalPath(ProgramPath)))
        return false;
    platform::TFolderLock lock;
    journal::TJournal journal;
    const bool helperWaits = journal::HelperAtWork(ProgramPath, lock);
    if (journal::LoadJournal(ProgramPath, journal) != 0)
        return false;
    if (helperWaits) {
        if (journal.Phase != TPhase::jpRestarted)
            return false;
        journal.Phase = TPhase::jpConfirmed;
        return journal::SaveJournal(ProgramPath, journal) == 0;
    }
    // A rollback or an unfinished replacement is the next start's to handle.
    return AllInPlace(journal.Phase) && journal::Complete(ProgramPath, journal) == 0;
}

} // namespace

TUpgradeRecovery RecoverAtStart(const std::string& ProgramPath)
{
    TUpgradeRecovery result;
    try {
        if (ProgramPath.empty() || !platform::PathExists(journal::JournalPath(ProgramPath)))
            return result;
        platform::TFolderLock lock;
        if (journal::HelperAtWork(ProgramPath, lock)) {
            result.Outcome = TRecovery::rcHelperAtWork;
            return result;
        }
        const journal::TRecoveryResult recovered = journal::Recover(ProgramPath);
        result.Outcome = recovered.Outcome;
        result.ProgramChanged = recovered.ProgramChanged;
        if (recovered.Outcome == TRecovery::rcUndone || recovered.Outcome == TRecovery::rcRolledBack) {
            // Told once: forgotten before the box, so a crash cannot repeat it.
            result.TellRolledBack = true;
            journal::RemoveJournal(ProgramPath);
        }
    } catch (const std::bad_alloc&) {
        // Left for the next start.
    }
    return result;
}

TUpgradeRecovery RecoverAtStart()
{
    return RecoverAtStart(platform::RunningExecutablePath());
}

bool ConfirmStarted(const std::string& ProgramPath)
{
    try {
        return !ProgramPath.empty() && Confirm(ProgramPath);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ConfirmStarted()
{
    try {
        return ConfirmStarted(platform::RunningExecutablePath());
    } catch (const std::bad_alloc&) {
        return false;
    }
}
