#pragma once
// The hand-over between the program and its upgrade helper. The program's
// launching side builds the helper's arguments with these functions and the
// helper reads them back with ReadHandOver, so the two ends cannot drift
// apart. Plain C++: no Qt, no system calls.
//
// The protocol:
//  - The program writes the helper to disk as HelperFileName and starts it
//    with HelperCommand: its own executable's full path as one argument
//    (so blanks, quotes, "+" and any other character survive) and the
//    hand-over parameter "+" RestartParams <method digit> as the second.
//  - The helper waits until no process runs from the program's file, puts
//    every "<name>" DownloadSuffix file of the program's folder in place of
//    "<name>", keeping each old file beside it and noting every step in the
//    upgrade journal (UpgradeJournal.h), and starts the program again with
//    RestartParams alone as its one argument; the method digit is the
//    helper's, not the program's.
//  - The restarted program confirms that it started (ConfirmStarted, once
//    its window has been up for a few seconds); the helper then removes the
//    old files and the journal. If it ends before confirming, by a signal or
//    with any exit status, 0 included, the helper puts the old files back
//    and starts the program without RestartParams; the journal, left as
//    "rolled back", lets that program tell the user once.
//  - With method digit 1 the first downloaded file whose name ends in "exe"
//    is a set-up program: the helper runs it (with RestartParams as its one
//    argument), waits for it to end and deletes it, then restarts the
//    program.

#include <string>
#include <vector>

namespace handover {

// The name the helper is written to disk under, and the resource that
// carries its executable inside the program.
inline constexpr char HelperFileName[] = "Upgrader3.exe";
inline constexpr char HelperResourceName[] = "AUUPG";
// The suffix of a downloaded file waiting to be put in place.
inline constexpr char DownloadSuffix[] = ".uTMP";

// The upgrade methods that reach the helper; the values are the method
// digits and those of the upgrade component's umSelfUpgrade and
// umUseExternalSetup.
inline constexpr int MethodSelfUpgrade = 0;
inline constexpr int MethodExternalSetup = 1;

// How long the helper waits for the program to close before it gives up
// without touching anything, and the environment variable that shortens or
// lengthens that limit (a decimal number of milliseconds) for tests and
// benchmarks.
inline constexpr int DefaultWaitLimitMs = 5 * 60 * 1000;
inline constexpr char WaitLimitVariable[] = "SHOPSCOPE_UPGRADER_WAIT_MS";

// The helper's exit codes.
inline constexpr int ExitDone = 0;          // everything done (or the information shown)
inline constexpr int ExitStepFailed = 1;    // a step failed, was logged and skipped
inline constexpr int ExitProgramRunning = 2; // the program did not close in time; nothing touched
inline constexpr int ExitRolledBack = 3;     // the new version did not start (or a file could not be put
                                             // in place): the old files are back, the old program started
inline constexpr int ExitNotConfirmed = 4;   // the new version runs but had not confirmed in time: kept,
                                             // its backups left for it to remove when it confirms

// "+" RestartParams <digit of Method>, e.g. "+/afterupgrade0". Throws
// std::invalid_argument for a method other than the two above.
std::string HandOverParameter(const std::string& RestartParams, int Method);

// The command that starts the helper, each element one argument, none
// quoted: { HelperPath, ProgramPath, Parameter }.
std::vector<std::string> HelperCommand(const std::string& HelperPath, const std::string& ProgramPath,
                                       const std::string& Parameter);

// What the helper was told.
struct THandOver {
    std::string ProgramPath; // the program's executable file
    std::string RestartText; // RestartParams: the restarted program's one argument (none when empty)
    bool SetupMode = false;  // the method digit is MethodExternalSetup
};

// Reads the helper's arguments (its own path excluded). Two arguments, the
// second beginning with "+", are the path and the parameter exactly as given.
// Any other shape comes from a starter that did not keep the path whole: the
// arguments are joined with single blanks, and the hand-over parameter is the
// part from the last argument (but the first) that begins with "+"; without
// one, everything is the program path. The method digit is the parameter's
// last character when that is "0" or "1".
THandOver ReadHandOver(const std::vector<std::string>& Arguments);

// Reads the wait limit from the value of WaitLimitVariable (null when
// unset); DefaultWaitLimitMs for a missing, empty or malformed value.
int WaitLimitMs(const char* VariableValue);
// The same rule for any limit in milliseconds: Default unless VariableValue
// is a whole non-negative decimal number.
int MillisecondsSetting(const char* VariableValue, int Default);

} // namespace handover
