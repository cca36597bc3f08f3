#pragma once
// Putting a file in place of another so that whoever looks (or a crash at
// any moment) finds either the whole old file or the whole new one.

#include <string>

namespace platform {

enum class TReplaceRole {
    rrData,    // keeps the permission bits of the file it replaces
    rrProgram, // the same, plus execute permission wherever read permission is given
};

// Gives Source the permission bits of Target (or, when there is no Target,
// 0666 less the umask), adds execute bits for rrProgram, flushes it to disk
// and renames it over Target in one step; a read-only Target is replaced
// like any other. Returns 0, or the errno of the step that failed; Target is
// then unchanged. Reads the umask by setting it, so not for threaded callers.
int ReplaceFile(const std::string& Source, const std::string& Target, TReplaceRole Role);

// Removes the file at Path. Returns 0 or errno.
int RemoveFile(const std::string& Path);

// Path exists as anything (a dangling link included).
bool PathExists(const std::string& Path);

} // namespace platform
