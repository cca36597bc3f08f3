#pragma once
// Whether programs may run from a folder: a file system mounted "noexec"
// refuses to start any file on it, whatever the file's permission bits say.

#include <string>

namespace platform {

// True when the file system that holds Path is mounted noexec. False when it
// lets programs run, and when it cannot be asked (no such path): starting
// the program there is then what tells.
bool MountedNoExec(const std::string& Path);

} // namespace platform
