#pragma once
// The program's side of the upgrade journal (upgrade/helper/UpgradeJournal.h):
// finishing or undoing a replacement that the helper could not finish, and
// confirming that an upgraded program has started. Window-free.
//
// The program calls, in this order:
//  1. RecoverAtStart(), at every start, before its main window is built. When
//     TellRolledBack is set, it shows message 34 once (ShowErrorMsg(34))
//     before its window shows; the journal is already forgotten.
//  2. ConfirmStarted(), once its main window is shown and its event loop has
//     run for a few seconds, and also when the user closes that shown window
//     sooner: the helper takes an upgraded program that ends without having
//     confirmed, even with exit status 0, for one that could not start.

#include "upgrade/helper/UpgradeJournal.h"

#include <string>

struct TUpgradeRecovery {
    journal::TRecovery Outcome = journal::TRecovery::rcNone;
    // The last upgrade did not take (the helper rolled it back, or it was
    // interrupted and undone now) and the user has not been told.
    bool TellRolledBack = false;
    // The program's own file was put back to the previous version while this
    // process runs the newer one; the next start runs the previous one.
    bool ProgramChanged = false;
};

// With no journal beside the program: nothing (one file test). With a helper
// still at work on it: nothing. Otherwise finishes what the helper left, as
// journal::Recover says: every file in place -> the new version is kept and
// the backups removed; the replacement unfinished -> the old files put back.
// A rollback is reported once and the journal removed. Never throws.
TUpgradeRecovery RecoverAtStart(const std::string& ProgramPath);
// For the running program's own file.
TUpgradeRecovery RecoverAtStart();

// Confirms that the upgraded program at ProgramPath started. While the
// helper waits, notes the confirmation in the journal for it, and the helper
// removes the backups and the journal; when the helper is gone (it gave up
// waiting, or was killed), removes them itself. Returns true when a waiting
// upgrade was confirmed; false when there was none to confirm. Never throws.
bool ConfirmStarted(const std::string& ProgramPath);
// For the running program's own file.
bool ConfirmStarted();
