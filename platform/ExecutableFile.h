#pragma once
// Writing out a program file that this process then starts, and finding the
// running program's own file.

#include <string>
#include <string_view>

namespace platform {

// Writes Bytes as the program file Path, runnable by this user only (0700):
// into a new file beside Path first, then renamed over Path in one step, so
// that Path never holds a partly written program. A program still running
// from the old Path keeps running from its own copy. Missing folders above
// Path are made (0700). Returns 0, or the errno of the step that failed;
// Path is then unchanged and nothing is left beside it.
int WriteExecutableFile(const std::string& Path, std::string_view Bytes);

// Path is a regular file that this user owns, may run, and that nobody else
// may change: safe to start although this process did not write it.
bool IsOwnExecutable(const std::string& Path);

// The running program's executable file with every link resolved; empty when
// the system does not tell.
std::string RunningExecutablePath();

} // namespace platform
