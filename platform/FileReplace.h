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

// Gives the file Target a second name, Backup, beside it: a hard link, or
// where the file system has none, a copy with Target's permission bits
// written aside and renamed in. Target stays where it is throughout, so a
// crash at any moment leaves Target whole. An existing Backup is replaced.
// Returns 0 or errno; on failure no Backup is left.
int KeepBeside(const std::string& Target, const std::string& Backup);

// Renames Source over Target in one step and flushes the folder entry.
// Returns 0 or errno; Target is then unchanged.
int RenameOver(const std::string& Source, const std::string& Target);

// Writes Bytes as the file Path with the permission bits Mode: into a new
// file beside it (AsidePath), flushed to disk, then renamed over Path, so
// Path holds the whole old content or the whole new one. Returns 0 or errno;
// nothing is left beside Path on failure, but a process killed in the middle
// leaves AsidePath behind.
int WriteFileAside(const std::string& Path, const std::string& Bytes, int Mode);
// Where WriteFileAside and KeepBeside's copy write before their rename.
std::string AsidePath(const std::string& Path);

// Reads the whole regular file at Path. Returns 0 or errno.
int ReadWholeFile(const std::string& Path, std::string& Bytes);

// Removes the file at Path. Returns 0 or errno.
int RemoveFile(const std::string& Path);

// Path exists as anything (a dangling link included).
bool PathExists(const std::string& Path);

} // namespace platform
