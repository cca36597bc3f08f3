#pragma once
// The program's side of the upgrade hand-over: writes out the helper program
// that travels inside this one as the resource "AUUPG", starts it detached
// with the program's path and the hand-over parameter (see
// upgrade/helper/HandOver.h), and closes the program so the helper can
// replace its files. Qt Core only: no window is needed for any of it.

#include <functional>
#include <string>

// Whether a start of the helper worked, and from where.
struct THelperStart {
    std::string HelperPath; // the file started, or the last one tried
    int ProcessId = -1;     // the helper's process; -1 when it did not start
    int Error = 0;          // 0 when the helper runs, else the errno of the step that failed
    bool Started() const { return Error == 0; }
};

// Answers whether programs may not run from a folder (its file system is
// mounted noexec).
using TNoExecTest = std::function<bool(const std::string& Folder)>;

// The helper's file in the temporary folder (GetTempFolder) and in the user's
// cache folder, which stands in when the temporary folder's file system
// forbids running programs. CacheHelperPath is empty when the user has no
// cache folder.
std::string TempHelperPath();
std::string CacheHelperPath();
// Deletes the helper files an earlier hand-over left in either place. A
// helper still running from one keeps running.
void RemoveStaleHelpers();

// Writes the helper, byte for byte the resource, as an executable file at
// TempHelperPath (CacheHelperPath when the temporary folder is mounted
// noexec, or cannot be written) and starts it in a session of its own with
// the running program's real path and Parameter (handover::HandOverParameter)
// as its two arguments. When the helper cannot be written anywhere, a helper
// file this user left there earlier is started instead. Never throws.
THelperStart StartUpgradeHelper(const std::string& Parameter);
// The same for the program at ProgramPath, asking MountedNoExec (empty: the
// file system) about the folders.
THelperStart StartUpgradeHelper(const std::string& ProgramPath, const std::string& Parameter,
                                const TNoExecTest& MountedNoExec);

// The closing step of the hand-over: OwnClose when given (the component's
// OnDoOwnCloseAppMethod, which then owns the closing), else
// CloseApplication. Window thread, inside the running event loop.
void CloseAfterHandOver(const std::function<void()>& OwnClose);
