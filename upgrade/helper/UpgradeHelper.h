#pragma once
// The upgrade helper's run: once the program has closed, put each downloaded
// file of its folder in place and start the program again (in set-up mode,
// run the downloaded set-up program first). One function per step; a step
// that fails is logged and skipped, and the steps after it run all the same.
// Every file is put in place with one rename, so killing the helper at any
// point leaves each file either old or new, never missing.

#include "platform/FileReplace.h"
#include "upgrade/helper/HandOver.h"
#include "upgrade/helper/HelperLog.h"

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
    TUpgradeHelper(const handover::THandOver& HandOver, std::chrono::milliseconds WaitLimit, const THelperLog& Log);

    // Runs the steps in order; returns one of handover's Exit... codes.
    int Run();

private:
    // Refuses a path that does not name a file by an absolute path: the
    // helper then touches nothing.
    bool ReadProgramPath();
    // False when the program still runs after the wait limit.
    bool WaitForProgram();
    void NoteOwnReplacement();
    // The downloaded files in listing order, each with its target. In
    // set-up mode this also picks the set-up program.
    std::vector<TReplacement> PlanReplacements();
    TReplacement Plan(const std::string& DownloadName);
    void PutInPlace(const TReplacement& Replacement);
    // Starts the program path with the restart text; returns the process id,
    // or -1 when the start failed.
    int StartProgram();
    // Set-up mode, after the set-up program was started as SetupProcess: wait
    // for it, delete it, and start the program itself.
    void FinishSetup(int SetupProcess);
    void StepFailed(const std::string& What);

    std::chrono::milliseconds FWaitLimit;
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
