#pragma once
// The upgrade journal: what the helper is replacing in the program's folder,
// how far it got, and how the replacement ended. The helper and the program
// both read and write it through this unit, so the two cannot drift apart.
//
// The journal lives beside the program as "." <program name> JournalSuffix.
// It is plain text, one line per entry, fields separated by tabs (a tab, a
// line break and a backslash inside a field are written \t, \n and \\):
//
//   Shopscope upgrade journal 1
//   phase      planned | moved | restarted | confirmed | rolling-back | rolled-back
//   helper     <the helper's process id>
//   program    <the program's file name in the folder>
//   restart    <the restart text the program was started with; may be empty>
//   move       <state> <download> <target> <backup>    (one line per file)
//   end
//
// Names are file names within the program's folder, never paths. A move's
// download is "<target>.uTMP"; its backup "<target>.uBAK", or empty when the
// target did not exist before (a new file). Its state is the last step the
// helper recorded: planned (nothing done), kept (the old target has its
// backup name as well), placed (the download was renamed onto the target).
//
// The journal is written aside, flushed and renamed over the old one, so it
// is always whole. While the helper works it holds the folder's lock
// (platform/FolderLock.h); a journal whose folder is not locked belongs to a
// helper that has ended or was killed, and Recover finishes its work.
//
// Every step on the program's files is one atomic call, and each is recorded
// after it happened, so whatever line a process is killed at:
//  - the target always exists (the backup is a second name made with a hard
//    link, then the download is renamed over the target), so the folder
//    holds a program that starts, old or new;
//  - a download that still exists was not placed; one that is gone was. Undo
//    and Complete go by that, so they can be repeated after being killed
//    themselves.

#include <functional>
#include <string>
#include <vector>

namespace platform {
class TFolderLock;
}

namespace journal {

inline constexpr char JournalSuffix[] = ".upgrade-journal";
inline constexpr char BackupSuffix[] = ".uBAK";

// How long the helper waits for the restarted program to confirm, and the
// environment variable that changes it (decimal milliseconds), for tests.
inline constexpr int DefaultConfirmLimitMs = 60 * 1000;
inline constexpr char ConfirmLimitVariable[] = "SHOPSCOPE_UPGRADER_CONFIRM_MS";

// Test hook: the helper kills itself with SIGKILL when it reaches the step
// named by this environment variable (TUpgradeHelper::Step lists the names).
inline constexpr char KillAtVariable[] = "SHOPSCOPE_UPGRADER_KILL_AT";

enum class TPhase {
    jpPlanned,     // moves under way; undone if the helper is lost
    jpMoved,       // every file in place, the program not yet started
    jpRestarted,   // the new program was started; the helper waits for its confirmation
    jpConfirmed,   // the new program confirmed; backups may go
    jpRollingBack, // the helper is restoring the backups
    jpRolledBack,  // the backups are restored; the program has not told the user yet
};

enum class TMoveState { msPlanned, msKept, msPlaced };

struct TMove {
    std::string Source; // the download, "<target>.uTMP"
    std::string Target;
    std::string Backup; // "<target>.uBAK"; empty for a new file
    TMoveState State = TMoveState::msPlanned;
};

struct TJournal {
    TPhase Phase = TPhase::jpPlanned;
    int Helper = 0;
    std::string Program;
    std::string RestartText;
    std::vector<TMove> Moves;
};

// "<folder>/.<name>.upgrade-journal" for the program at ProgramPath.
std::string JournalPath(const std::string& ProgramPath);
// The program's folder, ending in "/".
std::string FolderOf(const std::string& ProgramPath);

std::string FormatJournal(const TJournal& Journal);
// False for text that is not a whole journal of this format, or that names
// anything outside the folder.
bool ParseJournal(const std::string& Text, TJournal& Journal);

// Returns 0, ENOENT when there is none, EBADMSG when it cannot be read.
int LoadJournal(const std::string& ProgramPath, TJournal& Journal);
// Written aside and renamed in. Returns 0 or errno.
int SaveJournal(const std::string& ProgramPath, const TJournal& Journal);
int RemoveJournal(const std::string& ProgramPath);

// Called after each step of Undo and Complete with its name, for the
// helper's test hook; may be empty.
using TStepHook = std::function<void(const std::string& Step)>;

// Puts every old file back, last move first: a kept or placed target gets
// its backup back by one rename, a new file is removed, and every download
// that was not placed is deleted (the upgrade it belonged to is abandoned).
// Sets ProgramChanged when the program's own file went back to the old one.
// Returns 0 or the first errno; the other moves are undone all the same.
int Undo(const std::string& ProgramPath, const TJournal& Journal, bool& ProgramChanged, const TStepHook& Step = {});
// Removes the backups of a finished replacement and the journal.
int Complete(const std::string& ProgramPath, const TJournal& Journal, const TStepHook& Step = {});

// True while a helper works on the program's journal. Otherwise takes the
// folder's lock into Lock (when the file system has locks; else judges by
// the helper's process id in the journal) and returns false.
bool HelperAtWork(const std::string& ProgramPath, platform::TFolderLock& Lock);

// What Recover found and did.
enum class TRecovery {
    rcNone,        // no journal
    rcHelperAtWork, // a live helper owns it: left alone
    rcUnreadable,  // a journal that cannot be read: left alone
    rcCompleted,   // every file was in place: the new version kept, backups removed
    rcUndone,      // the replacement had not finished: the old files put back
    rcRolledBack,  // an earlier rollback that the user has not been told of
};

struct TRecoveryResult {
    TRecovery Outcome = TRecovery::rcNone;
    bool ProgramChanged = false; // the program's own file was put back to the old one
    int Error = 0;               // the first step that failed; the others ran
};

// Finishes the journal of a helper that is gone, the caller holding the
// folder's lock: all files placed (moved, restarted, confirmed) -> Complete;
// planned or rolling back -> Undo, and the journal left as rolled back so
// that the program tells the user once. A rolled-back journal is left as it
// is. Never throws.
TRecoveryResult Recover(const std::string& ProgramPath);

} // namespace journal
