#pragma once
// The upgrade helper's run: once the program has closed, put each downloaded
// file of its folder in place and start the program again (in set-up mode,
// run the downloaded set-up program first), then wait for the new version to
// confirm that it started and put the old files back if it does not. One
// function per step; a step that fails is logged and skipped, and the steps
// after it run all the same. Every file is put in place with one rename and
// every step is noted in the upgrade journal (UpgradeJournal.h), so killing
// the helper at any point leaves a program that starts and a journal that
// says how to finish or undo the replacement.

#include "platform/FileReplace.h"
#include "platform/FolderLock.h"
#include "upgrade/helper/HandOver.h"
#include "upgrade/helper/HelperLog.h"
#include "upgrade/helper/UpgradeJournal.h"

#include <chrono>
#include <string>
#include <vector>

// One downloaded file and the file it replaces.
struct TReplacement {
    std::string Source; // <folder><name>.uTMP
    std::string Target; // <folder><name>, or the program's file by the "exe" rule
    platform::TReplaceRole Role = platform::TReplaceRole::rrData;
};

class TUpgradeHelper {
public:
    // ConfirmLimit: how long the restarted program has to confirm. KillAt:
    // the test hook's step name (journal::KillAtVariable), empty for none.
    TUpgradeHelper(const handover::THandOver& HandOver, std::chrono::milliseconds WaitLimit,
                   std::chrono::milliseconds ConfirmLimit, std::string KillAt, const THelperLog& Log);

    // Runs the steps in order; returns one of handover's Exit... codes.
    int Run();

private:
    // Refuses a path that does not name a file by an absolute path: the
    // helper then touches nothing.
    bool ReadProgramPath();
    // False when the program still runs after the wait limit.
    bool WaitForProgram();
    // Holds the folder's lock from here to the end, so the program can tell
    // a working helper's journal from a killed one's.
    void LockFolder();
    // Finishes the journal of an earlier helper that was killed.
    void FinishEarlierJournal();
    void NoteOwnReplacement();
    // The downloaded files in listing order, each with its target. In
    // set-up mode this also picks the set-up program.
    std::vector<TReplacement> PlanReplacements();
    TReplacement Plan(const std::string& DownloadName);
    // Notes the plan in the journal before anything moves. False when the
    // journal cannot be written: then nothing may move.
    bool WriteJournal(const std::vector<TReplacement>& Plan);
    // Keeps the old target under its backup name, then renames the download
    // over it; each step noted. False when a file could not be put in place.
    bool PutInPlace(std::size_t Index);
    // No rollback once the set-up program runs, which changes files on its
    // own: the journal's work ends with the moves.
    void FinishJournal();
    // Normal mode: starts the new version and waits for its confirmation.
    int RestartAndConfirm();
    enum class TOutcome { ocConfirmed, ocFailed, ocTimedOut };
    TOutcome AwaitConfirmation(int Process);
    // Puts the old files back and starts the old program without the
    // restart text; the journal is left as rolled back for it to tell.
    int RollBack();
    void SaveJournal(journal::TPhase Phase);
    // The program's own path, which names the journal also while
    // FProgramPath names the set-up program.
    std::string JournalProgramPath() const;
    // Names a step for the test hook, which kills the helper there. The
    // steps, in order: "planned"; per file "backup <target>" (the old file
    // has its backup name, not yet noted), "kept <target>" (noted),
    // "renamed <target>" (the download is the target, not yet noted),
    // "placed <target>" (noted); "moved"; "restarted" (noted, the program
    // not yet started); after a confirmation "removed <backup>" per backup;
    // on a rollback "rolling back", "restored <target>" per file, last file
    // first, and "rolled back" (noted, the old program not yet started).
    void Step(const std::string& Name) const;
    // Starts the program path, with the restart text when Restarted; returns
    // the process id, or -1 when the start failed.
    int StartProgram(bool Restarted = true);
    // Set-up mode, after the set-up program was started as SetupProcess: wait
    // for it, delete it, and start the program itself.
    void FinishSetup(int SetupProcess);
    void StepFailed(const std::string& What);

    std::chrono::milliseconds FWaitLimit;
    std::chrono::milliseconds FConfirmLimit;
    std::string FKillAt;
    platform::TFolderLock FLock;
    journal::TJournal FJournal;
    std::vector<platform::TReplaceRole> FRoles; // of FJournal's moves
    const THelperLog& FLog;
    std::string FProgramPath;
    std::string FRestartText;
    bool FSetupMode = false;
    std::string FFolder;          // the program's folder, ending in "/"
    std::string FProgramFileName; // the program's file name within FFolder
    // A downloaded file already has the program's role (or the set-up
    // program's), so no further "exe" file takes it.
    bool FOwnReplacement = false;
    // Set-up mode: the program's path while FProgramPath names the set-up
    // program; empty when no set-up program was picked.
    std::string FSavedProgramPath;
    bool FAnyStepFailed = false;
};
